#pragma once

// Logs for the fuel analysis's tests and benchmark: the simulator's drive,
// decoded and converted as the viewer does, and the tune's table it fuels by.

#include <cstdint>
#include <utility>
#include <vector>

#include "decode/Conversion.h"
#include "decode/Frame.h"
#include "fuel/FuelAnalysis.h"
#include "sim/EngineModel.h"

namespace quarn::test {

using ErrorCurve = std::vector<std::pair<double, double>>;

inline FuelLog FuelDrive(double seconds, const EngineModel::Fuelling& fuelling,
                         std::uint64_t seed = EngineModel::kDefaultSeed, double interval = 0.01) {
    EngineModel model(seed);
    model.SetFuelling(fuelling);
    Conversion conv;
    VehicleData vehicle;
    FuelLog log;
    log.name = "sim";
    ChannelRecord rec;
    const auto frames = static_cast<std::size_t>(seconds / interval);
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) * interval;
        DecodeFrame(EncodeFrame(model.Sample(t)), rec);
        conv.ComputeChannels(rec, vehicle);
        log.Append(t, rec);
    }
    log.warmUp = static_cast<std::size_t>(kWarmUpFrames);
    return log;
}

// The tune the simulated computer runs, as the tuner reads it out.
inline MafTransfer SimTransfer(const ErrorCurve& error) {
    MafTransfer t;
    for (const auto& [v, kgh] : EngineModel::ComputerMafTable(error)) {
        t.volts.push_back(v);
        t.airflow.push_back(kgh);
    }
    return t;
}

// The correction that undoes the error at volts: the table reads (1 + e)
// times the true airflow, so it must be multiplied by 1 / (1 + e).
inline double KnownCorrection(const ErrorCurve& error, double volts) {
    return 1 / (1 + EngineModel::MafErrorAt(error, volts)) - 1;
}

// The fuel setup that matches the simulated car.
inline FuelSetup SimSetup(const EngineModel::Fuelling& fuelling) {
    FuelSetup s;
    s.injector.slopeLbHr = EngineModel::kInjectorLbHr;
    s.injector.offsetMs = EngineModel::kInjectorOffsetMs;
    s.injector.cylinders = EngineModel::kCylinders;
    s.target.afr = fuelling.targetAfr;
    s.lagMs = fuelling.lagSeconds * 1000;
    return s;
}

}  // namespace quarn::test
