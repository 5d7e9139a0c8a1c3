#include "logging/TravelExport.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

#include "logging/TravelWriters.h"

namespace quarn {
namespace {

constexpr std::size_t kFlushAt = 1 << 20;

// Whether a marker goes out with the rows first..last. A marker at record 0
// (before any record) belongs with record 1.
bool InRange(const SidecarMarker& m, std::int64_t first, std::int64_t last) {
    const std::int64_t at = std::max<std::int64_t>(m.record, 1);
    return at >= first && at <= last;
}

}  // namespace

float ExportColumn::At(std::int64_t record) const {
    const std::int64_t at = record - firstRecord;
    if (at < 0 || at >= static_cast<std::int64_t>(values.size()))
        return std::numeric_limits<float>::quiet_NaN();
    return values[static_cast<std::size_t>(at)];
}

LogScan ExportLog(LogReader& reader, const RecordTimes& times, std::FILE* out,
                  const ExportOptions& options, const TravelSource& source,
                  const RecordProblem& problem, const ExportProgress& progress,
                  const VehicleData& vehicle, std::int64_t firstRecord, std::int64_t lastRecord,
                  std::span<const ExportColumn> extra) {
    std::unique_ptr<TravelWriter> writer = MakeTravelWriter(options);
    if (!writer)
        return ExportCsv(reader, out, problem, progress, vehicle, firstRecord, lastRecord);

    const std::int64_t lastWritten = std::min(lastRecord, reader.RecordCount());
    TravelWriter::Header header;
    header.logName = source.logName;
    header.start = times.Start();
    header.timesEstimated = times.Estimated(lastWritten);
    header.frameRate = times.FrameRate();
    header.extra = extra;

    std::vector<SidecarMarker> markers;
    for (const SidecarMarker& m : times.Markers())
        if (InRange(m, firstRecord, lastRecord)) markers.push_back(m);
    std::stable_sort(markers.begin(), markers.end(),
                     [](const SidecarMarker& a, const SidecarMarker& b) { return a.record < b.record; });
    std::size_t nextMarker = 0;

    std::string buf;
    buf.reserve(kFlushAt + 4096);
    writer->Begin(header, buf);
    // A marker follows the row of its record, where the reader's cursor
    // stood when it was set; one on a record without a row comes with the
    // next row.
    auto markersUpTo = [&](std::int64_t record) {
        for (; nextMarker < markers.size() && markers[nextMarker].record <= record; ++nextMarker) {
            const SidecarMarker& m = markers[nextMarker];
            writer->Marker(times.SecondsOf(m.record), m.id, m.name.toStdString(), buf);
        }
    };
    auto visit = [&](std::int64_t n, bool, const ChannelRecord&, const ChannelRecord& rec) {
        if (n < firstRecord || n > lastRecord) return;
        markersUpTo(n - 1);
        writer->Row(n, times.SecondsOf(n), rec, buf);
        markersUpTo(n);
        if (buf.size() >= kFlushAt) {
            std::fwrite(buf.data(), 1, buf.size(), out);
            buf.clear();
        }
    };
    const LogScan scan = ScanLog(reader, visit, problem, progress, vehicle);
    markersUpTo(lastRecord);
    std::fwrite(buf.data(), 1, buf.size(), out);
    std::fflush(out);
    return scan;
}

ExportResult ExportLogFile(const std::string& logPath, const std::string& outPath,
                           const ExportOptions& options, const VehicleData& vehicle,
                           const RecordProblem& problem, const ExportProgress& progress,
                           std::int64_t firstRecord, std::int64_t lastRecord,
                           std::span<const ExportColumn> extra) {
    if (options.format == ExportFormat::Csv)
        return ExportCsvFile(logPath, outPath, vehicle, problem, progress, firstRecord,
                             lastRecord);
    const QString log = QFile::decodeName(QByteArray::fromStdString(logPath));
    TravelSource source;
    source.logName = QFileInfo(log).fileName().toStdString();
    return ExportThroughTemp(
        logPath, outPath,
        [&](LogReader& reader, std::FILE* out, const ExportProgress& keepGoing) {
            const RecordTimes times =
                RecordTimes::Read(log, reader.RecordCount(), options.estimatedFrameRate);
            return ExportLog(reader, times, out, options, source, problem, keepGoing, vehicle,
                             firstRecord, lastRecord, extra);
        },
        progress, lastRecord);
}

}  // namespace quarn
