// The simulator's computer fuels by a MAF table with a known error: both
// methods must find it, and the open-loop method must equal a plain
// recomputation from the frames.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "fuel/FuelReport.h"
#include "tests/fuel/FuelDrives.h"

namespace quarn {
namespace {

using test::ErrorCurve;

const ErrorCurve kError{{1.2, 0}, {2.0, 6}, {3.0, -4}};

struct Drive {
    EngineModel::Fuelling fuelling{kError, 12.0, 0.15};
    FuelLog log = test::FuelDrive(3600, fuelling);
};

const Drive& HourDrive() {
    static const Drive d;
    return d;
}

TEST(FuelRecovery, BothMethodsFindTheKnownErrorWithinOnePercent) {
    const Drive& d = HourDrive();
    const MafTransfer table = test::SimTransfer(kError);
    const FuelResult r = AnalyseFuel({d.log}, table, test::SimSetup(d.fuelling));
    int olBins = 0, clBins = 0;
    for (std::size_t k = 0; k < r.bins.size(); ++k) {
        const FuelBin& b = r.bins[k];
        // A bin holds the volts nearer its row than any other: the known
        // correction over that span, for a bin across a bend of the curve.
        const double lo = k ? (table.volts[k - 1] + b.volts) / 2 : b.volts;
        const double hi = k + 1 < r.bins.size() ? (table.volts[k + 1] + b.volts) / 2 : b.volts;
        double known = 0;
        for (int step = 0; step <= 100; ++step)
            known += test::KnownCorrection(kError, lo + (hi - lo) * step / 100.0) / 101;
        if (b.openLoop.hits >= 30) {
            ++olBins;
            EXPECT_NEAR(b.openLoop.mean, known, 0.01) << "open loop at " << b.volts << " V";
        }
        if (b.closedLoop.hits >= 30) {
            ++clBins;
            EXPECT_NEAR(b.closedLoop.mean, known, 0.01) << "closed loop at " << b.volts << " V";
        }
    }
    std::fputs(FuelTableText(r).c_str(), stdout);
    EXPECT_GE(olBins, 5);
    EXPECT_GE(clBins, 8);
}

// The open-loop correction computed the plain way: every row that passes
// the filters, its wideband read lag seconds later, binned to the nearest
// row of the table.
std::vector<std::pair<std::int64_t, double>> PlainOpenLoop(const FuelLog& log,
                                                           const MafTransfer& t,
                                                           const FuelSetup& s) {
    const std::size_t n = log.Rows();
    std::vector<double> crossL(n, -1e9), crossR(n, -1e9), change(n, -1e9);
    std::vector<double> rate(n, 0), cut(n, -1e9), maf(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t a = i >= 4 ? i - 4 : 0, b = std::min(n, i + 5);
        double sum = 0;
        for (std::size_t k = a; k < b; ++k) sum += log.maf[k];
        maf[i] = sum / static_cast<double>(b - a);
        const double span = log.seconds[b - 1] - log.seconds[a];
        rate[i] = std::fabs(log.maf[b - 1] - log.maf[a]) / span;
    }
    for (std::size_t i = 1; i < n; ++i) {
        crossL[i] = (log.hegoL[i - 1] < 0.45) != (log.hegoL[i] < 0.45) ? log.seconds[i] : crossL[i - 1];
        crossR[i] = (log.hegoR[i - 1] < 0.45) != (log.hegoR[i] < 0.45) ? log.seconds[i] : crossR[i - 1];
        std::size_t j = i;
        while (j > 0 && log.seconds[j - 1] >= log.seconds[i] - 0.1) --j;
        if (j == i) j = i - 1;
        const double dt = log.seconds[i] - log.seconds[j];
        const bool moved = std::fabs(log.tps[i] - log.tps[j]) / dt > 0.5;
        change[i] = moved ? log.seconds[i] : change[i - 1];
        rate[i] = std::max(rate[i], std::fabs(log.maf[i] - log.maf[j]) / dt);
    }
    for (std::size_t i = 0; i < n; ++i)
        cut[i] = log.injDuty[i] <= 1 ? log.seconds[i] : (i ? cut[i - 1] : -1e9);
    auto closed = [&](std::size_t i) {
        return log.seconds[i] - crossL[i] <= 2 && log.seconds[i] - crossR[i] <= 2 &&
               log.tps[i] < s.wotTpsVolts;
    };
    auto moved = [&](std::size_t i) { return log.seconds[i] - change[i] < 0.5; };
    std::vector<std::pair<std::int64_t, double>> bins(t.Rows());
    for (std::size_t i = log.warmUp; i < n; ++i) {
        if (log.ect[i] < 180 || log.injDuty[i] <= 1 || moved(i) || rate[i] > 0.7 || closed(i))
            continue;
        if (log.tps[i] < s.wotTpsVolts && log.seconds[i] - cut[i] <= 2) continue;
        std::size_t k = i;
        while (k < n && log.seconds[k] < log.seconds[i] + 0.15) ++k;
        if (k >= n || closed(k) || moved(k) || log.wideO2[k] < 10 || log.wideO2[k] > 19) continue;
        std::size_t bin = 0;
        for (std::size_t b = 1; b < t.Rows(); ++b) {
            if (std::fabs(maf[i] - t.volts[b]) <= std::fabs(maf[i] - t.volts[bin])) bin = b;
        }
        bins[bin].first += 1;
        bins[bin].second += (log.wideO2[k] / 14.7) / (12.0 / 14.64) - 1;
    }
    return bins;
}

TEST(FuelRecovery, OpenLoopEqualsAPlainRecomputation) {
    const Drive& d = HourDrive();
    const MafTransfer table = test::SimTransfer(kError);
    const FuelSetup setup = test::SimSetup(d.fuelling);
    const FuelResult r = AnalyseFuel({d.log}, table, setup);
    const auto plain = PlainOpenLoop(d.log, table, setup);
    std::int64_t total = 0;
    for (std::size_t b = 0; b < table.Rows(); ++b) {
        ASSERT_EQ(r.bins[b].openLoop.hits, plain[b].first) << table.volts[b] << " V";
        total += plain[b].first;
        if (plain[b].first == 0) continue;
        EXPECT_EQ(r.bins[b].openLoop.mean, plain[b].second / static_cast<double>(plain[b].first))
            << table.volts[b] << " V";
    }
    EXPECT_GT(total, 1000);
}

}  // namespace
}  // namespace quarn
