#include "fuel/FuelAnalysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace quarn {

void FuelLog::Append(double at, const ChannelRecord& rec) {
    seconds.push_back(at);
    maf.push_back(rec.MafVolts);
    rpm.push_back(rec.Rpm);
    tps.push_back(rec.TpsVolts);
    ect.push_back(rec.EctF);
    wideO2.push_back(rec.WideO2);
    hegoL.push_back(rec.HegoL);
    hegoR.push_back(rec.HegoR);
    injDuty.push_back(rec.InjDuty);
    injPw.push_back(rec.InjPw);
}

namespace {

constexpr double kLbPerKg = 2.20462262;
constexpr double kMsPerHour = 3.6e6;
constexpr double kHegoSwitchVolts = 0.45;
constexpr double kClosedLoopSeconds = 2;  // both banks crossed within this
// Rates are taken over this span, so one noisy count does not read as a
// change: a 5 mV step between two frames 10 ms apart is already 0.5 V/s.
constexpr double kRateWindowSeconds = 0.1;
constexpr double kTpsSpanVolts = 5;
// At idle one count of the MAF's converter is 3 % of the airflow: a record
// binned and costed by its own noisy reading would put its noise into both
// its bin and its correction. The volts are averaged over a few rows either
// side instead; the steady-airflow filter keeps a trend out of the average.
constexpr std::size_t kMafAverageRows = 4;

double BilinearHeld(const std::vector<double>& xs, double x, std::size_t& i0, double& f) {
    if (x <= xs.front()) { i0 = 0; f = 0; return 0; }
    if (x >= xs.back()) { i0 = xs.size() - 1; f = 0; return 0; }
    const auto hi = static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), x) - xs.begin());
    i0 = hi - 1;
    f = (x - xs[i0]) / (xs[hi] - xs[i0]);
    return f;
}

double Median(std::vector<double>& v) {
    if (v.empty()) return 0;
    const std::size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
    const double upper = v[mid];
    if (v.size() % 2) return upper;
    const double lower = *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid));
    return 0.5 * (lower + upper);
}

// Per row of one log: whether the computer runs closed loop, and whether
// the throttle changed within the hold time before it.
struct RowStates {
    std::vector<std::uint8_t> closedLoop;
    std::vector<std::uint8_t> afterCut;  // loop state unknown: the HEGOs were quiet for a fuel cut
    std::vector<std::uint8_t> throttleMoved;
    std::vector<float> mafRate;  // |dMAF/dt|, V/s
    std::vector<double> maf;     // volts, averaged over kMafAverageRows either side
};

RowStates StatesOf(const FuelLog& log, const FuelSetup& setup) {
    const std::size_t n = log.Rows();
    RowStates s;
    s.closedLoop.assign(n, 0);
    s.throttleMoved.assign(n, 0);
    s.mafRate.assign(n, 0);
    s.afterCut.assign(n, 0);
    s.maf.assign(n, 0);
    const double never = -1e300;
    double crossL = never, crossR = never, change = never, cut = never;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t a = i >= kMafAverageRows ? i - kMafAverageRows : 0;
        const std::size_t b = std::min(n, i + kMafAverageRows + 1);
        double sum = 0;
        for (std::size_t k = a; k < b; ++k) sum += log.maf[k];
        s.maf[i] = sum / static_cast<double>(b - a);
        // The average must not straddle a step the backward rate has not
        // seen yet: the span of the average counts as steady or not too.
        const double span = log.seconds[b - 1] - log.seconds[a];
        if (span > 0)
            s.mafRate[i] = static_cast<float>(std::fabs(log.maf[b - 1] - log.maf[a]) / span);
    }
    const double tpsLimit = setup.filters.throttlePercentPerSecond / 100 * kTpsSpanVolts;
    std::size_t back = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = log.seconds[i];
        if (i > 0) {
            if ((log.hegoL[i - 1] < kHegoSwitchVolts) != (log.hegoL[i] < kHegoSwitchVolts)) crossL = t;
            if ((log.hegoR[i - 1] < kHegoSwitchVolts) != (log.hegoR[i] < kHegoSwitchVolts)) crossR = t;
        }
        s.closedLoop[i] = t - crossL <= kClosedLoopSeconds && t - crossR <= kClosedLoopSeconds &&
                          log.tps[i] < setup.wotTpsVolts;
        if (log.injDuty[i] <= setup.filters.minInjDutyPercent) cut = t;
        s.afterCut[i] = !s.closedLoop[i] && log.tps[i] < setup.wotTpsVolts &&
                        t - cut <= kClosedLoopSeconds;
        while (back < i && log.seconds[back] < t - kRateWindowSeconds) ++back;
        // The window reaches back to the last row before it when the rows
        // are sparser than the window.
        const std::size_t j = back > 0 && back == i ? back - 1 : back;
        const double dt = t - log.seconds[j];
        if (j < i && dt > 0) {
            if (std::fabs(log.tps[i] - log.tps[j]) / dt > tpsLimit) change = t;
            s.mafRate[i] = std::max(s.mafRate[i],
                                    static_cast<float>(std::fabs(log.maf[i] - log.maf[j]) / dt));
        }
        s.throttleMoved[i] = t - change < setup.filters.afterThrottleSeconds;
    }
    return s;
}

