#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace quarn {

// How the engine computer flashes its codes.
enum class LampPattern {
    // As a real computer does in the key-on engine-off test: the hard-fault
    // codes, each twice; a long dark, one separator flash, a long dark; the
    // continuous-memory codes, each twice.
    KeyOnEngineOff,
    // Each hard-fault code once and nothing after them: the reader's own
    // rules, one section, no repetition.
    OnceOnly,
};

struct LampCodes {
    std::vector<int> now{11};     // hard faults, read key on engine off
    std::vector<int> memory{11};  // continuous memory; unused by OnceOnly
    LampPattern pattern = LampPattern::KeyOnEngineOff;
};

// The check-engine lamp during the engine computer's self test. After a
// dark lead-in each code is flashed digit by digit: a digit is N flashes
// (ten for a 0), half a second lit and half a second dark; digits of a code
// are 2 s apart and codes 4 s apart, the two showings of a code too; the two
// sections are parted by 6 s dark, a half-second flash and 6 s dark; after
// the last code the lamp stays dark. An empty list of codes is sent as 11,
// the pass code. Times are seconds on any monotonic clock, passed in by the
// caller.
class LampSequence {
public:
    static constexpr double kFlashSeconds = 0.5;
    static constexpr double kFlashGapSeconds = 0.5;
    static constexpr double kDigitGapSeconds = 2.0;
    static constexpr double kCodeGapSeconds = 4.0;
    // Dark before and after the separator flash.
    static constexpr double kSectionGapSeconds = 6.0;
    static constexpr int kPassCode = 11;
    // The reader waits 6 s after starting the test before it looks at the
    // lamp, so the first flash must come later than that.
    static constexpr double kDefaultLeadInSeconds = 8.0;
    // Jitter never shortens a period below this.
    static constexpr double kMinPeriodSeconds = 0.05;

    struct Period {
        bool lit;
        double seconds;
    };

    // jitterSeconds: every period gets a uniform offset in [-jitter,
    // +jitter], drawn from a generator seeded with seed.
    LampSequence(const LampCodes& codes, double leadInSeconds, double jitterSeconds,
                 std::uint64_t seed);
    // A lamp that follows schedule (lead-in first, the endless dark after
    // it not listed): for lamps no computer model above makes.
    LampSequence(std::vector<Period> schedule, double jitterSeconds, std::uint64_t seed);

    // Starts (or restarts) the sequence at now, drawing fresh jitter.
    void Start(double now);
    // Ends it: the lamp goes dark.
    void Stop() { m_running = false; }

    bool Running() const { return m_running; }
    bool IsLit(double now) const;

    // The periods of the running (or last) sequence, from the lead-in to the
    // last flash; the endless dark after it is not listed.
    const std::vector<Period>& Periods() const { return m_periods; }

    // The periods for codes without jitter.
    static std::vector<Period> Schedule(const LampCodes& codes, double leadInSeconds);

private:
    std::vector<Period> m_schedule;
    double m_jitter;
    std::mt19937_64 m_rng;
    std::vector<Period> m_periods;
    std::vector<double> m_ends;  // end of each period, seconds after the start
    double m_start = 0;
    bool m_running = false;
};

}  // namespace quarn
