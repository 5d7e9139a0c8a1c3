// The dashboard's alarms, peak hold, night scheme and scaling as a user
// meets them: an alarm during a playback and while recording (a marker in
// the log's sidecar), the Limits window refusing bad limits and the limits
// travelling with the car in its vehicle file, the remembered View switches,
// and gauges that keep their places as the window is resized.

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QPushButton>

#include "../settings/MessageCatcher.h"
#include "SimProcess.h"
#include "TestUtil.h"
#include "app/AlarmSound.h"
#include "app/SuperDash.h"
#include "TestDash.h"
#include "decode/Frame.h"
#include "diagnostics/TPSTool.h"
#include "link/LinkFakes.h"
#include "logging/LogFormat.h"
#include "logging/LogSidecar.h"
#include "logging/Logging.h"
#include "settings/LimitsWindow.h"
#include "settings/UserChoices.h"
#include "settings/SessionProperties.h"
#include "widgets/DialGauge.h"
#include "widgets/GaugeSpecs.h"
#include "widgets/RefreshTick.h"

namespace quarn {
namespace {

using test::SimProcess;

const std::size_t kTach = static_cast<std::size_t>(AlarmChannelIndex(Gauge::Tach));
const std::size_t kEct = static_cast<std::size_t>(AlarmChannelIndex(Gauge::ECT));

class DashAlarmsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        dash = MakeDash();
        // Tests never need a sound device; the alerts are still counted.
        dash->SetMuted(true);
    }
    void TearDown() override {
        qunsetenv("QUARN_COM1");
        RememberChoice(kNightChoice, false);
        RememberChoice(kMuteChoice, false);
    }

    std::unique_ptr<SuperDash> MakeDash() {
        return test::MakeTestDash(alerts, dir.path(), 0.05);
    }

    Logging* LoggingWindow() {
        dash->ShowLogging();
        Logging* window = dash->logging();
        window->logFile()->setText(dir.filePath(QStringLiteral("run.qz0")));
        window->askOverwrite = [](const QString&) { return true; };
        return window;
    }

    void SetTachWarning(double rpm) {
        AlarmLimitSet limits = dash->alarms().limits();
        limits[kTach].warnHigh = rpm;
        dash->SetAlarmLimits(limits);
    }

    QTemporaryDir dir;
    test::RecordingAlerts alerts;
    std::unique_ptr<SuperDash> dash;
    SimProcess sim;
};

TEST_F(DashAlarmsTest, APlaybackStartsWithPeaksResetAndItsValuesRaiseAlarms) {
    Logging* window = LoggingWindow();
    for (int n = 1; n <= 30; ++n) {
        RawFrame raw;
        raw.timer[0] = 4606;  // RpmPeriod: a steady engine speed
        const FrameBytes f = EncodeFrame(raw);
        ASSERT_TRUE(WriteRecordAt(window->logFile()->text().toStdString(), n,
                                  ByteBuffer(f.begin(), f.end())));
    }
    // Before: a high peak and a danger alarm from earlier driving.
    dash->NeedleValue(Gauge::Tach, 7600);
    ASSERT_EQ(dash->gauge(Gauge::Tach)->alarmLevel(), AlarmLevel::Danger);
    // The frames' other words read as a hot engine: only the tach alarms, at
    // any engine speed.
    dash->SetAlarmLimits(AlarmLimitSet{});
    SetTachWarning(1);

    window->Play_Click();
    const double rpm = dash->record().Rpm;
    ASSERT_GT(rpm, 1);
    DialGauge* tach = dash->gauge(Gauge::Tach);
    EXPECT_EQ(tach->peak().high, rpm) << "the peak of before the playback stayed";
    EXPECT_EQ(tach->alarmLevel(), AlarmLevel::Warn);
    EXPECT_TRUE(tach->rimLit());
    // The panel tells the value that raised the alarm: the first record's,
    // which the engine speed's running average starts low.
    const QString panel = dash->alarmPanel()->text();
    EXPECT_TRUE(panel.startsWith(QLatin1String("RPM ")) && panel.endsWith(QLatin1String(" rpm HIGH")))
        << panel.toStdString();
    EXPECT_EQ(dash->alarmSound().requested(), 2) << "one for before, one for the playback";

    // Peaks reset from the View menu; the alarm ends once back by the
    // hysteresis.
    dash->findChild<QAction*>(QStringLiteral("mnuResetPeaks"))->trigger();
    EXPECT_TRUE(tach->peak().Empty());
    SetTachWarning(rpm + 50);
    dash->NeedleValue(Gauge::Tach, rpm);
    EXPECT_EQ(tach->alarmLevel(), AlarmLevel::Warn) << "within the hysteresis";
    dash->NeedleValue(Gauge::Tach, rpm - 60);
    EXPECT_EQ(tach->alarmLevel(), AlarmLevel::None);
    EXPECT_TRUE(dash->alarmPanel()->text().isEmpty());
}

