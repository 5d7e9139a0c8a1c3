// Covers the built quarn-boxsim through a real pseudo-terminal: answers only
// at the box's own rate, the rate ladder and the reset sequence, the highest
// answering rate, injected bad frames and dropped requests with their
// counters, wire-time pacing, the self-test lamp, replay of a log, and the
// device link with unplugging and clean exit.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "decode/Frame.h"
#include "logging/LogFormat.h"

namespace quarn {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The box takes a rate command at once; the program waits 0.1 s, this much
// is enough for the simulator to have read the byte.
constexpr auto kSettle = 30ms;

speed_t SpeedOf(int rate) {
    switch (rate) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        default:
            return B115200;
    }
}

double Since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// One simulator process; the first line of its output names the device.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return;  // no process: Device() stays empty
        args.insert(args.begin(), QUARN_BIN_DIR "/quarn-boxsim");
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        m_err = err[0];
        fcntl(m_err, F_SETFL, O_NONBLOCK);
        // Byte by byte, so nothing after the line is taken.
        char c = 0;
        pollfd p{out[0], POLLIN, 0};
        while (poll(&p, 1, 5000) == 1 && read(out[0], &c, 1) == 1 && c != '\n') m_device += c;
        close(out[0]);
    }
    ~SimProcess() {
        if (m_pid > 0 && !m_exited) Stop();
        if (m_err >= 0) close(m_err);
    }

    const std::string& Device() const { return m_device; }
    const std::string& ErrText() const { return m_errText; }

    // SIGTERM, then the exit status.
    int Stop() {
        if (m_pid > 0) kill(m_pid, SIGTERM);
        return WaitExit(5).value_or(-1);
    }

    std::optional<int> WaitExit(double seconds) {
        const auto start = Clock::now();
        for (int status = 0; m_pid > 0;) {
            DrainErr();
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exited = true;
                DrainErr();
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (Since(start) > seconds) break;
            std::this_thread::sleep_for(5ms);
        }
        return std::nullopt;
    }

private:
    void DrainErr() {
        char buf[512];
        ssize_t n = 0;
        while ((n = read(m_err, buf, sizeof buf)) > 0)
            m_errText.append(buf, static_cast<std::size_t>(n));
    }

    pid_t m_pid = -1;
    int m_err = -1;
    bool m_exited = false;
    std::string m_device;
    std::string m_errText;
};

// The program's end of the line: the pty slave in raw mode at a rate.
class Port {
public:
    Port(const std::string& path, int rate) {
        m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd >= 0) SetRate(rate);
    }
    ~Port() {
        if (m_fd >= 0) close(m_fd);
    }
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    void SetRate(int rate) {
        termios t{};
        tcgetattr(m_fd, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, SpeedOf(rate));
        cfsetospeed(&t, SpeedOf(rate));
        tcsetattr(m_fd, TCSANOW, &t);
    }

    void Send(char c) { ASSERT_EQ(write(m_fd, &c, 1), 1); }

    // Bytes arriving within seconds, or fewer seconds once want have come.
    std::string Read(double seconds, std::size_t want = SIZE_MAX) {
        std::string got;
        const auto start = Clock::now();
        while (got.size() < want) {
            const int left = static_cast<int>((seconds - Since(start)) * 1000) + 1;
            if (left <= 0) break;
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, left) <= 0) continue;
            char buf[256];
            const ssize_t n = read(m_fd, buf, sizeof buf);
            if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }

    std::string Ask(char cmd, double seconds = 0.05, std::size_t want = SIZE_MAX) {
        Send(cmd);
        return Read(seconds, want);
    }

    // A rate command, then the port follows as the program does.
    void Command(char cmd, int newRate) {
        Send(cmd);
        std::this_thread::sleep_for(kSettle);
        SetRate(newRate);
    }

private:
    int m_fd = -1;
};

bool AnswersVersion(Port& port) {
    const std::string reply = port.Ask('b');
    return reply.size() > 1 && reply[0] == 'b' && reply.find("Quarn", 1) != std::string::npos;
}

bool IsGoodFrame(const std::string& reply) {
    if (reply.size() != kFrameBytes) return false;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(reply.data());
    return FrameChecksum({bytes, kFrameBytes}) == bytes[kChecksumIndex];
}

class EveryStartRate : public ::testing::TestWithParam<int> {};

TEST_P(EveryStartRate, AnswersOnlyAtItsOwnRate) {
    const int rate = GetParam();
    const int other = rate == 9600 ? 19200 : 9600;
    SimProcess sim({"--start-rate", std::to_string(rate)});
    Port port(sim.Device(), rate);
    ASSERT_TRUE(port.IsOpen()) << sim.Device();

    EXPECT_TRUE(AnswersVersion(port));
    const std::string enable = port.Ask('e');
    EXPECT_EQ(enable.substr(0, 1), "e");
    EXPECT_NE(enable.find("OK", 1), std::string::npos);
    EXPECT_EQ(port.Ask('h'), "h1");
    EXPECT_TRUE(IsGoodFrame(port.Ask('f', 0.2, kFrameBytes)));

    port.SetRate(other);
    EXPECT_EQ(port.Ask('b'), "");
    EXPECT_EQ(port.Ask('f'), "");

    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_NE(sim.ErrText().find("frames_answered=1 "), std::string::npos) << sim.ErrText();
    EXPECT_NE(sim.ErrText().find("bytes_ignored=2 "), std::string::npos) << sim.ErrText();
}