enum Common { kWarmUp, kCustom, kCoolant, kFuelCut, kThrottle, kAirflow, kCommonCount };
enum OpenLoopFilter { kOlClosed, kOlAfterCut, kOlNoWideband, kOlPastEnd, kOlLagged, kOlRange, kOlCount };
enum ClosedLoopFilter { kClOpen, kClNoPulse, kClCount };

}  // namespace

double StoichOf(FuelKind kind, double customStoich) {
    switch (kind) {
        case FuelKind::Gasoline: return 14.64;
        case FuelKind::E10: return 14.08;
        case FuelKind::E85: return 9.76;
        case FuelKind::Custom: return customStoich;
    }
    return 14.64;
}

double InjectorData::PulseMs(double fuelLbPerCycle) const {
    const double perSquirt = fuelLbPerCycle / (bankFire ? 2 : 1);
    const double high = slopeLbHr / kMsPerHour;
    double open = perSquirt / high;
    if (breakpointMs > 0 && lowSlopeLbHr > 0) {
        const double low = lowSlopeLbHr / kMsPerHour;
        const double bpFuel = breakpointMs * low;
        open = perSquirt < bpFuel ? perSquirt / low : breakpointMs + (perSquirt - bpFuel) / high;
    }
    return open + offsetMs;
}

double OpenLoopTarget::At(double rpmNow, double tpsVolts) const {
    if (!IsTable()) return afr;
    std::size_t r = 0, c = 0;
    double fr = 0, fc = 0;
    BilinearHeld(rpm, rpmNow, r, fr);
    BilinearHeld(tps, tpsVolts, c, fc);
    const std::size_t cols = tps.size();
    auto at = [&](std::size_t ri, std::size_t ci) {
        return table[std::min(ri, rpm.size() - 1) * cols + std::min(ci, cols - 1)];
    };
    const double top = at(r, c) + fc * (at(r, c + 1) - at(r, c));
    const double bottom = at(r + 1, c) + fc * (at(r + 1, c + 1) - at(r + 1, c));
    return top + fr * (bottom - top);
}

double ExpectedPulseMs(double mafVolts, double rpm, const MafTransfer& transfer,
                       const InjectorData& injector, double afr) {
    const double airLbPerHour = transfer.KgPerHourAt(mafVolts) * kLbPerKg;
    const double cyclesPerHour = rpm * 30 * injector.cylinders;  // one per two turns
    return injector.PulseMs(airLbPerHour / cyclesPerHour / afr);
}

bool FuelResult::AnyUsed() const {
    return std::any_of(bins.begin(), bins.end(), [](const FuelBin& b) { return b.used; });
}

bool HasWideband(const FuelLog& log, std::string* why) {
    const std::size_t from = std::min(log.warmUp, log.Rows());
    if (from >= log.Rows()) {
        if (why) *why = "no records";
        return false;
    }
    const auto [lo, hi] = std::minmax_element(log.wideO2.begin() + static_cast<std::ptrdiff_t>(from),
                                              log.wideO2.end());
    // One count of the converter is 0.011 AFR; a connected sensor moves far more.
    if (*hi - *lo >= 0.1f) return true;
    if (why) {
        char b[160];
        std::snprintf(b, sizeof b, "WideO2 stays at %.2f AFR throughout: no wideband signal", *lo);
        *why = b;
    }
    return false;
}

