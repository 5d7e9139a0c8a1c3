#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <optional>

#include "app/RunState.h"
#include "decode/ChannelRecord.h"
#include "link/Clock.h"

class QWidget;

namespace quarn {

class SuperScope;

// The slots of the scope windows, Scopes: twelve numbered 0 to 11, of which
// 1 to 10 hold windows. A slot holds no window until it is first looked at;
// then it holds one, open or hidden. A window the user closed stays in its
// slot, hidden, until the slot's next use replaces it with a fresh one, so a
// reopened scope always starts on "RPM".
class ScopeSlots {
public:
    static constexpr int kSlotCount = 12;
    static constexpr int kFirstSlot = 1;
    static constexpr int kLastSlot = 10;
    static inline const QString kMaximumMessage =
        QStringLiteral("A maximum of 10 Quarn Scopes can be displayed.");
    // Drawing time the charts may take from one tick of the shared refresh
    // (33 ms apart), painting included: five or so charts fit; with more
    // open they take turns, the ones left over first at the next tick. Ten
    // charts drawn at every tick would cost more than the whole dashboard.
    static constexpr std::chrono::microseconds kRedrawBudget{1500};
    // The charts of one tick are drawn one at a time, this far apart. The
    // monitoring loop runs in this thread and a frame that arrives while a
    // chart is drawn waits for it: one chart (0.2 ms) at a time holds a frame
    // back seldom and briefly, a whole tick's drawing (over 1 ms) often.
    static constexpr std::chrono::milliseconds kDrawSpacing{1};
    // The time of day is read from the clock once a second and carried on by
    // the monotonic clock in between: reading it costs a system call (tens of
    // microseconds once the waiting program's caches have gone cold), which
    // once a frame would take a frame in a hundred at full rate. The scopes
    // of one frame get the same x to within microseconds.
    static constexpr std::chrono::seconds kTimeOfDayResync{1};

    // How the refusal reaches the user; a message box over owner by default.
    using Notice = std::function<void(const QString& text)>;

    // The feed reads the channels from rec, StartSeconds from state and the
    // time of day from clock, each at the time of the call. The windows are
    // top-level windows of owner (kept above it); the slots own them either
    // way.
    ScopeSlots(const ChannelRecord& rec, const RunState& state, const Clock& clock,
               QWidget* owner = nullptr, Notice notice = {});
    ~ScopeSlots();
    ScopeSlots(const ScopeSlots&) = delete;
    ScopeSlots& operator=(const ScopeSlots&) = delete;

    // The "Quarn Scope" menu entry: shows the window of the lowest free slot
    // and titles it "Scope<n>", or, with ten open, tells the user so and
    // changes nothing. Returns the slot opened, or 0.
    int Open();

    // Makes sure slot holds a usable window: a fresh hidden one when it has
    // none yet or the user closed the one it had. Slots outside 1 to 10 are
    // left alone.
    void Prepare(int slot);

    // Whether the slot's window exists and is open.
    bool Visible(int slot) const;

    // FeedScopes: one point for the slot's window, the value of the channel
    // its list shows (0 for a text that is no channel) at the time of day
    // less StartSeconds, a day added past midnight.
    void Feed(int slot);

    // The channel-selection action re-applied to every scope slot 1 to 10,
    // creating a hidden window in a slot that has none: each chart is
    // rescaled for its channel and restarted, as when a playback starts.
    void ReapplySelections();

    // The slot's window, or null when it has none (or the slot is out of
    // range).
    SuperScope* Window(int slot) const;

    // Charts of this tick still waiting for their turn to be drawn.
    bool RedrawPending() const { return m_drawTimer.isActive(); }

private:
    static bool InRange(int slot) { return slot >= kFirstSlot && slot <= kLastSlot; }
    void ScheduleRedraw();
    void StartRedraw();
    int NextDueSlot() const;
    void DrawNext();
    double TimeOfDay();

    const ChannelRecord& m_rec;
    const RunState& m_state;
    const Clock& m_clock;
    QPointer<QWidget> m_owner;
    Notice m_notice;
    std::array<QPointer<SuperScope>, kSlotCount> m_windows;
    QObject m_redraw;               // stands for all the charts at the shared tick
    QTimer m_drawTimer;             // the next chart of this tick
    int m_nextRedraw = kFirstSlot;  // the slot whose turn to be drawn is next
    std::chrono::nanoseconds m_tickSpent{};
    int m_tickDrawn = 0;
    struct TimeBase {
        double timeOfDay;
        Clock::TimePoint at;
    };
    std::optional<TimeBase> m_timeBase;  // the last reading of the time of day
};

}  // namespace quarn