// The program's rate reset: one "a" at its previous rate and at each rate
// above the base. Whatever rate the box was at, it ends at 9600.
TEST_P(EveryStartRate, ResetSequenceReachesTheBaseRate) {
    SimProcess sim({"--start-rate", std::to_string(GetParam())});
    Port port(sim.Device(), 115200);
    for (int next : {19200, 38400, 57600, 115200, 9600}) port.Command('a', next);
    EXPECT_TRUE(AnswersVersion(port));
}

INSTANTIATE_TEST_SUITE_P(BoxSim, EveryStartRate,
                         ::testing::Values(9600, 19200, 38400, 57600, 115200));

TEST(BoxSimPty, RateLadderStepsUpStopsAtTheTopAndResets) {
    SimProcess sim({});
    Port port(sim.Device(), 9600);
    for (int next : {19200, 38400, 57600, 115200}) {
        port.Command('c', next);
        EXPECT_TRUE(AnswersVersion(port)) << next;
    }
    port.Command('c', 115200);
    EXPECT_TRUE(AnswersVersion(port)) << "no step beyond 115200";

    port.Command('a', 9600);
    EXPECT_TRUE(AnswersVersion(port));

    // A command sent at the wrong rate is lost like any other byte.
    port.Command('c', 19200);
    port.SetRate(9600);
    port.Command('a', 19200);
    EXPECT_TRUE(AnswersVersion(port)) << "the 'a' at 9600 never reached a box at 19200";
}

TEST(BoxSimPty, AboveMaxRateFollowsRateCommandsButAnswersNothing) {
    SimProcess sim({"--start-rate", "38400", "--max-rate", "38400"});
    Port port(sim.Device(), 38400);
    EXPECT_TRUE(AnswersVersion(port));
    port.Command('c', 57600);
    for (char cmd : {'b', 'e', 'h', 'f'}) EXPECT_EQ(port.Ask(cmd), "") << cmd;
    port.Command('c', 115200);
    EXPECT_EQ(port.Ask('b'), "");
    port.Command('a', 9600);
    EXPECT_TRUE(AnswersVersion(port));
}

TEST(BoxSimPty, BadAndDroppedFramesFollowTheirCountsAndTheCounters) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("boxsim-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string link = (dir / "box").string();
    SimProcess sim({"--bad-every", "3", "--drop-every", "4", "--link", link});
    Port port(link, 9600);
    ASSERT_TRUE(port.IsOpen());

    // Requests 4, 8 and 12 go unanswered; of the nine frames sent, the
    // third, sixth and ninth carry a wrong checksum.
    const std::string expected = "GGBxGGBxGGBx";
    std::string seen;
    for (int i = 0; i < 12; ++i) {
        const std::string reply = port.Ask('f', 0.05, kFrameBytes);
        seen += reply.empty()                 ? 'x'
                : IsGoodFrame(reply)          ? 'G'
                : reply.size() == kFrameBytes ? 'B'
                                              : '?';
    }
    EXPECT_EQ(seen, expected);

    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_NE(sim.ErrText().find("frames_answered=9 bad_frames=3 requests_dropped=3 "),
              std::string::npos)
        << sim.ErrText();
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the link goes at exit";
    std::filesystem::remove_all(dir);
}

struct Timing {
    double fastest = 1e9;  // a busy machine only ever adds time:
    double slowest = 0;    // upper bounds are checked on the fastest try
};

// Round trips of frame requests, from the request to the 38th byte.
Timing FrameRoundTrips(Port& port, int tries = 5) {
    Timing t;
    for (int i = 0; i < tries; ++i) {
        const auto start = Clock::now();
        const std::string reply = port.Ask('f', 0.5, kFrameBytes);
        const double seconds = Since(start);
        EXPECT_TRUE(IsGoodFrame(reply));
        t.fastest = std::min(t.fastest, seconds);
        t.slowest = std::max(t.slowest, seconds);
    }
    return t;
}

