// Serial adapters as users have them, end to end through real
// pseudo-terminals: a binding to an adapter's stable name, a binding to an
// adapter that is gone, a damaged per-user settings file, and an adapter
// unplugged and plugged in again while monitoring and while recording.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QLabel>

#include <chrono>

#include "DashScript.h"
#include "SimProcess.h"
#include "TestUtil.h"
#include "app/SuperDash.h"
#include "TestDash.h"
#include "link/LinkFakes.h"
#include "logging/LogExport.h"
#include "logging/Logging.h"
#include "settings/ComBindings.h"
#include "settings/ComSetup.h"
#include "settings/LastVehicle.h"
#include "settings/MessageCatcher.h"

namespace quarn {
namespace {

using test::SimProcess;
using Steady = std::chrono::steady_clock;

const std::vector<std::uint8_t> kPort1{' ', '1', ' ', '\r', '\n'};

class AdapterTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SimProcess::Built()) GTEST_SKIP() << "no simulator";
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(WriteSettings(1, settings));
        QFile::remove(UserSettingsPath());
    }
    void TearDown() override {
        qunsetenv("QUARN_COM1");
        QFile::remove(UserSettingsPath());
    }

    void MakeDash() {
        dash = test::MakeTestDash(alerts, dir.path());
        alerts.onEnd = [this] { dash->state().Monitoring = false; };
    }

    // As in the fault tests: step() every 10 ms until it returns true.
    bool Run(const std::function<bool()>& step, int limitMs = 20000) {
        return test::RunDashScript(*dash, step, limitMs);
    }

    std::int64_t Good() const { return dash->monitor().GoodFrames(); }

    QTemporaryDir dir;
    QString settings = dir.filePath(QStringLiteral("quarnom.ini"));
    QString recording = dir.filePath(QStringLiteral("run.qz0"));
    test::RecordingAlerts alerts;
    SimProcess sim;
    std::unique_ptr<SuperDash> dash;
};

// The adapter's stable name, bound in the dialog, leads to the box although
// the old rule would lead elsewhere (no QUARN_COM1, no ttyUSB0); the rate
// applied is the one the next start uses. quarnom.ini keeps only the port.
TEST_F(AdapterTest, TheBoundStableNameWinsOverTheRuleAndTheRateIsRemembered) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("by-id")));
    const QString stable = dir.filePath(QStringLiteral("by-id/usb-Quarn_Q4_0001-if00-port0"));
    ASSERT_TRUE(sim.Start({}, stable));
    MakeDash();

    dash->ShowComSetup();
    ComSetup* dialog = dash->comSetup();
    dialog->listDevices = [&] {
        return std::vector<SerialDeviceInfo>{
            {QStringLiteral("/dev/ttyS0"), QStringLiteral("ttyS0"), {}, {}, {}},
            {sim.device(), QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"),
             QStringLiteral("A1B2C3"), stable}};
    };
    dialog->RefreshDevices();
    ASSERT_EQ(dialog->deviceList()->topLevelItemCount(), 2);
    EXPECT_FALSE(dialog->bindButton()->isEnabled());  // nothing chosen yet
    dialog->deviceList()->setCurrentItem(dialog->deviceList()->topLevelItem(1));
    dialog->bindButton()->click();
    EXPECT_EQ(BoundDevice(1), stable);
    EXPECT_TRUE(dialog->sourceLabel()->text().contains(stable));
    EXPECT_TRUE(dialog->sourceLabel()->text().contains(QStringLiteral("bound")));
    dialog->rateButton(3)->setChecked(true);
    dialog->applyButton()->click();

    QString ready;
    EXPECT_TRUE(Run([&] {
        if (dash->status().PanelText(2).startsWith(QStringLiteral("Ready"))) ready = dash->status().PanelText(2);
        return Good() >= 20;
    }));
    EXPECT_EQ(ready.toStdString(), "Ready @ 57600");
    EXPECT_EQ(dash->link().Device(), stable);
    EXPECT_EQ(RememberedMaxRate(), 57600);
    EXPECT_EQ(test::ReadBytes(settings.toStdString()), kPort1);
    EXPECT_TRUE(alerts.log.empty()) << alerts.log.front();

    // The variable wins over the binding, and the dialog, shown again, says so.
    qputenv("QUARN_COM1", "/dev/quarn-elsewhere");
    dash->ShowComSetup();
    EXPECT_TRUE(dialog->sourceLabel()->text().contains(QStringLiteral("QUARN_COM1")));
}

