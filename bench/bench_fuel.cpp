// The fuel analysis of a long log: both methods over 1,000,000 records of
// the simulator's drive, from columns already decoded.

#include <benchmark/benchmark.h>

#include "tests/fuel/FuelDrives.h"

namespace {

constexpr std::size_t kRecords = 1000000;

void BM_FuelOfAMillionRecords(benchmark::State& state) {
    const quarn::test::ErrorCurve error{{1.2, 0}, {2.0, 6}, {3.0, -4}};
    const quarn::EngineModel::Fuelling fuelling{error, 12.0, 0.15};
    const std::vector<quarn::FuelLog> logs{quarn::test::FuelDrive(kRecords * 0.01, fuelling)};
    const quarn::MafTransfer table = quarn::test::SimTransfer(error);
    const quarn::FuelSetup setup = quarn::test::SimSetup(fuelling);
    for (auto _ : state) benchmark::DoNotOptimize(quarn::AnalyseFuel(logs, table, setup));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(logs[0].Rows()));
}
BENCHMARK(BM_FuelOfAMillionRecords)->Unit(benchmark::kMillisecond);

}  // namespace
