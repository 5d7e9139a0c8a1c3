#include "logging/LogExport.h"

#include <charconv>
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
                const ExportProgress& progress) {
    LogScan scan;
    scan.records = reader.RecordCount();
    scan.trailingBytes = reader.TrailingBytes();

    Conversion conversion;
    const VehicleData vehicle;
    ChannelRecord rec;
    ByteBuffer rxBuf;
    RecordStatus status{};
    for (std::int64_t n = 1; reader.ReadNext(rxBuf, status); ++n) {
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
        DecodeFrame(rxBuf, rec, &fault);
        const bool badChecksum = fault == FrameFault::Checksum;
        scan.badChecksum += badChecksum;
        ++scan.decoded;
        const ChannelRecord raw = rec;
        conversion.ComputeChannels(rec, vehicle);
        if (visit) visit(n, badChecksum, raw, rec);
    }
    return scan;
}

LogScan ExportCsv(LogReader& reader, std::FILE* out, const RecordProblem& problem,
                  const ExportProgress& progress) {
    std::string buf;
    buf.reserve(kFlushAt + kMaxRowBytes);
    buf.append(kHeader).push_back('\n');
    char row[kMaxRowBytes];

    auto visit = [&](std::int64_t n, bool badChecksum, const ChannelRecord& raw,
                     const ChannelRecord& rec) {
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
    const LogScan scan = ScanLog(reader, visit, problem, progress);
    std::fwrite(buf.data(), 1, buf.size(), out);
    std::fflush(out);
    return scan;
}

}  // namespace quarn
