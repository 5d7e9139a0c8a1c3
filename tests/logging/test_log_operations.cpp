// Recording and playback on a scripted link and a fake clock, with a fake
// logging window whose "user" acts during the yields: record numbering, the
// counter, a changed file name, write failures, overwrite declined, playback
// order, the slider's ticks, pause, seek and halt, damaged and missing files,
// paced playback, and a recording killed mid-way.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <functional>

#include "TestUtil.h"
#include "link/LinkFakes.h"
#include "monitor/FakeConsumers.h"
#include "logging/LogOperations.h"
#include "logging/LogSidecar.h"

namespace quarn {
namespace {

using namespace std::chrono_literals;
using test::FakeBox;
using test::FakeClock;
using test::FakeConsumers;
using test::FakeSerialPort;
using test::FakeYielder;
using test::RecordingAlerts;
using test::RecordingStatus;

// Frames that carry their own number in MafRaw, so what was shown can be told.
ByteBuffer NumberedFrame(int n) {
    RawFrame raw;
    raw.analog[0] = static_cast<std::uint16_t>(n);
    const FrameBytes f = EncodeFrame(raw);
    return ByteBuffer(f.begin(), f.end());
}

// The logging window as the operations see it; Halt behaves as the real
// window's Stop button.
class FakeView final : public LoggingView {
public:
    explicit FakeView(LogOperations*& log) : m_log(log) {}
    QString LogFileName() const override { return name; }
    void SetCounter(std::int64_t v) override { counter = v; }
    void SetupSlider(std::int64_t lo, std::int64_t hi, std::int64_t t) override {
        minimum = lo;
        maximum = hi;
        tick = t;
    }
    void SetSliderPosition(std::int64_t p) override { position = p; }
    std::int64_t SliderPosition() const override { return position; }
    void HideSlider() override { sliderHidden = true; }
    int PlaybackRate() const override { return rate; }
    void ShowOverwriteDeclined() override { declined = true; }
    void HaltAction() override {
        ++halts;
        m_log->StopLogging();
    }
    void AskOverwrite(const QString&, std::function<void(bool)> answer) override {
        if (deferAnswer) {
            pendingAnswer = std::move(answer);
            return;
        }
        answer(overwrite);
    }
    void ShowProblem(const QString& text) override { problems.push_back(text.toStdString()); }

    QString name;
    std::int64_t counter = 0, minimum = 0, maximum = 0, tick = 0, position = 0;
    bool sliderHidden = false, declined = false, overwrite = true;
    int rate = 0, halts = 0;
    bool deferAnswer = false;  // the question stays open until pendingAnswer runs
    std::function<void(bool)> pendingAnswer;
    std::vector<std::string> problems;

private:
    LogOperations*& m_log;
};

class LogOperationsTest : public ::testing::Test, public LoggingHost {
protected:
    LogOperationsTest() {
        logPtr = &log;
        log.SetView(&view);
        view.name = dir.filePath(QStringLiteral("drive.qz0"));
    }
    void ShowDashboard() override {}
    void ReapplyScopeSelections() override {}
    void PlaybackStarting() override { ++playbacksStarted; }
    void PlaybackEnded() override { ++playbacksEnded; }
    int playbacksStarted = 0;
    int playbacksEnded = 0;

    std::string Path() const { return view.name.toStdString(); }
    void MakeLog(int records) {
        for (int n = 1; n <= records; ++n) ASSERT_TRUE(WriteRecordAt(Path(), n, NumberedFrame(n)));
    }
    std::vector<int> Range(int from, int to) {
        std::vector<int> v;
        for (int i = from; i <= to; ++i) v.push_back(i);
        return v;
    }

