#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <vector>

class QWidget;

namespace quarn {

// Repaints at the display's pace. A value write marks its widget dirty here
// instead of painting; one timer at about 30 Hz then repaints each dirty
// widget once, however many values arrived in between, so a link delivering
// 300 frames a second or a fast playback never paints 300 times a second.
// The timer runs only while something is dirty: an idle program has none.
class RefreshTick : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultInterval{33};

    explicit RefreshTick(std::chrono::milliseconds interval = kDefaultInterval,
                         QObject* parent = nullptr);

    // Calls widget->update() at the next tick. Marking a widget that is
    // already dirty changes nothing.
    void MarkDirty(QWidget* widget);

    // The general form, for widgets that repaint some other way (a chart's
    // replot): runs action once at the next tick unless owner is gone by
    // then. While owner is pending, further requests for it are dropped.
    void Schedule(QObject* owner, std::function<void()> action);

    // Runs what is pending now, as the timer would; tests use it to tick
    // deterministically.
    void Flush();

    bool isRunning() const { return m_timer.isActive(); }
    int pendingCount() const { return static_cast<int>(m_pending.size()); }

private:
    struct Pending {
        QPointer<QObject> owner;
        std::function<void()> action;
    };

    std::vector<Pending> m_pending;
    QTimer m_timer;
};

// The tick the whole program shares. It is created on first use as a child
// of the application object, so it goes with the application; a later
// application (as in tests) gets a fresh one.
RefreshTick& SharedRefreshTick();

}  // namespace quarn
