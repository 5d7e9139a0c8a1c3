#include "logging/LogExport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>

#include "decode/Conversion.h"
#include "decode/Frame.h"

namespace quarn {
namespace {

constexpr std::int32_t ChannelRecord::*kRawColumns[] = {
    &ChannelRecord::MafRaw,    &ChannelRecord::TpsRaw,        &ChannelRecord::EctRaw,
    &ChannelRecord::ActRaw,    &ChannelRecord::BoostRaw,      &ChannelRecord::WideO2Raw,
    &ChannelRecord::EgtLRaw,   &ChannelRecord::EgtRRaw,       &ChannelRecord::HegoLRaw,
    &ChannelRecord::HegoRRaw,  &ChannelRecord::RpmPeriod,     &ChannelRecord::SparkDelay,
    &ChannelRecord::InjOnTime, &ChannelRecord::MapPeriod,     &ChannelRecord::InjOnTime2,
    &ChannelRecord::VssPeriod, &ChannelRecord::VssPeriodPrev, &ChannelRecord::AccelInterval,
};

constexpr float ChannelRecord::*kFloatColumns[] = {
    &ChannelRecord::Mph,         &ChannelRecord::Rpm,        &ChannelRecord::MafVolts,
    &ChannelRecord::TpsVolts,    &ChannelRecord::EctF,       &ChannelRecord::ActF,
    &ChannelRecord::BapPressure, &ChannelRecord::BoostLevel, &ChannelRecord::WideO2,
    &ChannelRecord::EgtL,        &ChannelRecord::EgtR,       &ChannelRecord::HegoL,
    &ChannelRecord::HegoR,       &ChannelRecord::AdvanceDeg, &ChannelRecord::InjDuty,
    &ChannelRecord::InjPw,       &ChannelRecord::Rwhp,       &ChannelRecord::Rwtq,
};

constexpr const char* kHeader =
    "record,bad_checksum,MafRaw,TpsRaw,EctRaw,ActRaw,BoostRaw,WideO2Raw,EgtLRaw,EgtRRaw,"
    "HegoLRaw,HegoRRaw,RpmPeriod,SparkDelay,InjOnTime,MapPeriod,InjOnTime2,VssPeriod,"
    "VssPeriodPrev,AccelInterval,StatusFlags,Mph,Rpm,MafVolts,TpsVolts,EctF,ActF,BapPressure,"
    "BoostLevel,WideO2,EgtL,EgtR,HegoL,HegoR,AdvanceDeg,InjDuty,InjPw,Rwhp,Rwtq";

// Output is gathered in a buffer and written in large blocks.
constexpr std::size_t kFlushAt = 1 << 20;
constexpr std::size_t kMaxRowBytes = 1024;

template <typename T>
char* Put(char* p, T v) {
    return std::to_chars(p, p + 32, v).ptr;
}

}  // namespace

const char* CsvHeader() {
    return kHeader;
}

namespace {
constexpr std::int64_t kProgressEvery = 4096;
}  // namespace

LogScan ScanLog(LogReader& reader, const FrameVisitor& visit, const RecordProblem& problem,
                const ExportProgress& progress, const VehicleData& vehicle) {
    ScanRun run;
    return ScanLogFrom(reader, run, visit, problem, progress, vehicle);
}

LogScan ScanLogFrom(LogReader& reader, ScanRun& run, const FrameVisitor& visit,
                    const RecordProblem& problem, const ExportProgress& progress,
                    const VehicleData& vehicle) {
    LogScan scan;
    scan.records = reader.RecordCount();
    scan.trailingBytes = reader.TrailingBytes();

    ByteBuffer rxBuf;
    RecordStatus status{};
    reader.SeekNext(run.nextRecord);
    for (; reader.ReadNext(rxBuf, status); ++run.nextRecord) {
        const std::int64_t n = run.nextRecord;
        if (progress && n % kProgressEvery == 0 && !progress(n)) break;
        if (status == RecordStatus::Malformed) {
            ++scan.malformed;
            if (problem) problem(n, "malformed record header");
            continue;
        }
        if (status == RecordStatus::Short) {
            ++scan.shortRecords;
            if (problem)
                problem(n, "holds " + std::to_string(rxBuf.size()) + " frame bytes, not 38");
            continue;
        }
        FrameFault fault{};
        DecodeFrame(rxBuf, run.rec, &fault);
        const bool badChecksum = fault == FrameFault::Checksum;
        scan.badChecksum += badChecksum;
        ++scan.decoded;
        const ChannelRecord raw = run.rec;
        run.conversion.ComputeChannels(run.rec, vehicle);
        if (visit) visit(n, badChecksum, raw, run.rec);
    }
    return scan;
}

LogScan ExportCsv(LogReader& reader, std::FILE* out, const RecordProblem& problem,
                  const ExportProgress& progress, const VehicleData& vehicle,
                  std::int64_t firstRecord, std::int64_t lastRecord) {
    std::string buf;
    buf.reserve(kFlushAt + kMaxRowBytes);
    buf.append(kHeader).push_back('\n');
    char row[kMaxRowBytes];

    auto visit = [&](std::int64_t n, bool badChecksum, const ChannelRecord& raw,
                     const ChannelRecord& rec) {
        if (n < firstRecord || n > lastRecord) return;
        char* p = row;
        p = Put(p, n);
        *p++ = ',';
        *p++ = badChecksum ? '1' : '0';
        for (auto field : kRawColumns) {
            *p++ = ',';
            p = Put(p, raw.*field);
        }
        *p++ = ',';
        p = Put(p, static_cast<unsigned>(raw.StatusFlags));
        for (auto field : kFloatColumns) {
            *p++ = ',';
            p = Put(p, rec.*field);
        }
        *p++ = '\n';
        buf.append(row, p);
        if (buf.size() >= kFlushAt) {
            std::fwrite(buf.data(), 1, buf.size(), out);
            buf.clear();
        }
    };
    const LogScan scan = ScanLog(reader, visit, problem, progress, vehicle);
    std::fwrite(buf.data(), 1, buf.size(), out);
    std::fflush(out);
    return scan;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

ExportResult ExportCsvFile(const std::string& logPath, const std::string& csvPath,
                           const VehicleData& vehicle, const RecordProblem& problem,
                           const ExportProgress& progress, std::int64_t firstRecord,
                           std::int64_t lastRecord) {
    return ExportThroughTemp(
        logPath, csvPath,
        [&](LogReader& reader, std::FILE* out, const ExportProgress& keepGoing) {
            return ExportCsv(reader, out, problem, keepGoing, vehicle, firstRecord, lastRecord);
        },
        progress, lastRecord);
}

ExportResult ExportThroughTemp(const std::string& logPath, const std::string& outPath,
                               const ExportWrite& write, const ExportProgress& progress,
                               std::int64_t lastRecord) {
    ExportResult result;
    if (SameFile(logPath, outPath)) {
        result.outcome = ExportOutcome::SameAsInput;
        return result;
    }
    LogReader reader;
    if (!reader.Open(logPath, &result.error)) return result;

    // The temporary file sits beside the output so the rename stays within
    // one file system and replaces the old file in one step.
    const std::size_t slash = outPath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                                                          : outPath.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? outPath : outPath.substr(slash + 1);
    std::string temp = folder + (folder.back() == '/' ? "" : "/") + "." + base + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        result.error = temp + ": " + std::strerror(errno);
        return result;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    std::FILE* out = ::fdopen(fd, "wb");
    if (!out) {
        result.error = temp + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(temp.c_str());
        return result;
    }
    bool cancelled = false;
    result.scan = write(reader, out, [&](std::int64_t done) {
        if (progress && !progress(done)) cancelled = true;
        // Nothing after the range is written: the scan may stop there.
        return !cancelled && done <= lastRecord;
    });
    bool written = std::ferror(out) == 0 && std::fflush(out) == 0 && ::fsync(fd) == 0;
    const int writeErrno = errno;
    written = (std::fclose(out) == 0) && written;
    if (cancelled || !written) {
        if (!written && !cancelled)
            result.error = outPath + ": " + std::strerror(writeErrno ? writeErrno : errno);
        ::unlink(temp.c_str());
        result.outcome = cancelled ? ExportOutcome::Cancelled : ExportOutcome::Failed;
        return result;
    }
    if (::rename(temp.c_str(), outPath.c_str()) != 0) {
        result.error = outPath + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return result;
    }
    result.outcome = ExportOutcome::Written;
    return result;
}

}  // namespace quarn