TEST_F(DashAlarmsTest, AnAlarmWhileRecordingIsAMarkerInTheSidecar) {
    if (!SimProcess::Built()) GTEST_SKIP() << "no simulator";
    const QString link = dir.filePath(QStringLiteral("box"));
    ASSERT_TRUE(sim.Start({}, link));
    qputenv("QUARN_COM1", QFile::encodeName(link));
    ASSERT_TRUE(WriteSettings(1, dir.filePath(QStringLiteral("quarnom.ini"))));
    Logging* window = LoggingWindow();

    std::int64_t recordAt = -1, alarmAt = -1, haltAt = -1;
    QTimer script;
    script.setInterval(10);
    QObject::connect(&script, &QTimer::timeout, [&] {
        const std::int64_t good = dash->monitor().GoodFrames();
        if (recordAt < 0 && good >= 20) {
            window->recordButton()->click();
            recordAt = good;
        } else if (recordAt >= 0 && alarmAt < 0 && good >= recordAt + 30) {
            SetTachWarning(1);
            alarmAt = good;
        } else if (alarmAt >= 0 && haltAt < 0 && good >= alarmAt + 30) {
            window->haltButton()->click();
            haltAt = good;
            dash->state().Monitoring = false;
        }
    });
    QTimer::singleShot(20000, dash.get(), [this] { dash->state().Monitoring = false; });
    script.start();
    dash->StartUp(nullptr);
    script.stop();
    ASSERT_GE(haltAt, 0) << "the recording never ended";

    const SidecarContents sidecar = ReadSidecar(window->logFile()->text(), haltAt);
    std::vector<SidecarMarker> rpm;
    for (const SidecarMarker& m : sidecar.markers)
        if (m.kind == QLatin1String("alarm") && m.name.startsWith(QLatin1String("RPM ")))
            rpm.push_back(m);
    ASSERT_EQ(rpm.size(), 1u);
    EXPECT_TRUE(rpm[0].name.endsWith(QLatin1String(" rpm HIGH"))) << rpm[0].name.toStdString();
    // At the record being shown when the limit was lowered, give or take the
    // frames handled before the script's next look.
    EXPECT_NEAR(static_cast<double>(rpm[0].record), static_cast<double>(alarmAt - recordAt), 5);
}

TEST_F(DashAlarmsTest, TheLimitsWindowRefusesBadLimitsAndTheLimitsTravelWithTheCar) {
    dash->findChild<QAction*>(QStringLiteral("mnuLimits"))->trigger();
    LimitsWindow* limits = dash->limitsWindow();
    ASSERT_NE(limits, nullptr);
    const int ect = static_cast<int>(kEct);
    QLineEdit* warnHigh = limits->box(ect, LimitKind::WarnHigh);
    EXPECT_EQ(warnHigh->text().toStdString(), "200");

    warnHigh->setText(QStringLiteral("210"));
    limits->ApplyBox(ect, LimitKind::WarnHigh);
    EXPECT_EQ(dash->alarms().limits()[kEct].warnHigh, 210);
    for (const char* bad : {"hot", "250"}) {  // not a number; above the danger limit
        warnHigh->setText(QString::fromLatin1(bad));
        limits->ApplyBox(ect, LimitKind::WarnHigh);
        EXPECT_TRUE(limits->refused(ect, LimitKind::WarnHigh)) << bad;
        EXPECT_EQ(dash->alarms().limits()[kEct].warnHigh, 210) << bad;
        EXPECT_TRUE(limits->hint(ect)->text().contains(QLatin1String("210"))) << bad;
    }
    // Raising the danger limit lets the refused warning stand.
    limits->box(ect, LimitKind::DangerHigh)->setText(QStringLiteral("260"));
    limits->ApplyBox(ect, LimitKind::DangerHigh);
    EXPECT_FALSE(limits->refused(ect, LimitKind::WarnHigh));
    EXPECT_EQ(dash->alarms().limits()[kEct].warnHigh, 250);
    EXPECT_EQ(dash->alarms().limits()[kEct].dangerHigh, 260);
    limits->box(ect, LimitKind::DangerHigh)->clear();  // off
    limits->ApplyBox(ect, LimitKind::DangerHigh);
    EXPECT_FALSE(dash->alarms().limits()[kEct].dangerHigh);

    // Saved with the car, and loaded back with it.
    dash->ShowSessionProperties();
    SessionProperties* vp = dash->sessionProperties();
    const QString file = dir.filePath(QStringLiteral("car.vf"));
    ASSERT_TRUE(vp->SaveVehicleTo(file));
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("\nlimit.ect=off,250,off,off\n"));
    saved.close();
    limits->RestoreDefaults();
    EXPECT_EQ(dash->alarms().limits(), DefaultAlarmLimits());
    vp->fileNameBox()->setText(file);
    ASSERT_TRUE(vp->LoadVehicle_Click());
    EXPECT_EQ(dash->alarms().limits()[kEct].warnHigh, 250);
    EXPECT_EQ(warnHigh->text().toStdString(), "250");

    // A bad limit line is told; the car and the good limits still load.
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QString badLine =
        QStringLiteral("Line %1 (limit.rpm)").arg(saved.readAll().count('\n') + 1);
    saved.close();
    ASSERT_TRUE(saved.open(QIODevice::Append));
    saved.write("limit.rpm=fast,off,off,off\n");
    saved.close();
    const auto message = test::CatchMessage([&] { EXPECT_TRUE(vp->LoadVehicle_Click()); });
    ASSERT_TRUE(message.has_value());
    EXPECT_TRUE(message->text.contains(badLine))
        << message->text.toStdString();
    EXPECT_EQ(dash->alarms().limits()[kEct].warnHigh, 250);
}

