#include "widgets/RefreshTick.h"

#include <QCoreApplication>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace quarn {

RefreshTick::RefreshTick(std::chrono::milliseconds interval, QObject* parent) : QObject(parent) {
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, &RefreshTick::Flush);
}

void RefreshTick::MarkDirty(QWidget* widget) {
    Schedule(widget, [widget] { widget->update(); });
}

void RefreshTick::Schedule(QObject* owner, std::function<void()> action) {
    if (!owner) return;
    const bool pending = std::any_of(m_pending.begin(), m_pending.end(),
                                     [owner](const Pending& p) { return p.owner == owner; });
    if (pending) return;
    m_pending.push_back({owner, std::move(action)});
    if (!m_timer.isActive()) m_timer.start();
}

void RefreshTick::Flush() {
    // An action may mark something dirty again (or a nested event loop may
    // deliver new values); that goes to the next tick, not this one.
    std::vector<Pending> due;
    due.swap(m_pending);
    for (const Pending& p : due) {
        if (p.owner) p.action();
    }
    if (m_pending.empty()) m_timer.stop();
}

RefreshTick& SharedRefreshTick() {
    static QPointer<RefreshTick> shared;
    if (!shared)
        shared = new RefreshTick(RefreshTick::kDefaultInterval, QCoreApplication::instance());
    return *shared;
}

}  // namespace quarn
