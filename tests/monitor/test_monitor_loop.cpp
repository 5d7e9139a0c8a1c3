// The monitoring loop against a scripted port and box on a fake clock:
// frame completion by byte count, time-outs and the eleventh one, reconnects
// (automatic, requested by the setup dialog, repeated once a second), bad
// frames, the frame chain's consumers, and the link failing mid-stream.

#include <gtest/gtest.h>

#include <functional>

#include "monitor/MonitorLoop.h"
#include "decode/Frame.h"
#include "link/LinkFakes.h"
#include "monitor/FakeConsumers.h"

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

std::string GoodFrame(std::uint16_t vss = 0) {
    RawFrame raw;
    raw.timer[5] = vss;
    const FrameBytes f = EncodeFrame(raw);
    return std::string(f.begin(), f.end());
}

class MonitorLoopTest : public ::testing::Test {
protected:
    MonitorLoopTest() {
        link.SetComPort(1);
        link.ConnectLink();
        EXPECT_EQ(status.PanelText(2).toStdString(), "Ready @ 115200");
        // The box answers each "f" with whatever the test scripts.
        port.onWrite = [this, chained = port.onWrite](char byte, int baud) {
            if (byte == 'f' && box.present && baud == box.rate) {
                ++requests;
                if (answer) port.Feed(answer(requests));
                return;
            }
            chained(byte, baud);
        };
        status.log.clear();
        state.Monitoring = true;
    }

    // Stops the loop at its next pass after `frames` frames reached the dashboard.
    void StopAfterFrames(int frames) {
        consumers.onFrame = [this, frames] {
            if (consumers.dash >= frames) state.Monitoring = false;
        };
    }

    int Count(const std::string& entry) const {
        return static_cast<int>(std::count(status.log.begin(), status.log.end(), entry));
    }

    FakeClock clock;
    FakeYielder yielder{clock};
    FakeSerialPort port;
    FakeBox box{port, 9600};
    RecordingStatus status;
    RecordingAlerts alerts;
    Link link{port, clock, yielder, status, alerts, QStringLiteral("/nonexistent/quarnom.ini")};
    RunState state;
    ChannelRecord rec;
    Conversion conversion;
    VehicleData vehicle;
    FakeConsumers consumers{rec, {2, 7}};
    FramePath path{state, rec, conversion, vehicle, consumers};
    Monitor monitor{link, status, state, path};
    std::function<std::string(int)> answer;
    int requests = 0;
};

TEST_F(MonitorLoopTest, ThirtyEightBytesCompleteAFrameAndAllWaitingBytesAreRead) {
    answer = [](int n) { return n == 1 ? GoodFrame() + std::string(22, 'x') : GoodFrame(); };
    StopAfterFrames(2);
    monitor.MonitorLoop();
    EXPECT_EQ(consumers.dash, 2);
    EXPECT_EQ(link.RxBuf().size(), 38u);
    EXPECT_EQ(status.log.front(), "panel1=Monitoring");
    EXPECT_EQ(status.PanelText(2).toStdString(), "COM Stopped");
    EXPECT_EQ(status.lamp, LinkStatus::kLampGrey);
}

