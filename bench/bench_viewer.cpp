// The log viewer's core on an hour of driving (1,000,000 records): opening
// the log into columns, the heat map, and the envelopes six plots draw.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>

#include "ResidentMemory.h"
#include "viewer/SimLog.h"
#include "viewer/Envelope.h"
#include "viewer/HeatMap.h"
#include "viewer/LogTable.h"
#include "viewer/MathColumns.h"

namespace {

constexpr long kRecords = 1000000;
constexpr double kRate = 250;

const QString& HourLog() {
    static const QString path = [] {
        const QString p = QDir::temp().filePath(QStringLiteral("quarn-bench-viewer.qz0"));
        quarn::test::SimLogOptions o;
        o.seconds = kRecords / kRate;
        o.frameRate = kRate;
        quarn::test::WriteSimLog(p, o);
        return p;
    }();
    return path;
}

const quarn::LogTable& HourTable() {
    static const quarn::LogTable table = [] {
        quarn::LogTable t;
        t.Load(HourLog(), quarn::VehicleData(), kRate, nullptr, nullptr, nullptr);
        return t;
    }();
    return table;
}

void BM_OpenHourLog(benchmark::State& state) {
    HourLog();
    double grown = 0;
    for (auto _ : state) {
        const double before = quarn::bench::ResidentMegabytes();
        quarn::LogTable table;
        std::int64_t progressCalls = 0;
        table.Load(HourLog(), quarn::VehicleData(), kRate,
                   [&](std::int64_t, std::int64_t) { return ++progressCalls > 0; }, nullptr,
                   nullptr);
        grown = quarn::bench::ResidentMegabytes() - before;
        benchmark::DoNotOptimize(table.Rows());
    }
    state.counters["table_MB"] = grown;
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_OpenHourLog)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_HeatMapHour(benchmark::State& state) {
    const quarn::LogTable& table = HourTable();
    const int rpm = quarn::ViewerChannelId(QStringLiteral("RPM"));
    const int maf = quarn::ViewerChannelId(QStringLiteral("MAF"));
    const int duty = quarn::ViewerChannelId(QStringLiteral("InjDuty"));
    const auto x = quarn::DefaultHeatEdges(rpm, 0, 7000), y = quarn::DefaultHeatEdges(maf, 0, 5);
    // As the tab does for a formula just typed: the formula, then the cells.
    for (auto _ : state) {
        const std::vector<float> warm =
            quarn::EvaluateCondition(table, QStringLiteral("ECT > 180"), nullptr);
        benchmark::DoNotOptimize(
            quarn::ComputeHeatMap(table, rpm, maf, duty, x, y, warm, 0, table.Rows()));
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_HeatMapHour)->Unit(benchmark::kMillisecond);

// Six channels at 1,600 pixel columns, over the whole hour and over a
// minute in its middle.
void BM_SixEnvelopes(benchmark::State& state) {
    const quarn::LogTable& table = HourTable();
    const double span = state.range(0) ? 60 : table.Axis().back();
    const double t0 = state.range(0) ? table.Axis().back() / 2 : 0;
    quarn::EnvelopePoints out;
    for (auto _ : state)
        for (int id : quarn::DefaultViewerChannels())
            quarn::MinMaxEnvelope(table.Axis(), table.Column(id), t0, t0 + span, 1600, out,
                                      &table.Index(id));
}
BENCHMARK(BM_SixEnvelopes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
