#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "dyno/DynoInput.h"

namespace quarn {

// Road speed from the raw speed-sensor periods, each reading dated to the
// middle of the period it measured. A period ends at a pulse that came
// after the frame before and no longer ago than one period, so the pulse
// is placed midway in that window and the reading half a period before it.
// The Mph channel is not used: its six-frame mean lags by about 0.2 s.
struct SpeedReading {
    double seconds = 0;   // on the log's clock
    double mph = 0;
    bool moving = false;  // false: the sensor read stopped (below about 6.4 mph)
    std::size_t row = 0;
};
// Readings of rows [in.warmUp, end): one per new period, one per stopped row.
std::vector<SpeedReading> SpeedReadings(const DynoInput& in);

// One threshold time of a run: from fromMph to toMph, seconds < 0 when the
// run did not get there.
struct AccelTime {
    std::string label;  // "0–60 mph", "60–130 km/h"
    double fromMph = 0;
    double toMph = 0;
    double seconds = -1;
    double startSeconds = 0;  // on the log's clock, where the time began
};

// An acceleration from standstill, found by itself in the log.
struct StandingRun {
    int number = 0;
    // The moment of launch, extrapolated back from the first readings, and
    // what it stands on.
    double launchSeconds = 0;
    double firstReadingSeconds = 0;
    double firstReadingMph = 0;
    double launchAccelMphPerSecond = 0;  // of the fit to the first readings
    std::vector<AccelTime> times;        // 0–30, 0–60, 0–100 km/h, 0–60 mph
    double eighthSeconds = -1, eighthTrapMph = -1;
    double quarterSeconds = -1, quarterTrapMph = -1;
    double topMph = 0;
    double endSeconds = 0;
    double Extrapolated() const { return firstReadingSeconds - launchSeconds; }
};

struct AccelerationResult {
    std::vector<StandingRun> runs;
    // 60–130 km/h and 50–70 mph wherever the car made them without a lift.
    std::vector<AccelTime> rolling;
    // Why there is no standing start; empty when there is one.
    std::string noRunReason;
};

struct AccelerationOptions {
    double minStopSeconds = 1.0;     // stopped at least this long before a launch
    double fitSeconds = 0.5;         // of readings fitted to find the launch
    double minLaunchMphPerSecond = 1.5;
    double maxExtrapolationSeconds = 2.0;
    double liftMph = 3;              // a fall this far below the best ends a run
    double maxGapSeconds = 0.5;      // a longer gap in the log ends a run
};

// Whether the log runs on without a gap (a missing record or more than
// maxGap seconds between two) from the row of reading a to that of b.
bool Continuous(const DynoInput& in, const SpeedReading& a, const SpeedReading& b, double maxGap);

AccelerationResult FindAccelerations(const DynoInput& in, const AccelerationOptions& o = {});

inline constexpr double kKmPerMile = 1.609344;

}  // namespace quarn
