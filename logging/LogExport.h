#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "decode/ChannelRecord.h"
#include "decode/Conversion.h"
#include "decode/VehicleData.h"
#include "logging/LogFormat.h"

namespace quarn {

// What a pass over a log found. Records are counted from 1.
struct LogScan {
    std::int64_t records = 0;        // whole 48-byte records in the file
    std::int64_t decoded = 0;        // records holding a whole frame
    std::int64_t badChecksum = 0;    // of those, frames failing the checksum
    std::int64_t malformed = 0;      // records whose header is not (1, 0..38, 0)
    std::int64_t shortRecords = 0;   // well-formed records of fewer than 38 bytes
    std::int64_t trailingBytes = 0;  // bytes after the last whole record

    bool Clean() const { return malformed == 0 && shortRecords == 0 && trailingBytes == 0; }
};

// Called once per record that cannot be decoded, with its number and why.
using RecordProblem = std::function<void(std::int64_t record, const std::string& why)>;

// Called for every whole frame, after decoding and converting it as playback
// does: from a fresh conversion state and the vehicle data given to the scan,
// whatever the checksum. raw holds the words as decoded (before conversion touches
// RpmPeriod); rec holds the converted values.
using FrameVisitor = std::function<void(std::int64_t record, bool badChecksum,
                                        const ChannelRecord& raw, const ChannelRecord& rec)>;

using ExportProgress = std::function<bool(std::int64_t done)>;

// Reads every record of an open log in order. Constant memory. progress is
// called every few thousand records; returning false stops the scan.
LogScan ScanLog(LogReader& reader, const FrameVisitor& visit, const RecordProblem& problem,
                const ExportProgress& progress = nullptr,
                const VehicleData& vehicle = VehicleData());

// The state a conversion run carries from frame to frame. A scan started
// with one goes on where an earlier scan with it stopped, as one run.
struct ScanRun {
    Conversion conversion;
    ChannelRecord rec;
    std::int64_t nextRecord = 1;  // the record the next scan starts with
};

// ScanLog from run.nextRecord on, continuing run's conversion; run.nextRecord
// ends past the last record read. The counts returned are those of the
// records read here; records and trailingBytes are the file's.
LogScan ScanLogFrom(LogReader& reader, ScanRun& run, const FrameVisitor& visit,
                    const RecordProblem& problem, const ExportProgress& progress = nullptr,
                    const VehicleData& vehicle = VehicleData());

// Writes the CSV export of an open log to out: one header row, then one row
// per whole frame in file order. Floats are printed in their shortest
// round-trip form. Returns the scan result; problems go to problem.
LogScan ExportCsv(LogReader& reader, std::FILE* out, const RecordProblem& problem,
                  const ExportProgress& progress = nullptr,
                  const VehicleData& vehicle = VehicleData(), std::int64_t firstRecord = 1,
                  std::int64_t lastRecord = INT64_MAX);

enum class ExportOutcome {
    Written,     // the CSV is in place
    SameAsInput, // the output names the log itself: nothing was written
    Failed,      // see error; an earlier file of the output's name is intact
    Cancelled,   // progress returned false; nothing changed
};

struct ExportResult {
    ExportOutcome outcome = ExportOutcome::Failed;
    LogScan scan;
    std::string error;
};

// Exports the log at logPath into the file csvPath. The CSV goes into a
// temporary file in csvPath's folder, which is renamed onto csvPath only
// once it is whole, so a failed or cancelled export leaves an existing file
// of that name as it was. An output that is the log itself (by name, link
// or hard link) is refused before anything is written.
// With a record range, only the rows of records firstRecord..lastRecord are
// written; they equal the same rows of the whole export, since the
// conversion still runs from record 1.
ExportResult ExportCsvFile(const std::string& logPath, const std::string& csvPath,
                           const VehicleData& vehicle, const RecordProblem& problem,
                           const ExportProgress& progress = nullptr,
                           std::int64_t firstRecord = 1,
                           std::int64_t lastRecord = INT64_MAX);

// Writes one export of the open log into out, calling progress as a scan does.
using ExportWrite =
    std::function<LogScan(LogReader& reader, std::FILE* out, const ExportProgress& progress)>;
// The way ExportCsvFile writes, for any export: refuses an output that is
// the log, writes through a temporary file renamed onto outPath once whole,
// and stops the scan once it is past lastRecord.
ExportResult ExportThroughTemp(const std::string& logPath, const std::string& outPath,
                               const ExportWrite& write, const ExportProgress& progress,
                               std::int64_t lastRecord);

// Whether the two paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// The CSV header row, without the line end.
const char* CsvHeader();

}  // namespace quarn
