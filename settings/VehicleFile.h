#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "decode/Alarms.h"
#include "decode/VehicleData.h"

namespace quarn {

// One car as the session properties window keeps it in a vehicle file
// (".vf"), so a user enters a car once.
//
// The file is UTF-8 text, one "key=value" line per field:
//
//   # Quarn Dash vehicle file
//   name=1989 Mustang GT
//   description=Stock 5.0, 36 lb injectors\nLogged at the strip
//   weight=3500
//   injsize=36
//   numcyl=8
//   cda=0.7
//   crr=0.015
//
// Blank lines and lines starting with "#" are ignored, blanks around the key
// and the value are dropped, and a line may end in CR LF. In name and
// description "\n" stands for a line break, "\r" for a carriage return and
// "\\" for a backslash. weight (lb), injsize (lb/hr) and numcyl must be
// present and pass the same checks as the boxes of the window; name and
// description may be missing (empty). Keys this version does not know are
// skipped, so a newer file still loads. A key given twice, a line without
// "=", a value out of range, bytes that are not UTF-8 text or a file over
// 64 KiB make the whole file refused. The dyno's cda (m²) and crr came
// later: they pass the same checks when present, and a file without them
// (an older one) gives the defaults.
//
// The car's alarm limits follow as "limit.<dial>=" lines (VehicleLimitKeys.h);
// a bad limit line is reported and skipped, and the rest still loads.
struct VehicleFile {
    QString name;
    QString description;
    double weight = VehicleData::kDefaultWeight;
    double injsize = VehicleData::kDefaultInjSize;
    double numcyl = VehicleData::kDefaultNumCyl;
    double cda = VehicleData::kDefaultCdA;
    double crr = VehicleData::kDefaultCrr;
    AlarmLimitSet limits = DefaultAlarmLimits();
    // The limit lines that were refused, by line, as the user is told them.
    QStringList limitProblems;

    bool operator==(const VehicleFile&) const = default;
};

inline constexpr qint64 kMaxVehicleFileBytes = 64 * 1024;

// A number in its shortest decimal form that reads back exactly, in any
// locale: 3500 gives "3500", 36.5 gives "36.5".
QString VehicleNumberText(double v);

// The text of a vehicle file; numbers as VehicleNumberText writes them.
QByteArray FormatVehicleFile(const VehicleFile& car);

// Reads the text of a vehicle file into car. On a refusal returns false,
// leaves car untouched and says why in error (one sentence, no file name).
bool ParseVehicleFile(const QByteArray& text, VehicleFile& car, QString& error);

// The same for a file on disk. A failed read leaves car untouched.
bool ReadVehicleFile(const QString& path, VehicleFile& car, QString& error);

// Writes the file through a temporary file renamed into place, so a failed
// write never leaves a half-written car behind or damages the old file.
bool WriteVehicleFile(const QString& path, const VehicleFile& car, QString& error);

}  // namespace quarn
