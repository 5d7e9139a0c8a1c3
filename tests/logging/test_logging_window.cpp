// The logging window on a real dashboard against the simulated box through a
// real pseudo-terminal: a recording holds exactly the good frames received
// between Record and Stop and none of the corrupted ones, it plays back
// through the dashboard, and the window's buttons follow their states.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include "SimProcess.h"
#include "widgets/DialGauge.h"
#include "widgets/RefreshTick.h"
#include "app/SuperDash.h"
#include "TestDash.h"
#include "link/LinkFakes.h"
#include "logging/LogExport.h"
#include "logging/LogSidecar.h"
#include "logging/Logging.h"
#include "scope/ScopeSlots.h"
#include "scope/StripChart.h"
#include "scope/SuperScope.h"
#include "settings/ComSetup.h"
#include "TestUtil.h"

namespace quarn {
namespace {

using test::SimProcess;

class LoggingWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Build(nullptr);
    }
    // A test that needs no simulator may put the dashboard on the fake clock.
    void Build(test::DashTime* time) {
        window = nullptr;
        dash.reset();
        dash = test::MakeTestDash(alerts, dir.path(), 0.05, time);
        dash->ShowLogging();
        window = dash->logging();
        window->logFile()->setText(dir.filePath(QStringLiteral("run.qz0")));
        window->showProblem = [this](const QString& text) { problems.push_back(text.toStdString()); };
    }
    void TearDown() override { qunsetenv("QUARN_COM1"); }

    // The export runs on a worker; the window hears of its end in an event.
    void WaitForExport() {
        for (int i = 0; i < 3000 && window->exporting(); ++i) {
            QEventLoop pause;
            QTimer::singleShot(10, &pause, &QEventLoop::quit);
            pause.exec();
        }
        ASSERT_FALSE(window->exporting()) << "the export did not end";
        QCoreApplication::processEvents();
    }

    // The buttons' enabled states, in the order Record, Play, Pause, Stop.
    std::string Buttons() const {
        std::string s;
        for (QPushButton* b : {window->recordButton(), window->playButton(), window->pauseButton(),
                               window->haltButton()})
            s += b->isEnabled() ? 'E' : 'D';
        return s;
    }

    // A log of numbered frames; damaged adds two broken records and a
    // cut-off tail.
    void MakeLog(const QString& file, int records, bool damaged = false) {
        for (int n = 1; n <= records; ++n) {
            RawFrame raw;
            raw.analog[0] = static_cast<std::uint16_t>(n % 1024);
            raw.timer[0] = 4606;   // RpmPeriod
            raw.timer[5] = 20000;  // VssPeriod, faster than
            raw.timer[6] = 30000;  // VssPeriodPrev: some wheel power
            raw.timer[7] = 1000;   // AccelInterval
            const FrameBytes f = EncodeFrame(raw);
            ASSERT_TRUE(WriteRecordAt(file.toStdString(), n, ByteBuffer(f.begin(), f.end())));
        }
        if (!damaged) return;
        std::vector<std::uint8_t> bytes = test::ReadBytes(file.toStdString());
        bytes[kRecordBytes * 3] = 9;  // record 4: bad header
        bytes.resize(bytes.size() + 20, 0xEE);
        test::WriteBytes(file.toStdString(), bytes);
    }

    // The visible dialog of the window of type T, if any.
    template <typename T>
    T* OpenDialog() const {
        for (T* d : window->findChildren<T*>())
            if (d->isVisible()) return d;
        return nullptr;
    }

    QTemporaryDir dir;
    test::RecordingAlerts alerts;
    test::DashTime time;
    std::unique_ptr<SuperDash> dash;
    Logging* window = nullptr;
    std::vector<std::string> problems;
    SimProcess sim;
};