void SuggestAirflow(std::vector<FuelBin>& bins, const FuelSetup& setup) {
    std::vector<double> raw(bins.size(), 0);
    for (std::size_t i = 0; i < bins.size(); ++i) {
        FuelBin& b = bins[i];
        std::int64_t hits = 0;
        double sum = 0;
        for (const MethodBin* m : {&b.openLoop, &b.closedLoop}) {
            if (m->hits < setup.fairHits) continue;
            hits += m->hits;
            sum += m->mean * static_cast<double>(m->hits);
        }
        b.used = hits > 0;
        b.confidence = hits >= setup.goodHits ? Confidence::Good
                       : hits > 0             ? Confidence::Fair
                                              : Confidence::None;
        raw[i] = b.used ? sum / static_cast<double>(hits) : 0;
    }
    const double limit = setup.clampPercent / 100;
    for (std::size_t i = 0; i < bins.size(); ++i) {
        FuelBin& b = bins[i];
        double c = raw[i];
        if (b.used && setup.smooth) {
            // 1-2-1 over the neighbours that have a correction of their own.
            double sum = 2 * raw[i], weight = 2;
            if (i > 0 && bins[i - 1].used) { sum += raw[i - 1]; weight += 1; }
            if (i + 1 < bins.size() && bins[i + 1].used) { sum += raw[i + 1]; weight += 1; }
            c = sum / weight;
        }
        b.correction = std::clamp(c, -limit, limit);
        b.suggested = b.airflow * (1 + b.correction);
    }
    // The computer interpolates between rows: a table that falls anywhere
    // would give two volts the same airflow.
    for (std::size_t i = 1; i < bins.size(); ++i) {
        const double prev = bins[i - 1].suggested;
        if (bins[i].suggested <= prev)
            bins[i].suggested = prev + std::max(1e-3, std::fabs(prev) * 1e-4);
    }
}

