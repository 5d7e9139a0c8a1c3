#include "dyno/DynoCurve.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "decode/Conversion.h"

namespace quarn {
namespace {

constexpr std::size_t kMinBins = 5;
// Bins never get narrower than this, and rpm above kMaxRpm is a bad reading:
// together they bound the bin table.
constexpr double kMinBinRpm = 10;
constexpr double kMaxRpm = 20000;

// Half the width of the stretch around a peak that a parabola is fitted
// to: the smoothed curve only says roughly where the top is; the vertex of a
// least-squares parabola through the bins around it places it to a few tens
// of rpm even where the curve is flat.
constexpr double kPeakHalfWidthRpm = 600;

// The peak of y(x): the largest smoothed value, moved to the vertex of the
// parabola fitted to the unsmoothed values around it when that lies inside.
CurvePeak PeakOf(const std::vector<double>& x, const std::vector<double>& raw,
                 const std::vector<double>& smooth) {
    const std::size_t best =
        static_cast<std::size_t>(std::max_element(smooth.begin(), smooth.end()) - smooth.begin());
    CurvePeak peak{x[best], smooth[best]};
    if (best + 1 == x.size()) {
        peak.atEnd = true;
        return peak;
    }
    double centre = x[best];
    for (int pass = 0; pass < 2; ++pass) {
        double s[5] = {0, 0, 0, 0, 0}, t[3] = {0, 0, 0};
        for (std::size_t j = 0; j < x.size(); ++j) {
            const double u = (x[j] - centre) / kPeakHalfWidthRpm;
            if (std::abs(u) > 1) continue;
            const double u2 = u * u;
            s[0] += 1, s[1] += u, s[2] += u2, s[3] += u2 * u, s[4] += u2 * u2;
            t[0] += raw[j], t[1] += raw[j] * u, t[2] += raw[j] * u2;
        }
        auto det3 = [](double a, double b, double c, double d, double e, double f, double g,
                       double h, double k) {
            return a * (e * k - f * h) - b * (d * k - f * g) + c * (d * h - e * g);
        };
        const double d = det3(s[0], s[1], s[2], s[1], s[2], s[3], s[2], s[3], s[4]);
        if (s[0] < 5 || std::abs(d) < 1e-12) break;
        const double c0 = det3(t[0], s[1], s[2], t[1], s[2], s[3], t[2], s[3], s[4]) / d;
        const double c1 = det3(s[0], t[0], s[2], s[1], t[1], s[3], s[2], t[2], s[4]) / d;
        const double c2 = det3(s[0], s[1], t[0], s[1], s[2], t[1], s[2], s[3], t[2]) / d;
        if (!(c2 < 0)) break;
        const double u = -c1 / (2 * c2);
        const double vertex = centre + u * kPeakHalfWidthRpm;
        if (std::abs(u) > 1 || vertex < x.front() || vertex > x.back()) break;
        centre = vertex;
        peak = {vertex, c0 + c1 * u + c2 * u * u};
    }
    return peak;
}

}  // namespace

std::string VehicleProblem(const DynoVehicle& v) {
    if (!(v.weightLb > 0) || !std::isfinite(v.weightLb))
        return "The curb weight must be above 0: set it in Session Properties.";
    if (!(v.cda > 0) || !std::isfinite(v.cda))
        return "The drag area CdA must be above 0: set it in Session Properties.";
    if (!(v.crr >= 0) || !std::isfinite(v.crr))
        return "The rolling resistance Crr must not be negative: set it in Session Properties.";
    return {};
}

std::vector<double> SmoothLocalQuadratic(const std::vector<double>& x,
                                         const std::vector<double>& y, double width) {
    const std::size_t n = x.size();
    std::vector<double> out(y);
    if (!(width > 0) || n < 3) return out;
    const double half = width / 2;
    std::size_t lo = 0, hi = 0;  // the window [lo, hi)
    for (std::size_t i = 0; i < n; ++i) {
        while (x[lo] < x[i] - half) ++lo;
        while (hi < n && x[hi] <= x[i] + half) ++hi;
        if (hi - lo < 3) continue;
        // Least squares of y = c0 + c1·u + c2·u² with u = x - x[i], so the
        // fitted value at x[i] is c0.
        double s[5] = {0, 0, 0, 0, 0}, t[3] = {0, 0, 0};
        for (std::size_t j = lo; j < hi; ++j) {
            const double u = (x[j] - x[i]) / half;  // scaled to keep the sums tame
            const double u2 = u * u;
            s[0] += 1;
            s[1] += u;
            s[2] += u2;
            s[3] += u2 * u;
            s[4] += u2 * u2;
            t[0] += y[j];
            t[1] += y[j] * u;
            t[2] += y[j] * u2;
        }
        // Solve the 3x3 normal equations by Cramer's rule.
        auto det3 = [](double a, double b, double c, double d, double e, double f, double g,
                       double h, double k) {
            return a * (e * k - f * h) - b * (d * k - f * g) + c * (d * h - e * g);
        };
        const double d = det3(s[0], s[1], s[2], s[1], s[2], s[3], s[2], s[3], s[4]);
        if (std::abs(d) < 1e-12) continue;
        out[i] = det3(t[0], s[1], s[2], t[1], s[2], s[3], t[2], s[3], s[4]) / d;
    }
    return out;
}

DynoCurve ComputeCurve(const DynoInput& in, const Pull& pull, const DynoVehicle& vehicle,
                       const DynoOptions& options) {
    DynoCurve curve;
    curve.problem = VehicleProblem(vehicle);
    if (!curve.problem.empty()) return curve;
    if (!in.Consistent() || pull.last >= in.Size() || pull.first > pull.last) {
        curve.problem = "The pull lies outside the log.";
        return curve;
    }
    if (!pull.usable) {
        curve.problem = "This pull was refused: " + pull.note;
        return curve;
    }

    double bap = 0, act = 0;
    for (std::size_t k = pull.first; k <= pull.last; ++k) {
        bap += in.BapPressure[k];
        act += in.ActF[k];
    }
    const double frames = static_cast<double>(pull.last - pull.first + 1);
    curve.bapInHg = bap / frames;
    curve.actF = act / frames;
    curve.humidityPercent = std::clamp(options.humidityPercent, 0.0, 100.0);
    curve.correctionFactor =
        SaeCorrectionFactor(curve.bapInHg, curve.actF, curve.humidityPercent);
    const double rho = AirDensity(curve.bapInHg, curve.actF, curve.humidityPercent);
    const double mass = vehicle.weightLb * kKgPerLb;

    // Each frame gives the power over its own speed interval, which belongs
    // to the rpm in the middle of that interval. In one gear rpm goes with
    // road speed, and the Rpm column is a running mean over the last frames,
    // so the frame's rpm is Rpm x vMid / (the mean road speed over the same
    // frames): that takes out both the half-interval and the mean's lag.
    const double bin = options.binRpm >= kMinBinRpm ? options.binRpm : 50;
    const double start = std::isfinite(pull.startRpm) ? std::clamp(pull.startRpm, 0.0, kMaxRpm) : 0;
    const double base = std::floor(start / bin) * bin - bin;
    std::vector<double> sumRpm, sumHp;
    std::vector<int> count;
    constexpr std::size_t kMean = Conversion::kRpmAverageFrames;
    // The first frames' speed intervals began before the throttle opened:
    // the speed rises through a pull, so a frame whose earlier sample is
    // slower than the pull's start reaches back before it.
    const double startSpeed = SpeedAt(in, pull.first).vNow;
    for (std::size_t k = pull.first; k <= pull.last; ++k) {
        const SpeedSample s = SpeedAt(in, k);
        if (!s.valid || !(in.Rpm[k] > 0) || s.vPrev < startSpeed) continue;
        double meanV = 0;
        if (k + 1 >= kMean) {
            for (std::size_t j = k + 1 - kMean; j <= k; ++j) {
                const SpeedSample e = SpeedAt(in, j);
                if (!e.valid) {
                    meanV = 0;
                    break;
                }
                meanV += e.vNow / kMean;
            }
        }
        if (!(meanV > 0)) meanV = s.vNow;
        const double rpm = in.Rpm[k] * s.vMid / meanV;
        const double hp =
            WheelPowerWatts(mass, s.accel, s.vMid, rho, vehicle.cda, vehicle.crr) / kWattsPerHp;
        if (!std::isfinite(rpm) || !std::isfinite(hp) || rpm < base || rpm > kMaxRpm) continue;
        const auto b = static_cast<std::size_t>((rpm - base) / bin);
        if (b >= sumRpm.size()) {
            sumRpm.resize(b + 1, 0);
            sumHp.resize(b + 1, 0);
            count.resize(b + 1, 0);
        }
        sumRpm[b] += rpm;
        sumHp[b] += hp;
        ++count[b];
    }
    std::vector<double> x, y;
    for (std::size_t b = 0; b < count.size(); ++b) {
        if (count[b] == 0) continue;
        x.push_back(sumRpm[b] / count[b]);
        y.push_back(sumHp[b] / count[b]);
    }
    if (x.size() < kMinBins) {
        curve.problem = "The pull holds too few speed samples for a curve.";
        return curve;
    }
    const std::vector<double> smooth = SmoothLocalQuadratic(x, y, options.smoothRpm);
    curve.points.reserve(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        curve.points.push_back({x[i], smooth[i], smooth[i] * kTorqueConstant / x[i]});
    std::vector<double> torque(x.size()), smoothTorque(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        torque[i] = y[i] * kTorqueConstant / x[i];
        smoothTorque[i] = curve.points[i].torque;
    }
    curve.peakHp = PeakOf(x, y, smooth);
    curve.peakTorque = PeakOf(x, torque, smoothTorque);
    // Within half a smoothing window of the end, the fit has nothing beyond
    // the top to bend it down: a highest figure there says only that the
    // pull ended, as after a cut.
    const double endMargin = std::max(bin, options.smoothRpm / 2);
    for (CurvePeak* peak : {&curve.peakHp, &curve.peakTorque})
        if (peak->rpm >= x.back() - endMargin) peak->atEnd = true;
    return curve;
}

}  // namespace quarn