TEST_F(LoggingWindowTest, OpensWithTheDefaultsAndRefusesToPlayAMissingFile) {
    // The name box offers a new file, named by the date and time, in the
    // datalog directory: no stray "c:\test.qz0" in the working folder.
    dash->log().recorder().SetDirectory(dir.filePath(QStringLiteral("logs")));
    auto* fresh = new Logging(dash->log(), dash->status(), *dash, dash.get());
    const QString offered = QDir::fromNativeSeparators(fresh->logFile()->text());
    EXPECT_EQ(QFileInfo(offered).absolutePath(), dir.filePath(QStringLiteral("logs")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.qz0$"))
                    .match(QFileInfo(offered).fileName())
                    .hasMatch())
        << offered.toStdString();
    delete fresh;
    dash->log().SetView(window);

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
    dash->StartUp(nullptr);
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
    // Beside it, one recorded time per record and not one more.
    const SidecarContents sidecar = ReadSidecar(window->logFile()->text(), scan.records + 1);
    EXPECT_EQ(static_cast<std::int64_t>(sidecar.times.size()), scan.records);
    EXPECT_FALSE(sidecar.cut);
    EXPECT_TRUE(sidecar.start.isValid());

    // Play it back through the window and the dashboard.
    window->Play_Click();
    EXPECT_TRUE(dash->status().PanelText(1).isEmpty());  // the playback is over
    EXPECT_EQ(dash->status().PanelText(2).toStdString(), "COM Stopped");
    // Cleared, unless the once-a-second tick (a loaded machine) has come
    // since: then it counted no frame.
    const QString rate = dash->status().PanelText(3);
    EXPECT_TRUE(rate.isEmpty() || rate == QStringLiteral("0 FPS")) << rate.toStdString();
    EXPECT_EQ(Buttons(), "EEDD");
    EXPECT_TRUE(window->slider()->isHidden());
    EXPECT_EQ(dash->log().player().SkippedRecords(), 0);
    EXPECT_EQ(dash->gauge(Gauge::Tach)->NeedleValue(), dash->record().Rpm);
    EXPECT_TRUE(problems.empty());
}

// Live data comes back by itself once a playback is over, and a recording
// made then holds every good frame it saw. When monitoring is stopped
// otherwise, "COM Status", Apply in the setup dialog and Record each bring
// the frames back.
TEST_F(LoggingWindowTest, AfterAPlaybackLiveDataReturnsAndComStatusApplyAndRecordGoLive) {
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
    QColor lampDuringPlay;
    QString linkPanelDuringPlay;
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
            window->speed()->setCurrentIndex(window->speed()->findData(200));
            window->Play_Click();
            next(3);
        } else if (step == 3 && good >= mark + 20) {  // live again, unasked: record
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
        } else if (step == 10 && good >= mark + 20) {  // COM Status brought it back
            dash->state().Monitoring = false;
            next(11);
        }
    });
    // The script's own timer does not fire while its handler plays.
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (step != 2 || !dash->log().Playing()) return;
        lampDuringPlay = dash->status().lampColour();
        linkPanelDuringPlay = dash->status().PanelText(2);
    });
    watch.start();
    QTimer::singleShot(40000, dash.get(), [this] { dash->state().Monitoring = false; });
    script.start();
    dash->StartUp(nullptr);
    ASSERT_EQ(step, 5) << "live data did not come back after the playback";
    EXPECT_EQ(lampDuringPlay, QColor(64, 64, 64));
    EXPECT_EQ(linkPanelDuringPlay.toStdString(), "COM Stopped");
    EXPECT_FALSE(m.Running());
    EXPECT_EQ(dash->status().PanelText(2).toStdString(), "COM Stopped");
    LogReader reader;
    ASSERT_TRUE(reader.Open(second.toStdString()));
    EXPECT_EQ(reader.RecordCount(), atHalt - atRecord);

    next(10);
    dash->ComStatusClicked();
    ASSERT_EQ(step, 11) << "COM Status did not bring the frames back";

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
    Build(&time);
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
    time.yielder.onYield = [&] {
        if (time.Seconds() < 0.1 || !pausedButtons.empty()) return;
        window->pauseButton()->click();
        pausedButtons = Buttons();
        sliderEnabled = window->slider()->isEnabled() && window->slider()->isVisible();
        window->close();  // halts first
    };
    window->Play_Click();
    EXPECT_EQ(pausedButtons, "DEDE");
    EXPECT_LT(time.Seconds(), 1);  // paused at 0.1 s, 20 records in
    EXPECT_TRUE(sliderEnabled);
    EXPECT_FALSE(dash->log().Playing());
    EXPECT_LT(dash->log().player().SkippedRecords(), 1);
}