// A binding to an adapter that is not plugged in fails at the start as a
// port that cannot be opened always did: the message, quarnom.ini reset.
TEST_F(AdapterTest, ABindingToADeviceThatIsGoneFailsAsAnOpenFailure) {
    const QString gone = dir.filePath(QStringLiteral("usb-Quarn_Q4_0002-if00-port0"));
    BindDevice(1, gone);
    MakeDash();
    Run([] { return false; }, 5000);
    ASSERT_GE(alerts.log.size(), 2u);
    EXPECT_EQ(alerts.log.front(),
              "critical:System Configuration Error|Serial Port Error.  Please reconfigure.");
    EXPECT_NE(alerts.details.front().find(gone.toStdString() + "): the device does not exist"),
              std::string::npos)
        << alerts.details.front();
    EXPECT_EQ(test::ReadBytes(settings.toStdString()),
              (std::vector<std::uint8_t>{' ', '0', ' ', '\r', '\n'}));
}

// A damaged file is said once, in a box that holds nothing up; its serial
// values are ignored (the rate stays 115200, the binding is not used).
TEST_F(AdapterTest, ADamagedUserSettingsFileIsReportedThenIgnored) {
    {
        QDir().mkpath(QFileInfo(UserSettingsPath()).path());
        QFile file(UserSettingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[serial\ncom1=/dev/quarn-nowhere\nmaxRate=9600\n");
    }
    EXPECT_TRUE(BoundDevice(1).isEmpty());
    EXPECT_FALSE(RememberedMaxRate());
    const QString link = dir.filePath(QStringLiteral("box"));
    ASSERT_TRUE(sim.Start({}, link));
    qputenv("QUARN_COM1", QFile::encodeName(link));
    MakeDash();
    QString reported, ready;
    EXPECT_TRUE(Run([&] {
        if (QMessageBox* box = test::OpenMessageBox()) {
            reported = box->text();
            box->close();
        }
        if (dash->status().PanelText(2).startsWith(QStringLiteral("Ready"))) ready = dash->status().PanelText(2);
        return Good() >= 20;
    }));
    EXPECT_TRUE(reported.contains(QStringLiteral("damaged"))) << reported.toStdString();
    EXPECT_EQ(ready.toStdString(), "Ready @ 115200");
    EXPECT_TRUE(alerts.log.empty()) << alerts.log.front();

    // A new choice writes the file anew, without bringing the damaged values
    // back to life.
    RememberMaxRate(38400);
    EXPECT_TRUE(UserSerialSettingsProblem().isEmpty());
    EXPECT_EQ(RememberedMaxRate(), 38400);
    EXPECT_TRUE(BoundDevice(1).isEmpty());

    // Values that parse but make no sense are named, and ignored too.
    {
        QFile file(UserSettingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[serial]\ncom2=ttyUSB0\nmaxRate=12345\n");
    }
    const QString problem = UserSerialSettingsProblem();
    EXPECT_TRUE(problem.contains(QStringLiteral("serial/com2, serial/maxRate")))
        << problem.toStdString();
    EXPECT_TRUE(BoundDevice(2).isEmpty());
    EXPECT_FALSE(RememberedMaxRate());
}

// The adapter is pulled twice and comes back on the same name: first while
// monitoring, then while recording. While it is away the lamp is red, the
// status says so, a click on "COM Status" changes nothing, and the number's
// rule would now lead to another device that opens (a stand-in for a
// built-in ttyS0): nobody talks to it. Frames
// flow again each time, and the log holds every good frame received while
// recording, before and after the unplug, all as whole records.
TEST_F(AdapterTest, UnplugAndReplugDuringMonitoringAndDuringARecordingLoseNoFrame) {
    SimProcess standIn;
    const QString other = dir.filePath(QStringLiteral("ttyS0"));
    ASSERT_TRUE(standIn.Start({}, other));
    const QString link = dir.filePath(QStringLiteral("box"));
    ASSERT_TRUE(sim.Start({QStringLiteral("--pace"), QStringLiteral("--unplug-after"),
                           QStringLiteral("4.5"), QStringLiteral("--replug-after"),
                           QStringLiteral("0.5")},
                          link));
    qputenv("QUARN_COM1", QFile::encodeName(link));
    MakeDash();

    int unplugs = 0, returns = 0;
    bool away = false, lampRedWhileAway = true;
    std::int64_t goodAtReturn = 0, goodAtRecord = -1, goodAtHalt = -1;
    Steady::time_point returnedAt{};
    std::vector<double> reconnectSeconds;
    const QString notice = QString::fromUtf8(Link::kUnpluggedNotice);
    const bool done = Run(
        [&] {
            const bool waiting = dash->status().PanelText(4) == notice;
            if (waiting && !away) {
                ++unplugs;
                away = true;
                qputenv("QUARN_COM1", QFile::encodeName(other));
                // A click on "COM Status" meanwhile: a connection nested in
                // the wait, which must neither end the program nor the wait.
                if (unplugs == 1) dash->ComStatusClicked();
            }
            if (waiting) lampRedWhileAway &= dash->status().lampColour() == QColor(255, 0, 0);
            if (away && returnedAt == Steady::time_point{} && QFileInfo::exists(link)) {
                returnedAt = Steady::now();
                goodAtReturn = Good();
            }
            if (away && returnedAt != Steady::time_point{} && Good() > goodAtReturn) {
                reconnectSeconds.push_back(
                    std::chrono::duration<double>(Steady::now() - returnedAt).count());
                away = false;
                returnedAt = {};
                ++returns;
                qputenv("QUARN_COM1", QFile::encodeName(link));
            }
            if (returns == 1 && goodAtRecord < 0 && Good() >= goodAtReturn + 20) {
                goodAtRecord = Good();
                dash->ShowLogging();
                dash->logging()->logFile()->setText(recording);
                dash->logging()->Record_Click();
            }
            if (returns < 2 || Good() < goodAtReturn + 100) return false;
            dash->logging()->Halt_Click();
            goodAtHalt = Good();
            return true;
        },
        30000);

    for (double s : reconnectSeconds)
        std::printf("[ INFO     ] frames again %.2f s after the device came back\n", s);
    EXPECT_TRUE(done) << "unplugs " << unplugs << ", returns " << returns;
    EXPECT_EQ(unplugs, 2);
    EXPECT_TRUE(lampRedWhileAway);
    EXPECT_TRUE(alerts.log.empty()) << alerts.log.front();
    EXPECT_EQ(dash->monitor().BadFrames(), 0);

    const std::string standInCounters = standIn.Stop().toStdString();
    EXPECT_NE(standInCounters.find("frames_answered=0 "), std::string::npos) << standInCounters;
    EXPECT_NE(standInCounters.find("bytes_ignored=0 "), std::string::npos) << standInCounters;

    ASSERT_GE(goodAtRecord, 0);
    LogReader reader;
    ASSERT_TRUE(reader.Open(recording.toStdString()));
    const LogScan scan = ScanLog(reader, nullptr, nullptr);
    EXPECT_EQ(scan.records, goodAtHalt - goodAtRecord);
    EXPECT_EQ(scan.badChecksum, 0);
    EXPECT_TRUE(scan.Clean());
}

}  // namespace
}  // namespace quarn
