#include "report/DriveReport.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quarn {
namespace {

constexpr double kSecondsPerHour = 3600;
constexpr double kRunningRpm = 300;           // below, the engine is not running
constexpr double kMaxStepSeconds = 0.5;       // a longer step is a gap: not integrated
constexpr double kLbPerKg = 2.2;              // as the economy dial has them
constexpr double kKgPerLitre = 0.76;
constexpr double kGallonsPerLitre = 0.26417;
constexpr double kLitresPerGallon = 1 / kGallonsPerLitre;

// The mph-seconds covered while speed runs between 0 and v at the rate
// between the two readings, at most over `most` seconds.
double Ramp(double v, double rate, double most) {
    const double seconds = rate > 0 ? std::min(v / rate, most) : most;
    return v * seconds / 2;
}

OverviewSeries Thin(const DynoInput& in, const std::vector<float>& column, std::size_t first,
                    int points) {
    OverviewSeries s;
    const std::size_t n = in.Size();
    if (first >= n) return s;
    const std::size_t per = std::max<std::size_t>(1, (n - first) / static_cast<std::size_t>(points));
    for (std::size_t a = first; a < n; a += per) {
        const std::size_t b = std::min(n, a + per);
        const auto [lo, hi] = std::minmax_element(column.begin() + static_cast<std::ptrdiff_t>(a),
                                                  column.begin() + static_cast<std::ptrdiff_t>(b));
        // Min and max in the order they came, so a spike keeps its place.
        const bool loFirst = lo < hi;
        s.seconds.push_back(in.Seconds[static_cast<std::size_t>(loFirst ? lo - column.begin() : hi - column.begin())]);
        s.values.push_back(loFirst ? *lo : *hi);
        if (per > 1) {
            s.seconds.push_back(in.Seconds[static_cast<std::size_t>(loFirst ? hi - column.begin() : lo - column.begin())]);
            s.values.push_back(loFirst ? *hi : *lo);
        }
    }
    return s;
}

}  // namespace

double DriveReport::LitresPer100Km() const {
    const double km = miles * kKmPerMile;
    return km > 0 ? gallons * kLitresPerGallon / km * 100 : 0;
}

double DriveMiles(const DynoInput& in) {
    const std::vector<SpeedReading> r = SpeedReadings(in);
    double mphSeconds = 0;
    for (std::size_t k = 1; k < r.size(); ++k) {
        const SpeedReading& a = r[k - 1];
        const SpeedReading& b = r[k];
        const double h = b.seconds - a.seconds;
        // A steady speed reads the same period for long: only the rows tell a gap.
        if (h <= 0 || !Continuous(in, a, b, kMaxStepSeconds)) continue;
        if (a.moving && b.moving) {
            mphSeconds += (a.mph + b.mph) / 2 * h;
        } else if (!a.moving && b.moving) {
            // Moving off: the speed rose from 0 at the pace of the next readings.
            const double rate = k + 1 < r.size() && r[k + 1].moving
                                    ? (r[k + 1].mph - b.mph) / (r[k + 1].seconds - b.seconds)
                                    : 0;
            mphSeconds += Ramp(b.mph, rate, b.mph / 2);
        } else if (a.moving && !b.moving) {
            const double rate = k >= 2 && r[k - 2].moving
                                    ? (r[k - 2].mph - a.mph) / (a.seconds - r[k - 2].seconds)
                                    : 0;
            mphSeconds += Ramp(a.mph, rate, h);
        }
    }
    return mphSeconds / kSecondsPerHour;
}

