#pragma once

// Logs for the dyno's tests, benchmark and pictures: the simulator's engine
// model decoded and converted as the dashboard does, and hand-made drives.

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "decode/Conversion.h"
#include "decode/Frame.h"
#include "dyno/DynoInput.h"
#include "sim/EngineModel.h"

namespace quarn::test {

// The drive of model sampled every interval seconds for seconds, as a log
// with a sidecar holds it: the log (and its conversion run) starts at
// startAt seconds into the drive. Each frame's phase goes to phases if given.
inline DynoInput DriveOf(EngineModel& model, double seconds, double interval = 0.01,
                         double startAt = 0,
                         std::vector<EngineModel::Phase>* phases = nullptr) {
    Conversion conv;
    VehicleData vehicle;
    DynoInput in;
    ChannelRecord rec;
    const auto frames = static_cast<std::size_t>(seconds / interval);
    in.Reserve(frames);
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) * interval;
        const RawFrame raw = model.Sample(t);
        if (t < startAt - 1e-9) continue;
        DecodeFrame(EncodeFrame(raw), rec);
        conv.ComputeChannels(rec, vehicle);
        in.Append(static_cast<double>(in.Size() + 1), t - startAt, rec);
        if (phases) phases->push_back(model.CurrentPhase());
    }
    return in;
}

// The engine model's drive sampled every interval seconds for seconds.
inline DynoInput SimulatedDrive(double seconds, bool everyRunAPull, double interval = 0.01,
                                std::uint64_t seed = EngineModel::kDefaultSeed,
                                std::vector<EngineModel::Phase>* phases = nullptr) {
    EngineModel model(seed, everyRunAPull);
    return DriveOf(model, seconds, interval, 0, phases);
}

// Hand-made frames at 100 per second: each stretch gives the throttle and
// the rpm against the time into the stretch; the car is in a gear making
// mphPer1000 mph per 1000 rpm (0: standing, the speed sensor reads stopped).
class HandDrive {
public:
    static constexpr double kInterval = 0.01;

    void Stretch(double seconds, double tpsVolts, double mphPer1000,
                 const std::function<double(double)>& rpmAt) {
        for (double s = 0; s < seconds - 1e-9; s += kInterval) {
            const double rpm = rpmAt(s);
            const double rpmPrev = rpmAt(std::max(0.0, s - 0.25));
            ChannelRecord rec;
            rec.Rpm = static_cast<float>(rpm);
            rec.TpsVolts = static_cast<float>(tpsVolts);
            rec.Mph = static_cast<float>(rpm * mphPer1000 / 1000);
            rec.BapPressure = 29.5f;
            rec.ActF = 80;
            rec.VssPeriod = Ticks(rpm * mphPer1000 / 1000);
            rec.VssPeriodPrev = Ticks(rpmPrev * mphPer1000 / 1000);
            rec.AccelInterval = static_cast<std::int32_t>(std::lround(0.25 / (8 * kTickSeconds)));
            in.Append(static_cast<double>(in.Size() + 1), m_t, rec);
            m_t += kInterval;
        }
    }

    DynoInput in;

private:
    static std::int32_t Ticks(double mph) {
        if (mph < EngineModel::kMinMph) return 0;
        return static_cast<std::int32_t>(std::lround(3600.0 / (mph * 8000.0 * kTickSeconds)));
    }
    double m_t = 0;
};

}  // namespace quarn::test
