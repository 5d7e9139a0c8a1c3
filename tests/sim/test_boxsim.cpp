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
#include <sstream>
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
    // Standard error so far, while the simulator runs.
    const std::string& ErrTextNow() {
        DrainErr();
        return m_errText;
    }
    // Waits until standard error holds text count times; false after
    // seconds. A condition, not a time: the seconds only end a hung test.
    bool WaitForErr(const std::string& text, std::size_t count, double seconds = 10) {
        const auto start = Clock::now();
        for (;;) {
            std::size_t seen = 0;
            const std::string& err = ErrTextNow();
            for (std::size_t at = err.find(text); at != std::string::npos;
                 at = err.find(text, at + text.size()))
                ++seen;
            if (seen >= count) return true;
            if (Since(start) > seconds) return false;
            std::this_thread::sleep_for(1ms);
        }
    }

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

// An answer as the simulator's --trace tells it, in seconds on its clock:
// when the command came in, and when the answer's first and last bytes were
// due on the line.
struct TracedAnswer {
    char command = 0;
    double received = 0;
    std::size_t bytes = 0;
    double first = 0;
    double last = 0;
};

std::vector<TracedAnswer> TracedAnswers(const std::string& err) {
    std::vector<TracedAnswer> answers;
    std::istringstream lines(err);
    std::string line;
    TracedAnswer pending;
    while (std::getline(lines, line)) {
        double t = 0, first = 0, last = 0;
        char c = 0;
        std::size_t n = 0;
        if (std::sscanf(line.c_str(), "quarn-boxsim: trace t=%lf rx %c", &t, &c) == 2) {
            pending = {c, t};
        } else if (std::sscanf(line.c_str(), "quarn-boxsim: trace t=%lf tx %zu first=%lf last=%lf",
                               &t, &n, &first, &last) == 4) {
            pending.bytes = n;
            pending.first = first;
            pending.last = last;
            answers.push_back(pending);
        }
    }
    return answers;
}

// The traced frame answers from the nth on.
std::vector<TracedAnswer> FrameAnswers(SimProcess& sim, std::size_t from = 0) {
    std::vector<TracedAnswer> frames;
    for (const TracedAnswer& a : TracedAnswers(sim.ErrTextNow()))
        if (a.command == 'f') frames.push_back(a);
    frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min(from, frames.size())));
    return frames;
}

// The wire time of n bytes at rate.
double Bytes(int n, int rate) {
    return n * 10.0 / rate;
}

