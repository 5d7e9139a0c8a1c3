#include "scope/ScopeSlots.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMessageBox>

#include <utility>

#include "widgets/OpenDialogs.h"
#include "widgets/RefreshTick.h"
#include "decode/ScopeFeed.h"
#include "scope/StripChart.h"
#include "scope/SuperScope.h"

namespace quarn {

ScopeSlots::ScopeSlots(const ChannelRecord& rec, const RunState& state, const Clock& clock,
                       QWidget* owner, Notice notice)
    : m_rec(rec), m_state(state), m_clock(clock), m_owner(owner), m_notice(std::move(notice)) {
    if (!m_notice) {
        m_notice = [this](const QString& text) {
            // Opened, not run: a nested loop here would hold the monitoring
            // loop, which called the menu entry, until the box closed.
            OpenMessage(m_owner, QMessageBox::NoIcon, QCoreApplication::applicationName(), text);
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
    window->chart()->SetRefreshRequest([this] { ScheduleTick(); });
}

bool ScopeSlots::Visible(int slot) const {
    const SuperScope* window = Window(slot);
    return window && window->isVisible();
}

void ScopeSlots::Feed(int slot) {
    SuperScope* window = Window(slot);
    if (!window) return;
    const float value = ScopeChannelValue(m_rec, window->ChannelIndex());
    const std::optional<RecordTime> played = m_recordTime ? m_recordTime() : std::nullopt;
    const double x = played ? played->seconds : ScopeTime(TimeOfDay(), m_state.StartSeconds);
    StripChart* chart = window->chart();
    // Live, the axis needs no word; a played log's times are marked when
    // they are estimates.
    const bool estimated = played && played->estimated;
    if (chart->xAxis->label().isEmpty() == estimated) {
        chart->xAxis->setLabel(estimated ? kEstimatedTimeLabel : QString());
        chart->xAxis->setLabelColor(chart->xAxis->tickLabelColor());
    }
    chart->AddPoint(x, value);
    DrawAfterThisFrame();
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

void ScopeSlots::ScheduleTick() {
    SharedRefreshTick().Schedule(&m_redraw, [this] { OnTick(); });
}

void ScopeSlots::OnTick() {
    if (m_drawDue && !m_drawPosted) {
        m_drawDue = false;  // a whole tick without a frame
        Redraw();
        return;
    }
    m_drawDue = true;
    ScheduleTick();
}

void ScopeSlots::DrawAfterThisFrame() {
    if (!m_drawDue || m_drawPosted) return;
    m_drawPosted = true;
    // Posted: it runs once the frame's handling is over and the loop has
    // asked for the next frame and yields to wait for it.
    QMetaObject::invokeMethod(
        &m_redraw,
        [this] {
            m_drawPosted = false;
            if (!m_drawDue) return;
            m_drawDue = false;
            Redraw();
        },
        Qt::QueuedConnection);
}

void ScopeSlots::Redraw() {
    QElapsedTimer spent;
    spent.start();
    bool drewOne = false;
    for (int i = 0; i < kLastSlot; ++i) {
        const int slot = kFirstSlot + (m_nextRedraw - kFirstSlot + i) % kLastSlot;
        const SuperScope* window = Window(slot);
        if (!window || !window->chart()->refreshPending()) continue;
        if (drewOne && std::chrono::nanoseconds(spent.nsecsElapsed()) >= m_redrawBudget) {
            // The rest go first at the next tick.
            m_nextRedraw = slot;
            ScheduleTick();
            return;
        }
        window->chart()->Refresh();
        drewOne = true;
    }
}

SuperScope* ScopeSlots::Window(int slot) const {
    return InRange(slot) ? m_windows[slot].data() : nullptr;
}

}  // namespace quarn
