#include "report/Acceleration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

#include "decode/Conversion.h"

namespace quarn {
namespace {

constexpr double kSecondsPerHour = 3600;

struct Target {
    const char* label;
    double mph;
};
const Target kStandingTargets[] = {
    {"0\u201330 km/h", 30 / kKmPerMile},
    {"0\u201360 km/h", 60 / kKmPerMile},
    {"0\u2013100 km/h", 100 / kKmPerMile},
    {"0\u201360 mph", 60},
};
struct Rolling {
    const char* label;
    double from;
    double to;
};
const Rolling kRollingTargets[] = {
    {"60\u2013130 km/h", 60 / kKmPerMile, 130 / kKmPerMile},
    {"50\u201370 mph", 50, 70},
};

double Interpolate(const SpeedReading& a, const SpeedReading& b, double mph) {
    if (b.mph == a.mph) return b.seconds;
    return a.seconds + (mph - a.mph) / (b.mph - a.mph) * (b.seconds - a.seconds);
}

bool ContinuousRows(const DynoInput& in, std::size_t fromRow, std::size_t toRow, double maxGap) {
    for (std::size_t r = fromRow + 1; r <= toRow; ++r)
        if (in.Seconds[r] - in.Seconds[r - 1] > maxGap || in.Record[r] - in.Record[r - 1] != 1)
            return false;
    return true;
}

// Covers a stretch of distance with the speed changing linearly from va to
// vb over h seconds: the time into it at which `miles` more are covered,
// or -1 beyond it.
double TimeToCover(double va, double vb, double h, double miles) {
    const double need = miles * kSecondsPerHour;  // mph-seconds
    const double whole = (va + vb) / 2 * h;
    if (need > whole) return -1;
    const double c = (vb - va) / h;  // mph per second
    if (std::abs(c) < 1e-9) return va > 0 ? need / va : 0;
    // va·τ + c·τ²/2 = need
    return (-va + std::sqrt(std::max(0.0, va * va + 2 * c * need))) / c;
}

std::string Printf(const char* format, double a, double b = 0) {
    char buf[200];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

}  // namespace

bool Continuous(const DynoInput& in, const SpeedReading& a, const SpeedReading& b, double maxGap) {
    return ContinuousRows(in, a.row, b.row, maxGap);
}

std::vector<SpeedReading> SpeedReadings(const DynoInput& in) {
    std::vector<SpeedReading> out;
    const std::size_t n = in.Size();
    for (std::size_t i = std::min(in.warmUp, n); i < n; ++i) {
        const double period = in.VssPeriod[i];
        const double t = in.Seconds[i];
        if (!(period > 0)) {
            out.push_back({t, 0, false, i});
            continue;
        }
        // A period read again is the same pair of pulses.
        const bool sameAsBefore = i > 0 && in.VssPeriod[i - 1] == period;
        if (sameAsBefore && i > in.warmUp) continue;
        const double p = period * kTickSeconds;
        double after = t - p;
        if (i > 0 && !sameAsBefore) after = std::max(after, in.Seconds[i - 1]);
        const double pulse = (std::min(after, t) + t) / 2;
        const double mid = pulse - p / 2;
        if (!out.empty() && mid <= out.back().seconds) continue;
        out.push_back({mid, Conversion::MphFromPeriod(period), true, i});
    }
    return out;
}

AccelerationResult FindAccelerations(const DynoInput& in, const AccelerationOptions& o) {
    AccelerationResult result;
    const std::vector<SpeedReading> r = SpeedReadings(in);
    const std::size_t n = r.size();
    bool anyMoving = false, anyStop = false;
    std::string rejected;
    double stopSince = -1;  // first stopped reading of the present stop

    for (std::size_t k = 0; k < n; ++k) {
        if (!r[k].moving) {
            if (stopSince < 0 || (k > 0 && !ContinuousRows(in, r[k - 1].row, r[k].row, o.maxGapSeconds)))
                stopSince = r[k].seconds;
            continue;
        }
        anyMoving = true;
        const bool fromStop = k > 0 && !r[k - 1].moving && stopSince >= 0 &&
                              r[k - 1].seconds - stopSince >= o.minStopSeconds &&
                              ContinuousRows(in, r[k - 1].row, r[k].row, o.maxGapSeconds);
        stopSince = -1;
        if (!fromStop) continue;
        anyStop = true;

        // Least squares line through the first readings, back to 0 mph.
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        int m = 0;
        for (std::size_t j = k; j < n && r[j].moving && r[j].seconds - r[k].seconds <= o.fitSeconds;
             ++j, ++m) {
            const double x = r[j].seconds - r[k].seconds;
            sx += x;
            sy += r[j].mph;
            sxx += x * x;
            sxy += x * r[j].mph;
        }
        const double den = m * sxx - sx * sx;
        if (m < 3 || !(den > 0)) {
            rejected = "a move from standstill had too few speed readings to time it";
            continue;
        }
        const double slope = (m * sxy - sx * sy) / den;
        const double icept = (sy - slope * sx) / m;
        if (slope < o.minLaunchMphPerSecond) {
            rejected = Printf("every move from standstill was too gentle to time (%.1f mph/s "
                              "where %.1f are needed)", slope, o.minLaunchMphPerSecond);
            continue;
        }
        StandingRun run;
        run.launchSeconds = r[k].seconds - icept / slope;
        run.firstReadingSeconds = r[k].seconds;
        run.firstReadingMph = r[k].mph;
        run.launchAccelMphPerSecond = slope;
        if (run.Extrapolated() > o.maxExtrapolationSeconds || run.Extrapolated() < 0) {
            rejected = Printf("a move from standstill could not be traced back to 0 mph (%.1f s "
                              "before its first reading)", run.Extrapolated());
            continue;
        }
        for (const Target& t : kStandingTargets)
            run.times.push_back({t.label, 0, t.mph, -1, run.launchSeconds});

        // Along the run: thresholds, distance and the best speed so far.
        double miles = 0;
        SpeedReading prev{run.launchSeconds, 0, true, r[k].row};
        std::size_t j = k;
        for (; j < n; ++j) {
            const SpeedReading& cur = r[j];
            if (!cur.moving || cur.mph < run.topMph - o.liftMph) break;
            if (j > k && !ContinuousRows(in, r[j - 1].row, cur.row, o.maxGapSeconds)) break;
            for (AccelTime& t : run.times)
                if (t.seconds < 0 && prev.mph < t.toMph && cur.mph >= t.toMph)
                    t.seconds = Interpolate(prev, cur, t.toMph) - run.launchSeconds;
            const double h = cur.seconds - prev.seconds;
            for (auto [at, et, trap] : {std::tuple{0.125, &run.eighthSeconds, &run.eighthTrapMph},
                                        std::tuple{0.25, &run.quarterSeconds, &run.quarterTrapMph}}) {
                if (*et >= 0 || h <= 0) continue;
                const double tau = TimeToCover(prev.mph, cur.mph, h, at - miles);
                if (tau < 0) continue;
                *et = prev.seconds + tau - run.launchSeconds;
                *trap = prev.mph + (cur.mph - prev.mph) * tau / h;
            }
            if (h > 0) miles += (prev.mph + cur.mph) / 2 * h / kSecondsPerHour;
            run.topMph = std::max(run.topMph, cur.mph);
            run.endSeconds = cur.seconds;
            prev = cur;
        }
        if (run.times.front().seconds < 0) {
            rejected = "no move from standstill reached 30 km/h";
        } else {
            run.number = static_cast<int>(result.runs.size()) + 1;
            result.runs.push_back(run);
        }
        k = j > k ? j - 1 : k;
    }

    // Rolling times wherever the car pulled through them without a lift.
    for (const Rolling& band : kRollingTargets) {
        bool active = false;
        double start = 0, best = 0;
        for (std::size_t k = 1; k < n; ++k) {
            const SpeedReading& a = r[k - 1];
            const SpeedReading& b = r[k];
            if (!a.moving || !b.moving || !ContinuousRows(in, a.row, b.row, o.maxGapSeconds)) {
                active = false;
                continue;
            }
            if (active && b.mph < best - o.liftMph) active = false;
            if (!active && a.mph < band.from && b.mph >= band.from) {
                active = true;
                start = Interpolate(a, b, band.from);
                best = b.mph;
            }
            if (!active) continue;
            best = std::max(best, b.mph);
            if (a.mph < band.to && b.mph >= band.to) {
                result.rolling.push_back(
                    {band.label, band.from, band.to, Interpolate(a, b, band.to) - start, start});
                active = false;
            }
        }
    }
    std::stable_sort(result.rolling.begin(), result.rolling.end(),
                     [](const AccelTime& a, const AccelTime& b) { return a.startSeconds < b.startSeconds; });

    if (result.runs.empty()) {
        if (!anyMoving)
            result.noRunReason = "The car never moved fast enough for the speed sensor to read "
                                 "(about 6.4 mph), so there is no standing start to time.";
        else if (!anyStop)
            result.noRunReason = Printf("The log holds no standing start: the car was never "
                                        "stopped for %.0f s or more before moving off.",
                                        o.minStopSeconds);
        else
            result.noRunReason = "No standing start could be timed: " + rejected + ".";
    }
    return result;
}

}  // namespace quarn
