#pragma once

#include <QString>

#include <vector>

#include "decode/Alarms.h"

namespace quarn {

// A value drawn across the plots of a channel: an alarm limit of the car in
// use, or a constant the user typed.
struct LimitLine {
    QString channel;  // as the viewer names it
    double value = 0;
    QString label;
    enum class Kind { Warn, Danger, User } kind = Kind::User;
    bool User() const { return kind == Kind::User; }
};

// The limits in force, on the viewer's channels: a two-sided dial's limit
// (EGT, HEGO) goes on both of its channels.
std::vector<LimitLine> AlarmLimitLines(const AlarmLimitSet& limits);
// A constant of the user's on a channel.
LimitLine UserLine(const QString& channel, double value);

}  // namespace quarn
