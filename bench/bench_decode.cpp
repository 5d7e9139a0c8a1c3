// Cost of one frame through the data core: decode, and decode plus convert.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

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

}  // namespace
