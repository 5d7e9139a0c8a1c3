#pragma once

// Writes a log of the simulator's drive, and optionally its sidecar, as a
// recording at a steady frame rate would leave them.

#include <QDateTime>
#include <QString>

#include <cstdio>
#include <string>

#include "logging/LogFormat.h"
#include "logging/LogSidecar.h"
#include "sim/EngineModel.h"

namespace quarn::testlog {

inline bool WriteSimulatedLog(const QString& path, long records, double framesPerSecond,
                              bool withSidecar, long firstRecord = 1) {
    std::FILE* f = std::fopen(path.toStdString().c_str(), firstRecord > 1 ? "ab" : "wb");
    if (!f) return false;
    LogSidecarWriter sidecar;
    if (withSidecar && firstRecord == 1)
        sidecar.Create(path, QDateTime(QDate(2026, 12, 7), QTime(9, 30), Qt::UTC));
    EngineModel model;
    std::string buf;
    for (long n = 1; n < firstRecord + records; ++n) {
        const double t = static_cast<double>(n - 1) / framesPerSecond;
        const FrameBytes frame = EncodeFrame(model.Sample(t));
        if (n < firstRecord) continue;
        const RecordBytes rec = EncodeRecord(frame);
        buf.append(reinterpret_cast<const char*>(rec.data()), rec.size());
        if (sidecar.IsOpen()) sidecar.AppendTime(t);
    }
    const bool ok = std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace quarn::testlog
