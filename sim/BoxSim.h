#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decode/Frame.h"
#include "logging/LogFormat.h"
#include "sim/EngineModel.h"
#include "sim/LampSequence.h"

namespace quarn {

// The rates the box can run at, lowest first; "a" returns to the first.
inline constexpr std::array<int, 5> kBoxRates{9600, 19200, 38400, 57600, 115200};

struct BoxOptions {
    int startRate = 9600;
    int maxRate = 115200;    // above it the box answers nothing
    std::string linkPath;    // symlink to the device, when not empty
    std::string replayPath;  // frames from this log instead of the model
    std::uint64_t seed = EngineModel::kDefaultSeed;
    bool pullEveryRun = false;  // every run of the drive is a dyno pull
    // The box's car has a tune whose MAF transfer is off by a known error,
    // so a fuel analysis of the demo drive has something to find.
    EngineModel::Fuelling fuelling{{{1.0, 0}, {1.6, 4}, {2.2, 6}, {3.0, -3}, {4.0, -5}}, 12.0, 0.15};
    LampCodes codes;  // self-test codes and the lamp's pattern
    double jitterSeconds = 0;
    double lampLeadInSeconds = LampSequence::kDefaultLeadInSeconds;
    bool pace = false;  // take the wire time of every byte
    // For tests: every command byte and every answer goes to standard error
    // with the simulator's own times (see kUsage), so a test checks the
    // box's timing without measuring the machine's.
    bool trace = false;
    // With pacing, received bytes reach the program in groups of this many,
    // each group when its last byte has crossed the line: a UART hands its
    // receive FIFO over at a trigger level, a USB adapter a packet at a time.
    int paceChunk = 8;
    double latencySeconds = 0;  // before an answer starts
    int badEvery = 0;           // corrupt every Nth frame's checksum
    int dropEvery = 0;          // leave every Nth frame request unanswered
    int garbageEvery = 0;       // a burst of noise bytes before every Nth frame
    std::optional<double> unplugAfterSeconds;
    // After an unplug, the device comes back this much later on a new pty
    // behind the same link, and is unplugged again unplugAfterSeconds later.
    std::optional<double> replugAfterSeconds;
};

struct BoxCounters {
    std::uint64_t framesAnswered = 0;   // frames sent, corrupted ones included
    std::uint64_t badFrames = 0;        // frames sent with a wrong checksum
    std::uint64_t requestsDropped = 0;  // frame requests left unanswered on purpose
    std::uint64_t bytesIgnored = 0;     // received while the port was at another rate
    std::uint64_t bytesLost = 0;        // answer bytes the port could not take
    std::uint64_t garbageBursts = 0;    // bursts of noise sent before a frame
    std::uint64_t lampQueries = 0;      // lamp queries while the self test ran
    // The longest time between two lamp queries while the self test ran: a
    // program held up longer saw the lamp only that coarsely.
    double longestLampGapSeconds = 0;
};

// The logger box on a pseudo-terminal: the program opens the slave side as
// its serial port, the box lives on the master side. A pty carries bytes
// whatever rate is set on it, so the box reads the rate the program chose
// from the slave's settings and behaves like a line at a mismatched rate:
// bytes in either direction are lost unless both ends agree.
class BoxSim {
public:
    using Clock = std::chrono::steady_clock;

    explicit BoxSim(BoxOptions options);
    ~BoxSim();
    BoxSim(const BoxSim&) = delete;
    BoxSim& operator=(const BoxSim&) = delete;

    // Creates the pty (and the link) and opens the replay file. Returns false
    // with a message in error on failure.
    bool Open(std::string& error);
    const std::string& SlavePath() const { return m_slavePath; }

    // Serves the box until SIGTERM or SIGINT arrives on signalFd, or until
    // the device is unplugged. SIGUSR1 prints the counters. Returns false
    // when the event loop failed.
    bool Run(int signalFd);

    const BoxCounters& Counters() const { return m_counters; }
    std::string CountersText() const;
    bool Unplugged() const { return m_unplugged; }

private:
    static constexpr std::size_t kMaxGarbageBytes = 20;

    struct PendingByte {
        std::uint8_t byte;
        Clock::time_point due;
    };

    double Seconds(Clock::time_point t) const;
    int PortRate() const;
    // Returns false when the line has hung up.
    bool ReadCommands(Clock::time_point now);
    void HandleCommand(std::uint8_t cmd, Clock::time_point now);
    void AnswerFrame(Clock::time_point now);
    bool NextReplayFrame(FrameBytes& frame);
    void Send(const std::uint8_t* data, std::size_t size, Clock::time_point now);
    void SendText(std::string_view text, Clock::time_point now);
    void FlushDue(Clock::time_point now);
    bool OpenDevice(std::string& error);
    void Unplug();
    void Trace(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    void RemoveLink();
    void CloseDevice();

    BoxOptions m_opt;
    BoxCounters m_counters;
    std::uint64_t m_garbageState = 0x9E3779B97F4A7C15ULL;
    EngineModel m_engine;
    LampSequence m_lamp;
    LogReader m_replay;
    std::int64_t m_replayNext = 1;

    int m_master = -1;
    int m_slaveHold =
        -1;  // keeps the master from reporting hang-up while the program's port is closed
    std::string m_slavePath;
    bool m_linkMade = false;
    bool m_unplugged = false;

    int m_rate;
    Clock::time_point m_start;
    Clock::time_point m_wireFreeAt;
    std::deque<PendingByte> m_out;
    std::uint64_t m_frameRequests = 0;
    std::optional<Clock::time_point> m_lastLampQuery;
};

}  // namespace quarn
