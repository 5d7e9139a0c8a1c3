#include "report/DriveInput.h"

#include <algorithm>

#include "logging/LogExport.h"
#include "logging/LogSidecar.h"

namespace quarn {

const std::array<DriveChannelInfo, kDriveChannels>& DriveChannels() {
    static const std::array<DriveChannelInfo, kDriveChannels> channels{{
        {"RPM", "RPM", "rpm", &ChannelRecord::Rpm, Gauge::Tach},
        {"Speed", "MPH", "mph", &ChannelRecord::Mph, Gauge::Speedo},
        {"TPS", "TPS", "V", &ChannelRecord::TpsVolts, Gauge::TPS},
        {"MAF", "MAF", "V", &ChannelRecord::MafVolts, Gauge::MAF},
        {"ECT", "ECT", "\u00b0F", &ChannelRecord::EctF, Gauge::ECT},
        {"ACT", "ACT", "\u00b0F", &ChannelRecord::ActF, Gauge::ACT},
        {"BAP", "BAP", "inHg", &ChannelRecord::BapPressure, Gauge::BAP},
        {"Boost", "Boost", "psi", &ChannelRecord::BoostLevel, Gauge::Boost},
        {"Wide O2", "WideO2", "AFR", &ChannelRecord::WideO2, Gauge::WideBand},
        {"EGT left", "EGTL", "\u00b0F", &ChannelRecord::EgtL, Gauge::EGT},
        {"EGT right", "EGTR", "\u00b0F", &ChannelRecord::EgtR, Gauge::EGT},
        {"HEGO left", "HEGOL", "V", &ChannelRecord::HegoL, Gauge::HEGO},
        {"HEGO right", "HEGOR", "V", &ChannelRecord::HegoR, Gauge::HEGO},
        {"Advance", "Advance", "\u00b0", &ChannelRecord::AdvanceDeg, Gauge::Advance},
        {"Inj duty", "InjDuty", "%", &ChannelRecord::InjDuty, Gauge::DutyCycle},
        {"Inj PW", "InjPW", "ms", &ChannelRecord::InjPw, Gauge::INJPW},
    }};
    return channels;
}

void DriveInput::Reserve(std::size_t n) {
    dyno.Reserve(n);
    for (auto& c : channels) c.reserve(n);
}

void DriveInput::Append(double record, double seconds, const ChannelRecord& rec) {
    dyno.Append(record, seconds, rec);
    for (int c = 0; c < kDriveChannels; ++c)
        channels[static_cast<std::size_t>(c)].push_back(
            rec.*DriveChannels()[static_cast<std::size_t>(c)].field);
}

std::size_t DriveInput::RowOfRecord(std::int64_t record) const {
    const auto& r = dyno.Record;
    return static_cast<std::size_t>(
        std::lower_bound(r.begin(), r.end(), static_cast<double>(record)) - r.begin());
}

void PlaceEvents(DriveInput& in, const std::vector<SidecarMarker>& markers) {
    for (const SidecarMarker& m : markers) {
        DriveEvent e;
        e.record = m.record;
        e.kind = m.kind;
        e.name = m.name;
        const std::size_t row = in.RowOfRecord(std::max<std::int64_t>(m.record, 1));
        if (row < in.Size())
            e.seconds = in.dyno.Seconds[row];
        else if (in.Size())
            e.seconds = in.dyno.Seconds.back();
        in.events.push_back(e);
    }
}

bool LoadDriveInput(const QString& path, const VehicleData& vehicle, double frameRate,
                    DriveInput& out, QString* error, const DriveProgress& progress) {
    LogReader reader;
    std::string why;
    if (!reader.Open(path.toStdString(), &why)) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    const std::int64_t total = reader.RecordCount();
    const SidecarContents sidecar = ReadSidecar(path, total);
    out = DriveInput();
    out.logPath = path;
    out.vehicle = vehicle;
    out.estimatedFrameRate = frameRate > 0 ? frameRate : 1 / kDefaultSecondsPerRecord;
    out.start = sidecar.markersOnly ? QDateTime() : sidecar.start;
    out.Reserve(static_cast<std::size_t>(total));
    bool estimated = false;
    ScanRun run;
    auto visit = [&](std::int64_t record, bool, const ChannelRecord&, const ChannelRecord& rec) {
        const auto known = static_cast<std::int64_t>(sidecar.times.size());
        double seconds;
        if (record <= known) {
            seconds = sidecar.times[static_cast<std::size_t>(record - 1)];
        } else {
            estimated = true;
            // Past the sidecar's last time, records go on at the frame rate.
            const double base = known > 0 ? sidecar.times.back() : 0;
            seconds = base + static_cast<double>(record - std::max<std::int64_t>(known, 1)) /
                                 out.estimatedFrameRate;
        }
        out.Append(static_cast<double>(record), seconds, rec);
    };
    bool cancelled = false;
    ExportProgress step;
    if (progress)
        step = [&](std::int64_t done) { return !(cancelled = !progress(done, total)); };
    ScanLogFrom(reader, run, visit, nullptr, step, vehicle);
    if (cancelled) {
        if (error) *error = QStringLiteral("Reading the log was cancelled.");
        return false;
    }
    out.timesEstimated = estimated || sidecar.times.empty();
    PlaceEvents(out, sidecar.markers);
    return true;
}

}  // namespace quarn
