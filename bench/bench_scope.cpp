// The cost of the scopes: appending one point to a strip chart, feeding ten
// open scope windows one frame, one tick's redraw of ten charts each holding
// a full history, and the memory of ten charts over an hour's points.
// Offscreen. Usage: quarn-bench-scope [Google Benchmark options]

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>

#include <chrono>
#include <memory>

#include "widgets/RefreshTick.h"
#include "bench/ResidentMemory.h"
#include "scope/ScopeSlots.h"
#include "scope/StripChart.h"
#include "scope/SuperScope.h"

namespace {

using quarn::ScopeSlots;
using quarn::StripChart;

// The fastest frame rate the link gives: 115200 baud, 0.5 ms box latency.
constexpr double kFrameSeconds = 1 / 257.4;

class StepClock final : public quarn::Clock {
public:
    // Runs with the time of day, which only goes forward here.
    TimePoint Now() const override {
        return TimePoint{} + std::chrono::duration_cast<TimePoint::duration>(
                                 std::chrono::duration<double>(timeOfDay));
    }
    double TimeOfDay() const override { return timeOfDay; }
    double timeOfDay = 36000;
};

using quarn::bench::ResidentMegabytes;

// Ten open scopes, each on its own channel, fed as the monitoring loop would.
struct TenScopes {
    quarn::ChannelRecord rec;
    quarn::RunState state;
    StepClock clock;
    ScopeSlots scopeSlots{rec, state, clock, nullptr, [](const QString&) {}};

    TenScopes() {
        for (int s = ScopeSlots::kFirstSlot; s <= ScopeSlots::kLastSlot; ++s) {
            scopeSlots.Open();
            quarn::SuperScope* window = scopeSlots.Window(s);
            window->selection()->setCurrentIndex(s - 1);
            window->Selection_Click();
        }
        state.StartSeconds = 36000;
        QApplication::processEvents();
    }
    void Frame() {
        clock.timeOfDay += kFrameSeconds;
        rec.Rpm = static_cast<float>(800 + static_cast<int>(clock.timeOfDay * 1000) % 6000);
        for (int s = ScopeSlots::kFirstSlot; s <= ScopeSlots::kLastSlot; ++s) scopeSlots.Feed(s);
    }
};

void BM_StripChartAppend(benchmark::State& state) {
    StripChart chart;
    double x = 0;
    // Start with a full history, so every batch of dropped points is counted.
    for (int i = 0; i < StripChart::kHistoryPoints; ++i) chart.AddPoint(x += kFrameSeconds, i);
    for (auto _ : state) chart.AddPoint(x += kFrameSeconds, 1234.5);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StripChartAppend);

void BM_FeedTenScopesOneFrame(benchmark::State& state) {
    TenScopes scopes;
    for (auto _ : state) scopes.Frame();
    state.SetItemsProcessed(state.iterations());
    quarn::SharedRefreshTick().Flush();
}
BENCHMARK(BM_FeedTenScopesOneFrame);

// One tick of the shared refresh with ten open charts, each holding a full
// history, and a tick's worth of frames (257 frames/s over 33 ms). The slots
// draw as many charts as their budget allows; charts_per_tick says how many,
// so 30 x charts_per_tick / 10 is each chart's redraw rate, the time /
// charts_per_tick the cost of one chart and the time x 30 the share of a
// core the scopes take.
void BM_TickTenFullScopes(benchmark::State& state) {
    TenScopes scopes;
    for (int i = 0; i < StripChart::kHistoryPoints; ++i) scopes.Frame();
    int replots = 0;
    for (int s = ScopeSlots::kFirstSlot; s <= ScopeSlots::kLastSlot; ++s)
        QObject::connect(scopes.scopeSlots.Window(s)->chart(), &QCustomPlot::afterReplot,
                         [&replots] { ++replots; });
    for (auto _ : state) {
        // As in the program: the tick, then the frames until the next one,
        // the drawing done in the wait after the first of them.
        quarn::SharedRefreshTick().Flush();
        for (int i = 0; i < 9; ++i) {
            scopes.Frame();
            QApplication::processEvents();
        }
    }
    state.counters["charts_per_tick"] =
        static_cast<double>(replots) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_TickTenFullScopes)->Unit(benchmark::kMillisecond);

// An hour at full rate into ten open scopes, redrawn once a second of feed
// time (the drawing buffers do not grow with the rate): memory with the
// scopes open and after 1, 10 and 60 minutes of points.
void BM_TenScopesOneHourMemory(benchmark::State& state) {
    for (auto _ : state) {
        auto scopes = std::make_unique<TenScopes>();
        state.counters["rss_open_mb"] = ResidentMegabytes();
        const int perMinute = static_cast<int>(60 / kFrameSeconds);
        for (int i = 1; i <= 60 * perMinute; ++i) {
            scopes->Frame();
            if (i % 257 == 0) {
                quarn::SharedRefreshTick().Flush();
                QApplication::processEvents();
            }
            if (i == perMinute) state.counters["rss_1min_mb"] = ResidentMegabytes();
            if (i == 10 * perMinute) state.counters["rss_10min_mb"] = ResidentMegabytes();
        }
        state.counters["rss_60min_mb"] = ResidentMegabytes();
    }
}
BENCHMARK(BM_TenScopesOneHourMemory)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
