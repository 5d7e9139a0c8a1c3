// The dyno of a long log: pull detection and the curves of every pull in a
// log of 1,000,000 records holding 20 pulls, from columns already decoded
// (as the log viewer holds them).

#include <benchmark/benchmark.h>

#include "dyno/DynoCurve.h"
#include "dyno/Pulls.h"
#include "tests/dyno/DynoDrives.h"

namespace {

constexpr std::size_t kRecords = 1000000;
constexpr int kPulls = 20;

// The engine model's drive up to and past its first pull, repeated; after
// the first kPulls copies the throttle column is closed, so exactly kPulls
// pulls remain among a million records.
quarn::DynoInput MillionRecords() {
    const quarn::DynoInput one = quarn::test::SimulatedDrive(60, true);
    quarn::DynoInput in;
    in.Reserve(kRecords);
    for (std::size_t n = 0; n < kRecords; ++n) {
        const std::size_t k = n % one.Size();
        const bool pullCopy = n / one.Size() < static_cast<std::size_t>(kPulls);
        in.Record.push_back(static_cast<double>(n + 1));
        in.Seconds.push_back(static_cast<double>(n) * 0.01);
        in.Rpm.push_back(one.Rpm[k]);
        in.TpsVolts.push_back(pullCopy ? one.TpsVolts[k] : 1.0f);
        in.Mph.push_back(one.Mph[k]);
        in.BapPressure.push_back(one.BapPressure[k]);
        in.ActF.push_back(one.ActF[k]);
        in.VssPeriod.push_back(one.VssPeriod[k]);
        in.VssPeriodPrev.push_back(one.VssPeriodPrev[k]);
        in.AccelInterval.push_back(one.AccelInterval[k]);
    }
    return in;
}

void BM_DynoOfAMillionRecords(benchmark::State& state) {
    const quarn::DynoInput in = MillionRecords();
    const quarn::DynoVehicle car;
    std::size_t pulls = 0;
    for (auto _ : state) {
        const quarn::PullScan scan = quarn::FindPulls(in);
        pulls = 0;
        for (const quarn::Pull& p : scan.pulls) {
            if (!p.usable) continue;
            benchmark::DoNotOptimize(quarn::ComputeCurve(in, p, car));
            ++pulls;
        }
    }
    state.counters["pulls"] = static_cast<double>(pulls);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kRecords));
}
BENCHMARK(BM_DynoOfAMillionRecords)->Unit(benchmark::kMillisecond);

}  // namespace
