#include "sim/BoxSim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace quarn {
namespace {

using Clock = BoxSim::Clock;

// Answers to "b" and "e", the command byte echoed first.
constexpr std::string_view kVersionAnswer = "bQuarn-IV v2.1\r";
constexpr std::string_view kEnableAnswer = "eOK\r";
// Lamp state as the box reports it: "0" lit, "1" dark.
constexpr char kLampLit = '0';
constexpr char kLampDark = '1';
// A rate no program ever asks for, so a port nobody has open never matches.
constexpr speed_t kIdleSpeed = B4800;
constexpr std::size_t kReadChunk = 256;
// A box answers one command after another from a small buffer; a program
// that asks far faster than the line can carry loses the excess answers.
constexpr std::size_t kMaxQueuedBytes = 4096;

int RateFromSpeed(speed_t speed) {
    switch (speed) {
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        default:
            return 0;
    }
}

Clock::duration ToDuration(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::string SysError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

BoxSim::BoxSim(BoxOptions options)
    : m_opt(std::move(options)),
      m_engine(m_opt.seed, m_opt.pullEveryRun),
      m_lamp(m_opt.codes, m_opt.lampLeadInSeconds, m_opt.jitterSeconds, m_opt.seed),
      m_rate(m_opt.startRate) {
    m_engine.SetFuelling(m_opt.fuelling);
    m_start = m_wireFreeAt = Clock::now();
}

BoxSim::~BoxSim() {
    CloseDevice();
    RemoveLink();
}

bool BoxSim::Open(std::string& error) {
    if (!m_opt.replayPath.empty()) {
        std::string why;
        if (!m_replay.Open(m_opt.replayPath, &why)) {
            error = why.empty() ? "cannot open " + m_opt.replayPath : why;
            return false;
        }
        FrameBytes probe;
        if (!NextReplayFrame(probe)) {
            error = m_opt.replayPath + " holds no whole frame";
            return false;
        }
        m_replayNext = 1;
    }
    if (!OpenDevice(error)) return false;
    m_start = m_wireFreeAt = Clock::now();
    return true;
}

// A new pseudo-terminal, raw, behind the link if one is asked for.
bool BoxSim::OpenDevice(std::string& error) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0) {
        error = SysError("posix_openpt");
        return false;
    }
    char name[128];
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        ptsname_r(m_master, name, sizeof name) != 0) {
        error = SysError("pseudo-terminal setup");
        return false;
    }
    m_slavePath = name;

    // Holding the slave open keeps the master from signalling hang-up (and
    // poll() from spinning) while the program's port is closed.
    m_slaveHold = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveHold < 0) {
        error = SysError("open " + m_slavePath);
        return false;
    }
    // Raw from the start: a fresh pty echoes and edits lines, which would
    // turn the program's commands into answers before it sets the port up.
    termios t{};
    if (tcgetattr(m_slaveHold, &t) != 0) {
        error = SysError("tcgetattr");
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, kIdleSpeed);
    cfsetospeed(&t, kIdleSpeed);
    if (tcsetattr(m_slaveHold, TCSANOW, &t) != 0) {
        error = SysError("tcsetattr");
        return false;
    }

    if (!m_opt.linkPath.empty()) {
        const std::string& link = m_opt.linkPath;
        struct stat st {};
        if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
            error = link + " exists and is not a symbolic link";
            return false;
        }
        // Made under a temporary name and renamed over the old link, so the
        // path never goes missing for a program that is reconnecting.
        const std::string tmp = link + ".boxsim-" + std::to_string(getpid());
        unlink(tmp.c_str());
        if (symlink(m_slavePath.c_str(), tmp.c_str()) != 0) {
            error = SysError("symlink " + tmp);
            return false;
        }
        if (rename(tmp.c_str(), link.c_str()) != 0) {
            error = SysError("rename to " + link);
            unlink(tmp.c_str());
            return false;
        }
        m_linkMade = true;
    }
    return true;
}