TEST_F(MonitorLoopTest, NextRequestGoesOutBeforeTheDisplaysAndALastAnswerIsDropped) {
    answer = [](int n) { return GoodFrame(static_cast<std::uint16_t>(n)); };
    std::vector<int> requestsAtDash;
    std::vector<int> waitingAtDash;
    consumers.onFrame = [&] {
        requestsAtDash.push_back(requests);
        waitingAtDash.push_back(link.InBufferCount());
        if (consumers.dash == 3) state.Monitoring = false;
    };
    monitor.MonitorLoop();
    // While frame n is displayed, request n + 1 is out and (this box answers
    // at once) its answer waits; the frame being shown stays in RxBuf.
    EXPECT_EQ(requestsAtDash, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(waitingAtDash, (std::vector<int>{38, 38, 38}));
    EXPECT_EQ(consumers.dash, 3);
    // The answer to the request sent while the last frame was handled is not
    // left for the next user of the link.
    EXPECT_EQ(link.InBufferCount(), 0);
    EXPECT_EQ(status.PanelText(2).toStdString(), "COM Stopped");
}

TEST_F(MonitorLoopTest, ALoopEndingWhileTheNextAnswerIsLateWaitsOnlyUpToTheTimeOut) {
    answer = [](int n) { return n == 1 ? GoodFrame() : std::string(); };
    Clock::TimePoint shown{};
    consumers.onFrame = [&] {
        shown = clock.Now();  // the second request is out
        state.Monitoring = false;
    };
    monitor.MonitorLoop();
    EXPECT_EQ(requests, 2);
    const double waited = std::chrono::duration<double>(clock.Now() - shown).count();
    EXPECT_GE(waited, Monitor::kFrameTimeoutSeconds);
    EXPECT_LT(waited, Monitor::kFrameTimeoutSeconds + 0.01);
    EXPECT_EQ(status.lamp, LinkStatus::kLampGrey);
}

TEST_F(MonitorLoopTest, DisplaysSlowerThanTheBoxStillLeaveWindowEventsTheirTurn) {
    // The box answers at once and every frame takes 5 ms to show, so each
    // answer is waiting before the loop starts to wait for it.
    answer = [](int) { return GoodFrame(); };
    std::vector<int> yieldsAtFrame;
    consumers.onFrame = [&] {
        clock.Advance(5ms);
        yieldsAtFrame.push_back(yielder.yields);
        if (consumers.dash >= 200) state.Monitoring = false;  // only if events starve
    };
    // Window events: the setup dialog's Apply at the 5th frame, a Stop at the 20th.
    yielder.onYield = [&] {
        if (consumers.dash == 5 && requests < 100) {
            status.SetPanelText(1, QStringLiteral("COM Reset"));
            requests = 100;  // once
        }
        if (consumers.dash >= 20) state.Monitoring = false;
    };
    monitor.MonitorLoop();
    EXPECT_EQ(consumers.dash, 21);  // the Stop ends the loop after the pass in hand
    for (std::size_t i = 1; i < yieldsAtFrame.size(); ++i)
        EXPECT_GT(yieldsAtFrame[i], yieldsAtFrame[i - 1]) << "no yield before frame " << i + 1;
    EXPECT_EQ(Count("panel1=Initializing"), 1);  // the Apply was noticed
}

TEST_F(MonitorLoopTest, SixtyWaitingBytesAreReadAtOnce) {
    answer = [](int) { return GoodFrame() + std::string(22, '\0'); };
    StopAfterFrames(1);
    monitor.MonitorLoop();
    EXPECT_EQ(link.RxBuf().size(), 60u);
}

TEST_F(MonitorLoopTest, ThirtySevenBytesNeverCompleteAFrame) {
    answer = [](int) { return GoodFrame().substr(0, 37); };
    // Stop once the link has been declared failed.
    yielder.onYield = [this] {
        if (status.PanelText(1) == QStringLiteral("COM FAIL")) {
            state.Monitoring = false;
            answer = [](int) { return GoodFrame(); };
        }
    };
    monitor.MonitorLoop();
    EXPECT_EQ(consumers.dash, 0);
    // Yellow at each of eleven time-outs, then red.
    const auto red = std::find(status.log.begin(), status.log.end(), "lamp=3");
    ASSERT_NE(red, status.log.end());
    EXPECT_EQ(std::count(status.log.begin(), red, "lamp=2"), 11);
    EXPECT_EQ(requests, 12);  // the first request and eleven repeats
}

TEST_F(MonitorLoopTest, SilentBoxTurnsYellowThenRedAndRetriesOnceASecond) {
    box.present = false;
    Clock::TimePoint failedAt{};
    std::vector<double> connectStarts;
    yielder.onYield = [&] {
        if (failedAt == Clock::TimePoint{} && status.PanelText(1) == QStringLiteral("COM FAIL"))
            failedAt = clock.Now();
    };
    int attempts = 0;
    status.log.clear();
    // Count connection attempts through their first status text; the box
    // comes back after the third.
    auto logWatcher = [&] {
        const int initializing = Count("panel1=Initializing");
        if (initializing > attempts) {
            attempts = initializing;
            connectStarts.push_back(std::chrono::duration<double>(clock.Elapsed()).count());
            if (attempts == 3) box.present = true;
        }
    };
    yielder.onYield = [&, inner = yielder.onYield] {
        inner();
        logWatcher();
    };
    answer = [](int) { return GoodFrame(); };
    StopAfterFrames(1);
    const Clock::TimePoint loopStart = clock.Now();
    monitor.MonitorLoop();

    // Eleven time-outs in a row, each turning the lamp yellow, then red.
    const auto red = std::find(status.log.begin(), status.log.end(), "lamp=3");
    ASSERT_NE(red, status.log.end());
    EXPECT_EQ(std::count(status.log.begin(), red, "lamp=2"), 11);
    EXPECT_EQ(*(red + 1), "panel1=COM FAIL");
    // The failure is declared after about 1.1 s of silence.
    EXPECT_NEAR(std::chrono::duration<double>(failedAt - loopStart).count(), 1.1, 0.05);
    // Each failed attempt is followed by a one-second pause.
    ASSERT_EQ(connectStarts.size(), 3u);
    for (std::size_t i = 1; i < connectStarts.size(); ++i)
        EXPECT_GT(connectStarts[i] - connectStarts[i - 1], 1.0);
    EXPECT_EQ(Count("panel2=COM Retry"), 2);
    EXPECT_EQ(consumers.dash, 1);  // frames flow again without a restart
}

// With reconnecting off, a box that stops answering stops monitoring with a
// notice instead of being retried, and whoever records hears of it; a
// reconnect the user asks for still happens.
TEST_F(MonitorLoopTest, WithReconnectOffALostLinkStopsMonitoringWithANotice) {
    monitor.SetReconnect(false);
    int lost = 0;
    monitor.SetOnLinkLost([&] { ++lost; });
    bool requested = false;
    answer = [](int) { return GoodFrame(); };
    consumers.onFrame = [&] {
        if (consumers.dash == 2 && !requested) {
            requested = true;
            status.SetPanelText(1, QStringLiteral("COM Reset"));
        }
        if (consumers.dash == 4) box.present = false;
    };
    monitor.MonitorLoop();
    EXPECT_EQ(Count("panel1=Initializing"), 1);  // the asked-for reconnect only
    EXPECT_EQ(consumers.dash, 5);  // the fifth was asked for before the box went
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(state.Monitoring);
    EXPECT_EQ(status.notice, Monitor::kLinkLostNotice);
    EXPECT_EQ(status.PanelText(2).toStdString(), "COM Stopped");
    EXPECT_EQ(status.lamp, LinkStatus::kLampGrey);
    EXPECT_TRUE(alerts.log.empty());
}

TEST_F(MonitorLoopTest, BadFrameIsCountedButNeitherShownNorLogged) {
    state.Recording = true;
    answer = [](int n) {
        std::string f = GoodFrame();
        if (n == 1) f[kChecksumIndex] ^= 1;
        return f;
    };
    StopAfterFrames(1);
    monitor.MonitorLoop();
    EXPECT_EQ(monitor.BadFrames(), 1);
    EXPECT_EQ(monitor.GoodFrames(), 1);
    EXPECT_EQ(consumers.dash, 1);
    EXPECT_EQ(consumers.logged, 1);
    EXPECT_EQ(state.FrameCount, 2);
    monitor.FrameRateTick();
    EXPECT_EQ(status.PanelText(3).toStdString(), "2 FPS");
    EXPECT_EQ(state.FrameCount, 0);
}

// Late bytes on a loaded machine: the last byte of the connection's enable
// reply comes in after the connection read it, an answer comes whole in the
// moment the time-out falls due, and another is split across the time-out,
// its rest arriving just after. The whole one is a frame, and no tail leads
// the next answer to fail a good frame.
TEST_F(MonitorLoopTest, LateTailsOfRepliesAndAnswersFailNoGoodFrame) {
    port.FeedAt(clock, clock.Now() + 2ms, "\r");
    answer = [this](int n) {
        const std::string frame = GoodFrame(static_cast<std::uint16_t>(4000 + 77 * n));
        const auto latency = n == 2 ? 100500us : 5000us;
        port.FeedAt(clock, clock.Now() + latency, n == 3 ? frame.substr(0, 20) : frame);
        if (n == 3) port.FeedAt(clock, clock.Now() + 105ms, frame.substr(20));
        return std::string();
    };
    StopAfterFrames(5);
    monitor.MonitorLoop();
    EXPECT_EQ(monitor.BadFrames(), 0);
    EXPECT_EQ(monitor.GoodFrames(), 5);
    EXPECT_EQ(Count("lamp=2"), 1);  // the one time-out
}

// An answer later than the time-out (the program or the adapter held up):
// the request is repeated, and the box answers both. The late answer comes
// with the first bytes of the second, the rest of which follow. The next
// frame must not be read across that rest.
TEST_F(MonitorLoopTest, AnAnswerAfterTheRepeatAndTheRepeatsOwnFailNoFrame) {
    answer = [this](int n) {
        const std::string frame = GoodFrame(static_cast<std::uint16_t>(4000 + 77 * n));
        if (n == 3) {
            port.FeedAt(clock, clock.Now() + 150ms, frame);
        } else if (n == 4) {  // the repeat
            port.FeedAt(clock, clock.Now() + 5ms, frame.substr(0, 10));
            port.FeedAt(clock, clock.Now() + 54ms, frame.substr(10));
        } else {
            port.FeedAt(clock, clock.Now() + 3ms, frame);
        }
        return std::string();
    };
    StopAfterFrames(6);
    monitor.MonitorLoop();
    EXPECT_EQ(Count("lamp=2"), 1);
    EXPECT_EQ(monitor.BadFrames(), 0);
    EXPECT_EQ(monitor.GoodFrames(), 6);
}

TEST_F(MonitorLoopTest, GoodFramesGoToVisibleScopesInOrderAndToTheLogWhileRecording) {
    answer = [](int) { return GoodFrame(46080); };
    consumers.onFrame = [this] {
        // Recording is switched on while the second frame is shown, so it is
        // the first one logged.
        if (consumers.dash == 2) state.Recording = true;
        if (consumers.dash >= 3) state.Monitoring = false;
    };
    monitor.MonitorLoop();
    EXPECT_EQ(consumers.fed, (std::vector<int>{2, 7, 2, 7, 2, 7}));
    EXPECT_EQ(consumers.prepared.size(), 30u);
    EXPECT_EQ(consumers.logged, 2);
    EXPECT_GT(rec.Mph, 0);  // converted before the consumers saw it
}

TEST_F(MonitorLoopTest, HiddenDashboardIsNotUpdated) {
    consumers.dashboardVisible = false;
    answer = [](int) { return GoodFrame(); };
    consumers.onFed = [this] {
        if (monitor.GoodFrames() >= 3) state.Monitoring = false;
    };
    monitor.MonitorLoop();
    EXPECT_EQ(consumers.dash, 0);
    EXPECT_EQ(consumers.fed.size(), 6u);
}

TEST_F(MonitorLoopTest, ComResetFromTheSetupDialogReconnectsWithoutComFail) {
    bool requested = false;
    answer = [](int) { return std::string(); };  // the request stays unanswered
    yielder.onYield = [&] {
        if (!requested) {
            requested = true;
            status.SetPanelText(1, QStringLiteral("COM Reset"));
            answer = [](int) { return GoodFrame(); };
        }
    };
    StopAfterFrames(1);
    monitor.MonitorLoop();
    EXPECT_EQ(Count("panel1=COM FAIL"), 0);
    EXPECT_EQ(Count("panel1=Initializing"), 1);
    const auto ready = std::find(status.log.begin(), status.log.end(), "panel2=Ready @ 115200");
    ASSERT_NE(ready, status.log.end());
    EXPECT_NE(std::find(ready, status.log.end(), "panel1=Monitoring"), status.log.end());
    EXPECT_EQ(consumers.dash, 1);
}

TEST_F(MonitorLoopTest, DeviceLostMidStreamTakesTheSerialErrorPath) {
    answer = [](int) { return GoodFrame(); };
    consumers.onFrame = [this] {
        if (consumers.dash == 3) port.failWritesAfter = static_cast<int>(port.writes.size());
    };
    state.Recording = true;
    monitor.MonitorLoop();
    // Every good frame before the loss, the one read just before the request
    // that failed included.
    EXPECT_EQ(consumers.logged, 4);
    EXPECT_EQ(consumers.logged, monitor.GoodFrames());
    ASSERT_GE(alerts.log.size(), 2u);
    EXPECT_EQ(alerts.log.front(),
              "critical:System Configuration Error|Serial Port Error.  Please reconfigure.");
    EXPECT_EQ(alerts.log.back(), "end");
}

// The frame path alone: a frame from the box and a played one reach the
// same displays in the same order, but only the box's goes into a recording;
// a warm-up frame reaches nothing but the running averages.
TEST(FramePath, PlayedFramesTakeTheLivePathExceptIntoTheRecording) {
    RunState state;
    state.Recording = true;
    ChannelRecord rec;
    Conversion conversion;
    VehicleData vehicle;
    FakeConsumers consumers{rec, {4}};
    FramePath path{state, rec, conversion, vehicle, consumers};
    const std::string good = GoodFrame(46080);
    const ByteBuffer frame(good.begin(), good.end());

    ASSERT_TRUE(path.Decode(frame));
    EXPECT_TRUE(path.Deliver(FrameSource::Box));
    ASSERT_TRUE(path.Decode(frame));
    EXPECT_FALSE(path.Deliver(FrameSource::Log));
    EXPECT_EQ(consumers.dash, 2);
    EXPECT_EQ(consumers.fed, (std::vector<int>{4, 4}));
    EXPECT_EQ(consumers.prepared.size(), 20u);
    EXPECT_EQ(consumers.logged, 1);
    EXPECT_EQ(consumers.offered, 1);  // the trigger watches live frames only
    EXPECT_GT(rec.Mph, 0);

    ByteBuffer bad = frame;
    bad[kChecksumIndex] ^= 1;
    EXPECT_FALSE(path.Decode(bad));
    EXPECT_TRUE(state.BadFrame);

    rec = ChannelRecord{};
    path.WarmUp(frame);
    EXPECT_GT(rec.Mph, 0);
    EXPECT_EQ(consumers.dash, 2);
    EXPECT_EQ(consumers.logged, 1);
}

}  // namespace
}  // namespace quarn
