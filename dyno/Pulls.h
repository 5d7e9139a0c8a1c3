#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "dyno/DynoInput.h"

namespace quarn {

// What counts as a wide-open-throttle pull. The user may edit every figure.
struct PullThresholds {
    double minTpsVolts = 4.0;       // throttle at least this open
    double minSeconds = 2.0;        // a pull lasts at least this long
    double minRpmRise = 500;        // and gains at least this many rpm
    double rpmFallTolerance = 150;  // a fall below the highest rpm so far ends it
    double maxGapSeconds = 0.3;     // more between two records is a gap in the log
    double maxAccelG = 1.5;         // a speed change implying more is a bad sample
    double maxSpeedStepMph = 5;     // more between two records is a bad sample
    // The ratio of RPM to road speed moving by more than this share means
    // the clutch slipped or the gear changed: the engine no longer drove the
    // wheels, so the pull is cut there.
    double maxRatioChange = 0.02;
};

// One pull found in a log, or a stretch at full throttle refused as one.
struct Pull {
    int number = 0;              // 1, 2, ... in log order
    std::size_t first = 0;       // index of its first frame in the input
    std::size_t last = 0;        // index of its last frame (inclusive)
    double firstRecord = 0;      // record numbers, for the user
    double lastRecord = 0;
    double startRpm = 0;
    double endRpm = 0;           // the highest rpm reached
    double seconds = 0;
    double minMph = 0;
    double maxMph = 0;
    bool usable = false;
    // Why the pull was cut short or refused; empty for a clean pull.
    std::string note;
};

struct PullScan {
    std::vector<Pull> pulls;
    // A sentence for the user when the log holds no usable pull.
    std::string problem;
    std::size_t UsableCount() const;
};

// Finds the pulls: stretches with the throttle at least minTpsVolts open in
// which the rpm keeps rising for at least minSeconds. A gap in the log, a
// speed-sensor dropout or glitch, a fall in rpm or a change of the ratio of
// RPM to speed (a clutch, a shift) ends a pull; a piece too short after such
// a cut is listed as refused, with the reason, so no bad sample ever reaches
// the power curve. After a fall in rpm or a change of ratio the next piece
// starts only once the ratio has held steady for the Rpm average to fill
// and for one speed interval, so no speed sample of it reaches back into
// the coasting. Frames still warming up (in.warmUp) are never part of a
// pull. Linear in the number of frames.
PullScan FindPulls(const DynoInput& in, const PullThresholds& thresholds = {});

}  // namespace quarn
