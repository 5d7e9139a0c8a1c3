#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "decode/Alarms.h"
#include "settings/VehicleFile.h"

namespace quarn {

// The alarm limits of a car in its vehicle file, one line per channel:
//
//   limit.ect=off,200,off,230
//
// warn low, warn high, danger low, danger high, each a number or "off". A
// channel without a line keeps its default limits. A line with a wrong
// channel, a field that is neither a number nor "off", limits that cannot
// be used together (LimitsProblem) or a channel given twice is reported by
// its line number and leaves that channel at its defaults; the rest of the
// file still loads.

// Whether key is a limit key; if so its line is read into car.limits, or
// told in car.limitProblems. seen holds the limit keys read so far.
bool ReadLimitKey(const QString& key, const QString& value, int line, QStringList& seen,
                  VehicleFile& car);

// The refused limit lines as a message lists them: the first few, one a
// line, then how many more there are, so that a file of thousands of bad
// lines still makes a box that fits the screen.
inline constexpr int kListedLimitProblems = 10;
QString LimitProblemsText(const QStringList& problems);

// The limit lines of every channel, after a comment that explains them.
QByteArray FormatLimitKeys(const AlarmLimitSet& limits);

// One limit as the file and the Limits window write it: a number, or "off".
QString LimitText(const std::optional<double>& limit);
// The reverse; false for a text that is neither. An empty text is "off".
bool ParseLimitText(const QString& text, std::optional<double>& limit);

}  // namespace quarn