FuelResult AnalyseFuel(const std::vector<FuelLog>& logs, const MafTransfer& transfer,
                       const FuelSetup& setup) {
    FuelResult r;
    r.unit = transfer.unit;
    const std::size_t nBins = transfer.Rows();
    std::vector<std::vector<double>> ol(nBins), cl(nBins);
    std::array<std::int64_t, kCommonCount> common{};
    std::array<std::int64_t, kOlCount> olOut{};
    std::array<std::int64_t, kClCount> clOut{};
    const double stoich = setup.Stoich();
    const FuelFilters& f = setup.filters;
    const double lag = setup.lagMs / 1000;
    bool anyWideband = false;

    for (const FuelLog& log : logs) {
        const std::size_t n = log.Rows();
        const std::size_t lo = std::min(log.first, n), hi = std::min(log.last, n);
        std::string why;
        const bool wideband = HasWideband(log, &why);
        anyWideband = anyWideband || wideband;
        if (!wideband && hi > lo)
            r.notes.push_back((log.name.empty() ? std::string() : log.name + ": ") + why +
                              ", so only the closed-loop method is used.");
        const RowStates s = StatesOf(log, setup);
        std::size_t lagged = lo;
        for (std::size_t i = lo; i < hi; ++i) {
            ++r.records;
            int out = -1;
            if (f.skipWarmUp && i < log.warmUp) out = kWarmUp;
            else if (!log.custom.empty() && !log.custom[i]) out = kCustom;
            else if (log.ect[i] < f.minEctF) out = kCoolant;
            else if (log.injDuty[i] <= f.minInjDutyPercent) out = kFuelCut;
            else if (s.throttleMoved[i]) out = kThrottle;
            else if (s.mafRate[i] > f.maxMafVoltsPerSecond) out = kAirflow;
            if (out >= 0) {
                ++common[static_cast<std::size_t>(out)];
                continue;
            }
            const double maf = s.maf[i];
            const std::size_t bin = transfer.NearestRow(maf);
            if (s.closedLoop[i]) {
                ++olOut[kOlClosed];
                const double expected = ExpectedPulseMs(maf, log.rpm[i], transfer,
                                                        setup.injector, stoich);
                if (!(log.injPw[i] > 0) || !(expected > 0) || !std::isfinite(expected)) {
                    ++clOut[kClNoPulse];
                    continue;
                }
                cl[bin].push_back(log.injPw[i] / expected - 1);
                continue;
            }
            ++clOut[kClOpen];
            if (s.afterCut[i]) { ++olOut[kOlAfterCut]; continue; }
            if (!wideband) { ++olOut[kOlNoWideband]; continue; }
            // The mixture burnt now reaches the wideband lag seconds later.
            const double readAt = log.seconds[i] + lag;
            if (lagged < i) lagged = i;
            while (lagged < n && log.seconds[lagged] < readAt) ++lagged;
            if (lagged >= n) { ++olOut[kOlPastEnd]; continue; }
            if (s.closedLoop[lagged] || s.throttleMoved[lagged]) { ++olOut[kOlLagged]; continue; }
            const double afr = log.wideO2[lagged];
            if (afr < f.minAfr || afr > f.maxAfr) { ++olOut[kOlRange]; continue; }
            const double lambdaMeasured = afr / kWidebandStoich;
            const double lambdaTarget = setup.target.At(log.rpm[i], log.tps[i]) / stoich;
            ol[bin].push_back(lambdaMeasured / lambdaTarget - 1);
        }
    }
    r.openLoopUsed = anyWideband;

    char buf[320];
    std::snprintf(buf, sizeof buf, "coolant below %g °F", f.minEctF);
    const std::string coolant = buf;
    std::snprintf(buf, sizeof buf, "airflow not steady (over %g V/s)", f.maxMafVoltsPerSecond);
    const std::string airflow = buf;
    std::snprintf(buf, sizeof buf, "within %g s of a throttle change over %g %%/s",
                  f.afterThrottleSeconds, f.throttlePercentPerSecond);
    const std::string throttle = buf;
    std::snprintf(buf, sizeof buf, "fuel cut (injector duty at most %g %%)", f.minInjDutyPercent);
    const std::string cut = buf;
    std::snprintf(buf, sizeof buf, "wideband outside %g-%g AFR", f.minAfr, f.maxAfr);
    const std::string range = buf;
    r.common = {{"warming up", common[kWarmUp]}, {"custom condition", common[kCustom]},
                {coolant, common[kCoolant]},    {cut, common[kFuelCut]},
                {throttle, common[kThrottle]},  {airflow, common[kAirflow]}};
    r.openLoop = {{"closed loop", olOut[kOlClosed]},
                  {"HEGOs quiet after a fuel cut (loop unknown)", olOut[kOlAfterCut]},
                  {"no wideband signal", olOut[kOlNoWideband]},
                  {"lag reaches past the log's end", olOut[kOlPastEnd]},
                  {"closed loop or throttle change within the lag", olOut[kOlLagged]},
                  {range, olOut[kOlRange]}};
    r.closedLoop = {{"open loop", clOut[kClOpen]}, {"no pulse or engine speed", clOut[kClNoPulse]}};

    r.bins.resize(nBins);
    auto fill = [](MethodBin& m, std::vector<double>& v) {
        m.hits = static_cast<std::int64_t>(v.size());
        if (v.empty()) return;
        m.mean = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
        m.median = Median(v);
    };
    for (std::size_t b = 0; b < nBins; ++b) {
        FuelBin& bin = r.bins[b];
        bin.volts = transfer.volts[b];
        bin.airflow = transfer.airflow[b];
        fill(bin.openLoop, ol[b]);
        fill(bin.closedLoop, cl[b]);
        r.openLoopHits += bin.openLoop.hits;
        r.closedLoopHits += bin.closedLoop.hits;
    }
    SuggestAirflow(r.bins, setup);

    if (!r.AnyUsed()) {
        std::snprintf(buf, sizeof buf,
                      "No bin has %d hits or more: nothing to suggest. See what each filter "
                      "removed.", setup.fairHits);
        r.notes.push_back(buf);
    }
    // Both methods see the same MAF error; what only the pulse sees is the
    // injector data. A gap between them that grows or shrinks with the
    // airflow points there.
    std::vector<double> xs, ds;
    for (const FuelBin& b : r.bins)
        if (b.openLoop.hits >= setup.fairHits && b.closedLoop.hits >= setup.fairHits) {
            xs.push_back(b.airflow);
            ds.push_back(b.closedLoop.mean - b.openLoop.mean);
        }
    if (xs.size() >= 3) {
        const double n = static_cast<double>(xs.size());
        const double mx = std::accumulate(xs.begin(), xs.end(), 0.0) / n;
        const double md = std::accumulate(ds.begin(), ds.end(), 0.0) / n;
        double sxx = 0, sxd = 0, sdd = 0;
        for (std::size_t k = 0; k < xs.size(); ++k) {
            sxx += (xs[k] - mx) * (xs[k] - mx);
            sxd += (xs[k] - mx) * (ds[k] - md);
            sdd += (ds[k] - md) * (ds[k] - md);
        }
        const auto [xlo, xhi] = std::minmax_element(xs.begin(), xs.end());
        const double slope = sxx > 0 ? sxd / sxx : 0;
        const double change = slope * (*xhi - *xlo);
        const double r2 = sxx > 0 && sdd > 0 ? sxd * sxd / (sxx * sdd) : 0;
        if (std::fabs(change) >= 0.03 && r2 >= 0.5) {
            std::snprintf(buf, sizeof buf,
                          "The two methods disagree by %+.1f %% more at %.4g %s than at %.4g %s: "
                          "a difference that follows the load points to the injector slope or "
                          "offset rather than the MAF transfer.",
                          change * 100, *xhi, AirflowUnitName(r.unit), *xlo,
                          AirflowUnitName(r.unit));
            r.notes.push_back(buf);
        }
    }
    return r;
}