    QTemporaryDir dir;
    FakeClock clock;
    FakeYielder yielder{clock};
    FakeSerialPort port;
    FakeBox box{port, 9600};
    RecordingStatus status;
    RecordingAlerts alerts;
    Link link{port, clock, yielder, status, alerts, dir.filePath(QStringLiteral("quarnom.ini"))};
    RunState state;
    ChannelRecord rec;
    Conversion conversion;
    VehicleData vehicle;
    FakeConsumers consumers{rec, {3}};
    FramePath path{state, rec, conversion, vehicle, consumers};
    Monitor monitor{link, status, state, path};
    LogOperations log{link, status, state, monitor, path, *this};
    Recorder& recorder = log.recorder();
    Player& player = log.player();
    LogOperations* logPtr = nullptr;
    FakeView view{logPtr};
};

TEST(TickFrequency, AboutTwentyTicksRoundedHalfToEvenAndNeverZero) {
    EXPECT_EQ(Player::TickFrequency(12), 1);
    EXPECT_EQ(Player::TickFrequency(30), 2);  // 1.5
    EXPECT_EQ(Player::TickFrequency(50), 2);  // 2.5
    EXPECT_EQ(Player::TickFrequency(70), 4);  // 3.5
    EXPECT_EQ(Player::TickFrequency(5), 1);   // 0.25 would be no tick at all
    EXPECT_EQ(Player::TickFrequency(1000000), 50000);
}

TEST_F(LogOperationsTest, RecordingNumbersRecordsFromOneAndKeepsToTheNameItStartedWith) {
    state.Monitoring = true;
    status.SetPanelText(2, QStringLiteral("Ready @ 115200"));
    recorder.Start();
    EXPECT_TRUE(state.Recording);
    link.RxBuf() = NumberedFrame(7);
    recorder.Write();
    EXPECT_EQ(view.counter, 2);  // the number the next record will take
    link.RxBuf() = NumberedFrame(8);
    recorder.Write();

    // Typing in the name box while recording, a stray name or another log's,
    // neither creates a file nor writes into one.
    const QString first = view.name;
    const QString other = dir.filePath(QStringLiteral("other.qz0"));
    ASSERT_TRUE(WriteRecordAt(other.toStdString(), 1, NumberedFrame(1)));
    for (const QString& typed : {dir.filePath(QStringLiteral("s")), other}) {
        view.name = typed;
        link.RxBuf() = NumberedFrame(9);
        recorder.Write();
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("s"))));
    EXPECT_EQ(test::ReadBytes(other.toStdString()).size(), std::size_t(kRecordBytes));
    EXPECT_EQ(test::ReadBytes(first.toStdString()).size(), 4u * kRecordBytes);
    EXPECT_EQ(status.PanelText(1).toStdString(), "Recording");
    log.StopLogging();
    EXPECT_NE(status.PanelText(1).toStdString(), "Recording");
}

// Frames from the box every 10 ms, as the frame path hands them on: written
// while recording, then offered to the trigger. tps gives each frame's
// throttle volts by its number.
class TriggerTest : public LogOperationsTest {
protected:
    void Drive(int from, int to, const std::function<double(int)>& tps) {
        for (int n = from; n <= to; ++n) {
            clock.Advance(10ms);
            link.RxBuf() = NumberedFrame(n);
            if (state.Recording) recorder.Write();
            recorder.Offer(tps(n));
        }
    }
    // The numbers of the frames a log holds, in order.
    std::vector<int> Frames(const QString& file) {
        LogReader reader;
        std::vector<int> numbers;
        if (!reader.Open(file.toStdString())) return numbers;
        ByteBuffer frame;
        for (std::int64_t n = 1; n <= reader.RecordCount(); ++n) {
            reader.Read(n, frame);
            ChannelRecord r;
            DecodeFrame(frame, r);
            numbers.push_back(r.MafRaw);
        }
        return numbers;
    }
    QStringList Logs() const {
        return QDir(logs).entryList({QStringLiteral("*.qz0")}, QDir::Files, QDir::Name);
    }
    QString logs = dir.filePath(QStringLiteral("Quarn Logs"));
};

