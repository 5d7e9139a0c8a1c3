#pragma once

#include <QDateTime>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "decode/ChannelRecord.h"
#include "logging/ExportFormats.h"

namespace quarn {

struct ExportColumn;

// One writer per travelling format, fed in record order. Each appends to
// out; the caller writes out to the file whenever it has grown.
class TravelWriter {
public:
    struct Header {
        std::string logName;
        QDateTime start;         // invalid when the sidecar gave none
        bool timesEstimated = false;
        double frameRate = 0;    // of the estimate
        // After the log's channels; they must outlive the writer.
        std::span<const ExportColumn> extra;
    };
    virtual ~TravelWriter() = default;
    virtual void Begin(const Header& header, std::string& out) = 0;
    virtual void Row(std::int64_t record, double seconds, const ChannelRecord& rec,
                     std::string& out) = 0;
    virtual void Marker(double seconds, int id, const std::string& text, std::string& out) = 0;
};

// The writer of a format other than Csv.
std::unique_ptr<TravelWriter> MakeTravelWriter(const ExportOptions& options);

}  // namespace quarn
