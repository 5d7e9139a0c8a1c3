#pragma once

#include <string>
#include <vector>

#include "dyno/DynoInput.h"

namespace quarn {

// Gear ratios learned from the drive itself: in a gear with the clutch home
// RPM ÷ speed holds still, so the stretches where it does gather round one
// value per gear. Rpm and Mph are means over the same frames, so their
// ratio holds even while both climb.
struct GearOptions {
    int gears = 0;                 // how many the car has; 0 finds them
    double minMph = 8;             // slower, the clutch may be slipping
    double minRpm = 900;
    double steadySeconds = 0.4;    // the ratio holds this long, centred on a frame
    double steadyShare = 0.01;     // within this share
    double matchShare = 0.03;      // a frame within this share of a ratio is in that gear
    double minGearShare = 0.02;    // a found gear holds at least this share of steady time
};

struct Gear {
    int number = 0;  // 1 = lowest
    double rpmPerMph = 0;
    double mphPer1000 = 0;
    double seconds = 0;  // driven in it
};

struct GearResult {
    std::vector<Gear> gears;
    double steadySeconds = 0;   // the time the ratios were learned from
    double movingSeconds = 0;   // moving, not warming up
    double betweenSeconds = 0;  // moving in no gear: shifting, slipping, coasting
    // A sentence when fewer gears than asked for were found, or none.
    std::string problem;
    std::vector<double> RpmPerMph() const;
};

GearResult LearnGears(const DynoInput& in, const GearOptions& o = {});

}  // namespace quarn
