// The logging window on a real dashboard against the simulated box through a
// real pseudo-terminal: a recording holds exactly the good frames received
// between Record and Stop and none of the corrupted ones, it plays back
// through the dashboard, and the window's buttons follow their states.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include "SimProcess.h"
#include "widgets/DialGauge.h"
#include "widgets/RefreshTick.h"
#include "app/SuperDash.h"
#include "link/LinkFakes.h"
#include "logging/LogExport.h"
#include "logging/Logging.h"
#include "settings/ComSetup.h"

namespace quarn {
namespace {

using test::SimProcess;

class LoggingWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        DashOptions options;
        options.alerts = &alerts;
        options.settingsPath = dir.filePath(QStringLiteral("quarnom.ini"));
        options.splashSeconds = 0.05;
        dash = std::make_unique<SuperDash>(std::move(options));
        dash->ShowLogging();
        window = dash->logging();
        window->logFile()->setText(dir.filePath(QStringLiteral("run.qz0")));
        window->showProblem = [this](const QString& text) { problems.push_back(text.toStdString()); };
    }
    void TearDown() override { qunsetenv("QUARN_COM1"); }

    // The buttons' enabled states, in the order Record, Play, Pause, Stop.
    std::string Buttons() const {
        std::string s;
        for (QPushButton* b : {window->recordButton(), window->playButton(), window->pauseButton(),
                               window->haltButton()})
            s += b->isEnabled() ? 'E' : 'D';
        return s;
    }

    QTemporaryDir dir;
    test::RecordingAlerts alerts;
    std::unique_ptr<SuperDash> dash;
    Logging* window = nullptr;
    std::vector<std::string> problems;
    SimProcess sim;
};

TEST_F(LoggingWindowTest, OpensWithTheDefaultsAndRefusesToPlayAMissingFile) {
    EXPECT_EQ(Logging::kDefaultLogFile.toStdString(), "c:\\test.qz0");
    EXPECT_EQ(Buttons(), "EEDD");
    EXPECT_TRUE(window->slider()->isHidden());
    EXPECT_EQ(window->counter()->text().toStdString(), "0");

    window->Play_Click();
    EXPECT_EQ(Buttons(), "EEDD");  // after the halt that ends every playback
    EXPECT_TRUE(window->counter()->isHidden());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(window->logFile()->text()));
}

TEST_F(LoggingWindowTest, RecordWhileMonitoringThenPlayBack) {
    if (!SimProcess::Built()) GTEST_SKIP() << "no simulator";
    const QString link = dir.filePath(QStringLiteral("box"));
    ASSERT_TRUE(sim.Start({QStringLiteral("--bad-every"), QStringLiteral("7")}, link));
    qputenv("QUARN_COM1", QFile::encodeName(link));
    ASSERT_TRUE(WriteSettings(1, dir.filePath(QStringLiteral("quarnom.ini"))));

    std::int64_t goodAtRecord = -1, goodAtHalt = -1, badAtRecord = 0, badAtHalt = 0;
    std::string recordingButtons;
    QTimer script;
    script.setInterval(10);
    QObject::connect(&script, &QTimer::timeout, [&] {
        Monitor& m = dash->monitor();
        if (goodAtRecord < 0 && m.GoodFrames() >= 20) {
            window->recordButton()->click();
            goodAtRecord = m.GoodFrames();
            badAtRecord = m.BadFrames();
            recordingButtons = Buttons();
        } else if (goodAtRecord >= 0 && goodAtHalt < 0 && m.GoodFrames() >= goodAtRecord + 300) {
            window->haltButton()->click();
            goodAtHalt = m.GoodFrames();
            badAtHalt = m.BadFrames();
            dash->state().Monitoring = false;
        }
    });
    QTimer::singleShot(20000, dash.get(), [this] { dash->state().Monitoring = false; });
    script.start();
    dash->Form_Load(nullptr);
    script.stop();

    ASSERT_GE(goodAtHalt, 0) << "the recording never ended";
    EXPECT_EQ(recordingButtons, "DDDE");
    SharedRefreshTick().Flush();  // the counter follows at the display's pace
    EXPECT_EQ(window->counter()->text().toLongLong(), goodAtHalt - goodAtRecord + 1);
    EXPECT_GT(badAtHalt - badAtRecord, 0) << "the box corrupted no frame while recording";

    LogReader reader;
    ASSERT_TRUE(reader.Open(window->logFile()->text().toStdString()));
    const LogScan scan = ScanLog(reader, nullptr, nullptr);
    EXPECT_EQ(scan.records, goodAtHalt - goodAtRecord);  // every good frame, nothing else
    EXPECT_EQ(scan.badChecksum, 0);
    EXPECT_TRUE(scan.Clean());

    // Play it back through the window and the dashboard.
    window->Play_Click();
    EXPECT_TRUE(dash->PanelText(1).isEmpty());  // the playback is over
    EXPECT_EQ(dash->PanelText(2).toStdString(), "COM Stopped");
    EXPECT_TRUE(dash->PanelText(3).isEmpty());
    EXPECT_EQ(Buttons(), "EEDD");
    EXPECT_TRUE(window->slider()->isHidden());
    EXPECT_EQ(dash->log().SkippedRecords(), 0);
    EXPECT_EQ(dash->gauge(Gauge::Tach)->NeedleValue(), dash->record().Rpm);
    EXPECT_TRUE(problems.empty());
}

