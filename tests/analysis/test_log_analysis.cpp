// Event search, statistics and histograms against brute-force loops over
// random logs with uneven times, holes and gaps.
#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <random>

#include "analysis/Events.h"
#include "analysis/Statistics.h"

namespace quarn {
namespace {

struct RandomLog {
    std::vector<double> seconds;
    std::vector<float> a, b, condition;
};

// Uneven steps, a hole longer than a value may stand, and gaps in a.
RandomLog MakeLog(std::size_t rows, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> step(0.004, 0.05), value(-50, 150);
    std::bernoulli_distribution gap(0.03), flip(0.08);
    RandomLog log;
    double t = 0;
    bool on = false;
    for (std::size_t i = 0; i < rows; ++i) {
        log.seconds.push_back(t);
        t += i == rows / 2 ? 3.0 : step(rng);
        log.a.push_back(gap(rng) ? NAN : static_cast<float>(value(rng)));
        log.b.push_back(static_cast<float>(i % 13));
        if (flip(rng)) on = !on;
        log.condition.push_back(gap(rng) ? NAN : on ? 1.0f : 0.0f);
    }
    return log;
}

double Hold(const std::vector<double>& t, std::size_t i) {
    const double dt = i + 1 < t.size() ? t[i + 1] - t[i] : t[i] - t[i - 1];
    return std::min(dt, kMaxHoldSeconds);
}

TEST(Events, MatchABruteForceSearch) {
    for (unsigned seed : {1u, 2u, 3u}) {
        const RandomLog log = MakeLog(3000, seed);
        for (const RowRange range : {RowRange{}, RowRange{17, 2500}}) {
            for (double minSeconds : {0.0, 0.1, 0.5}) {
                std::vector<EventStretch> expected;
                const std::size_t last = std::min(range.last, log.seconds.size());
                auto holds = [&](std::size_t i) { return i < last && log.condition[i] == 1.0f; };
                for (std::size_t i = range.first; i < last; ++i) {
                    if (!holds(i) || (i > range.first && holds(i - 1))) continue;
                    std::size_t j = i;
                    while (holds(j + 1)) ++j;
                    EventStretch e;
                    e.firstRow = i;
                    e.lastRow = j;
                    e.start = log.seconds[i];
                    e.duration = log.seconds[j] + Hold(log.seconds, j) - log.seconds[i];
                    if (e.duration < minSeconds) continue;
                    std::vector<float> v;
                    for (std::size_t k = i; k <= j; ++k)
                        if (!std::isnan(log.a[k])) v.push_back(log.a[k]);
                    e.peak = v.empty() ? NAN : *std::max_element(v.begin(), v.end());
                    e.min = v.empty() ? NAN : *std::min_element(v.begin(), v.end());
                    expected.push_back(e);
                }
                const auto found = FindEvents(log.condition, log.seconds, minSeconds, log.a, range);
                ASSERT_EQ(found.size(), expected.size()) << seed << " " << minSeconds;
                for (std::size_t k = 0; k < found.size(); ++k) {
                    EXPECT_EQ(found[k].firstRow, expected[k].firstRow);
                    EXPECT_EQ(found[k].lastRow, expected[k].lastRow);
                    EXPECT_NEAR(found[k].duration, expected[k].duration, 1e-9);
                    EXPECT_EQ(std::isnan(found[k].peak), std::isnan(expected[k].peak));
                    if (!std::isnan(expected[k].peak)) {
                        EXPECT_EQ(found[k].peak, expected[k].peak);
                        EXPECT_EQ(found[k].min, expected[k].min);
                        EXPECT_EQ(log.a[found[k].peakRow], found[k].peak);
                    }
                }
            }
        }
    }
}

TEST(Statistics, MatchTwoPassComputations) {
    const RandomLog log = MakeLog(5000, 11);
    ColumnSet set;
    set.names = {"A", "B"};
    set.units = {"psi", ""};
    set.columns = {log.a, log.b};
    set.seconds = log.seconds;
    const std::vector<Band> bands{{0, 100, true}, {}};
    for (const RowRange range : {RowRange{}, RowRange{100, 4000}, RowRange{10, 10}}) {
        const auto stats = Statistics(set, range, bands);
        ASSERT_EQ(stats.size(), 2u);
        const std::size_t last = std::min(range.last, log.seconds.size());
        for (std::size_t c = 0; c < 2; ++c) {
            const std::vector<float>& col = c == 0 ? log.a : log.b;
            std::vector<double> v, w;
            for (std::size_t i = range.first; i < last; ++i)
                if (!std::isnan(col[i])) v.push_back(col[i]), w.push_back(Hold(log.seconds, i));
            ASSERT_EQ(stats[c].count, v.size());
            if (v.empty()) {
                EXPECT_TRUE(std::isnan(stats[c].mean));
                continue;
            }
            double mean = 0, wmean = 0, wsum = 0, var = 0, inBand = 0;
            for (std::size_t k = 0; k < v.size(); ++k) {
                mean += v[k] / v.size();
                wmean += v[k] * w[k];
                wsum += w[k];
                if (v[k] >= 0 && v[k] <= 100) inBand += w[k];
            }
            for (double x : v) var += (x - mean) * (x - mean) / v.size();
            EXPECT_EQ(stats[c].min, *std::min_element(v.begin(), v.end()));
            EXPECT_EQ(stats[c].max, *std::max_element(v.begin(), v.end()));
            EXPECT_NEAR(stats[c].mean, mean, 1e-9 * (1 + std::abs(mean)));
            EXPECT_NEAR(stats[c].timeMean, wmean / wsum, 1e-9 * (1 + std::abs(mean)));
            EXPECT_NEAR(stats[c].stdDev, std::sqrt(var), 1e-7);
            EXPECT_NEAR(stats[c].seconds, wsum, 1e-9);
            if (c == 0) EXPECT_NEAR(stats[c].bandSeconds, inBand, 1e-9);
            else EXPECT_TRUE(std::isnan(stats[c].bandSeconds));
        }
        const QStringList lines = StatisticsText(stats, bands).split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 3);
        EXPECT_EQ(lines[1].split('\t').size(), lines[0].split('\t').size());
        EXPECT_TRUE(lines[1].startsWith("A\tpsi\t"));
    }
}

TEST(Histogram, MatchesABinByBinCount) {
    const RandomLog log = MakeLog(4000, 5);
    for (const HistogramBins bins : {HistogramBins{0, 100, 10}, HistogramBins{-50, 150, 7},
                                     AutoBins(log.a, {}, 33)}) {
        const TimeHistogram h = Histogram(log.a, log.seconds, {}, bins);
        ASSERT_EQ(h.seconds.size(), static_cast<std::size_t>(bins.count));
        std::vector<double> expected(bins.count, 0.0);
        double below = 0, above = 0;
        for (std::size_t i = 0; i < log.a.size(); ++i) {
            const double v = log.a[i], w = Hold(log.seconds, i);
            if (std::isnan(v)) continue;
            if (v < bins.low) below += w;
            if (v > bins.high) above += w;
            for (int k = 0; k < bins.count; ++k) {
                const double lo = bins.low + k * bins.Width();
                const bool lastBin = k + 1 == bins.count;
                if (v >= lo && (v < lo + bins.Width() || (lastBin && v <= bins.high))) {
                    expected[k] += w;
                    break;
                }
            }
        }
        for (int k = 0; k < bins.count; ++k) EXPECT_NEAR(h.seconds[k], expected[k], 1e-9) << k;
        EXPECT_NEAR(h.below, below, 1e-9);
        EXPECT_NEAR(h.above, above, 1e-9);
    }
}

}  // namespace
}  // namespace quarn
