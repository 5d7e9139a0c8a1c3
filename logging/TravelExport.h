#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

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

// What the text and binary exports say about where the log came from.
struct TravelSource {
    std::string logName;  // the log's file name, for the readers' info line
};

// Writes the export of an open log in options.format to out, with the
// record times and markers of times. Records firstRecord..lastRecord are
// written; a range's rows equal the same rows of the whole export, times
// included, since conversion and time both count from record 1. Csv is
// ExportCsv's output byte for byte.
LogScan ExportLog(LogReader& reader, const RecordTimes& times, std::FILE* out,
                  const ExportOptions& options, const TravelSource& source,
                  const RecordProblem& problem, const ExportProgress& progress = nullptr,
                  const VehicleData& vehicle = VehicleData(), std::int64_t firstRecord = 1,
                  std::int64_t lastRecord = INT64_MAX);

// ExportCsvFile for every format: the log at logPath (with its sidecar)
// into outPath, through a temporary file renamed into place once whole, and
// never onto the log itself.
ExportResult ExportLogFile(const std::string& logPath, const std::string& outPath,
                           const ExportOptions& options, const VehicleData& vehicle,
                           const RecordProblem& problem, const ExportProgress& progress = nullptr,
                           std::int64_t firstRecord = 1, std::int64_t lastRecord = INT64_MAX);

}  // namespace quarn
