#pragma once

#include <cstdint>
#include <vector>

#include "decode/Frame.h"

namespace quarn {

// A drag-strip run as the logger box would see it, with its true trajectory
// kept for tests to measure against: the car stands at idle, launches at
// full throttle through the gears of EngineModel, holds its speed in top
// gear, brakes to a stop and stands again.
//
// The speed sensor is modelled pulse by pulse (8000 a mile): each frame
// carries the period between the last two pulses before it was taken, so a
// reading is always a little old, and near standstill it overflows 16 bits
// and reads 0, as the real sensor does.
struct LaunchOptions {
    double restSeconds = 5;     // standing at idle before the launch
    double frameRate = 100;     // frames a second
    double frameJitter = 0.2;   // of the frame interval, either way
    int gears = 4;              // gears used, from first
    double launchRpm = 3000;    // the clutch slips until the engine turns this fast
    double shiftRpm = 5800;
    double shiftSeconds = 0.3;  // no drive while the clutch is in
    double clutchSeconds = 0.04;  // the drive builds up over this at the launch
    double runSeconds = 17;     // full throttle from the launch
    double cruiseSeconds = 10;  // then the speed held in the last gear
    double brakeMphPerSecond = 8;
    double restAfterSeconds = 3;
    std::uint64_t seed = 1;     // of the frame times' jitter
};

class LaunchRun {
public:
    explicit LaunchRun(const LaunchOptions& options = {});

    // Road speed per 1000 rpm in gear (0 = first), as EngineModel has it.
    static double MphPer1000(int gear);

    const std::vector<RawFrame>& Frames() const { return m_frames; }
    // When each frame was taken, seconds from the first.
    const std::vector<double>& FrameSeconds() const { return m_frameSeconds; }

    // The truth. Times are on the frames' clock; speeds in mph.
    double LaunchSeconds() const { return m_launch; }
    double SecondsAtMph(double mph) const;      // first reached after the launch
    double SecondsAtMiles(double miles) const;  // from the launch
    double MphAtMiles(double miles) const;
    double MilesAt(double seconds) const;        // from the start of the log
    double MphAt(double seconds) const;

private:
    void Simulate();
    void BuildFrames();
    std::size_t StepAt(double seconds) const;

    LaunchOptions m_o;
    double m_step = 0.0001;
    double m_launch = 0;
    // One entry a step.
    std::vector<double> m_mph;
    std::vector<double> m_miles;
    std::vector<double> m_rpm;
    std::vector<float> m_throttle;
    std::vector<double> m_pulses;  // the sensor's pulse times
    std::vector<RawFrame> m_frames;
    std::vector<double> m_frameSeconds;
};

}  // namespace quarn
