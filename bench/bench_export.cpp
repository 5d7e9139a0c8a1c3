// Throughput of the CSV export over a large log file written to /dev/null:
// records read, decoded, converted and formatted per second.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "decode/Frame.h"
#include "logging/LogExport.h"
#include "logging/LogFormat.h"
#include "logging/LogSidecar.h"

namespace {

constexpr int kRecords = 200000;

std::string MakeLog() {
    const std::string path =
        (std::filesystem::temp_directory_path() / "quarn-bench-export.qz0").string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::mt19937 rng(2);
    std::uniform_int_distribution<int> analog(0, 1023), timer(1, 65535);
    for (int i = 0; i < kRecords; ++i) {
        quarn::RawFrame raw;
        for (auto& w : raw.analog) w = static_cast<std::uint16_t>(analog(rng));
        for (auto& w : raw.timer) w = static_cast<std::uint16_t>(timer(rng));
        const quarn::FrameBytes frame = quarn::EncodeFrame(raw);
        const quarn::RecordBytes rec = quarn::EncodeRecord(frame);
        std::fwrite(rec.data(), 1, rec.size(), f);
    }
    std::fclose(f);
    return path;
}

void BM_ExportCsv(benchmark::State& state) {
    const std::string path = MakeLog();
    std::FILE* devnull = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        quarn::LogReader reader;
        reader.Open(path);
        benchmark::DoNotOptimize(quarn::ExportCsv(reader, devnull, nullptr));
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    std::fclose(devnull);
    std::filesystem::remove(path);
}
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// One record's line in the time sidecar while recording: a formatted time
// and one write() to a real file. At 250 records a second, the share of a
// core the sidecar costs is 250 times this.
void BM_SidecarAppendTime(benchmark::State& state) {
    const QString log = QString::fromStdString(
        (std::filesystem::temp_directory_path() / "quarn-bench-sidecar.qz0").string());
    quarn::LogSidecarWriter writer;
    writer.Create(log, QDateTime::currentDateTimeUtc());
    double t = 0;
    for (auto _ : state) writer.AppendTime(t += 0.004);
    writer.Close();
    std::filesystem::remove(quarn::SidecarPath(log).toStdString());
}
BENCHMARK(BM_SidecarAppendTime)->Unit(benchmark::kMicrosecond);

}  // namespace
