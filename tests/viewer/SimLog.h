#pragma once

// Logs of the simulator's drive for the viewer's tests, pictures and
// benchmark: frames of the engine model at a steady rate, written as the
// recording writes them, with a sidecar of record times and markers.

#include <QDateTime>
#include <QFile>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "decode/Frame.h"
#include "logging/LogFormat.h"
#include "logging/LogSidecar.h"
#include "sim/EngineModel.h"

namespace quarn::test {

struct SimLogOptions {
    double seconds = 60;
    double frameRate = 250;
    std::uint64_t seed = EngineModel::kDefaultSeed;
    bool sidecar = true;
    // Markers: at this second, this name.
    std::vector<std::pair<double, QString>> markers;
    // Appends to the log what a recording goes on to write after this many
    // records (the same drive, continued); the sidecar is left alone.
    std::int64_t after = 0;
    // The computer's fuelling, with the error of its MAF table; none by default.
    std::optional<EngineModel::Fuelling> fuelling;
};

// Writes the log and returns its record count (0 when it cannot be written).
inline std::int64_t WriteSimLog(const QString& path, const SimLogOptions& o) {
    QFile file(path);
    if (!file.open(o.after > 0 ? QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    LogSidecarWriter sidecar;
    if (o.after > 0)
        ;
    else if (o.sidecar)
        sidecar.Create(path, QDateTime(QDate(2026, 11, 28), QTime(14, 5, 0), Qt::UTC));
    else
        QFile::remove(SidecarPath(path));
    EngineModel engine(o.seed);
    if (o.fuelling) engine.SetFuelling(*o.fuelling);
    QByteArray block;
    std::int64_t n = 0;
    std::size_t marker = 0;
    for (double t = 0; t < o.seconds; t = static_cast<double>(n) / o.frameRate) {
        const FrameBytes frame = EncodeFrame(engine.Sample(t));
        if (n < o.after) {
            ++n;
            continue;
        }
        const RecordBytes record = EncodeRecord(frame);
        block.append(reinterpret_cast<const char*>(record.data()), kRecordBytes);
        ++n;
        if (sidecar.IsOpen()) {
            sidecar.AppendTime(t);
            for (; marker < o.markers.size() && o.markers[marker].first <= t; ++marker)
                sidecar.AppendMarker(n, QStringLiteral("user"), o.markers[marker].second);
        }
        if (block.size() >= (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
    return n;
}

}  // namespace quarn::test