// A rate step the way the program takes it, but waiting until the simulator
// has read the command rather than for a time.
void StepUp(Port& port, SimProcess& sim, int from, int to) {
    const std::string seen = "rx c at " + std::to_string(from);
    std::size_t before = 0;
    for (std::size_t at = sim.ErrTextNow().find(seen); at != std::string::npos;
         at = sim.ErrTextNow().find(seen, at + 1))
        ++before;
    port.Send('c');
    ASSERT_TRUE(sim.WaitForErr(seen, before + 1)) << "the box never read the rate command";
    port.SetRate(to);
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

// What the line takes is checked twice: on the machine's clock only as a
// lower bound (a busy machine only ever adds time), and to the microsecond
// on the simulator's own schedule, which no load changes.
TEST(BoxSimPty, PacingTakesTheWireTimeOfEveryByte) {
    constexpr double kExact = 2e-6;  // the trace's microseconds
    SimProcess paced({"--pace", "--pace-chunk", "1", "--trace"});
    Port port(paced.Device(), 9600);
    // 39 bytes of 10 bits at 9600 baud: 40.6 ms, never less.
    const Timing slow = FrameRoundTrips(port);
    EXPECT_GT(slow.fastest, 0.0405);
    std::vector<TracedAnswer> frames = FrameAnswers(paced);
    ASSERT_EQ(frames.size(), 5u);
    for (const TracedAnswer& f : frames) {
        EXPECT_EQ(f.bytes, kFrameBytes);
        // The bytes trickle in rather than come in one burst: the first once
        // the request and itself have crossed, the last 37 byte times later.
        EXPECT_NEAR(f.first - f.received, Bytes(2, 9600), kExact);
        EXPECT_NEAR(f.last - f.received, Bytes(39, 9600), kExact);
    }

    // On the machine's clock the spread can only shrink when the test is
    // held up while bytes arrive: one try of five shows it.
    double spread = 0;
    for (int i = 0; i < 5; ++i) {
        port.Send('f');
        const auto start = Clock::now();
        const std::string first = port.Read(0.5, 1);
        const double at = Since(start);
        port.Read(0.5, kFrameBytes - first.size());
        spread = std::max(spread, Since(start) - at);
    }
    EXPECT_GT(spread, 0.030);

    StepUp(port, paced, 9600, 19200);
    StepUp(port, paced, 19200, 38400);
    StepUp(port, paced, 38400, 57600);
    StepUp(port, paced, 57600, 115200);
    const std::size_t before = FrameAnswers(paced).size();
    const Timing fast = FrameRoundTrips(port, 10);  // 3.4 ms at 115200
    EXPECT_GT(fast.fastest, 0.0033);
    frames = FrameAnswers(paced, before);
    ASSERT_EQ(frames.size(), 10u);
    for (const TracedAnswer& f : frames)
        EXPECT_NEAR(f.last - f.received, Bytes(39, 115200), kExact);

    // By default bytes come in groups of eight, as from a UART's FIFO: the
    // first group once the request and eight bytes have crossed the line.
    SimProcess grouped({"--pace", "--trace"});
    Port chunked(grouped.Device(), 9600);
    double groupAt = 1;
    for (int i = 0; i < 3; ++i) {
        chunked.Send('f');
        const auto start = Clock::now();
        std::string got = chunked.Read(0.5, 1);
        groupAt = std::min(groupAt, Since(start));
        // Read late, several groups may have come: never part of one.
        EXPECT_TRUE(got.size() % 8 == 0 || got.size() == kFrameBytes) << got.size();
        got += chunked.Read(0.5, kFrameBytes - got.size());
        EXPECT_TRUE(IsGoodFrame(got));
    }
    EXPECT_GT(groupAt, Bytes(9, 9600) - 0.0005);
    frames = FrameAnswers(grouped);
    ASSERT_EQ(frames.size(), 3u);
    for (const TracedAnswer& f : frames) {
        EXPECT_NEAR(f.first - f.received, Bytes(9, 9600), kExact);
        EXPECT_NEAR(f.last - f.received, Bytes(39, 9600), kExact) << "the last group of six";
    }

    SimProcess unpaced({"--trace"});
    Port burst(unpaced.Device(), 9600);
    FrameRoundTrips(burst, 10);
    frames = FrameAnswers(unpaced);
    ASSERT_EQ(frames.size(), 10u);
    for (const TracedAnswer& f : frames) {
        EXPECT_EQ(f.first, f.received) << "without pacing the answer is due at once";
        EXPECT_EQ(f.last, f.received);
    }

    SimProcess late({"--latency", "30", "--trace"});
    Port delayed(late.Device(), 9600);
    const Timing withLatency = FrameRoundTrips(delayed);
    EXPECT_GT(withLatency.fastest, 0.030);
    frames = FrameAnswers(late);
    ASSERT_EQ(frames.size(), 5u);
    for (const TracedAnswer& f : frames) {
        EXPECT_NEAR(f.first - f.received, 0.030, kExact);
        EXPECT_EQ(f.last, f.first);
    }
}

// Every lamp answer is checked against the time the simulator itself gave
// it, so a test held up between its queries judges nothing by the time it
// lost: dark for the 0.3 s lead-in, lit for the half-second flash, dark
// after it.
TEST(BoxSimPty, SelfTestLampComesOnAndStopGoesDark) {
    SimProcess sim({"--lamp-delay", "0.3", "--codes", "11", "--trace"});
    Port port(sim.Device(), 9600);
    EXPECT_EQ(port.Ask('h', 0.5, 2), "h1");

    port.Send('i');
    ASSERT_TRUE(sim.WaitForErr("rx i at 9600", 1));
    // Queries until one has seen the flash end, however long that takes.
    bool lit = false, darkAgain = false;
    const auto start = Clock::now();
    while (!darkAgain && Since(start) < 30) {
        const std::string reply = port.Ask('h', 0.5, 2);
        lit = lit || reply == "h0";
        darkAgain = lit && reply == "h1";
        sim.ErrTextNow();  // the trace must not fill its pipe and stop the box
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_TRUE(lit) << "the lamp never came on";
    ASSERT_TRUE(darkAgain) << "the flash never ended";

    std::istringstream lines(sim.ErrTextNow());
    std::string line;
    double started = -1;
    int litAnswers = 0;
    while (std::getline(lines, line)) {
        double t = 0;
        char c = 0, state[8] = {};
        if (std::sscanf(line.c_str(), "quarn-boxsim: trace t=%lf rx %c", &t, &c) == 2 && c == 'i')
            started = t;
        if (started < 0 ||
            std::sscanf(line.c_str(), "quarn-boxsim: trace t=%lf lamp %7s", &t, state) != 2)
            continue;
        const double at = t - started;
        const bool answeredLit = std::string(state) == "lit";
        litAnswers += answeredLit;
        // The trace's microseconds either side of each edge.
        if (at < 0.3 - 1e-5 || at > 0.8 + 1e-5) {
            EXPECT_FALSE(answeredLit) << "lit at " << at << " s";
        } else if (at > 0.3 + 1e-5 && at < 0.8 - 1e-5) {
            EXPECT_TRUE(answeredLit) << "dark at " << at << " s, within the flash";
        }
    }
    EXPECT_GT(litAnswers, 0);

    port.Send('j');
    ASSERT_TRUE(sim.WaitForErr("rx j at 9600", 1));
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(port.Ask('h', 0.5, 2), "h1") << "lit after the stop command";
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
