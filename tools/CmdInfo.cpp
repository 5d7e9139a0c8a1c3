// quarn-log info: what a log holds, from its records and its sidecar.

#include <QFile>
#include <QJsonArray>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>

#include "logging/RecordTimes.h"
#include "tools/QuarnLog.h"

namespace quarn::cli {
namespace {

struct Range {
    const char* name;
    float ChannelRecord::*field;
    float lo = std::numeric_limits<float>::infinity();
    float hi = -std::numeric_limits<float>::infinity();
};

int InfoOf(const std::string& file, const Args& args, const VehicleData& vehicle) {
    LogReader reader;
    std::string error;
    if (!reader.Open(file, &error)) {
        Complain("cannot open " + error);
        return kExitBadInput;
    }
    Range ranges[] = {
        {"Rpm", &ChannelRecord::Rpm},         {"Mph", &ChannelRecord::Mph},
        {"TpsVolts", &ChannelRecord::TpsVolts}, {"MafVolts", &ChannelRecord::MafVolts},
        {"EctF", &ChannelRecord::EctF},       {"BoostLevel", &ChannelRecord::BoostLevel},
        {"AdvanceDeg", &ChannelRecord::AdvanceDeg}, {"InjDuty", &ChannelRecord::InjDuty},
    };
    // A frame that fails its checksum holds garbage words, and one still
    // warming up start-up values: both are counted but never set a range.
    std::int64_t good = 0, warmingUp = 0, lastRecord = 0;
    ScanRun run;
    auto visit = [&](std::int64_t n, bool badChecksum, const ChannelRecord&,
                     const ChannelRecord& rec) {
        lastRecord = n;
        if (run.conversion.WarmingUp()) {
            ++warmingUp;
            return;
        }
        if (badChecksum) return;
        ++good;
        for (Range& r : ranges) {
            r.lo = std::min(r.lo, rec.*r.field);
            r.hi = std::max(r.hi, rec.*r.field);
        }
    };
    ProblemReporter reporter(file);
    const LogScan scan = ScanLogFrom(reader, run, visit, std::ref(reporter), nullptr, vehicle);
    reporter.Finish(scan);

    const RecordTimes times = RecordTimes::Read(QFile::decodeName(QByteArray::fromStdString(file)),
                                                scan.records, FrameRateOption(args));
    const double duration = lastRecord > 0 ? times.SecondsOf(lastRecord) : 0;
    const bool estimated = times.Estimated(lastRecord);
    const QString start = times.Start().isValid() ? times.Start().toString(Qt::ISODateWithMs) : QString();

    if (args.Json()) {
        QJsonObject o;
        o["file"] = QString::fromStdString(file);
        o["records"] = static_cast<double>(scan.records);
        o["badChecksum"] = static_cast<double>(scan.badChecksum);
        o["malformed"] = static_cast<double>(scan.malformed);
        o["shortRecords"] = static_cast<double>(scan.shortRecords);
        o["trailingBytes"] = static_cast<double>(scan.trailingBytes);
        o["warmingUp"] = static_cast<double>(warmingUp);
        o["durationSeconds"] = duration;
        o["durationEstimated"] = estimated;
        o["start"] = start.isEmpty() ? QJsonValue() : QJsonValue(start);
        if (!times.Problem().isEmpty()) o["sidecarProblem"] = times.Problem();
        QJsonArray markers;
        for (const SidecarMarker& m : times.Markers())
            markers.append(QJsonObject{{"record", static_cast<double>(m.record)},
                                       {"seconds", times.SecondsOf(m.record)},
                                       {"kind", m.kind},
                                       {"name", m.name}});
        o["markers"] = markers;
        QJsonObject rangeObject;
        if (good)
            for (const Range& r : ranges)
                rangeObject[r.name] = QJsonArray{static_cast<double>(r.lo), static_cast<double>(r.hi)};
        o["range"] = rangeObject;
        PrintJson(o);
    } else {
        std::printf("file: %s\n", file.c_str());
        std::printf("records: %lld\n", static_cast<long long>(scan.records));
        std::printf("bad checksum: %lld\n", static_cast<long long>(scan.badChecksum));
        std::printf("malformed records: %lld\n", static_cast<long long>(scan.malformed));
        std::printf("short records: %lld\n", static_cast<long long>(scan.shortRecords));
        std::printf("trailing bytes: %lld\n", static_cast<long long>(scan.trailingBytes));
        std::printf("warming up: %lld\n", static_cast<long long>(warmingUp));
        std::printf("range:");
        if (good == 0) std::printf(" no frames");
        for (const Range& r : ranges)
            if (good) std::printf(" %s %.6g..%.6g", r.name, r.lo, r.hi);
        std::printf("\n");
        std::printf("start: %s\n", start.isEmpty() ? "unknown" : start.toUtf8().constData());
        std::printf("duration: %.3f s%s\n", duration,
                    estimated ? " (estimated at the frame rate)" : "");
        if (!times.Problem().isEmpty())
            std::printf("sidecar: left out, %s\n", times.Problem().toUtf8().constData());
        std::printf("markers: %zu\n", times.Markers().size());
        for (const SidecarMarker& m : times.Markers())
            std::printf("  record %lld at %.3f s: %s %s\n", static_cast<long long>(m.record),
                        times.SecondsOf(m.record), m.kind.toUtf8().constData(),
                        m.name.toUtf8().constData());
    }
    return scan.Clean() ? kExitOk : kExitBadInput;
}

}  // namespace

int RunInfo(const Args& args, const VehicleData& vehicle) {
    if (args.positional.empty()) return Usage("info: name at least one log");
    int exit = kExitOk;
    for (const std::string& file : args.positional) exit = std::max(exit, InfoOf(file, args, vehicle));
    return exit;
}

}  // namespace quarn::cli