bool BoxSim::Run(int signalFd) {
    std::optional<Clock::time_point> unplugAt;
    if (m_opt.unplugAfterSeconds) unplugAt = m_start + ToDuration(*m_opt.unplugAfterSeconds);

    for (;;) {
        auto now = Clock::now();
        if (unplugAt && now >= *unplugAt) {
            Unplug();
            if (!m_opt.replugAfterSeconds) return true;
            // The adapter comes back as a new device behind the same link,
            // unless a signal ends the simulator first.
            const auto ms = static_cast<int>(*m_opt.replugAfterSeconds * 1000);
            pollfd sig = {signalFd, POLLIN, 0};
            if (poll(&sig, 1, ms) > 0) return true;
            std::string error;
            if (!OpenDevice(error)) {
                std::fprintf(stderr, "quarn-boxsim: %s\n", error.c_str());
                return false;
            }
            m_unplugged = false;
            std::fprintf(stderr, "quarn-boxsim: plugged in again\n");
            unplugAt = Clock::now() + ToDuration(*m_opt.unplugAfterSeconds);
            continue;
        }
        std::optional<Clock::time_point> deadline = unplugAt;
        if (!m_out.empty() && (!deadline || m_out.front().due < *deadline))
            deadline = m_out.front().due;

        timespec ts{};
        timespec* timeout = nullptr;
        if (deadline) {
            const auto wait = std::max(Clock::duration::zero(), *deadline - now);
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            ts.tv_sec = static_cast<time_t>(ns / 1000000000);
            ts.tv_nsec = static_cast<long>(ns % 1000000000);
            timeout = &ts;
        }
        pollfd fds[2] = {{m_master, POLLIN, 0}, {signalFd, POLLIN, 0}};
        if (ppoll(fds, 2, timeout, nullptr) < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "quarn-boxsim: %s\n", SysError("ppoll").c_str());
            return false;
        }

        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info{};
            if (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                if (info.ssi_signo == SIGUSR2) {
                    // Unplugged now, as --unplug-after would at its time.
                    unplugAt = Clock::now();
                    continue;
                }
                if (info.ssi_signo != SIGUSR1) return true;
                std::fprintf(stderr, "quarn-boxsim: %s\n", CountersText().c_str());
            }
        }

        bool hungUp = (fds[0].revents & (POLLHUP | POLLERR)) != 0;
        if (fds[0].revents & POLLIN) hungUp = !ReadCommands(Clock::now());
        if (hungUp) {
            // Only a hang-up of every slave descriptor gets here (a program
            // that made the pty its controlling terminal and exited). Reopen
            // our hold on the slave; pause so a persisting state cannot spin.
            if (m_slaveHold >= 0) close(m_slaveHold);
            m_slaveHold = open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        FlushDue(Clock::now());
    }
}

double BoxSim::Seconds(Clock::time_point t) const {
    return std::chrono::duration<double>(t - m_start).count();
}

// The rate the program has set on its end of the line. tcgetattr on the
// master reports the slave's settings.
int BoxSim::PortRate() const {
    termios t{};
    if (tcgetattr(m_master, &t) != 0) return 0;
    return RateFromSpeed(cfgetospeed(&t));
}

bool BoxSim::ReadCommands(Clock::time_point now) {
    std::uint8_t buf[kReadChunk];
    const ssize_t n = read(m_master, buf, sizeof buf);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (n == 0) return false;
    const int portRate = PortRate();
    for (ssize_t i = 0; i < n; ++i) {
        // m_rate may change within the batch ("c" followed by more bytes the
        // program sent before it changed its own rate).
        if (portRate != m_rate) {
            ++m_counters.bytesIgnored;
            Trace("t=%.6f ignored %c at %d", Seconds(now), buf[i], portRate);
            continue;
        }
        Trace("t=%.6f rx %c at %d", Seconds(now), buf[i], m_rate);
        HandleCommand(buf[i], now);
    }
    return true;
}