// A playback ends the monitoring loop. Afterwards "COM Status", Apply in the
// setup dialog and Record must each bring the frames back, and a recording
// made then must hold every good frame it saw.
TEST_F(LoggingWindowTest, AfterAPlaybackComStatusApplyAndRecordEachGoLive) {
    if (!SimProcess::Built()) GTEST_SKIP() << "no simulator";
    const QString link = dir.filePath(QStringLiteral("box"));
    ASSERT_TRUE(sim.Start({}, link));
    qputenv("QUARN_COM1", QFile::encodeName(link));
    ASSERT_TRUE(WriteSettings(1, dir.filePath(QStringLiteral("quarnom.ini"))));
    const QString first = dir.filePath(QStringLiteral("first.qz0"));
    const QString second = dir.filePath(QStringLiteral("second.qz0"));
    const QString third = dir.filePath(QStringLiteral("third.qz0"));
    Monitor& m = dash->monitor();

    // Each step waits for frames beyond its mark, acts, and moves on.
    int step = 0;
    std::int64_t mark = 0, atRecord = 0, atHalt = 0;
    auto next = [&](int to) { step = to; mark = m.GoodFrames(); };
    QTimer script;
    script.setInterval(10);
    QObject::connect(&script, &QTimer::timeout, [&] {
        const std::int64_t good = m.GoodFrames();
        if (step == 0 && good >= 20) {  // record a first log while live
            window->logFile()->setText(first);
            next(1);
            window->recordButton()->click();
        } else if (step == 1 && good >= mark + 100) {  // stop it and play it
            window->haltButton()->click();
            next(2);
            window->Play_Click();
        } else if (step == 3 && good >= mark + 20) {  // live again: record
            window->logFile()->setText(second);
            window->recordButton()->click();
            atRecord = m.GoodFrames();
            next(4);
        } else if (step == 4 && good >= atRecord + 200) {
            window->haltButton()->click();
            atHalt = m.GoodFrames();
            dash->state().Monitoring = false;
            next(5);
        } else if (step == 6 && good >= mark + 20) {  // Apply brought it back
            dash->state().Monitoring = false;
            next(7);
        } else if (step == 8 && good >= mark + 50) {  // Record brought it back
            window->haltButton()->click();
            dash->state().Monitoring = false;
            next(9);
        }
    });
    QTimer::singleShot(40000, dash.get(), [this] { dash->state().Monitoring = false; });
    script.start();
    dash->Form_Load(nullptr);
    ASSERT_EQ(step, 2) << "the first recording and its playback did not happen";
    EXPECT_FALSE(m.Running());
    EXPECT_EQ(dash->PanelText(2).toStdString(), "COM Stopped");

    next(3);
    dash->Label1_Click();
    ASSERT_EQ(step, 5) << "COM Status did not bring the frames back";
    LogReader reader;
    ASSERT_TRUE(reader.Open(second.toStdString()));
    EXPECT_EQ(reader.RecordCount(), atHalt - atRecord);

    next(6);
    dash->ShowComSetup();
    dash->comSetup()->applyButton()->click();
    for (int i = 0; i < 4000 && step == 6; ++i) dash->link().Yield(std::chrono::milliseconds(10));
    ASSERT_EQ(step, 7) << "Apply did not bring the frames back";

    next(8);
    window->logFile()->setText(third);
    window->recordButton()->click();
    ASSERT_EQ(step, 9) << "Record did not bring the frames back";
    ASSERT_TRUE(reader.Open(third.toStdString()));
    EXPECT_GE(reader.RecordCount(), 50);
    script.stop();
}

TEST_F(LoggingWindowTest, PauseEnablesTheSliderAndClosingHaltsThePlayback) {
    const std::string path = window->logFile()->text().toStdString();
    for (int n = 1; n <= 2000; ++n) {
        RawFrame raw;
        raw.analog[0] = static_cast<std::uint16_t>(n % 1024);
        const FrameBytes f = EncodeFrame(raw);
        ASSERT_TRUE(WriteRecordAt(path, n, ByteBuffer(f.begin(), f.end())));
    }
    window->speed()->setCurrentIndex(window->speed()->findData(200));
    std::string pausedButtons;
    bool sliderEnabled = false;
    QTimer::singleShot(100, dash.get(), [&] {
        window->pauseButton()->click();
        pausedButtons = Buttons();
        sliderEnabled = window->slider()->isEnabled() && window->slider()->isVisible();
        window->close();  // halts first
    });
    window->Play_Click();
    EXPECT_EQ(pausedButtons, "DEDE");
    EXPECT_TRUE(sliderEnabled);
    EXPECT_FALSE(dash->log().Playing());
    EXPECT_LT(dash->log().SkippedRecords(), 1);
}

}  // namespace
}  // namespace quarn
