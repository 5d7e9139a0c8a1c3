// Cost of one frame through the data core: decode, and decode plus convert.

#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

#include "decode/Alarms.h"
#include "decode/Conversion.h"
#include "decode/Frame.h"

namespace {

std::vector<quarn::FrameBytes> MakeFrames(std::size_t n) {
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> analog(0, 1023), timer(1, 65535);
    std::vector<quarn::FrameBytes> frames;
    frames.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        quarn::RawFrame raw;
        for (auto& w : raw.analog) w = static_cast<std::uint16_t>(analog(rng));
        for (auto& w : raw.timer) w = static_cast<std::uint16_t>(timer(rng));
        frames.push_back(quarn::EncodeFrame(raw));
    }
    return frames;
}

void BM_DecodeFrame(benchmark::State& state) {
    const auto frames = MakeFrames(1024);
    quarn::ChannelRecord rec;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(quarn::DecodeFrame(frames[i++ & 1023], rec));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeFrame);

void BM_DecodeAndConvert(benchmark::State& state) {
    const auto frames = MakeFrames(1024);
    quarn::Conversion conversion;
    const quarn::VehicleData vehicle;
    quarn::ChannelRecord rec;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(quarn::DecodeFrame(frames[i++ & 1023], rec));
        conversion.ComputeChannels(rec, vehicle);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeAndConvert);

// The alarm checks and peak holds of one frame: the seventeen needle values
// the dashboard's dials take, against the default limits, values wandering
// across them.
void BM_AlarmsAndPeaksOfAFrame(benchmark::State& state) {
    using quarn::Gauge;
    constexpr std::array<Gauge, 15> kGauges{Gauge::MAF,    Gauge::TPS,       Gauge::ECT,
                                            Gauge::ACT,    Gauge::BAP,       Gauge::Advance,
                                            Gauge::Boost,  Gauge::Tach,      Gauge::Speedo,
                                            Gauge::EGT,    Gauge::HEGO,      Gauge::DutyCycle,
                                            Gauge::INJPW,  Gauge::WideBand,  Gauge::MPG};
    quarn::AlarmBoard board;
    std::array<quarn::PeakHold, 17> peaks{};
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> value(0, 8000);
    std::vector<double> values(4096);
    for (double& v : values) v = value(rng);
    std::size_t i = 0;
    for (auto _ : state) {
        std::size_t p = 0;
        for (Gauge g : kGauges) {
            const int needles = (g == Gauge::EGT || g == Gauge::HEGO) ? 2 : 1;
            for (int n = 0; n < needles; ++n) {
                const double v = values[i++ & 4095];
                peaks[p++].Add(v);
                benchmark::DoNotOptimize(board.Check(g, n, v));
            }
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AlarmsAndPeaksOfAFrame);

}  // namespace