// Against the simulator: the dialogs of the window hold no frames, a
// recording keeps its file name and goes on through a closed window when the
// user says so, and the activity panel tells what runs.
TEST_F(LoggingWindowTest, RecordingGoesOnUnderOpenDialogsAndAClosedWindow) {
    if (!SimProcess::Built()) GTEST_SKIP() << "no simulator";
    const QString link = dir.filePath(QStringLiteral("box"));
    ASSERT_TRUE(sim.Start({}, link));
    qputenv("QUARN_COM1", QFile::encodeName(link));
    ASSERT_TRUE(WriteSettings(1, dir.filePath(QStringLiteral("quarnom.ini"))));
    const QString file = window->logFile()->text();
    window->showProblem = nullptr;  // real message boxes
    LogOperations& log = dash->log();
    Monitor& m = dash->monitor();

    int step = 0, stalledAt = 0;
    std::int64_t mark = 0;
    bool lockedWhileRecording = false, questionAsked = false;
    std::string panelAfterComStatus, panelWhileClosed;
    // A dialog that held the frames in its own loop is closed from here, and
    // the run given up.
    QTimer deadline;
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        if (step != 99) stalledAt = step;
        step = 99;
        dash->state().Monitoring = false;
    });
    auto next = [&](int to) {
        step = to;
        mark = log.recorder().NextRecord();
        deadline.start(8000);
    };
    QTimer script;
    script.setInterval(10);
    QObject::connect(&script, &QTimer::timeout, [&] {
        if (step == 0 && m.GoodFrames() >= 20) {
            next(1);
            window->Browse_Click();  // while monitoring
            window->recordButton()->click();
            lockedWhileRecording = window->logFile()->isReadOnly() &&
                                   !window->findChild<QPushButton*>(QStringLiteral("Browse"))
                                        ->isEnabled();
            window->ShowProblem(QStringLiteral("a warning"));
        } else if (step == 1 && log.recorder().NextRecord() >= mark + 100) {
            // Frames went on under both dialogs.
            if (QFileDialog* browse = OpenDialog<QFileDialog>()) browse->reject();
            for (QMessageBox* box : window->findChildren<QMessageBox*>()) box->close();
            next(2);
            window->close();
            if (QMessageBox* ask = OpenDialog<QMessageBox>()) {
                questionAsked = true;
                ask->button(QMessageBox::No)->click();  // keep recording
            }
        } else if (step == 2 && log.recorder().NextRecord() >= mark + 50) {
            panelWhileClosed = dash->status().PanelText(1).toStdString();
            next(3);
            dash->ComStatusClicked();  // reconnects under the recording
            panelAfterComStatus = dash->status().PanelText(1).toStdString();
        } else if (step == 3 && log.recorder().NextRecord() >= mark + 20) {
            deadline.stop();
            dash->state().Monitoring = false;
            step = 4;
        }
    });
    script.start();
    dash->StartUp(nullptr);
    script.stop();
    deadline.stop();

    ASSERT_NE(stalledAt, 1) << "the recording stood still under the dialogs";
    EXPECT_TRUE(lockedWhileRecording);
    EXPECT_TRUE(questionAsked);
    ASSERT_EQ(step, 4) << "the recording did not go on after the window closed";
    EXPECT_EQ(panelWhileClosed, "Recording");
    EXPECT_NE(panelAfterComStatus, "Initializing");

    // Reopened, the window shows the recording running.
    dash->ShowLogging();
    EXPECT_EQ(dash->logging(), window);
    EXPECT_EQ(window->logFile()->text(), file);
    EXPECT_TRUE(window->haltButton()->isEnabled());
    SharedRefreshTick().Flush();
    EXPECT_EQ(window->counter()->text().toLongLong(), log.recorder().NextRecord());
    window->haltButton()->click();
    EXPECT_FALSE(window->logFile()->isReadOnly());
    EXPECT_FALSE(window->haltButton()->isEnabled());
    LogReader reader;
    ASSERT_TRUE(reader.Open(file.toStdString()));
    EXPECT_EQ(reader.RecordCount(), log.recorder().NextRecord() - 1);
}

