// Covers the simulator's self-test lamp: flash, digit and code timing for
// several code lists, once only and in two sections with every code twice,
// ten flashes for a 0, the endless dark after the last code, jitter bounds
// and seeding, and stopping. Time is fake.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sim/LampSequence.h"

namespace quarn {
namespace {

constexpr double kSample = 0.001;  // fake-clock resolution

struct Run {
    bool lit;
    double seconds;
};

// The lamp's lit and dark runs between start and until, as a poller with a
// 1 ms clock would see them. The last run is cut off at until.
std::vector<Run> Observe(const LampSequence& lamp, double start, double until) {
    std::vector<Run> runs;
    for (double t = start; t < until; t += kSample) {
        const bool lit = lamp.IsLit(t);
        if (runs.empty() || runs.back().lit != lit)
            runs.push_back({lit, kSample});
        else
            runs.back().seconds += kSample;
    }
    return runs;
}

// Assembles codes from the runs with the reader's thresholds: a flash is lit
// for under 1.2 s, a dark run over 1.2 s ends a digit (ten flashes are a 0,
// more are an error), over 3 s a code. The endless dark ends the last code.
std::vector<int> ReadCodes(const std::vector<Run>& runs) {
    std::vector<int> codes;
    std::string digits;
    int flashes = 0;
    for (std::size_t i = 1; i < runs.size(); ++i) {  // runs[0] is the lead-in
        if (runs[i].lit) {
            flashes += runs[i].seconds < 1.2 ? 1 : 100;
            continue;
        }
        if (runs[i].seconds > 1.2) {
            digits += flashes >= 1 && flashes <= 10 ? static_cast<char>('0' + flashes % 10) : '?';
            flashes = 0;
        }
        if (runs[i].seconds > 3) {
            codes.push_back(digits.find('?') == std::string::npos ? std::stoi(digits) : -1);
            digits.clear();
        }
    }
    return codes;
}

double Total(const std::vector<LampSequence::Period>& periods) {
    double total = 0;
    for (const auto& p : periods) total += p.seconds;
    return total;
}

struct LampCase {
    const char* name;
    LampCodes codes;
    std::vector<int> read;  // what a flash counter reads; the separator reads as 1
};

void PrintTo(const LampCase& c, std::ostream* os) {
    *os << c.name;
}

class LampFlashes : public ::testing::TestWithParam<LampCase> {};

TEST_P(LampFlashes, FlashesEveryCodeWithExactTiming) {
    const LampCase& c = GetParam();
    LampSequence lamp(c.codes, LampSequence::kDefaultLeadInSeconds, 0, 1);
    const double start = 100;
    lamp.Start(start);
    const double end = Total(lamp.Periods());
    const auto runs = Observe(lamp, start, start + end + 10);

    ASSERT_FALSE(runs.empty());
    EXPECT_FALSE(runs.front().lit);
    EXPECT_GT(runs.front().seconds, 6.5) << "first flash must come after the reader's 6 s wait";
    EXPECT_FALSE(runs.back().lit);
    EXPECT_GT(runs.back().seconds, 9.9) << "the lamp stays dark after the last code";

    int sectionGaps = 0;
    for (std::size_t i = 1; i + 1 < runs.size(); ++i) {
        const double s = runs[i].seconds;
        if (runs[i].lit) {
            EXPECT_NEAR(s, 0.5, 0.002) << "run " << i;
        } else {
            sectionGaps += std::abs(s - 6.0) < 0.002;
            EXPECT_TRUE(std::abs(s - 0.5) < 0.002 || std::abs(s - 2.0) < 0.002 ||
                        std::abs(s - 4.0) < 0.002 || std::abs(s - 6.0) < 0.002)
                << "dark run " << i << " lasts " << s;
        }
    }
    // 6 s of dark before and after the separator, and nowhere else.
    EXPECT_EQ(sectionGaps, c.codes.pattern == LampPattern::OnceOnly ? 0 : 2);
    EXPECT_EQ(ReadCodes(runs), c.read);
}

constexpr auto kOnce = LampPattern::OnceOnly;

INSTANTIATE_TEST_SUITE_P(
    BoxSim, LampFlashes,
    ::testing::Values(LampCase{"OnceOnlyPass", {{11}, {}, kOnce}, {11}},
                      LampCase{"OnceOnlyTwoCodes", {{12, 23}, {}, kOnce}, {12, 23}},
                      // 0 is ten flashes
                      LampCase{"OnceOnlyZeros", {{10, 305}, {}, kOnce}, {10, 305}},
                      LampCase{"OnceOnlyThree", {{99, 11, 41}, {}, kOnce}, {99, 11, 41}},
                      // Each code twice, the separator, the memory codes twice;
                      // an empty list is sent as the pass code.
                      LampCase{"BothSectionsPass", {{}, {}}, {11, 11, 1, 11, 11}},
                      LampCase{"HardCodesMemoryPass", {{23, 10}, {}}, {23, 23, 10, 10, 1, 11, 11}},
                      LampCase{"MemoryCodes", {{11}, {112, 41}}, {11, 11, 1, 112, 112, 41, 41}}),
    [](const auto& info) { return std::string(info.param.name); });

class LampJitter : public ::testing::TestWithParam<double> {};

TEST_P(LampJitter, EveryPeriodStaysWithinBounds) {
    const double jitter = GetParam();
    const LampCodes codes{{23, 10}, {41}};
    const auto nominal = LampSequence::Schedule(codes, 8);
    LampSequence lamp(codes, 8, jitter, 42);
    lamp.Start(0);
    const auto& actual = lamp.Periods();
    ASSERT_EQ(actual.size(), nominal.size());

    bool anyMoved = false;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].lit, nominal[i].lit);
        EXPECT_LE(std::abs(actual[i].seconds - nominal[i].seconds), jitter + 1e-12) << i;
        anyMoved |= actual[i].seconds != nominal[i].seconds;
    }
    EXPECT_TRUE(anyMoved);

    // Jitter within these bounds never crosses the reader's thresholds.
    const auto runs = Observe(lamp, 0, Total(actual) + 7);
    EXPECT_EQ(ReadCodes(runs), (std::vector<int>{23, 23, 10, 10, 1, 41, 41}));
}

INSTANTIATE_TEST_SUITE_P(BoxSim, LampJitter, ::testing::Values(0.05, 0.1, 0.25));

TEST(BoxSimLamp, JitterFollowsTheSeed) {
    auto periods = [](std::uint64_t seed) {
        LampSequence lamp(LampCodes{{11, 23}, {}}, 8, 0.1, seed);
        lamp.Start(0);
        std::vector<double> s;
        for (const auto& p : lamp.Periods()) s.push_back(p.seconds);
        return s;
    };
    EXPECT_EQ(periods(5), periods(5));
    EXPECT_NE(periods(5), periods(6));
}

TEST(BoxSimLamp, StopDarkensAndRestartBeginsAgain) {
    LampSequence lamp(LampCodes{}, 8, 0, 1);
    EXPECT_FALSE(lamp.IsLit(9)) << "dark before any start";
    lamp.Start(10);
    EXPECT_FALSE(lamp.IsLit(17.9));
    EXPECT_TRUE(lamp.IsLit(18.25));
    lamp.Stop();
    EXPECT_FALSE(lamp.Running());
    EXPECT_FALSE(lamp.IsLit(18.3));

    lamp.Start(50);
    EXPECT_FALSE(lamp.IsLit(50.5)) << "a restart begins with the lead-in";
    EXPECT_TRUE(lamp.IsLit(58.25));
}

}  // namespace
}  // namespace quarn
