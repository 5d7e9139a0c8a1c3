// The dashboard's layout at any size, its night scheme and its View entries.

#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include <algorithm>
#include <cmath>

#include "app/AlarmSound.h"
#include "app/SuperDash.h"
#include "diagnostics/TPSTool.h"
#include "settings/UserChoices.h"
#include "widgets/DialGauge.h"
#include "widgets/GaugeSpecs.h"
#include "widgets/NightScheme.h"
#include "widgets/Twips.h"

namespace quarn {
namespace {

// The "COM Status" label and the link lamp, in the dashboard's layout.
const QRect kComStatusTwips(480, 6600, 975, 495);
const QRect kLampTwips(720, 7200, 495, 495);
constexpr int kLabelPx = 13;
constexpr int kMinLabelPx = 10;

constexpr const char* kDayLabel = "background: #c0c0c0; color: black;";
constexpr const char* kNightLabel = "background: #281010; color: #b03018;";
constexpr const char* kNightBar =
    "QStatusBar { background: #080808; } QStatusBar::item { border: none; } "
    "QLabel { color: #b03018; }";
constexpr const char* kDayBar = "QStatusBar::item { border: none; }";

QRect Scaled(QRect base, double scale, QPointF origin) {
    const auto at = [&](double x, double y) {
        return QPoint(static_cast<int>(std::lround(origin.x() + x * scale)),
                      static_cast<int>(std::lround(origin.y() + y * scale)));
    };
    return {at(base.left(), base.top()),
            at(base.left() + base.width(), base.top() + base.height()) -
                QPoint(1, 1)};
}

}  // namespace

void SuperDash::BuildViewEntries() {
    m_mnuView->addSeparator();
    m_nightEntry = AddMenuEntry(m_mnuView, "&Night", "mnuNight", [this] {
        SetNight(m_nightEntry->isChecked());
        RememberChoice(kNightChoice, m_night);
    });
    m_nightEntry->setCheckable(true);
    QAction* full = AddMenuEntry(m_mnuView, "&Full Screen", "mnuFullScreen",
                                 [this] { ToggleFullScreen(); });
    full->setShortcut(QKeySequence(Qt::Key_F11));
    // On the window itself too, so the key works wherever the focus is in it.
    addAction(full);
    AddMenuEntry(m_mnuView, "&Reset Peaks", "mnuResetPeaks", [this] { ResetPeaks(); });
    m_muteEntry = AddMenuEntry(m_mnuView, "&Mute Alarms", "mnuMuteAlarms", [this] {
        SetMuted(m_muteEntry->isChecked());
        RememberChoice(kMuteChoice, m_sound->muted());
    });
    m_muteEntry->setCheckable(true);
}

void SuperDash::SetNight(bool night) {
    m_night = night;
    ApplyNightScheme(night);
    if (m_nightEntry) m_nightEntry->setChecked(night);
    const DialScheme scheme = night ? DialScheme::Night : DialScheme::Day;
    for (Gauge g : kDashboardGauges) gauge(g)->SetScheme(scheme);
    if (m_tpsTool) m_tpsTool->SetScheme(scheme);
    m_comStatus->setStyleSheet(QLatin1String(night ? kNightLabel : kDayLabel));
    statusBar()->setStyleSheet(QLatin1String(night ? kNightBar : kDayBar));
    menuBar()->setStyleSheet(night ? QStringLiteral("QMenuBar { background: #080808; color: #b03018; }")
                                   : QString());
    if (QWidget* lamp = m_status.lamp()) {
        lamp->setProperty("dim", night);
        lamp->update();
    }
    ShowAlarmPanel();
}

void SuperDash::ToggleFullScreen() {
    if (isFullScreen()) {
        showNormal();
    } else {
        showFullScreen();
    }
}

void SuperDash::LayoutGauges(QSize ground) {
    if (!m_comStatus) return;  // not built yet
    const QSize base = BaseGround();
    const double scale = std::min(double(ground.width()) / base.width(),
                                  double(ground.height()) / base.height());
    const QPointF origin((ground.width() - base.width() * scale) / 2,
                         (ground.height() - base.height() * scale) / 2);
    for (Gauge g : kDashboardGauges) {
        DialGauge* dial = gauge(g);
        dial->setGeometry(Scaled(GaugeLayoutOf(g).pixels(), scale, origin));
        dial->SetTextScale(scale);
    }
    const auto pixels = [](QRect t) { return TwipsRect(t.x(), t.y(), t.width(), t.height()); };
    m_comStatus->setGeometry(Scaled(pixels(kComStatusTwips), scale, origin));
    QFont font = m_comStatus->font();
    font.setPixelSize(std::max(kMinLabelPx, static_cast<int>(std::lround(kLabelPx * scale))));
    m_comStatus->setFont(font);
    if (QWidget* lamp = m_status.lamp())
        lamp->setGeometry(Scaled(pixels(kLampTwips), scale, origin));
}

}  // namespace quarn
