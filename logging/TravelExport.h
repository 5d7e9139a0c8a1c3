#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "decode/ChannelRecord.h"
#include "logging/ExportFormats.h"
#include "logging/LogExport.h"
#include "logging/RecordTimes.h"

namespace quarn {

// An engineering channel as the exports that travel carry it: the name the
// dashboard and the viewer give it, its unit (and a plain-ASCII unit for
// the viewers' fixed-width fields), and the decimals its sensor and
// conversion really resolve, so no float noise goes out as digits.
struct TravelChannel {
    const char* name;
    const char* unit;
    const char* plainUnit;
    int decimals;
    float ChannelRecord::*field;
};
std::span<const TravelChannel> TravelChannels();

// A column the text and binary exports carry after the log's own channels:
// one the log file does not hold (a math channel of the viewer), worked out
// beforehand for every record of the range.
struct ExportColumn {
    std::string name;
    std::string unit;
    int decimals = 3;
    std::int64_t firstRecord = 1;
    std::vector<float> values;  // record n at n - firstRecord; NaN: no value
    // NaN for a record outside values.
    float At(std::int64_t record) const;
};

// What the text and binary exports say about where the log came from.
struct TravelSource {
    std::string logName;  // the log's file name, for the readers' info line
};

// Writes the export of an open log in options.format to out, with the
// record times and markers of times. Records firstRecord..lastRecord are
// written; a range's rows equal the same rows of the whole export, times
// included, since conversion and time both count from record 1. Csv is
// ExportCsv's output byte for byte. The extra columns follow the log's
// channels in every format but Csv, which never changes.
LogScan ExportLog(LogReader& reader, const RecordTimes& times, std::FILE* out,
                  const ExportOptions& options, const TravelSource& source,
                  const RecordProblem& problem, const ExportProgress& progress = nullptr,
                  const VehicleData& vehicle = VehicleData(), std::int64_t firstRecord = 1,
                  std::int64_t lastRecord = INT64_MAX, std::span<const ExportColumn> extra = {});

// ExportCsvFile for every format: the log at logPath (with its sidecar)
// into outPath, through a temporary file renamed into place once whole, and
// never onto the log itself.
ExportResult ExportLogFile(const std::string& logPath, const std::string& outPath,
                           const ExportOptions& options, const VehicleData& vehicle,
                           const RecordProblem& problem, const ExportProgress& progress = nullptr,
                           std::int64_t firstRecord = 1, std::int64_t lastRecord = INT64_MAX,
                           std::span<const ExportColumn> extra = {});

}  // namespace quarn