void BoxSim::HandleCommand(std::uint8_t cmd, Clock::time_point now) {
    switch (cmd) {
        case 'a':
            m_rate = kBoxRates.front();
            return;
        case 'c': {
            const auto it = std::find(kBoxRates.begin(), kBoxRates.end(), m_rate);
            if (it != kBoxRates.end() && it + 1 != kBoxRates.end()) m_rate = *(it + 1);
            return;
        }
        case 'i': {
            m_lamp.Start(Seconds(now));
            m_lastLampQuery.reset();
            std::string periods;
            for (const LampSequence::Period& p : m_lamp.Periods()) {
                char one[32];
                std::snprintf(one, sizeof one, " %c%.3f", p.lit ? 'l' : 'd', p.seconds);
                periods += one;
            }
            std::fprintf(stderr, "quarn-boxsim: lamp periods:%s\n", periods.c_str());
            return;
        }
        case 'j':
            m_lamp.Stop();
            return;
        default:
            break;
    }

    // Above its highest rate the box still hears rate commands but cannot
    // get an answer through.
    if (m_rate > m_opt.maxRate) return;
    switch (cmd) {
        case 'b':
            SendText(kVersionAnswer, now);
            break;
        case 'e':
            SendText(kEnableAnswer, now);
            break;
        case 'h': {
            if (m_lamp.Running()) {
                ++m_counters.lampQueries;
                if (m_lastLampQuery)
                    m_counters.longestLampGapSeconds =
                        std::max(m_counters.longestLampGapSeconds,
                                 std::chrono::duration<double>(now - *m_lastLampQuery).count());
                m_lastLampQuery = now;
            }
            const bool lit = m_lamp.IsLit(Seconds(now));
            Trace("t=%.6f lamp %s", Seconds(now), lit ? "lit" : "dark");
            const char answer[] = {'h', lit ? kLampLit : kLampDark};
            SendText({answer, sizeof answer}, now);
            break;
        }
        case 'f':
            AnswerFrame(now);
            break;
        default:
            break;  // unknown bytes are ignored, as the box does
    }
}

void BoxSim::AnswerFrame(Clock::time_point now) {
    ++m_frameRequests;
    if (m_opt.dropEvery > 0 && m_frameRequests % static_cast<std::uint64_t>(m_opt.dropEvery) == 0) {
        ++m_counters.requestsDropped;
        return;
    }
    FrameBytes frame{};
    if (m_replay.IsOpen()) {
        if (!NextReplayFrame(frame)) return;
    } else {
        frame = EncodeFrame(m_engine.Sample(Seconds(now)));
    }
    ++m_counters.framesAnswered;
    if (m_opt.badEvery > 0 &&
        m_counters.framesAnswered % static_cast<std::uint64_t>(m_opt.badEvery) == 0) {
        frame[kChecksumIndex] = static_cast<std::uint8_t>(FrameChecksum(frame) + 1);
        ++m_counters.badFrames;
    }
    if (m_opt.garbageEvery > 0 &&
        m_counters.framesAnswered % static_cast<std::uint64_t>(m_opt.garbageEvery) == 0) {
        // Line noise before the answer: a burst of bytes that looks like the
        // tail of some frame, so the program's frame boundary slips.
        std::uint8_t noise[kMaxGarbageBytes];
        const std::size_t n = 1 + m_garbageState % kMaxGarbageBytes;
        for (std::size_t i = 0; i < n; ++i) {
            m_garbageState = m_garbageState * 6364136223846793005ULL + 1442695040888963407ULL;
            noise[i] = static_cast<std::uint8_t>(m_garbageState >> 56);
        }
        ++m_counters.garbageBursts;
        Send(noise, n, now);
    }
    Send(frame.data(), frame.size(), now);
}

// The next whole frame of the replay file, going round to the first record
// after the last. Records that are not whole frames are passed over.
bool BoxSim::NextReplayFrame(FrameBytes& frame) {
    const std::int64_t count = m_replay.RecordCount();
    ByteBuffer buf;
    for (std::int64_t tries = 0; tries < count; ++tries) {
        const std::int64_t n = m_replayNext;
        m_replayNext = n % count + 1;
        if (m_replay.Read(n, buf) == RecordStatus::Ok && buf.size() >= frame.size()) {
            std::copy_n(buf.begin(), frame.size(), frame.begin());
            return true;
        }
    }
    return false;
}