TEST_F(DashAlarmsTest, NightAndMuteAreRememberedForTheNextStart) {
    EXPECT_FALSE(dash->night());
    dash->findChild<QAction*>(QStringLiteral("mnuNight"))->trigger();
    dash->findChild<QAction*>(QStringLiteral("mnuMuteAlarms"))->trigger();  // on in SetUp: off
    EXPECT_TRUE(dash->night());
    EXPECT_EQ(dash->gauge(Gauge::ECT)->scheme(), DialScheme::Night);
    dash.reset();
    dash = MakeDash();
    EXPECT_TRUE(dash->night());
    EXPECT_EQ(dash->gauge(Gauge::Speedo)->scheme(), DialScheme::Night);
    EXPECT_FALSE(dash->alarmSound().muted());
    dash->ShowTpsTool();
    EXPECT_EQ(dash->tpsTool()->gauge()->scheme(), DialScheme::Night);
}

TEST_F(DashAlarmsTest, TheTpsToolShowsTheVoltsToTheHundredthInLargeFigures) {
    dash->ShowTpsTool();
    TPSTool* tool = dash->tpsTool();
    dash->NeedleValue(Gauge::TPSToolGauge, 0.9349);
    SharedRefreshTick().Flush();
    EXPECT_EQ(tool->readout()->text().toStdString(), "0.93 V");
    EXPECT_EQ(tool->gauge()->NeedleValue(), 0.9349);
    EXPECT_GE(tool->readout()->font().pixelSize(), 24);
    // Below the hub, inside the dial.
    const QRect dial = tool->gauge()->geometry();
    EXPECT_TRUE(dial.contains(tool->readout()->geometry()));
    EXPECT_GT(tool->readout()->geometry().top(), dial.center().y());
}

// Each gauge's place and size as fractions of the tach's, which the layout
// fixes: the same at any window size.
std::vector<QRectF> Proportions(SuperDash& dash) {
    const QRectF tach = dash.gauge(Gauge::Tach)->geometry();
    std::vector<QRectF> out;
    for (Gauge g : kDashboardGauges) {
        const QRectF r = dash.gauge(g)->geometry();
        out.emplace_back((r.x() - tach.x()) / tach.width(), (r.y() - tach.y()) / tach.height(),
                         r.width() / tach.width(), r.height() / tach.height());
    }
    return out;
}

TEST_F(DashAlarmsTest, GaugesScaleWithTheWindowAndKeepTheDesignsProportions) {
    dash->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dash.get()));
    // The standard size is the default.
    for (Gauge g : kDashboardGauges)
        EXPECT_EQ(dash->gauge(g)->geometry(), GaugeLayoutOf(g).pixels()) << GaugeLayoutOf(g).name;
    const std::vector<QRectF> base = Proportions(*dash);

    for (QSize size : {QSize(800, 480), QSize(1600, 1200)}) {
        dash->resize(size);
        ASSERT_TRUE(QTest::qWaitFor([&] { return dash->size() == size; }));
        QCoreApplication::processEvents();
        const QWidget* ground = dash->centralWidget();
        const std::vector<QRectF> now = Proportions(*dash);
        for (std::size_t i = 0; i < now.size(); ++i) {
            const char* name = GaugeLayoutOf(kDashboardGauges[i]).name;
            EXPECT_NEAR(now[i].x(), base[i].x(), 0.02) << name << " at " << size.width();
            EXPECT_NEAR(now[i].y(), base[i].y(), 0.02) << name << " at " << size.width();
            EXPECT_NEAR(now[i].width(), base[i].width(), 0.02) << name;
            EXPECT_NEAR(now[i].height(), base[i].height(), 0.02) << name;
            EXPECT_TRUE(ground->rect().contains(dash->gauge(kDashboardGauges[i])->geometry()))
                << name << " off the window at " << size.width();
        }
        // The dashboard fills the height (or the width) it is given.
        const QRect tach = dash->gauge(Gauge::Tach)->geometry();
        EXPECT_NEAR(tach.height(), GaugeLayoutOf(Gauge::Tach).pixels().height() *
                                       std::min(double(ground->width()) / SuperDash::BaseGround().width(),
                                                double(ground->height()) / SuperDash::BaseGround().height()),
                    1.5);
    }

    // F11 goes to full screen and back.
    QTest::keyClick(dash.get(), Qt::Key_F11);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dash->isFullScreen(); }));
    QTest::keyClick(dash.get(), Qt::Key_F11);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dash->isFullScreen(); }));
}

}  // namespace
}  // namespace quarn
