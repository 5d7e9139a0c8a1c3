// quarn-log: looks into log files without the dashboard.
//   quarn-log info FILE     record counts, problems and channel ranges
//   quarn-log export FILE   the records as CSV on stdout

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "Version.h"
#include "logging/LogExport.h"

namespace {

using quarn::ChannelRecord;

constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;
constexpr int kExitUsage = 2;
// A badly damaged file must not bury the terminal: name the first few
// problem records, then only count.
constexpr int kMaxProblemLines = 20;

void PrintHelp(std::FILE* to) {
    std::fprintf(to,
                 "Usage: quarn-log COMMAND FILE\n"
                 "\n"
                 "Commands:\n"
                 "  info FILE     number of records, frames failing the checksum, malformed\n"
                 "                records, trailing bytes, and the range of the main channels\n"
                 "  export FILE   CSV on stdout: a header row, then one row per record, each\n"
                 "                decoded and converted as playback does\n"
                 "\n"
                 "Options:\n"
                 "  -h, --help    show this text\n"
                 "  --version     show the version\n"
                 "\n"
                 "Exit status: 0 when every record could be read, 1 when the file cannot be\n"
                 "read or holds damaged records or trailing bytes, 2 for a usage error.\n");
}

class ProblemReporter {
public:
    explicit ProblemReporter(std::string file) : m_file(std::move(file)) {}
    void operator()(std::int64_t record, const std::string& why) {
        if (++m_count <= kMaxProblemLines)
            std::fprintf(stderr, "quarn-log: %s: record %lld: %s\n", m_file.c_str(),
                         static_cast<long long>(record), why.c_str());
    }
    void Finish(const quarn::LogScan& scan) const {
        if (m_count > kMaxProblemLines)
            std::fprintf(stderr, "quarn-log: %s: %lld more damaged records not listed\n",
                         m_file.c_str(), static_cast<long long>(m_count - kMaxProblemLines));
        if (scan.trailingBytes)
            std::fprintf(stderr,
                         "quarn-log: %s: %lld bytes after record %lld do not make a whole "
                         "record and were ignored\n",
                         m_file.c_str(), static_cast<long long>(scan.trailingBytes),
                         static_cast<long long>(scan.records));
    }

private:
    std::string m_file;
    std::int64_t m_count = 0;
};

struct Range {
    const char* name;
    float ChannelRecord::*field;
    float lo = std::numeric_limits<float>::infinity();
    float hi = -std::numeric_limits<float>::infinity();
};

bool OpenLog(quarn::LogReader& reader, const char* file) {
    std::string error;
    if (reader.Open(file, &error)) return true;
    std::fprintf(stderr, "quarn-log: cannot open %s\n", error.c_str());
    return false;
}

int Info(const char* file) {
    quarn::LogReader reader;
    if (!OpenLog(reader, file)) return kExitBadInput;

    Range ranges[] = {
        {"Rpm", &ChannelRecord::Rpm},
        {"Mph", &ChannelRecord::Mph},
        {"TpsVolts", &ChannelRecord::TpsVolts},
        {"MafVolts", &ChannelRecord::MafVolts},
        {"EctF", &ChannelRecord::EctF},
        {"BoostLevel", &ChannelRecord::BoostLevel},
        {"AdvanceDeg", &ChannelRecord::AdvanceDeg},
        {"InjDuty", &ChannelRecord::InjDuty},
    };
    auto visit = [&](std::int64_t, bool, const ChannelRecord&, const ChannelRecord& rec) {
        for (Range& r : ranges) {
            r.lo = std::min(r.lo, rec.*r.field);
            r.hi = std::max(r.hi, rec.*r.field);
        }
    };
    ProblemReporter reporter(file);
    const quarn::LogScan scan = quarn::ScanLog(reader, visit, std::ref(reporter));
    reporter.Finish(scan);

    std::printf("file: %s\n", file);
    std::printf("records: %lld\n", static_cast<long long>(scan.records));
    std::printf("bad checksum: %lld\n", static_cast<long long>(scan.badChecksum));
    std::printf("malformed records: %lld\n", static_cast<long long>(scan.malformed));
    std::printf("short records: %lld\n", static_cast<long long>(scan.shortRecords));
    std::printf("trailing bytes: %lld\n", static_cast<long long>(scan.trailingBytes));
    std::printf("range:");
    if (scan.decoded == 0) std::printf(" no frames");
    for (const Range& r : ranges)
        if (scan.decoded) std::printf(" %s %.6g..%.6g", r.name, r.lo, r.hi);
    std::printf("\n");
    return scan.Clean() ? kExitOk : kExitBadInput;
}

int Export(const char* file) {
    quarn::LogReader reader;
    if (!OpenLog(reader, file)) return kExitBadInput;
    ProblemReporter reporter(file);
    const quarn::LogScan scan = quarn::ExportCsv(reader, stdout, std::ref(reporter));
    reporter.Finish(scan);
    if (std::ferror(stdout)) {
        std::fprintf(stderr, "quarn-log: writing the export failed: %s\n", std::strerror(errno));
        return kExitBadInput;
    }
    return scan.Clean() ? kExitOk : kExitBadInput;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
        PrintHelp(stdout);
        return kExitOk;
    }
    if (argc >= 2 && !std::strcmp(argv[1], "--version")) {
        std::printf("quarn-log %s\n", quarn::kVersionText);
        return kExitOk;
    }
    if (argc != 3) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    if (!std::strcmp(argv[1], "info")) return Info(argv[2]);
    if (!std::strcmp(argv[1], "export")) return Export(argv[2]);
    std::fprintf(stderr, "quarn-log: unknown command \"%s\"\n\n", argv[1]);
    PrintHelp(stderr);
    return kExitUsage;
}