void BoxSim::SendText(std::string_view text, Clock::time_point now) {
    Send(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), now);
}

// Queues an answer. With pacing each byte is due when its ten bits would
// have crossed the line: after the request byte itself has arrived, the
// latency, and whatever the line is still sending.
void BoxSim::Send(const std::uint8_t* data, std::size_t size, Clock::time_point now) {
    if (m_out.size() + size > kMaxQueuedBytes) {
        m_counters.bytesLost += size;
        return;
    }
    const Clock::duration byteTime = m_opt.pace ? ToDuration(10.0 / m_rate) : Clock::duration{};
    const Clock::time_point begin =
        std::max(now + byteTime + ToDuration(m_opt.latencySeconds), m_wireFreeAt);
    const std::size_t chunk = static_cast<std::size_t>(std::max(m_opt.paceChunk, 1));
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t groupEnd = std::min(size, (i / chunk + 1) * chunk);
        m_out.push_back({data[i], begin + byteTime * static_cast<Clock::rep>(groupEnd)});
    }
    m_wireFreeAt = begin + byteTime * static_cast<Clock::rep>(size);
    Trace("t=%.6f tx %zu first=%.6f last=%.6f", Seconds(now), size,
          Seconds(m_out.end()[-static_cast<std::ptrdiff_t>(size)].due), Seconds(m_out.back().due));
}

// Writes the bytes that are due. They get through only while the program's
// port is at the box's rate, checked as they are written.
void BoxSim::FlushDue(Clock::time_point now) {
    std::uint8_t chunk[kReadChunk];
    while (!m_out.empty() && m_out.front().due <= now) {
        std::size_t n = 0;
        while (n < sizeof chunk && !m_out.empty() && m_out.front().due <= now) {
            chunk[n++] = m_out.front().byte;
            m_out.pop_front();
        }
        if (PortRate() != m_rate) {
            m_counters.bytesLost += n;
            continue;
        }
        // A full receive buffer loses the rest, as a UART overrun would.
        const ssize_t written = write(m_master, chunk, n);
        m_counters.bytesLost += n - static_cast<std::size_t>(std::max<ssize_t>(written, 0));
    }
}

void BoxSim::Unplug() {
    CloseDevice();
    RemoveLink();
    m_unplugged = true;
    m_out.clear();
    std::fprintf(stderr, "quarn-boxsim: unplugged\n");
}

void BoxSim::CloseDevice() {
    if (m_slaveHold >= 0) close(m_slaveHold);
    if (m_master >= 0) close(m_master);
    m_slaveHold = m_master = -1;
}

// Removes the link only while it still points at our device: a newer
// simulator may have taken the name over.
void BoxSim::RemoveLink() {
    if (!m_linkMade) return;
    m_linkMade = false;
    char target[256];
    const ssize_t n = readlink(m_opt.linkPath.c_str(), target, sizeof target - 1);
    if (n < 0) return;
    target[n] = '\0';
    if (m_slavePath == target) unlink(m_opt.linkPath.c_str());
}

void BoxSim::Trace(const char* format, ...) const {
    if (!m_opt.trace) return;
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "quarn-boxsim: trace %s\n", line);
}

std::string BoxSim::CountersText() const {
    char text[320];
    std::snprintf(text, sizeof text,
                  "frames_answered=%llu bad_frames=%llu requests_dropped=%llu bytes_ignored=%llu "
                  "bytes_lost=%llu garbage_bursts=%llu lamp_queries=%llu "
                  "longest_lamp_gap_ms=%.0f",
                  static_cast<unsigned long long>(m_counters.framesAnswered),
                  static_cast<unsigned long long>(m_counters.badFrames),
                  static_cast<unsigned long long>(m_counters.requestsDropped),
                  static_cast<unsigned long long>(m_counters.bytesIgnored),
                  static_cast<unsigned long long>(m_counters.bytesLost),
                  static_cast<unsigned long long>(m_counters.garbageBursts),
                  static_cast<unsigned long long>(m_counters.lampQueries),
                  m_counters.longestLampGapSeconds * 1000);
    return text;
}

}  // namespace quarn
