#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "decode/ChannelRecord.h"
#include "decode/VehicleData.h"

namespace quarn {

// Seconds per timer tick of the box.
inline constexpr double kTickSeconds = 1.0855e-6;
// Timer ticks per millisecond, as the spark-advance arithmetic counts them.
inline constexpr double kTicksPerMs = 921.234;

// A calibration table: rows 1..10 of (x, y); row 0 is never filled.
// Lookup walks from row 1 past every row whose x is <= the input and draws
// the straight line between the row before and the first row above.
class CalTable {
public:
    static constexpr int kRows = 11;
    void Set(int row, double x, double y);
    double Lookup(double x) const;

private:
    std::array<double, kRows> m_x{};
    std::array<double, kRows> m_y{};
};

// Running average over the last N values; slots never written count as 0.
template <typename T, std::size_t N>
class RunningAverage {
public:
    T Add(T v) {
        m_slots[m_pos] = v;
        T sum = 0;
        for (T s : m_slots) sum += s;
        m_pos = (m_pos + 1) % N;
        return sum / static_cast<T>(N);
    }
    std::size_t WritePosition() const { return m_pos; }

private:
    std::array<T, N> m_slots{};
    std::size_t m_pos = 0;
};

// The conversion from raw frame words to engineering values, with the state
// it carries from frame to frame for the whole run: the calibration tables,
// the five running averages and the injector duty memory. The application
// owns one; playback and live monitoring share it.
class Conversion {
public:
    // Fills both tables, so a fresh object can convert at once.
    Conversion();

    void InitTempTable();
    void InitPressureTable();

    double TempFromVolts(double volts) const { return m_tempTable.Lookup(volts); }
    double PressureFromHz(double hz) const { return m_pressureTable.Lookup(hz); }

    double SmoothMph(double x) { return m_mph.Add(x); }
    double SmoothRpm(double x) { return m_rpm.Add(x); }
    double SmoothHegoL(double x) { return m_hegoL.Add(x); }
    double SmoothHegoR(double x) { return m_hegoR.Add(x); }
    float SmoothAdvance(float x) { return m_advance.Add(x); }

    // Rpm is the mean of the engine speed over this many frames.
    static constexpr std::size_t kRpmAverageFrames = 6;
    static constexpr std::size_t kMphAverageFrames = 6;
    static constexpr std::size_t kHegoAverageFrames = 4;
    // The advance is averaged over this many frames, each computed from the
    // already averaged Rpm.
    static constexpr std::size_t kAdvanceAverageFrames = 11;

    // Writes the engineering fields of rec from its raw fields. A raw
    // RpmPeriod of 0 is replaced by 1 in rec.
    void ComputeChannels(ChannelRecord& rec, const VehicleData& vehicle);

    // Frames converted since this object was made: its run so far.
    std::int64_t FramesOfRun() const { return m_frames; }
    // Whether the frame converted last still carries start-up values.
    bool WarmingUp() const;

    float LastInjDuty() const { return m_lastInjDuty; }
    float LastInjPw() const { return m_lastInjPw; }

    // Wheel horsepower from the kinetic-energy gain dE (J, already zeroed
    // below 5000 J) over dt seconds; 0 when dt is not positive.
    static double WheelHorsepower(double dE, double dt);

    // Unsmoothed speed in mph for a speed-sensor period in ticks (> 0).
    static double MphFromPeriod(double ticks);

private:
    CalTable m_tempTable;
    CalTable m_pressureTable;
    RunningAverage<double, kMphAverageFrames> m_mph;
    RunningAverage<double, kRpmAverageFrames> m_rpm;
    RunningAverage<double, kHegoAverageFrames> m_hegoL;
    RunningAverage<double, kHegoAverageFrames> m_hegoR;
    RunningAverage<float, kAdvanceAverageFrames> m_advance;
    std::int64_t m_frames = 0;
    float m_lastInjDuty = 0;
    float m_lastInjPw = 0;
};

// Records still warming up. A conversion run starts with every running
// average empty, and empty slots count as 0, so its first frames read low
// (RPM 494, 990, 1487, ... on the way to 2970). Playback and the export show
// them as computed; every analysis (heat map, dyno, statistics, quarn-log's
// ranges) leaves them out by this one rule.
//
// The longest chain of averages decides: Rpm is whole from frame
// kRpmAverageFrames on; the advance of each frame is computed from Rpm and
// then averaged over kAdvanceAverageFrames frames, so it is whole only once
// all of those came after Rpm was (torque and power per rpm need only Rpm;
// speed and HEGO have shorter windows). Frames are counted from the run's
// start, bad checksums included, since they too go through the averages;
// records that hold no whole frame are not converted and do not count.
//
// A run starts at a log's first record: a recording always makes a new log
// (never appends to one), and the export and the viewer, which every
// analysis reads, convert each log from record 1 with a fresh conversion.
inline constexpr std::int64_t kWarmUpFrames =
    static_cast<std::int64_t>(Conversion::kRpmAverageFrames - 1) +
    static_cast<std::int64_t>(Conversion::kAdvanceAverageFrames - 1);

// Whether the frame converted frameOfRun-th in its run (1 = the first) is
// still warming up.
constexpr bool WarmingUp(std::int64_t frameOfRun) {
    return frameOfRun <= kWarmUpFrames;
}

// The dashboard's duty-cycle floor: an InjDuty of exactly 0 becomes 0.00001
// so the economy never divides by zero. Applied after the duty gauge got 0.
void ApplyInjDutyFloor(ChannelRecord& rec);

// Miles per gallon from the injector duty (percent), the speed and the
// vehicle data. Returns 0 when the fuel flow is not positive.
double FuelEconomyMpg(float injDuty, float mph, const VehicleData& vehicle);

}  // namespace quarn
