#pragma once

#include <cstddef>
#include <vector>

#include "decode/ChannelRecord.h"
#include "decode/Conversion.h"

namespace quarn {

// The channels of a log the dyno reads, as parallel columns with one entry
// per decoded frame, in log order. Whoever holds the log's columns (the log
// viewer, a test, a tool) fills them; every column must have the same length.
//
// The speed-sensor words carry their own timing (two speed samples and the
// interval between them), so the power never depends on Seconds: Seconds
// only measures how long a pull lasted and finds gaps. It comes from the
// log's sidecar when there is one, else it is an estimate.
struct DynoInput {
    std::vector<double> Record;   // record number in the log (1 = first)
    std::vector<double> Seconds;  // since the start of the log
    std::vector<float> Rpm;
    std::vector<float> TpsVolts;
    std::vector<float> Mph;
    std::vector<float> BapPressure;  // inHg
    std::vector<float> ActF;
    // The raw timer words: the speed-sensor period now and one accel
    // interval earlier (ticks; 0 = no pulse, the sensor reads stopped), and
    // that interval in units of 8 ticks.
    std::vector<float> VssPeriod;
    std::vector<float> VssPeriodPrev;
    std::vector<float> AccelInterval;

    // The first warmUp entries are frames still warming up (kWarmUpFrames):
    // no pull starts among them. Columns that start with the log's first
    // frame keep the default; columns taken from later in a run set 0.
    std::size_t warmUp = static_cast<std::size_t>(kWarmUpFrames);

    // The car's gear ratios (RPM per mph), when known: a pull then holds
    // only while RPM ÷ speed stays at one of them, and is cut where it
    // leaves it. Empty: any steady ratio counts as a gear.
    std::vector<double> GearRpmPerMph;

    std::size_t Size() const { return Record.size(); }
    // Every column holds Size() entries.
    bool Consistent() const;
    void Reserve(std::size_t n);
    void Append(double record, double seconds, const ChannelRecord& rec);
};

// The nominal time between records when a log has no sidecar.
inline constexpr double kDefaultSecondsPerRecord = 0.01;

// Columns from converted records (ComputeChannels already run), numbered
// from firstRecord. seconds[n] is the time of records[n]; when seconds is
// shorter than records, the rest are estimated at secondsPerRecord apart.
DynoInput FromRecords(const std::vector<ChannelRecord>& records,
                      const std::vector<double>& seconds = {}, double firstRecord = 1,
                      double secondsPerRecord = kDefaultSecondsPerRecord);

}  // namespace quarn
