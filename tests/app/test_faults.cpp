// Faults on the line, end to end: the dashboard offscreen against the
// simulated box through a real pseudo-terminal. Noise and corrupted frames,
// a box that falls silent and comes back, a slow or forgetful box, reconnects
// nested in reconnects, and the device vanishing during a recording.

#include <gtest/gtest.h>

#include <signal.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "DashScript.h"
#include "SimProcess.h"
#include "TestUtil.h"
#include "app/DashAlerts.h"
#include "app/SuperDash.h"
#include "TestDash.h"
#include "link/LinkFakes.h"
#include "logging/LogExport.h"
#include "logging/Logging.h"
#include "settings/ComSetup.h"

namespace quarn {
namespace {

using test::SimProcess;

class FaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SimProcess::Built()) GTEST_SKIP() << "no simulator";
        ASSERT_TRUE(dir.isValid());
        settings = dir.filePath(QStringLiteral("quarnom.ini"));
        ASSERT_TRUE(WriteSettings(1, settings));
    }
    void TearDown() override { qunsetenv("QUARN_COM1"); }

    void Start(QStringList simArgs) {
        const QString link = dir.filePath(QStringLiteral("box"));
        ASSERT_TRUE(sim.Start(simArgs, link));
        qputenv("QUARN_COM1", QFile::encodeName(link));
        dash = test::MakeTestDash(alerts, dir.path());
        // The program's own end: the loop must stop once the link is given up.
        alerts.onEnd = [this] { dash->state().Monitoring = false; };
    }

    // Runs the dashboard; step() is called every 10 ms and returns true when
    // the test has seen enough. Returns false when the time ran out.
    bool Run(const std::function<bool()>& step, int limitMs = 20000) {
        return test::RunDashScript(*dash, step, limitMs);
    }

    std::int64_t Good() const { return dash->monitor().GoodFrames(); }

    // Record while monitoring runs, through the logging window.
    void StartRecording() {
        dash->ShowLogging();
        dash->logging()->logFile()->setText(recording);
        dash->logging()->Record_Click();
    }

    LogScan ScanRecording() const {
        LogReader reader;
        if (!reader.Open(recording.toStdString())) return {};
        return ScanLog(reader, nullptr, nullptr);
    }

    QTemporaryDir dir;
    QString settings;
    QString recording = dir.filePath(QStringLiteral("run.qz0"));
    test::RecordingAlerts alerts;
    SimProcess sim;
    std::unique_ptr<SuperDash> dash;
};

TEST_F(FaultTest, NoiseAndCorruptFramesAreCountedButNeitherShownNorLogged) {
    Start({QStringLiteral("--pace"), QStringLiteral("--garbage-every"), QStringLiteral("10"),
           QStringLiteral("--bad-every"), QStringLiteral("13")});
    std::int64_t goodAtRecord = -1, goodAtHalt = -1;
    ASSERT_TRUE(Run([&] {
        if (goodAtRecord < 0 && Good() > 0) {
            goodAtRecord = Good();
            StartRecording();
        }
        if (Good() < goodAtRecord + 600) return false;
        dash->logging()->Halt_Click();
        goodAtHalt = Good();
        return true;
    }));
    EXPECT_GT(dash->monitor().BadFrames(), 40);
    EXPECT_LT(dash->monitor().BadFrames(), Good() / 2) << "the frames never got back in step";
    const LogScan scan = ScanRecording();
    EXPECT_EQ(scan.records, goodAtHalt - goodAtRecord);
    EXPECT_EQ(scan.badChecksum, 0);
    EXPECT_TRUE(scan.Clean());
    EXPECT_TRUE(alerts.log.empty());
}

TEST_F(FaultTest, ABoxThatFallsSilentIsReconnectedOnceItAnswersAgain) {
    Start({QStringLiteral("--pace")});
    const auto pid = static_cast<pid_t>(sim.pid());
    ASSERT_GT(pid, 0);
    bool stopped = false, sawRetry = false, resumed = false;
    std::int64_t goodAtResume = 0;
    // The reconnect loop only ends once the box answers: wake it in any case.
    QTimer::singleShot(15000, dash.get(), [pid] { ::kill(pid, SIGCONT); });
    const bool done = Run([&] {
        if (!stopped && Good() >= 100) {
            ::kill(pid, SIGSTOP);
            stopped = true;
        }
        sawRetry |= dash->status().PanelText(2) == QStringLiteral("COM Retry");
        if (stopped && !resumed && sawRetry) {
            ::kill(pid, SIGCONT);
            resumed = true;
            goodAtResume = Good();
        }
        return resumed && Good() >= goodAtResume + 100;
    });
    EXPECT_EQ(dash->monitor().LinkFailures(), 1);  // yellow, red, "COM FAIL"
    EXPECT_TRUE(sawRetry);
    EXPECT_TRUE(done) << "frames did not flow again";
    EXPECT_EQ(dash->status().PanelText(1).toStdString(), "Monitoring");
}