// TPS above 4.0 V starts a run in a new dated file that begins with the 5 s
// before the trigger and ends 5 s after TPS fell back; the next trigger gets
// a file of its own and no frame twice.
TEST_F(TriggerTest, TpsStartsARunWithTheFiveSecondsBeforeAndEndsFiveSecondsAfter) {
    state.Monitoring = true;
    recorder.SetDirectory(logs);
    recorder.SetTpsTrigger(true);
    auto pulls = [](int n) { return (n > 1000 && n <= 1100) || (n > 2000 && n <= 2050) ? 4.5 : 1.0; };
    Drive(1, 1000, pulls);
    EXPECT_FALSE(state.Recording);
    EXPECT_FALSE(QFileInfo::exists(logs));  // nothing made before a trigger
    Drive(1001, 1001, pulls);
    EXPECT_TRUE(state.Recording);
    Drive(1002, 1600, pulls);
    EXPECT_TRUE(state.Recording) << "stopped before 5 s below the trigger";
    Drive(1601, 2000, pulls);
    EXPECT_FALSE(state.Recording);
    Drive(2001, 3000, pulls);
    EXPECT_FALSE(state.Recording);

    const QStringList files = Logs();
    ASSERT_EQ(files.size(), 2) << files.join(u',').toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d"))
                    .match(files[0])
                    .hasMatch())
        << files[0].toStdString();
    const QString first = QDir(logs).filePath(files[0]);
    EXPECT_EQ(Frames(first), Range(501, 1601));
    // The ring's records keep the times they were received at.
    const SidecarContents times = ReadSidecar(first, 1101);
    ASSERT_EQ(times.times.size(), 1101u);
    EXPECT_NEAR(times.times[500] - times.times[0], 5.0, 1e-9);  // the trigger frame
    EXPECT_NEAR(times.times[1100] - times.times[0], 11.0, 1e-9);
    EXPECT_EQ(Frames(QDir(logs).filePath(files[1])), Range(1602, 2551));

    // Off, the throttle starts nothing.
    recorder.SetTpsTrigger(false);
    Drive(3001, 3100, [](int) { return 4.5; });
    EXPECT_FALSE(state.Recording);
    EXPECT_EQ(Logs().size(), 2);
}

// A recording the user started is not ended by the throttle.
TEST_F(TriggerTest, TheTriggerLeavesTheUsersOwnRecordingAlone) {
    state.Monitoring = true;
    recorder.SetDirectory(logs);
    recorder.SetTpsTrigger(true);
    recorder.Start();
    Drive(1, 1000, [](int n) { return n < 100 ? 4.5 : 1.0; });
    EXPECT_TRUE(state.Recording);
    EXPECT_EQ(Frames(view.name), Range(1, 1000));
    EXPECT_TRUE(Logs().isEmpty());
}

TEST_F(TriggerTest, TheRateCapWritesAtMostThatManyRecordsASecond) {
    state.Monitoring = true;
    recorder.SetMaxRate(50);
    recorder.Start();
    Drive(1, 200, [](int) { return 1.0; });  // 2 s at 100 frames a second
    const std::vector<int> written = Frames(view.name);
    EXPECT_EQ(written.size(), 100u);
    EXPECT_EQ(written.front(), 1);
    recorder.SetMaxRate(0);
    Drive(201, 210, [](int) { return 1.0; });
    EXPECT_EQ(Frames(view.name).size(), 110u);  // uncapped: every frame
}

// The record key records into a new dated file in the datalog directory,
// made for it, and stops on the next press.
TEST_F(TriggerTest, TheRecordKeyStartsAndStopsADatedRecording) {
    state.Monitoring = true;
    recorder.SetDirectory(logs);
    consumers.onWrite = [] {};
    recorder.ToggleByKey();
    EXPECT_TRUE(state.Recording);
    Drive(1, 5, [](int) { return 1.0; });
    recorder.ToggleByKey();
    EXPECT_FALSE(state.Recording);
    EXPECT_EQ(view.halts, 1);  // through the window's Stop
    ASSERT_EQ(Logs().size(), 1);
    EXPECT_EQ(Frames(QDir(logs).filePath(Logs()[0])), Range(1, 5));
}

TEST_F(LogOperationsTest, ALongReceiveBufferIsStoredAsItsFirst38Bytes) {
    recorder.Start();
    ByteBuffer two = NumberedFrame(1);
    const ByteBuffer next = NumberedFrame(2);
    two.insert(two.end(), next.begin(), next.end());
    link.RxBuf() = two;
    recorder.Write();
    EXPECT_EQ(test::ReadBytes(Path()).size(), std::size_t(kRecordBytes));
}

TEST_F(LogOperationsTest, AFailedWriteStopsTheRecordingAndSaysWhy) {
    view.name = dir.filePath(QStringLiteral("no/such/folder/x.qz0"));
    recorder.Start();
    recorder.Write();
    EXPECT_FALSE(state.Recording);
    EXPECT_EQ(view.halts, 1);
    ASSERT_EQ(view.problems.size(), 1u);
    EXPECT_NE(view.problems[0].find("no/such/folder"), std::string::npos);
    EXPECT_EQ(recorder.NextRecord(), 1);
}

