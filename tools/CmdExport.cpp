// quarn-log export: a log's records in one of the export formats, on
// standard output or, with -o, through a temporary file renamed into place.

#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <functional>

#include "logging/TravelExport.h"
#include "tools/QuarnLog.h"

namespace quarn::cli {
namespace {

// Whether standard output is the file itself ("export x >> x").
bool OutputIsInput(const std::string& file) {
    struct stat out {}, in {};
    return ::fstat(STDOUT_FILENO, &out) == 0 && ::stat(file.c_str(), &in) == 0 &&
           S_ISREG(out.st_mode) && out.st_dev == in.st_dev && out.st_ino == in.st_ino;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Suffix(ExportFormat format) {
    return format == ExportFormat::Msl ? ".msl" : format == ExportFormat::Mlg ? ".mlg" : ".csv";
}

struct Job {
    ExportOptions options;
    RecordRange range;
    const VehicleData* vehicle = nullptr;
};

// Records in the log, or -1 after saying why it cannot be read.
std::int64_t CountRecords(const std::string& file) {
    LogReader reader;
    std::string error;
    if (!reader.Open(file, &error)) {
        Complain("cannot open " + error);
        return -1;
    }
    return reader.RecordCount();
}

int ToStdout(const std::string& file, const Job& job) {
    if (OutputIsInput(file)) {
        Complain(file + ": the export would be written onto the log itself; use -o FILE");
        return kExitBadInput;
    }
    LogReader reader;
    std::string error;
    if (!reader.Open(file, &error)) {
        Complain("cannot open " + error);
        return kExitBadInput;
    }
    std::string why;
    if (!RangeFits(job.range, reader.RecordCount(), why)) return Usage(file + ": " + why);
    const QString log = QFile::decodeName(QByteArray::fromStdString(file));
    const RecordTimes times =
        RecordTimes::Read(log, reader.RecordCount(), job.options.estimatedFrameRate);
    TravelSource source;
    source.logName = QFileInfo(log).fileName().toStdString();
    ProblemReporter reporter(file);
    const LogScan scan = ExportLog(reader, times, stdout, job.options, source, std::ref(reporter),
                                   nullptr, *job.vehicle, job.range.first, job.range.last);
    reporter.Finish(scan);
    if (std::ferror(stdout)) {
        Complain(std::string("writing the export failed: ") + std::strerror(errno));
        return kExitBadInput;
    }
    return scan.Clean() ? kExitOk : kExitBadInput;
}

int ToFile(const std::string& file, const std::string& out, const Job& job) {
    const std::int64_t records = CountRecords(file);
    if (records < 0) return kExitBadInput;
    std::string why;
    if (!RangeFits(job.range, records, why)) return Usage(file + ": " + why);
    ProblemReporter reporter(file);
    const ExportResult result = ExportLogFile(file, out, job.options, *job.vehicle,
                                              std::ref(reporter), nullptr, job.range.first,
                                              job.range.last);
    switch (result.outcome) {
        case ExportOutcome::SameAsInput:
            return Usage(out + ": is the log itself; the export is never written onto its log");
        case ExportOutcome::Failed:
            Complain("the export was not written: " + result.error);
            return kExitBadInput;
        case ExportOutcome::Cancelled:
            return kExitBadInput;
        case ExportOutcome::Written:
            break;
    }
    reporter.Finish(result.scan);
    return result.scan.Clean() ? kExitOk : kExitBadInput;
}

}  // namespace

int RunExport(const Args& args, const VehicleData& vehicle) {
    if (args.positional.empty()) return Usage("export: name a log");
    Job job;
    job.vehicle = &vehicle;
    const std::string format = args.Value("format", "csv");
    if (!ParseExportFormat(format, job.options.format))
        return Usage("export: unknown format \"" + format + "\"; csv, csv-units, msl or mlg");
    job.options.estimatedFrameRate = FrameRateOption(args);
    const bool european = args.Has("separator") || args.Has("decimal-comma");
    if (european && job.options.format != ExportFormat::CsvUnits)
        return Usage("export: --separator and --decimal-comma are for --format csv-units");
    if (args.Has("separator")) {
        const std::string sep = args.Value("separator");
        if (sep.size() != 1 || sep == "\"" || sep == "\n")
            return Usage("export: --separator takes one character, such as ';'");
        job.options.separator = sep[0];
    }
    job.options.decimalComma = args.Has("decimal-comma");
    if (job.options.decimalComma && job.options.separator == ',')
        return Usage("export: decimal commas need another separator: add --separator ';'");
    if (args.Has("range")) {
        std::string why;
        if (!ParseRange(args.Value("range"), job.range, why)) return Usage(why);
    }

    if (!args.Has("o")) {
        if (args.positional.size() > 1)
            return Usage("export: several logs need -o FOLDER, one file each");
        return ToStdout(args.positional.front(), job);
    }
    const std::string out = args.Value("o");
    if (args.positional.size() == 1 && !IsFolder(out)) return ToFile(args.positional.front(), out, job);
    if (!IsFolder(out)) return Usage("export: with several logs, -o names a folder");
    int exit = kExitOk;
    for (const std::string& file : args.positional) {
        const std::string name = QFileInfo(QString::fromStdString(file)).completeBaseName().toStdString();
        exit = std::max(exit, ToFile(file, out + "/" + name + Suffix(job.options.format), job));
    }
    return exit;
}

}  // namespace quarn::cli
