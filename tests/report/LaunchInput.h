#pragma once

// Drive inputs from the simulator's launch run, converted as a log's
// records are, for the report's tests and benchmark.

#include "decode/Conversion.h"
#include "decode/Frame.h"
#include "report/DriveInput.h"
#include "sim/LaunchRun.h"

namespace quarn::test {

inline DriveInput LaunchInput(const LaunchRun& run) {
    DriveInput in;
    Conversion conversion;
    const VehicleData vehicle;
    in.Reserve(run.Frames().size());
    for (std::size_t n = 0; n < run.Frames().size(); ++n) {
        ChannelRecord rec;
        const FrameBytes bytes = EncodeFrame(run.Frames()[n]);
        DecodeFrame(bytes, rec);
        conversion.ComputeChannels(rec, vehicle);
        in.Append(static_cast<double>(n + 1), run.FrameSeconds()[n], rec);
    }
    in.timesEstimated = false;
    in.carName = QStringLiteral("Test car");
    return in;
}

}  // namespace quarn::test
