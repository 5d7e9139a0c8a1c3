#pragma once

#include <QLatin1String>
#include <QStringView>

#include <array>
#include <cstdint>

#include "decode/ChannelRecord.h"

namespace quarn {

// The channels a scope window can plot, in the order its list shows them.
// The names are compared exactly: "rpm" is not "RPM".
inline constexpr std::array<QLatin1String, 16> kScopeChannelNames{
    QLatin1String("RPM"),     QLatin1String("MPH"),     QLatin1String("HEGOL"),
    QLatin1String("HEGOR"),   QLatin1String("INJDUTY"), QLatin1String("RWHP"),
    QLatin1String("RWTQ"),    QLatin1String("MAF"),     QLatin1String("TPS"),
    QLatin1String("WIDEO2"),  QLatin1String("EGTR"),    QLatin1String("EGTL"),
    QLatin1String("ECT"),     QLatin1String("ACT"),     QLatin1String("BOOST"),
    QLatin1String("ADVANCE"),
};

// Position of name in kScopeChannelNames, or -1 when it is none of them.
int ScopeChannelIndex(QStringView name);

// The value a scope plots for the channel at index; 0 for an index outside
// the table.
float ScopeChannelValue(const ChannelRecord& rec, int index);

// The value a scope plots for the channel called name; a name that is not in
// the table plots 0.
float ScopeChannelValue(const ChannelRecord& rec, QStringView name);

// Seconds per day; the time of day starts again from 0 at midnight.
inline constexpr double kSecondsPerDay = 86400;

// The time axis of the scopes: seconds since startSeconds, the whole second
// of the time of day at which monitoring or playback began. Past midnight the
// time of day starts again from 0; the day is added back so the axis runs on
// instead of jumping back by a day. Because startSeconds is rounded to the
// nearest second, the first frames may come up to half a second before it:
// only a difference of more than half a day back counts as a midnight, so
// those frames keep their small negative times. A run longer than a day
// wraps once a day.
double ScopeTime(double timeOfDay, std::int32_t startSeconds);

}  // namespace quarn
