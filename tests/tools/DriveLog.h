#pragma once

// A log file with its sidecar, made from the simulator's engine model:
// real pulls, real times and markers, for quarn-log's tests and benchmarks.

#include <QDateTime>
#include <QTimeZone>

#include <cstdio>
#include <string>
#include <vector>

#include "decode/Frame.h"
#include "logging/LogFormat.h"
#include "logging/LogSidecar.h"
#include "sim/EngineModel.h"

namespace quarn::test {

struct DriveMarker {
    std::int64_t record;
    const char* name;
};

// Writes records frames sampled every interval seconds into path, and a
// sidecar timing them (none when withSidecar is false) with the markers.
inline void WriteDriveLog(const std::string& path, std::int64_t records, double interval,
                          bool withSidecar = true, const std::vector<DriveMarker>& markers = {}) {
    EngineModel model(EngineModel::kDefaultSeed, true);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::string block;
    for (std::int64_t n = 0; n < records; ++n) {
        const FrameBytes frame = EncodeFrame(model.Sample(static_cast<double>(n) * interval));
        const RecordBytes rec = EncodeRecord(frame);
        block.append(reinterpret_cast<const char*>(rec.data()), rec.size());
        if (block.size() > (1 << 20)) {
            std::fwrite(block.data(), 1, block.size(), f);
            block.clear();
        }
    }
    std::fwrite(block.data(), 1, block.size(), f);
    std::fclose(f);
    if (!withSidecar) return;
    LogSidecarWriter side;
    side.Create(QString::fromStdString(path),
                QDateTime(QDate(2026, 5, 2), QTime(14, 30, 0), Qt::UTC));
    std::size_t m = 0;
    for (std::int64_t n = 1; n <= records; ++n) {
        // The first record comes a little after the start, as it does live.
        side.AppendTime(0.004 + static_cast<double>(n - 1) * interval);
        for (; m < markers.size() && markers[m].record == n; ++m)
            side.AppendMarker(n, QStringLiteral("user"), QString::fromUtf8(markers[m].name));
    }
    side.Close();
}

}  // namespace quarn::test