TEST(BoxSimPty, PacingTakesTheWireTimeOfEveryByte) {
    SimProcess paced({"--pace", "--pace-chunk", "1"});
    Port port(paced.Device(), 9600);
    // 39 bytes of 10 bits at 9600 baud: 40.6 ms, never less.
    const Timing slow = FrameRoundTrips(port);
    EXPECT_GT(slow.fastest, 0.0405);
    EXPECT_LT(slow.fastest, 0.050);

    // The bytes trickle in rather than arrive in one burst: the first within
    // a few byte times, the last 37 byte times (35.4 ms) later.
    double firstAt = 1, spread = 0;
    for (int i = 0; i < 5; ++i) {
        port.Send('f');
        const auto start = Clock::now();
        const std::string first = port.Read(0.5, 1);
        const double at = Since(start);
        port.Read(0.5, kFrameBytes - first.size());
        firstAt = std::min(firstAt, at);
        spread = std::max(spread, Since(start) - at);
    }
    EXPECT_LT(firstAt, 0.008);
    EXPECT_GT(spread, 0.030);

    port.Command('c', 19200);
    for (int next : {38400, 57600, 115200}) port.Command('c', next);
    const Timing fast = FrameRoundTrips(port, 10);  // 3.4 ms at 115200
    EXPECT_GT(fast.fastest, 0.0033);
    EXPECT_LT(fast.fastest, 0.020) << "a loaded machine adds its wake-up delay, no more";

    // By default bytes come in groups of eight, as from a UART's FIFO: the
    // first group once the request and eight bytes have crossed the line.
    SimProcess grouped({"--pace"});
    Port chunked(grouped.Device(), 9600);
    double groupAt = 1;
    std::size_t groupSize = 0;
    for (int i = 0; i < 3; ++i) {
        chunked.Send('f');
        const auto start = Clock::now();
        const std::string first = chunked.Read(0.5, 1);
        groupAt = std::min(groupAt, Since(start));
        groupSize = std::max(groupSize, first.size());
        chunked.Read(0.5, kFrameBytes - first.size());
    }
    EXPECT_GT(groupAt, 9 * 10 / 9600.0 - 0.0005);
    EXPECT_EQ(groupSize, 8u);

    SimProcess unpaced({});
    Port burst(unpaced.Device(), 9600);
    EXPECT_LT(FrameRoundTrips(burst, 10).fastest, 0.005);

    SimProcess late({"--latency", "30"});
    Port delayed(late.Device(), 9600);
    const Timing withLatency = FrameRoundTrips(delayed);
    EXPECT_GT(withLatency.fastest, 0.030);
    EXPECT_LT(withLatency.fastest, 0.040);
}

TEST(BoxSimPty, SelfTestLampComesOnAndStopGoesDark) {
    SimProcess sim({"--lamp-delay", "0.3", "--codes", "11"});
    Port port(sim.Device(), 9600);
    EXPECT_EQ(port.Ask('h'), "h1");

    port.Send('i');
    const auto start = Clock::now();
    double litAt = -1, darkAt = -1;
    while (Since(start) < 2 && darkAt < 0) {
        const std::string reply = port.Ask('h', 0.01, 2);
        if (reply == "h0" && litAt < 0) litAt = Since(start);
        if (reply == "h1" && litAt >= 0) darkAt = Since(start);
    }
    ASSERT_GE(litAt, 0) << "the lamp never came on";
    EXPECT_GT(litAt, 0.29);
    EXPECT_LT(litAt, 0.5);
    EXPECT_NEAR(darkAt - litAt, 0.5, 0.1) << "one flash lasts half a second";

    port.Send('j');
    std::this_thread::sleep_for(kSettle);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(port.Ask('h', 0.03, 2), "h1") << "lit after the stop command";
    }
}

TEST(BoxSimPty, ReplayAnswersTheStoredFramesInTurn) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("boxsim-replay-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string log = (dir / "drive.qz0").string();
    std::vector<FrameBytes> frames;
    for (int n = 1; n <= 3; ++n) {
        RawFrame raw;
        raw.analog[0] = static_cast<std::uint16_t>(100 * n);
        raw.timer[0] = static_cast<std::uint16_t>(5000 + n);
        frames.push_back(EncodeFrame(raw));
        ASSERT_TRUE(WriteRecordAt(log, n, frames.back()));
    }

    SimProcess sim({"--replay", log});
    Port port(sim.Device(), 9600);
    for (int i = 0; i < 5; ++i) {
        const std::string reply = port.Ask('f', 0.2, kFrameBytes);
        const FrameBytes& want = frames[static_cast<std::size_t>(i % 3)];
        EXPECT_EQ(reply, std::string(want.begin(), want.end())) << "request " << i + 1;
    }
    std::filesystem::remove_all(dir);
}

TEST(BoxSimPty, UnplugClosesTheDeviceRemovesTheLinkAndExits) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("boxsim-unplug-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string link = (dir / "box").string();
    std::filesystem::create_symlink("/nonexistent-device", link);  // a stale link is replaced

    SimProcess sim({"--link", link, "--unplug-after", "0.4"});
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.Device());
    Port port(link, 9600);
    EXPECT_TRUE(AnswersVersion(port));

    EXPECT_EQ(sim.WaitExit(3), 0);
    EXPECT_NE(sim.ErrText().find("unplugged"), std::string::npos);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    pollfd p{port.Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 100), 1);
    EXPECT_TRUE(p.revents & (POLLHUP | POLLERR)) << "the port sees the device vanish";
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quarn
