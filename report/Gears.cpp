#include "report/Gears.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quarn {
namespace {

constexpr double kBin = 0.002;  // of log ratio: 0.2 %
constexpr double kLogLo = 2.0;  // e^2 ≈ 7 rpm per mph
constexpr double kLogHi = 6.5;  // e^6.5 ≈ 665
constexpr int kBins = static_cast<int>((kLogHi - kLogLo) / kBin) + 1;
constexpr double kMaxWeightSeconds = 0.1;  // a longer step is a gap, not driving
constexpr double kMinSeparation = 0.08;     // two gears differ by more than this

double Weight(const DynoInput& in, std::size_t i) {
    if (i + 1 >= in.Size()) return 0;
    return std::clamp(in.Seconds[i + 1] - in.Seconds[i], 0.0, kMaxWeightSeconds);
}

}  // namespace

std::vector<double> GearResult::RpmPerMph() const {
    std::vector<double> out;
    for (const Gear& g : gears) out.push_back(g.rpmPerMph);
    return out;
}

GearResult LearnGears(const DynoInput& in, const GearOptions& o) {
    GearResult result;
    const std::size_t n = in.Size();
    const std::size_t first = std::min(in.warmUp, n);
    std::vector<double> logRatio(n, NAN);
    for (std::size_t i = first; i < n; ++i) {
        if (in.Mph[i] >= o.minMph && in.Rpm[i] >= o.minRpm && in.VssPeriod[i] > 0)
            logRatio[i] = std::log(in.Rpm[i] / in.Mph[i]);
        if (in.VssPeriod[i] > 0 && in.Mph[i] > 0) result.movingSeconds += Weight(in, i);
    }

    // Steady frames: the ratio stays within steadyShare over the window.
    const double tol = std::log1p(o.steadyShare);
    std::vector<double> hist(kBins, 0);
    std::vector<std::pair<double, double>> steady;  // log ratio, weight
    std::size_t lo = first, hi = first;
    for (std::size_t i = first; i < n; ++i) {
        if (std::isnan(logRatio[i])) continue;
        const double half = o.steadySeconds / 2;
        while (in.Seconds[lo] < in.Seconds[i] - half) ++lo;
        hi = std::max(hi, i);
        while (hi + 1 < n && in.Seconds[hi + 1] <= in.Seconds[i] + half) ++hi;
        if (in.Seconds[i] - in.Seconds[lo] < half * 0.8 || in.Seconds[hi] - in.Seconds[i] < half * 0.8)
            continue;
        bool ok = true;
        for (std::size_t j = lo; j <= hi && ok; ++j)
            ok = !std::isnan(logRatio[j]) && std::abs(logRatio[j] - logRatio[i]) <= tol;
        if (!ok) continue;
        const double w = Weight(in, i);
        steady.push_back({logRatio[i], w});
        result.steadySeconds += w;
        const int b = static_cast<int>((logRatio[i] - kLogLo) / kBin);
        if (b >= 0 && b < kBins) hist[static_cast<std::size_t>(b)] += w;
    }
    if (steady.empty()) {
        result.problem = "No gear could be learned: the car was never driven steadily in gear.";
        return result;
    }

    // Peaks of the histogram, by the time gathered within matchShare.
    const int reach = static_cast<int>(std::log1p(o.matchShare) / kBin);
    std::vector<double> mass(kBins, 0);
    double run = 0;
    for (int b = 0; b < kBins + reach; ++b) {
        if (b < kBins) run += hist[static_cast<std::size_t>(b)];
        if (b - 2 * reach - 1 >= 0) run -= hist[static_cast<std::size_t>(b - 2 * reach - 1)];
        if (b - reach >= 0 && b - reach < kBins) mass[static_cast<std::size_t>(b - reach)] = run;
    }
    std::vector<int> peaks;
    for (int b = 0; b < kBins; ++b) {
        const double m = mass[static_cast<std::size_t>(b)];
        if (m <= 0) continue;
        const bool left = b == 0 || m >= mass[static_cast<std::size_t>(b - 1)];
        const bool right = b + 1 == kBins || m > mass[static_cast<std::size_t>(b + 1)];
        if (left && right) peaks.push_back(b);
    }
    std::sort(peaks.begin(), peaks.end(), [&](int a, int b) {
        return mass[static_cast<std::size_t>(a)] > mass[static_cast<std::size_t>(b)];
    });
    std::vector<double> centres;
    const double sep = std::log1p(kMinSeparation);
    for (int b : peaks) {
        const double c = kLogLo + (b + 0.5) * kBin;
        if (o.gears > 0 && static_cast<int>(centres.size()) >= o.gears) break;
        if (o.gears <= 0 && mass[static_cast<std::size_t>(b)] < o.minGearShare * result.steadySeconds)
            break;
        const bool apart = std::all_of(centres.begin(), centres.end(),
                                       [&](double x) { return std::abs(x - c) > sep; });
        if (apart) centres.push_back(c);
    }
    // Each centre moves to the mean of its steady frames, a few times over.
    const double match = std::log1p(o.matchShare);
    for (int pass = 0; pass < 4; ++pass)
        for (double& c : centres) {
            double s = 0, w = 0;
            for (const auto& [x, wt] : steady)
                if (std::abs(x - c) <= match) {
                    s += x * wt;
                    w += wt;
                }
            if (w > 0) c = s / w;
        }
    std::sort(centres.begin(), centres.end(), std::greater<>());
    for (std::size_t g = 0; g < centres.size(); ++g) {
        Gear gear;
        gear.number = static_cast<int>(g) + 1;
        gear.rpmPerMph = std::exp(centres[g]);
        gear.mphPer1000 = 1000 / gear.rpmPerMph;
        result.gears.push_back(gear);
    }

    // Time in each gear: every moving frame within matchShare of a ratio.
    for (std::size_t i = first; i < n; ++i) {
        if (!(in.VssPeriod[i] > 0 && in.Mph[i] > 0)) continue;
        const double w = Weight(in, i);
        Gear* best = nullptr;
        double bestDist = match;
        if (!std::isnan(logRatio[i]))
            for (Gear& g : result.gears) {
                const double d = std::abs(logRatio[i] - std::log(g.rpmPerMph));
                if (d <= bestDist) {
                    bestDist = d;
                    best = &g;
                }
            }
        if (best)
            best->seconds += w;
        else
            result.betweenSeconds += w;
    }
    if (o.gears > 0 && static_cast<int>(result.gears.size()) < o.gears) {
        char buf[200];
        std::snprintf(buf, sizeof buf,
                      "Only %d of the %d gears asked for were driven steadily enough to learn.",
                      static_cast<int>(result.gears.size()), o.gears);
        result.problem = buf;
    }
    return result;
}

}  // namespace quarn
