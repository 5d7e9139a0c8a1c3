// The analysis of a 1,000,000-record log: a math channel, an event search
// and the statistics of every channel (targets: 50 ms each).
#include <benchmark/benchmark.h>

#include <cmath>

#include "analysis/Events.h"
#include "analysis/Expression.h"
#include "analysis/Statistics.h"

namespace {

using namespace quarn;

constexpr std::size_t kRows = 1'000'000;
constexpr int kChannels = 21;  // as many as a log table holds

struct BigLog {
    std::vector<QString> names;
    std::vector<std::vector<float>> columns;
    std::vector<double> seconds;
    ColumnSet set;
    BigLog() {
        const char* known[] = {"RPM", "TPS", "WideO2", "Boost", "InjDuty"};
        for (int c = 0; c < kChannels; ++c)
            names.push_back(c < 5 ? QString(known[c]) : QStringLiteral("Ch%1").arg(c));
        columns.assign(kChannels, std::vector<float>(kRows));
        seconds.resize(kRows);
        for (std::size_t i = 0; i < kRows; ++i) {
            const double t = i / 100.0;  // 100 frames a second, under three hours
            seconds[i] = t;
            columns[0][i] = static_cast<float>(3000 + 2500 * std::sin(t / 7));
            columns[1][i] = static_cast<float>(2.5 + 2 * std::sin(t / 5));
            columns[2][i] = static_cast<float>(13.5 + 1.5 * std::sin(t / 3));
            columns[3][i] = static_cast<float>(5 * std::sin(t / 11));
            for (int c = 4; c < kChannels; ++c) columns[c][i] = static_cast<float>(c + std::sin(t * c));
        }
        set.names = names;
        for (const auto& c : columns) set.columns.emplace_back(c);
        set.seconds = seconds;
    }
};

const BigLog& Log() {
    static const BigLog log;
    return log;
}

void MathChannel(benchmark::State& state, const char* formula) {
    const BigLog& log = Log();
    for (auto _ : state) {
        const Expression e = Expression::Compile(formula, log.names);
        benchmark::DoNotOptimize(e.Evaluate(log.set).data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kRows));
}
BENCHMARK_CAPTURE(MathChannel, lambda, "WideO2 / 14.7")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(MathChannel, afr_error, "(WideO2 - if(Boost > 0, 11.5, 14.7)) / 14.7 * 100")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(MathChannel, smoothed_rate, "smooth(ddt(RPM), 0.5)")->Unit(benchmark::kMillisecond);

void EventSearch(benchmark::State& state) {
    const BigLog& log = Log();
    std::size_t found = 0;
    for (auto _ : state) {
        const Expression e = Expression::Compile("WideO2 > 13.5 and TPS > 3.5", log.names);
        const std::vector<float> condition = e.Evaluate(log.set);
        found = FindEvents(condition, log.seconds, 0.5, log.columns[0]).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["stretches"] = static_cast<double>(found);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kRows));
}
BENCHMARK(EventSearch)->Unit(benchmark::kMillisecond);

void AllChannelStatistics(benchmark::State& state) {
    const BigLog& log = Log();
    std::vector<Band> bands(kChannels, Band{0, 10, true});
    for (auto _ : state) benchmark::DoNotOptimize(Statistics(log.set, {}, bands).data());
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kRows));
}
BENCHMARK(AllChannelStatistics)->Unit(benchmark::kMillisecond);

void TimeHistogramOfOneChannel(benchmark::State& state) {
    const BigLog& log = Log();
    for (auto _ : state)
        benchmark::DoNotOptimize(Histogram(log.columns[0], log.seconds, {}, {0, 6000, 60}).seconds.data());
}
BENCHMARK(TimeHistogramOfOneChannel)->Unit(benchmark::kMillisecond);

}  // namespace
