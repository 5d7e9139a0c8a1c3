// The dashboard's alarms: the limits in force, the dials' alarm rims, the
// alarm panel, the sound, the markers they leave in a recording, and peak
// hold.

#include <QLabel>
#include <QStringList>

#include "app/AlarmSound.h"
#include "app/ShowOnce.h"
#include "app/SuperDash.h"
#include "settings/LimitsWindow.h"
#include "settings/UserChoices.h"
#include "widgets/DialGauge.h"
#include "widgets/GaugeSpecs.h"

namespace quarn {

void SuperDash::OnAlarm(const AlarmEvent& event, DialGauge* dial) {
    dial->SetAlarmLevel(m_alarms.Level(AlarmChannels()[static_cast<std::size_t>(event.channel)].gauge));
    ShowAlarmPanel();
    if (!event.Rising()) return;
    m_sound->Play(event.level);
    // Written into the sidecar while recording, so the log's reader lists it.
    m_log.recorder().AddMarker(QStringLiteral("alarm"), AlarmText(event));
}

void SuperDash::ShowAlarmPanel() {
    QLabel* panel = m_status.alarmPanel();
    const std::vector<AlarmEvent> on = m_alarms.Active();
    m_status.SetAlarmShowing(!on.empty());
    if (on.empty()) {
        panel->clear();
        panel->setToolTip(QString());
        panel->setStyleSheet(QString());
        return;
    }
    QString text = AlarmText(on.front());
    if (on.size() > 1) text += QStringLiteral("  (+%1)").arg(on.size() - 1);
    panel->setText(text);
    QStringList all;
    for (const AlarmEvent& e : on) all += AlarmText(e);
    panel->setToolTip(all.join(u'\n'));
    panel->setStyleSheet(on.front().level == AlarmLevel::Danger
                                    ? QStringLiteral("background: #d00000; color: white;")
                                    : QStringLiteral("background: #ffb000; color: black;"));
}

void SuperDash::SetAlarmLimits(const AlarmLimitSet& limits) {
    m_alarms.SetLimits(limits);
    if (m_limitsWindow && m_limitsWindow->limits() != limits) m_limitsWindow->ShowLimits(limits);
}

void SuperDash::ShowLimits() {
    ShowOnce(m_limitsWindow, [this] {
        auto* window = new LimitsWindow(m_alarms.limits(), this);
        window->onChanged = [this](const AlarmLimitSet& limits) {
            m_alarms.SetLimits(limits);
            // Kept as they are edited: a quit loses none of them.
            RememberLimits(limits);
        };
        return window;
    });
}

LimitsWindow* SuperDash::limitsWindow() const { return m_limitsWindow; }

void SuperDash::ResetPeaks() {
    for (Gauge g : kDashboardGauges) gauge(g)->ResetPeaks();
}

void SuperDash::PlaybackStarting() {
    // The frames now come from a file: the lamp tells of the link, which
    // carries none of them.
    m_status.SetComStat(LinkStatus::kLampGrey);
    ResetPeaks();
    m_alarms.Reset();
    for (Gauge g : kDashboardGauges) gauge(g)->SetAlarmLevel(AlarmLevel::None);
    ShowAlarmPanel();
}

void SuperDash::SetMuted(bool muted) {
    m_sound->SetMuted(muted);
    if (m_muteEntry) m_muteEntry->setChecked(muted);
}

}  // namespace quarn