// Closing the window while its own playback or export is on the stack: the
// window only hides, the operation ends, and nothing it still uses is freed.
TEST_F(LoggingWindowTest, ClosingTheWindowUnderItsOwnOperationsFreesNothingInUse) {
    const QPointer<Logging> guard(window);
    const QString log = window->logFile()->text();
    window->speed()->setCurrentIndex(window->speed()->findData(200));

    // Pause a playback, then close.
    MakeLog(log, 2000);
    QTimer::singleShot(100, dash.get(), [&] {
        window->pauseButton()->click();
        QTimer::singleShot(50, dash.get(), [&] { window->close(); });
    });
    window->Play_Click();
    ASSERT_TRUE(guard);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(dash->log().Playing());

    // A damaged log playing, then close: its end-of-playback warnings come
    // up as real message boxes once the window has closed.
    dash->ShowLogging();
    window->showProblem = nullptr;
    MakeLog(log, 500, true);
    QTimer::singleShot(100, dash.get(), [&] { window->close(); });
    // Were a box to run its own loop, it would be closed from here.
    QTimer::singleShot(3000, dash.get(), [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    window->Play_Click();
    ASSERT_TRUE(guard);
    EXPECT_FALSE(dash->log().Playing());
    EXPECT_GE(window->findChildren<QMessageBox*>().size(), 2);
    for (QMessageBox* box : window->findChildren<QMessageBox*>()) box->close();
    QCoreApplication::processEvents();

    // Close during an export big enough that its progress is reported after
    // the close: it gives up, and the CSV already there stays as it was.
    dash->ShowLogging();
    window->showProblem = [this](const QString& text) { problems.push_back(text.toStdString()); };
    window->askOverwrite = [](const QString&) { return true; };
    MakeLog(log, 100000);
    const QString csv = dir.filePath(QStringLiteral("run.csv"));
    test::WriteBytes(csv.toStdString(), {'o', 'l', 'd'});
    QTimer::singleShot(0, dash.get(), [&] { window->close(); });
    window->ExportTo(log, csv);
    WaitForExport();
    ASSERT_TRUE(guard);
    EXPECT_EQ(test::ReadBytes(csv.toStdString()), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    const QStringList temporary =
        QDir(dir.path()).entryList({QStringLiteral(".run.csv*")}, QDir::Files | QDir::Hidden);
    EXPECT_TRUE(temporary.isEmpty()) << temporary.join(u' ').toStdString();
}

// The export goes where the save dialog says, beside the log by default,
// never onto the log itself, and converts with the car in use.
TEST_F(LoggingWindowTest, ExportNeverWritesOntoItsLogAndUsesTheCarInUse) {
    const QString log = dir.filePath(QStringLiteral("drive.csv"));
    window->logFile()->setText(log);
    MakeLog(log, 300);
    const auto before = test::ReadBytes(log.toStdString());
    window->askOverwrite = [](const QString&) { return true; };

    auto exportVia = [&](const QString& target) {
        window->ExportCsv_Click();
        QFileDialog* dialog = OpenDialog<QFileDialog>();
        if (!dialog) return QString();
        const QString suggested = dialog->selectedFiles().value(0);
        dialog->selectFile(target);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
        WaitForExport();
        return suggested;
    };
    // The suggestion would be the log itself, so another name is offered;
    // choosing the log anyway is refused.
    const QString suggested = exportVia(log);
    EXPECT_NE(QFileInfo(suggested).fileName(), QStringLiteral("drive.csv"));
    EXPECT_EQ(QFileInfo(suggested).absolutePath(), QFileInfo(log).absolutePath());
    EXPECT_EQ(test::ReadBytes(log.toStdString()), before);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("the log itself"), std::string::npos) << problems[0];

    ASSERT_TRUE(dash->vehicle().SetWeight("1750"));
    const QString out = dir.filePath(QStringLiteral("out.csv"));
    exportVia(out);
    const auto bytes = test::ReadBytes(out.toStdString());
    const std::string written(bytes.begin(), bytes.end());
    auto exported = [&](const VehicleData& car, const QString& from) {
        LogReader reader;
        EXPECT_TRUE(reader.Open(from.toStdString()));
        std::FILE* f = std::tmpfile();
        ExportCsv(reader, f, nullptr, nullptr, car);
        std::string text(static_cast<std::size_t>(std::ftell(f)), '\0');
        std::rewind(f);
        EXPECT_EQ(std::fread(text.data(), 1, text.size(), f), text.size());
        std::fclose(f);
        return text;
    };
    EXPECT_EQ(written, exported(dash->vehicle(), log));
    EXPECT_NE(written, exported(VehicleData(), log));  // the car makes a difference
    EXPECT_EQ(test::ReadBytes(log.toStdString()), before);

    // The car is the one in use as the export begins: a change while the
    // worker converts does not reach it.
    const QString big = dir.filePath(QStringLiteral("big.qz0"));
    MakeLog(big, 20000);
    const QString bigOut = dir.filePath(QStringLiteral("big.csv"));
    window->ExportTo(big, bigOut);
    ASSERT_TRUE(dash->vehicle().SetWeight("2500"));
    WaitForExport();
    ASSERT_TRUE(dash->vehicle().SetWeight("1750"));
    const auto bigBytes = test::ReadBytes(bigOut.toStdString());
    EXPECT_TRUE(std::string(bigBytes.begin(), bigBytes.end()) == exported(dash->vehicle(), big));

    // Damaged records are counted on the worker and told by the window.
    problems.clear();
    const QString damaged = dir.filePath(QStringLiteral("damaged.qz0"));
    MakeLog(damaged, 300, true);
    window->ExportTo(damaged, bigOut);
    WaitForExport();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("damaged records were left out"), std::string::npos) << problems[0];
}

// At the Max speed the scopes still plot the log against its own (estimated)
// time, and resuming after a pause continues the traces.
TEST_F(LoggingWindowTest, PlaybackPlotsAgainstTheLogsTimeAndResumeKeepsTheTraces) {
    constexpr int kRecords = 6000;
    MakeLog(window->logFile()->text(), kRecords);
    ASSERT_EQ(dash->scopes().Open(), 1);
    StripChart* chart = dash->scopes().Window(1)->chart();
    int pointsAtPause = 0;
    QTimer::singleShot(20, dash.get(), [&] {
        window->pauseButton()->click();
        QTimer::singleShot(100, dash.get(), [&] {
            pointsAtPause = chart->pointCount();
            window->playButton()->click();  // resume
        });
    });
    window->Play_Click();
    ASSERT_GT(pointsAtPause, 0);
    ASSERT_LT(pointsAtPause, kRecords) << "the playback ended before the pause";
    EXPECT_GE(chart->pointCount(), kRecords);  // nothing cleared at the resume
    const double perSecond = Player::WireFrameRate(115200);
    EXPECT_NEAR(chart->points().constBegin()->key, 0, 1e-9);
    EXPECT_NEAR((chart->points().constEnd() - 1)->key, (kRecords - 1) / perSecond, 1e-6);
    EXPECT_EQ(chart->xAxis->label().toStdString(), "s (est.)");
}

}  // namespace
}  // namespace quarn