LagEstimate EstimateWidebandLag(const std::vector<FuelLog>& logs, const FuelSetup& setup) {
    const double wotTpsVolts = setup.wotTpsVolts;
    LagEstimate e;
    std::vector<double> lags;
    constexpr double kBefore = 0.3, kRise = 0.3, kMinRiseVolts = 0.8, kSettle = 1.0,
                     kSettleEnd = 1.5, kMinAfrChange = 0.8, kMaxLag = 1.0,
                     kMaxSettledAfr = 0.5;
    for (const FuelLog& log : logs) {
        const std::size_t n = log.Rows();
        const auto& t = log.seconds;
        auto rowAt = [&](double when) {
            return static_cast<std::size_t>(std::lower_bound(t.begin(), t.end(), when) - t.begin());
        };
        auto mean = [&](const std::vector<float>& c, std::size_t a, std::size_t b) {
            double s = 0;
            for (std::size_t k = a; k < b; ++k) s += c[k];
            return b > a ? s / static_cast<double>(b - a) : 0.0;
        };
        std::size_t i = std::max<std::size_t>(log.warmUp, 1);
        while (i < n) {
            const std::size_t b0 = rowAt(t[i] - kBefore);
            const std::size_t rise = rowAt(t[i] + kRise);
            if (b0 >= i || rise >= n) { ++i; continue; }
            const auto [blo, bhi] = std::minmax_element(log.tps.begin() + static_cast<std::ptrdiff_t>(b0),
                                                        log.tps.begin() + static_cast<std::ptrdiff_t>(i));
            const double base = mean(log.tps, b0, i);
            if (*bhi - *blo > 0.1 || log.tps[rise] - base < kMinRiseVolts) { ++i; continue; }
            // The step: where the TPS reaches the computer's WOT threshold if
            // it does (where the enrichment begins), else half its rise.
            // Where the throttle ends up, once the pedal has stopped moving.
            const std::size_t held = std::min(n - 1, rowAt(t[i] + kSettle));
            const double peak = log.tps[held];
            const bool toWot = base < wotTpsVolts && peak >= wotTpsVolts;
            const double half = toWot ? wotTpsVolts : base + (peak - base) / 2;
            std::size_t step = i;
            while (step < held && log.tps[step] < half) ++step;
            const double ts = t[step];
            // A cold engine's enrichment can make a tip-in leaner, or hide it.
            if (!log.ect.empty() && log.ect[step] < setup.filters.minEctF) { i = rise + 1; continue; }
            const std::size_t w0 = rowAt(ts - kBefore), s0 = rowAt(ts + kSettle),
                              s1 = rowAt(ts + kSettleEnd);
            i = std::max(s1, i + 1);
            if (s1 >= n || s1 <= s0) continue;
            // The wideband must have settled before the step, or its half-way
            // point means nothing (a tip-in right after a gear change).
            const auto [wlo, whi] = std::minmax_element(
                log.wideO2.begin() + static_cast<std::ptrdiff_t>(w0),
                log.wideO2.begin() + static_cast<std::ptrdiff_t>(step) + 1);
            if (*whi - *wlo > kMaxSettledAfr) continue;
            const double wBase = mean(log.wideO2, w0, step);
            const double wEnd = mean(log.wideO2, s0, s1);
            if (std::fabs(wEnd - wBase) < kMinAfrChange) continue;
            const double mid = (wBase + wEnd) / 2;
            std::size_t k = step;
            while (k < s0 && (wEnd < wBase ? log.wideO2[k] > mid : log.wideO2[k] < mid)) ++k;
            const double lag = t[k] - ts;
            if (k < s0 && lag > 0 && lag < kMaxLag) lags.push_back(lag);
        }
    }
    e.tipIns = static_cast<int>(lags.size());
    if (!lags.empty()) e.ms = Median(lags) * 1000;
    return e;
}

}  // namespace quarn
