// quarn-log: looks into log files without the dashboard.
//   quarn-log info FILE                          record counts, problems and channel ranges
//   quarn-log export [--vehicle FILE.vf] FILE    the records as CSV on stdout

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "Version.h"
#include "logging/LogExport.h"
#include "settings/VehicleFile.h"

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
                 "Usage: quarn-log COMMAND [--vehicle FILE.vf] FILE\n"
                 "\n"
                 "Commands:\n"
                 "  info FILE          number of records, frames failing the checksum,\n"
                 "                     malformed records, trailing bytes, and the range of the\n"
                 "                     main channels over the frames that pass their checksum\n"
                 "  export FILE        CSV on stdout: a header row, then one row per record,\n"
                 "                     each decoded and converted as playback does\n"
                 "\n"
                 "Options:\n"
                 "  --vehicle FILE.vf  convert with the car of this vehicle file instead of\n"
                 "                     the default car (3500 lb, 36 lb/hr injectors,\n"
                 "                     8 cylinders)\n"
                 "  -h, --help         show this text\n"
                 "  --version          show the version\n"
                 "\n"
                 "Exit status:\n"
                 "  0 when every record could be read, 1 when the file cannot be read or holds\n"
                 "  damaged records or trailing bytes, 2 for a usage error.\n");
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

int Info(const char* file, const quarn::VehicleData& vehicle) {
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
    // A frame that fails its checksum holds garbage words: it is counted
    // but never sets a range.
    std::int64_t good = 0;
    auto visit = [&](std::int64_t, bool badChecksum, const ChannelRecord&,
                     const ChannelRecord& rec) {
        if (badChecksum) return;
        ++good;
        for (Range& r : ranges) {
            r.lo = std::min(r.lo, rec.*r.field);
            r.hi = std::max(r.hi, rec.*r.field);
        }
    };
    ProblemReporter reporter(file);
    const quarn::LogScan scan = quarn::ScanLog(reader, visit, std::ref(reporter), nullptr, vehicle);
    reporter.Finish(scan);

    std::printf("file: %s\n", file);
    std::printf("records: %lld\n", static_cast<long long>(scan.records));
    std::printf("bad checksum: %lld\n", static_cast<long long>(scan.badChecksum));
    std::printf("malformed records: %lld\n", static_cast<long long>(scan.malformed));
    std::printf("short records: %lld\n", static_cast<long long>(scan.shortRecords));
    std::printf("trailing bytes: %lld\n", static_cast<long long>(scan.trailingBytes));
    std::printf("range:");
    if (good == 0) std::printf(" no frames");
    for (const Range& r : ranges)
        if (good) std::printf(" %s %.6g..%.6g", r.name, r.lo, r.hi);
    std::printf("\n");
    return scan.Clean() ? kExitOk : kExitBadInput;
}

// Whether standard output is the file itself ("export x >> x").
bool OutputIsInput(const char* file) {
    struct stat out {}, in {};
    return ::fstat(STDOUT_FILENO, &out) == 0 && ::stat(file, &in) == 0 &&
           S_ISREG(out.st_mode) && out.st_dev == in.st_dev && out.st_ino == in.st_ino;
}

int Export(const char* file, const quarn::VehicleData& vehicle) {
    if (OutputIsInput(file)) {
        std::fprintf(stderr, "quarn-log: %s: the export would be written onto the log itself\n",
                     file);
        return kExitBadInput;
    }
    quarn::LogReader reader;
    if (!OpenLog(reader, file)) return kExitBadInput;
    ProblemReporter reporter(file);
    const quarn::LogScan scan =
        quarn::ExportCsv(reader, stdout, std::ref(reporter), nullptr, vehicle);
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
    quarn::VehicleData vehicle;
    if (argc == 5 && !std::strcmp(argv[2], "--vehicle")) {
        quarn::VehicleFile car;
        QString error;
        if (!quarn::ReadVehicleFile(QString::fromLocal8Bit(argv[3]), car, error)) {
            std::fprintf(stderr, "quarn-log: %s: %s\n", argv[3], error.toLocal8Bit().constData());
            return kExitBadInput;
        }
        // The file's numbers passed the same checks as the setters make.
        vehicle.SetWeight(quarn::VehicleNumberText(car.weight).toStdString());
        vehicle.SetInjSize(quarn::VehicleNumberText(car.injsize).toStdString());
        vehicle.SetNumCyl(quarn::VehicleNumberText(car.numcyl).toStdString());
        argv[2] = argv[4];
        argc = 3;
    }
    if (argc != 3) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    if (!std::strcmp(argv[1], "info")) return Info(argv[2], vehicle);
    if (!std::strcmp(argv[1], "export")) return Export(argv[2], vehicle);
    std::fprintf(stderr, "quarn-log: unknown command \"%s\"\n\n", argv[1]);
    PrintHelp(stderr);
    return kExitUsage;
}
