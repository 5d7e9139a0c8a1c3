#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "decode/Alarms.h"
#include "decode/ChannelRecord.h"
#include "decode/VehicleData.h"
#include "dyno/DynoInput.h"
#include "dyno/DynoPhysics.h"

namespace quarn {

// The channels a drive report summarises, in the order it lists them.
enum class DriveChannel {
    Rpm, Mph, Tps, Maf, Ect, Act, Bap, Boost, WideO2, EgtL, EgtR, HegoL, HegoR, Advance,
    InjDuty, InjPw, Count
};
inline constexpr int kDriveChannels = static_cast<int>(DriveChannel::Count);

struct DriveChannelInfo {
    const char* label;       // as the report prints it
    const char* viewerName;  // the viewer's and the export's name for it
    const char* unit;
    float ChannelRecord::*field;
    Gauge gauge;             // the dial whose bands count
};
const std::array<DriveChannelInfo, kDriveChannels>& DriveChannels();

// An alarm or a marker of the sidecar, placed on the log's clock.
struct DriveEvent {
    double seconds = 0;
    std::int64_t record = 0;
    QString kind;  // "alarm", "user", "selftest", ...
    QString name;
};

// A drive as the report reads it: the dyno's columns (which carry the raw
// speed-sensor words and the record times), every summarised channel, and
// what is known about the log and the car. Whoever holds the log fills it:
// the viewer from its table, quarn-log from the file.
struct DriveInput {
    DynoInput dyno;
    std::array<std::vector<float>, kDriveChannels> channels;
    // True when some record's time is estimated from the frame rate rather
    // than recorded in the sidecar.
    bool timesEstimated = true;
    double estimatedFrameRate = 1 / kDefaultSecondsPerRecord;
    QString logPath;
    QDateTime start;  // wall clock of record 1; invalid without a sidecar
    QString carName;
    QString carDescription;
    VehicleData vehicle;
    DynoVehicle dynoVehicle;
    AlarmLimitSet limits = DefaultAlarmLimits();
    std::vector<DriveEvent> events;

    std::size_t Size() const { return dyno.Size(); }
    const std::vector<float>& Column(DriveChannel c) const {
        return channels[static_cast<std::size_t>(c)];
    }
    void Reserve(std::size_t n);
    void Append(double record, double seconds, const ChannelRecord& rec);
    // The row of a record, or of the first row after it; Size() past the end.
    std::size_t RowOfRecord(std::int64_t record) const;
};

// Reads the log at path and its sidecar into a DriveInput, converting as
// the export does. Records without a sidecar time are spaced at frameRate.
// progress (done, total records) returning false cancels. Returns false
// with error set when the file cannot be read or the reading was cancelled.
using DriveProgress = std::function<bool(std::int64_t done, std::int64_t total)>;
bool LoadDriveInput(const QString& path, const VehicleData& vehicle, double frameRate,
                    DriveInput& out, QString* error, const DriveProgress& progress = nullptr);

// Adds the sidecar's markers, placed on the rows' clock.
void PlaceEvents(DriveInput& in, const std::vector<struct SidecarMarker>& markers);

}  // namespace quarn