TEST_F(FaultTest, ABoxLimitedTo9600ThatDropsRequestsStillMonitors) {
    Start({QStringLiteral("--max-rate"), QStringLiteral("9600"), QStringLiteral("--pace"),
           QStringLiteral("--drop-every"), QStringLiteral("7")});
    QString ready;
    EXPECT_TRUE(Run([&] {
        if (dash->status().PanelText(2).startsWith(QStringLiteral("Ready"))) ready = dash->status().PanelText(2);
        return Good() >= 60;
    }));
    EXPECT_EQ(ready.toStdString(), "Ready @ 9600");
    EXPECT_EQ(dash->monitor().LinkFailures(), 0);  // a dropped request costs one repeat
}

TEST_F(FaultTest, NestedReconnectsAndApplyDuringAReconnectRecover) {
    Start({QStringLiteral("--pace")});
    int step = 0;
    std::int64_t goodAfter = 0;
    EXPECT_TRUE(Run([&] {
        switch (step) {
            case 0:
                if (Good() < 50) return false;
                step = 1;
                // A double click: the second reconnect runs nested in the first.
                QTimer::singleShot(150, dash.get(), [this] { dash->ComStatusClicked(); });
                dash->ComStatusClicked();
                return false;
            case 1:
                step = 2;
                dash->ShowComSetup();
                // Apply while the loop reconnects after the clicks.
                QTimer::singleShot(100, dash.get(), [this] { dash->comSetup()->applyButton()->click(); });
                dash->ComStatusClicked();
                goodAfter = Good();
                return false;
            default:
                return Good() >= goodAfter + 100 &&
                       dash->status().PanelText(1) == QStringLiteral("Monitoring");
        }
    }, 30000));
    EXPECT_EQ(dash->status().PanelText(2).toStdString(), "COM Stopped");
    EXPECT_TRUE(alerts.log.empty());
}

// An adapter that goes away and stays away: the program waits for it, with
// the lamp red and the reason in the status bar, instead of ending; the
// recording so far is whole and quarnom.ini keeps the port.
// The device goes once the recording holds more than 100 frames (SIGUSR2
// unplugs it), however long a loaded machine takes to get them.
TEST_F(FaultTest, TheDeviceVanishingDuringARecordingIsAwaitedAndKeepsEveryGoodFrame) {
    Start({QStringLiteral("--pace")});
    const auto pid = static_cast<pid_t>(sim.pid());
    ASSERT_GT(pid, 0);
    std::int64_t goodAtRecord = -1;
    bool unplugged = false;
    int waitingPasses = 0;
    QColor lamp;
    Run([&] {
        if (goodAtRecord < 0 && Good() > 0) {
            goodAtRecord = Good();
            StartRecording();
        }
        if (!unplugged && goodAtRecord >= 0 && Good() > goodAtRecord + 150) {
            ::kill(pid, SIGUSR2);
            unplugged = true;
        }
        if (dash->status().PanelText(4) != QString::fromUtf8(Link::kUnpluggedNotice)) return false;
        lamp = dash->status().lampColour();
        return ++waitingPasses > 50;  // half a second of waiting
    });
    ASSERT_GE(goodAtRecord, 0);
    EXPECT_GT(waitingPasses, 50) << "the unplug was never shown";
    EXPECT_EQ(lamp, QColor(255, 0, 0));
    EXPECT_TRUE(alerts.log.empty()) << alerts.log.front();
    EXPECT_EQ(test::ReadBytes(settings.toStdString()),
              (std::vector<std::uint8_t>{' ', '1', ' ', '\r', '\n'}));
    // Every good frame up to the loss is in the log, as whole records.
    const LogScan scan = ScanRecording();
    EXPECT_GT(scan.records, 100);
    EXPECT_EQ(scan.records, Good() - goodAtRecord);
    EXPECT_EQ(scan.badChecksum, 0);
    EXPECT_TRUE(scan.Clean());
}

// The serial port error: the usual message, with the device and the
// system's reason as its detail and on standard error, in a box that does not
// hold the caller in a nested loop.
TEST(DashAlertsTest, SerialPortErrorBoxGivesTheReasonWithoutBlocking) {
    QWidget owner;
    DashAlerts alerts(&owner, {});
    const QString detail =
        QStringLiteral("Cannot open serial port 1 (/dev/null): it is not a serial device");

    ::testing::internal::CaptureStderr();
    alerts.ShowCritical(QStringLiteral("System Configuration Error"),
                        QStringLiteral("Serial Port Error.  Please reconfigure."), detail);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed.substr(0, printed.find('\n')),
              "System Configuration Error: Serial Port Error.  Please reconfigure. " +
                  detail.toStdString());

    QMessageBox* box = alerts.criticalBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->text().toStdString(), "Serial Port Error.  Please reconfigure.");
    EXPECT_EQ(box->detailedText(), detail);
}

}  // namespace
}  // namespace quarn