TEST_F(LogOperationsTest, DecliningTheOverwriteLeavesTheFileAlone) {
    MakeLog(3);
    const auto before = test::ReadBytes(Path());
    view.overwrite = false;
    recorder.Start();
    EXPECT_FALSE(state.Recording);
    EXPECT_TRUE(view.declined);
    EXPECT_EQ(test::ReadBytes(Path()), before);

    view.overwrite = true;
    recorder.Start();
    EXPECT_TRUE(state.Recording);
    EXPECT_FALSE(QFileInfo::exists(view.name));  // deleted; the next write starts afresh
}

// The overwrite question is answered later, while frames go on; a "No" leaves
// nothing saying "Recording", and a Stop before the answer withdraws it.
TEST_F(LogOperationsTest, TheOverwriteAnswerComesLaterAndStopWithdrawsTheQuestion) {
    MakeLog(3);
    const auto before = test::ReadBytes(Path());
    view.deferAnswer = true;
    status.SetPanelText(1, QStringLiteral("Recording"));  // as a stale panel would read
    recorder.Start();
    EXPECT_FALSE(state.Recording);
    ASSERT_TRUE(view.pendingAnswer);
    view.pendingAnswer(false);
    EXPECT_TRUE(view.declined);
    EXPECT_FALSE(state.Recording);
    EXPECT_NE(status.PanelText(1).toStdString(), "Recording");

    recorder.Start();
    log.StopLogging();
    view.pendingAnswer(true);  // Yes, after Stop
    EXPECT_FALSE(state.Recording);
    EXPECT_EQ(test::ReadBytes(Path()), before);

    state.Monitoring = true;
    recorder.Start();
    view.pendingAnswer(true);
    EXPECT_TRUE(state.Recording);
    EXPECT_FALSE(QFileInfo::exists(view.name));
}

TEST_F(LogOperationsTest, RecordingWhileStoppedReconnectsAndRunsTheLoop) {
    link.SetComPort(1);
    box.rate = 115200;
    status.SetPanelText(2, QStringLiteral("COM Stopped"));
    consumers.onWrite = [&] {
        recorder.Write();
        if (recorder.NextRecord() > 3) state.Monitoring = false;
    };
    port.onWrite = [&, chained = port.onWrite](char byte, int baud) {
        if (byte == 'f' && baud == box.rate) {
            const ByteBuffer f = NumberedFrame(5);
            port.Feed(std::string(f.begin(), f.end()));
            return;
        }
        chained(byte, baud);
    };
    recorder.Start();
    EXPECT_EQ(recorder.NextRecord(), 4);
    EXPECT_EQ(test::ReadBytes(Path()).size(), 3u * kRecordBytes);
    EXPECT_EQ(status.PanelText(2).toStdString(), "COM Stopped");
}

TEST_F(LogOperationsTest, PlaybackShowsEveryRecordInOrderAndEndsWithHalt) {
    MakeLog(12);
    state.Monitoring = true;
    player.Play();
    EXPECT_FALSE(state.Monitoring);
    EXPECT_EQ(consumers.shown, Range(1, 12));
    EXPECT_EQ(static_cast<int>(consumers.fed.size()), 12);  // only the visible slot
    EXPECT_EQ(view.minimum, 1);
    EXPECT_EQ(view.maximum, 12);
    EXPECT_EQ(view.tick, 1);
    EXPECT_EQ(view.counter, 12);
    EXPECT_EQ(view.position, 1);
    EXPECT_TRUE(view.sliderHidden);
    EXPECT_EQ(view.halts, 1);
    EXPECT_TRUE(player.StopRequested());  // stays set until the next playback
    EXPECT_FALSE(player.Playing());
    EXPECT_TRUE(view.problems.empty());
    // The host hears of the start and of the end, when live data may return.
    EXPECT_EQ(playbacksStarted, 1);
    EXPECT_EQ(playbacksEnded, 1);
}

