#include "scope/ScopeSlots.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMessageBox>

#include <utility>

#include "app/RefreshTick.h"
#include "decode/ScopeFeed.h"
#include "scope/StripChart.h"
#include "scope/SuperScope.h"

namespace quarn {

ScopeSlots::ScopeSlots(const ChannelRecord& rec, const RunState& state, const Clock& clock,
                       QWidget* owner, Notice notice)
    : m_rec(rec), m_state(state), m_clock(clock), m_owner(owner), m_notice(std::move(notice)) {
    m_drawTimer.setSingleShot(true);
    m_drawTimer.setTimerType(Qt::PreciseTimer);
    m_drawTimer.setInterval(kDrawSpacing);
    QObject::connect(&m_drawTimer, &QTimer::timeout, &m_redraw, [this] { DrawNext(); });
    if (!m_notice) {
        m_notice = [this](const QString& text) {
            QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text,
                            QMessageBox::Ok, m_owner);
            box.exec();
        };
    }
}

ScopeSlots::~ScopeSlots() {
    for (QPointer<SuperScope>& window : m_windows) delete window.data();
}

int ScopeSlots::Open() {
    int slot = kFirstSlot;
    for (; slot <= kLastSlot; ++slot) {
        Prepare(slot);
        if (!Visible(slot)) break;
    }
    if (slot > kLastSlot) {
        m_notice(kMaximumMessage);
        return 0;
    }
    SuperScope* window = m_windows[slot];
    window->show();
    window->setWindowTitle(QStringLiteral("Scope") + QString::number(slot));
    window->raise();
    return slot;
}

void ScopeSlots::Prepare(int slot) {
    if (!InRange(slot)) return;
    QPointer<SuperScope>& window = m_windows[slot];
    if (window && !window->wasClosed()) return;
    // A closed window is deleted here rather than when it closed: no handler
    // of it can be running now, since none of them waits or yields.
    delete window.data();
    window = new SuperScope(m_owner);
    window->chart()->SetRefreshRequest([this] { ScheduleRedraw(); });
}

bool ScopeSlots::Visible(int slot) const {
    const SuperScope* window = Window(slot);
    return window && window->isVisible();
}

void ScopeSlots::Feed(int slot) {
    SuperScope* window = Window(slot);
    if (!window) return;
    const float value = ScopeChannelValue(m_rec, window->ChannelIndex());
    const double x = ScopeTime(TimeOfDay(), m_state.StartSeconds);
    window->chart()->AddPoint(x, value);
}

void ScopeSlots::ReapplySelections() {
    for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
        Prepare(slot);
        m_windows[slot]->Selection_Click();
    }
}

double ScopeSlots::TimeOfDay() {
    const Clock::TimePoint now = m_clock.Now();
    if (!m_timeBase || now < m_timeBase->at || now - m_timeBase->at >= kTimeOfDayResync) {
        m_timeBase = TimeBase{m_clock.TimeOfDay(), now};
        return m_timeBase->timeOfDay;
    }
    return m_timeBase->timeOfDay + std::chrono::duration<double>(now - m_timeBase->at).count();
}

void ScopeSlots::ScheduleRedraw() {
    SharedRefreshTick().Schedule(&m_redraw, [this] { StartRedraw(); });
}

void ScopeSlots::StartRedraw() {
    m_drawTimer.stop();
    m_tickSpent = {};
    m_tickDrawn = 0;
    DrawNext();
}

int ScopeSlots::NextDueSlot() const {
    for (int i = 0; i < kLastSlot; ++i) {
        const int slot = kFirstSlot + (m_nextRedraw - kFirstSlot + i) % kLastSlot;
        const SuperScope* window = Window(slot);
        if (window && window->chart()->refreshPending()) return slot;
    }
    return 0;
}

void ScopeSlots::DrawNext() {
    const int slot = NextDueSlot();
    if (slot == 0) return;
    QElapsedTimer spent;
    spent.start();
    Window(slot)->chart()->Refresh();
    m_tickSpent += std::chrono::nanoseconds(spent.nsecsElapsed());
    ++m_tickDrawn;
    m_nextRedraw = slot % kLastSlot + kFirstSlot;
    if (NextDueSlot() == 0) return;
    if (m_tickSpent >= kRedrawBudget || m_tickDrawn >= kLastSlot) {
        ScheduleRedraw();  // the rest first at the next tick
        return;
    }
    m_drawTimer.start();
}

SuperScope* ScopeSlots::Window(int slot) const {
    return InRange(slot) ? m_windows[slot].data() : nullptr;
}

}  // namespace quarn
