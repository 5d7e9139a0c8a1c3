#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace quarn {

// The check-engine lamp during the engine computer's self test. After a
// dark lead-in each code is flashed digit by digit: a digit is N flashes
// (ten for a 0), half a second lit and half a second dark; digits of a code
// are 2 s apart and codes 4 s apart; after the last code the lamp stays
// dark. Times are seconds on any monotonic clock, passed in by the caller.
class LampSequence {
public:
    static constexpr double kFlashSeconds = 0.5;
    static constexpr double kFlashGapSeconds = 0.5;
    static constexpr double kDigitGapSeconds = 2.0;
    static constexpr double kCodeGapSeconds = 4.0;
    // The reader waits 6 s after starting the test before it looks at the
    // lamp, so the first flash must come later than that.
    static constexpr double kDefaultLeadInSeconds = 8.0;
    // Jitter never shortens a period below this.
    static constexpr double kMinPeriodSeconds = 0.05;

    struct Period {
        bool lit;
        double seconds;
    };

    // codes: each shown as the digits of its decimal text. jitterSeconds:
    // every period gets a uniform offset in [-jitter, +jitter], drawn from
    // a generator seeded with seed.
    LampSequence(std::vector<int> codes, double leadInSeconds, double jitterSeconds,
                 std::uint64_t seed);

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
    static std::vector<Period> Schedule(const std::vector<int>& codes, double leadInSeconds);

private:
    std::vector<int> m_codes;
    double m_leadIn;
    double m_jitter;
    std::mt19937_64 m_rng;
    std::vector<Period> m_periods;
    std::vector<double> m_ends;  // end of each period, seconds after the start
    double m_start = 0;
    bool m_running = false;
};

}  // namespace quarn