DriveReport BuildDriveReport(const DriveInput& in, const ReportOptions& o) {
    DriveReport rep;
    const DynoInput& d = in.dyno;
    const std::size_t n = in.Size();
    const std::size_t first = std::min(d.warmUp, n);
    rep.carName = in.carName;
    rep.carDescription = in.carDescription;
    rep.logFile = in.logPath;
    rep.start = in.start;
    rep.timesEstimated = in.timesEstimated;
    rep.estimatedFrameRate = in.estimatedFrameRate;
    rep.records = n;
    rep.warmUpRecords = first;
    rep.dynoVehicle = in.dynoVehicle;
    rep.gearsAsked = o.gears;
    if (n > 1) rep.durationSeconds = d.Seconds.back() - d.Seconds.front();
    rep.miles = DriveMiles(d);

    // Fuel from the injectors as the economy dial reads them.
    const auto& duty = in.Column(DriveChannel::InjDuty);
    const double lbPerHourFull = in.vehicle.injsize() * in.vehicle.numcyl();
    std::vector<bool> running(n, false);
    for (std::size_t i = first; i < n; ++i) {
        running[i] = d.Rpm[i] >= kRunningRpm;
        if (!running[i]) continue;
        ++rep.runningRecords;
        if (i + 1 >= n) continue;
        const double h = d.Seconds[i + 1] - d.Seconds[i];
        if (h <= 0 || h > kMaxStepSeconds) continue;
        const double litresPerHour = lbPerHourFull * duty[i] / 100 / kLbPerKg / kKgPerLitre;
        rep.gallons += litresPerHour * kGallonsPerLitre * h / kSecondsPerHour;
    }

    // Channels over the running records.
    for (int c = 0; c < kDriveChannels; ++c) {
        const DriveChannelInfo& info = DriveChannels()[static_cast<std::size_t>(c)];
        const auto& col = in.channels[static_cast<std::size_t>(c)];
        ChannelSummary s;
        s.channel = c;
        const int alarm = AlarmChannelIndex(info.gauge);
        const AlarmLimits limits =
            alarm >= 0 ? in.limits[static_cast<std::size_t>(alarm)] : AlarmLimits{};
        s.hasBands = limits.warnLow || limits.warnHigh || limits.dangerLow || limits.dangerHigh;
        double lo = std::numeric_limits<double>::infinity(), hi = -lo, sum = 0;
        std::size_t count = 0;
        for (std::size_t i = first; i < n; ++i) {
            if (!running[i]) continue;
            const double v = col[i];
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            sum += v;
            ++count;
            if (!s.hasBands || i + 1 >= n) continue;
            const double h = d.Seconds[i + 1] - d.Seconds[i];
            if (h <= 0 || h > kMaxStepSeconds) continue;
            const bool danger = (limits.dangerHigh && v > *limits.dangerHigh) ||
                                (limits.dangerLow && v < *limits.dangerLow);
            const bool warn = (limits.warnHigh && v > *limits.warnHigh) ||
                              (limits.warnLow && v < *limits.warnLow);
            if (danger)
                s.dangerSeconds += h;
            else if (warn)
                s.warnSeconds += h;
        }
        if (count == 0) continue;
        s.min = lo;
        s.max = hi;
        s.mean = sum / static_cast<double>(count);
        rep.channels.push_back(s);
    }

    rep.events = in.events;
    std::stable_sort(rep.events.begin(), rep.events.end(),
                     [](const DriveEvent& a, const DriveEvent& b) { return a.record < b.record; });
    rep.acceleration = FindAccelerations(d, o.acceleration);

    GearOptions go;
    go.gears = o.gears;
    rep.gears = LearnGears(d, go);

    // Pulls, cut where the engine leaves a learned gear.
    DynoInput cut = d;
    cut.GearRpmPerMph = rep.gears.RpmPerMph();
    const PullScan scan = FindPulls(cut, o.pulls);
    rep.pullProblem = scan.problem;
    for (const Pull& p : scan.pulls) {
        if (!p.usable) continue;
        PullReport pr;
        pr.pull = p;
        pr.startSeconds = d.Seconds[p.first];
        pr.curve = ComputeCurve(cut, p, in.dynoVehicle, o.dyno);
        rep.pulls.push_back(std::move(pr));
    }

    rep.rpm = Thin(d, d.Rpm, first, o.overviewPoints);
    rep.mph = Thin(d, d.Mph, first, o.overviewPoints);
    rep.tps = Thin(d, d.TpsVolts, first, o.overviewPoints);
    for (std::size_t i = first; i + 1 < n; ++i) {
        if (!(d.VssPeriod[i] > 0)) continue;
        const double h = d.Seconds[i + 1] - d.Seconds[i];
        if (h <= 0 || h > kMaxStepSeconds) continue;
        const auto band = static_cast<std::size_t>(std::max(0.0f, d.Mph[i]) / DriveReport::kBandMph);
        if (band >= rep.speedBands.size()) rep.speedBands.resize(band + 1, 0);
        rep.speedBands[band] += h;
    }
    return rep;
}

}  // namespace quarn
