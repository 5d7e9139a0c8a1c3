// Fuzzes the log reader with whole files: random access, sequential reading
// and the export must stay inside the records and never crash.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "logging/LogExport.h"
#include "logging/LogFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/quarn-fuzz-log-" + std::to_string(::getpid()) + ".qz0";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    quarn::LogReader reader;
    if (!reader.Open(path)) return 0;
    if (reader.RecordCount() * quarn::kRecordBytes + reader.TrailingBytes() !=
        static_cast<std::int64_t>(size))
        std::abort();
    quarn::ByteBuffer rx;
    for (std::int64_t n = 0; n <= reader.RecordCount() + 1; ++n) {
        const quarn::RecordStatus status = reader.Read(n, rx);
        if (rx.size() > static_cast<std::size_t>(quarn::kRecordMaxFrameBytes)) std::abort();
        if (status == quarn::RecordStatus::Ok && rx.size() != 38) std::abort();
    }
    std::FILE* devnull = std::fopen("/dev/null", "w");
    quarn::LogReader again;
    again.Open(path);
    const quarn::LogScan scan = quarn::ExportCsv(again, devnull, nullptr);
    std::fclose(devnull);
    if (scan.decoded + scan.malformed + scan.shortRecords != scan.records) std::abort();
    return 0;
}