TEST_F(LogOperationsTest, ARangeShowsExactlyItsRecordsAsTheWholeLogShowsThem) {
    // The engine speed changes from record to record: its running average
    // tells whether the records before the range were taken in.
    for (int n = 1; n <= 30; ++n) {
        RawFrame raw;
        raw.analog[0] = static_cast<std::uint16_t>(n);
        raw.timer[0] = static_cast<std::uint16_t>(3000 + 150 * n);  // RpmPeriod
        const FrameBytes f = EncodeFrame(raw);
        ASSERT_TRUE(WriteRecordAt(Path(), n, ByteBuffer(f.begin(), f.end())));
    }
    player.Play();
    const std::vector<float> whole = consumers.rpm;
    consumers.shown.clear();
    consumers.rpm.clear();
    player.Play(20, 25);
    EXPECT_EQ(consumers.shown, Range(20, 25));
    EXPECT_EQ(view.minimum, 20);
    EXPECT_EQ(view.maximum, 25);
    ASSERT_EQ(consumers.rpm.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_NEAR(consumers.rpm[i], whole[19 + i], 1e-3);
    EXPECT_TRUE(view.problems.empty());

    consumers.shown.clear();
    player.Play(25, 90);  // cut at the end of the log
    EXPECT_EQ(consumers.shown, Range(25, 30));

    consumers.shown.clear();
    player.Play(31, 40);
    EXPECT_TRUE(consumers.shown.empty());
    EXPECT_EQ(view.problems.size(), 1u);
    EXPECT_FALSE(player.Playing());
}

TEST_F(LogOperationsTest, PauseThenHaltShowsTheRecordInHandOnceMore) {
    MakeLog(30);
    yielder.onYield = [&] {
        if (consumers.shown.size() == 5 && !player.Paused() && view.halts == 0) {
            player.Pause();
        } else if (player.Paused()) {
            view.HaltAction();
        }
    };
    player.Play();
    EXPECT_EQ(consumers.shown, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(view.tick, 2);
}

TEST_F(LogOperationsTest, SeekWhilePausedThenResumeGoesOnFromThere) {
    MakeLog(50);
    int step = 0;
    yielder.onYield = [&] {
        if (step == 0 && consumers.shown.size() == 10) {
            player.Pause();
            step = 1;
        } else if (step == 1 && player.Paused()) {
            step = 2;
            view.position = 40;  // the user drags the slider
            player.Seek();
            player.Play();  // Play again resumes
        }
    };
    player.Play();
    std::vector<int> expected = Range(1, 10);
    expected.push_back(40);  // shown by the seek
    for (int i = 40; i <= 50; ++i) expected.push_back(i);  // 40 again, then on
    EXPECT_EQ(consumers.shown, expected);
}

TEST_F(LogOperationsTest, DamagedRecordsAreSkippedAndReportedOnceAtTheEnd) {
    MakeLog(4);
    std::vector<std::uint8_t> bytes = test::ReadBytes(Path());
    bytes[kRecordBytes * 1] = 9;           // record 2: bad dimension count
    bytes[kRecordBytes * 2 + 2] = 20;      // record 3: 20 frame bytes only
    bytes.resize(bytes.size() + 30, 0xEE);  // and a cut-off record
    test::WriteBytes(Path(), bytes);
    player.Play();
    EXPECT_EQ(consumers.shown, (std::vector<int>{1, 4}));
    EXPECT_EQ(player.SkippedRecords(), 2);
    ASSERT_EQ(view.problems.size(), 2u);
    EXPECT_NE(view.problems[0].find("2 damaged records"), std::string::npos);
    EXPECT_NE(view.problems[1].find("30 bytes"), std::string::npos);
}

TEST_F(LogOperationsTest, AMissingOrEmptyNameIsReportedAndNoFileIsCreated) {
    // A Play that plays nothing leaves live monitoring running.
    state.Monitoring = true;
    view.name = dir.filePath(QStringLiteral("typo.qz0"));
    player.Play();
    EXPECT_FALSE(QFileInfo::exists(view.name));
    ASSERT_EQ(view.problems.size(), 1u);
    EXPECT_NE(view.problems[0].find("does not exist"), std::string::npos);
    EXPECT_EQ(view.halts, 1);

    view.name = QStringLiteral("  ");
    player.Play();
    EXPECT_EQ(view.problems.size(), 2u);
    EXPECT_TRUE(consumers.shown.empty());

    // A folder is named as one, and an empty log says it is empty.
    view.name = dir.path();
    player.Play();
    ASSERT_EQ(view.problems.size(), 3u);
    EXPECT_NE(view.problems[2].find("is a folder"), std::string::npos) << view.problems[2];
    view.name = dir.filePath(QStringLiteral("empty.qz0"));
    test::WriteBytes(view.name.toStdString(), {});
    player.Play();
    ASSERT_EQ(view.problems.size(), 4u);
    EXPECT_NE(view.problems[3].find("empty"), std::string::npos) << view.problems[3];
    // And a range past the end of a log plays nothing either.
    MakeLog(5);
    view.name = QString::fromStdString(Path());
    player.Play(10, 20);
    ASSERT_EQ(view.problems.size(), 5u);
    EXPECT_NE(view.problems[4].find("are not in it"), std::string::npos) << view.problems[4];
    EXPECT_TRUE(status.PanelText(1).isEmpty());  // nothing plays or records now
    EXPECT_TRUE(state.Monitoring);
    EXPECT_EQ(playbacksStarted, 0);
    EXPECT_EQ(playbacksEnded, 0);
    EXPECT_TRUE(consumers.shown.empty());
}

// Records are placed on the time axis by the last measured frame rate of the
// link (the wire limit without one is checked on the scopes).
TEST_F(LogOperationsTest, PlaybackTimesComeFromTheMeasuredFrameRate) {
    MakeLog(100);
    double last = -1;
    yielder.onYield = [&] {
        if (auto t = player.PlaybackTime()) last = t->seconds;
    };
    player.SetMeasuredFrameRate(200);
    player.Play();
    EXPECT_NEAR(last, 99 / 200.0, 1e-9);
    EXPECT_FALSE(player.PlaybackTime());  // over
}

TEST_F(LogOperationsTest, PacedPlaybackKeepsToTheChosenRate) {
    MakeLog(50);
    view.rate = 25;
    const auto start = clock.Now();
    player.Play();
    EXPECT_EQ(consumers.shown.size(), 50u);
    EXPECT_NEAR(std::chrono::duration<double>(clock.Now() - start).count(), 2.0, 0.02);
}

// The sidecar gets one time per record written, from the link's clock, and
// the markers; a new recording over an old log replaces its sidecar too.
TEST_F(LogOperationsTest, RecordingWritesOneTimePerRecordAndTheMarkers) {
    MakeLog(3);
    LogSidecarWriter old;
    ASSERT_TRUE(old.Create(view.name, QDateTime::currentDateTimeUtc()));
    for (int i = 0; i < 3; ++i) old.AppendTime(i);
    old.Close();

    recorder.AddMarker(QStringLiteral("user"), QStringLiteral("not recording"));  // no-op
    recorder.Start();  // overwrite answered Yes
    recorder.AddMarker(QStringLiteral("user"), QStringLiteral("at the start"));
    for (int n = 1; n <= 4; ++n) {
        clock.Advance(std::chrono::milliseconds(n * 100));
        link.RxBuf() = NumberedFrame(n);
        recorder.Write();
        if (n == 2) recorder.AddMarker(QStringLiteral("user"), QStringLiteral("third gear"));
        if (n == 3) recorder.AddUserMarker();  // the key or the button
    }
    log.StopLogging();
    recorder.AddMarker(QStringLiteral("user"), QStringLiteral("stopped"));  // no-op

    const SidecarContents c = ReadSidecar(view.name, 100);
    EXPECT_FALSE(recorder.SidecarFailed());
    ASSERT_EQ(c.times.size(), 4u);
    EXPECT_NEAR(c.times[0], 0.1, 1e-6);
    EXPECT_NEAR(c.times[3], 1.0, 1e-6);
    ASSERT_EQ(c.markers.size(), 3u);
    EXPECT_EQ(c.markers[0].record, 0);
    EXPECT_EQ(c.markers[1].record, 2);
    EXPECT_EQ(c.markers[1].name, QStringLiteral("third gear"));
    EXPECT_EQ(c.markers[2].record, 3);
    EXPECT_EQ(c.markers[2].kind, QStringLiteral("user"));
    EXPECT_EQ(c.markers[2].name, QStringLiteral("Marker 1"));
    EXPECT_LE(std::abs(c.start.secsTo(QDateTime::currentDateTimeUtc())), 60);

    // A sidecar that cannot be written leaves the recording alone.
    QFile::remove(SidecarPath(view.name));
    ASSERT_TRUE(QDir().mkdir(SidecarPath(view.name)));  // a folder in the way
    recorder.Start();
    link.RxBuf() = NumberedFrame(1);
    recorder.Write();
    EXPECT_TRUE(state.Recording);
    EXPECT_TRUE(recorder.SidecarFailed());
    EXPECT_TRUE(view.problems.empty());
    EXPECT_EQ(test::ReadBytes(Path()).size(), std::size_t(kRecordBytes));
}

// A log with a sidecar plays on its recorded times; past the sidecar's end
// (cut by a crash) the times go on, estimated, from its last one.
TEST_F(LogOperationsTest, PlaybackTimesComeFromTheSidecarWhenThereIsOne) {
    MakeLog(5);
    LogSidecarWriter w;
    ASSERT_TRUE(w.Create(view.name, QDateTime::currentDateTimeUtc()));
    for (double t : {1.0, 1.5, 3.0}) w.AppendTime(t);
    w.Close();
    std::vector<Player::RecordTime> times;
    yielder.onYield = [&] {
        if (auto t = player.PlaybackTime(); t && times.size() < consumers.shown.size())
            times.push_back(*t);
    };
    player.SetMeasuredFrameRate(100);
    player.Play();
    ASSERT_EQ(times.size(), 5u);
    const double expected[] = {0, 0.5, 2.0, 2.01, 2.02};
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(times[i].seconds, expected[i], 1e-9) << i;
        EXPECT_EQ(times[i].estimated, i >= 3) << i;
    }
}

// "Real time" shows each record after the spacing it was recorded with,
// counted from the record the playback started or resumed with.
TEST_F(LogOperationsTest, RealTimePlaybackFollowsTheRecordedSpacing) {
    MakeLog(6);
    LogSidecarWriter w;
    ASSERT_TRUE(w.Create(view.name, QDateTime::currentDateTimeUtc()));
    for (double t : {0.2, 0.7, 2.7, 2.8}) w.AppendTime(t);  // records 5, 6: none
    w.Close();
    view.rate = LoggingView::kRealTime;
    player.SetMeasuredFrameRate(4);
    std::vector<double> shownAt;
    yielder.onYield = [&] {
        while (shownAt.size() < consumers.shown.size())
            shownAt.push_back(std::chrono::duration<double>(clock.Elapsed()).count());
    };
    player.Play();
    ASSERT_EQ(shownAt.size(), 6u);
    const double gaps[] = {0.5, 2.0, 0.1, 0.25, 0.25};
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(shownAt[i + 1] - shownAt[i], gaps[i], 0.012) << i;

    // Without a sidecar: the frame rate.
    QFile::remove(SidecarPath(view.name));
    shownAt.clear();
    consumers.shown.clear();
    player.Play();
    ASSERT_EQ(shownAt.size(), 6u);
    EXPECT_NEAR(shownAt[5] - shownAt[0], 5 * 0.25, 0.05);
}

TEST(LogFileKill, ARecordingKilledMidWayLeavesOnlyWholeRecordsAndTrueTimes) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("killed.qz0")).toStdString();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        LogSidecarWriter sidecar;
        sidecar.Create(QString::fromStdString(path), QDateTime::currentDateTimeUtc());
        for (int n = 1;; ++n) {
            WriteRecordAt(path, n, NumberedFrame(n & 0x7FFF));
            sidecar.AppendTime(n / 1000.0);
        }
    }
    usleep(200000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    LogReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_GT(reader.RecordCount(), 10);
    // A kill can land in the middle of the record being written when it
    // straddles a page of the file (4096 is not a multiple of 48): that
    // record is lost, as the reader ignores a torn tail; none before it.
    EXPECT_LT(reader.TrailingBytes(), kRecordBytes);
    ByteBuffer rx;
    for (std::int64_t n = 1; n <= reader.RecordCount(); ++n) {
        ASSERT_EQ(reader.Read(n, rx), RecordStatus::Ok) << n;
        ASSERT_EQ(rx, NumberedFrame(static_cast<int>(n & 0x7FFF)));
    }
    // The sidecar is at most one time behind, and every time it has is true.
    const SidecarContents times = ReadSidecar(QString::fromStdString(path), reader.RecordCount());
    EXPECT_GE(static_cast<std::int64_t>(times.times.size()), reader.RecordCount() - 1);
    for (std::size_t i = 0; i < times.times.size(); ++i)
        ASSERT_NEAR(times.times[i], (i + 1) / 1000.0, 1e-9) << i;
}

}  // namespace
}  // namespace quarn
