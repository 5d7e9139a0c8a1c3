#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "decode/Conversion.h"
#include "decode/Frame.h"

namespace quarn {

// A turbocharged car driven round a repeating cycle, as the logger box would
// see it: idle, a full-throttle run through the gears, a motorway cruise, a
// coast-down with fuel cut, idle again. The coolant warms from cold over the
// first minutes. Everything derives from the seed and the time passed in, so
// the same seed gives the same drive whatever the request rate.
//
// Some runs are dyno pulls instead: the car moves off gently, and in third
// gear from about 2000 rpm the driver holds the throttle wide open to
// kPullEndRpm, then lifts off and brakes to a stop. During a pull the car
// accelerates by the road-load physics from PullWheelHp, the engine's known
// wheel power curve, so a dyno reading the log has an answer to meet. The
// first run of the drive is a pull, then every third; with everyRunAPull,
// every run.
class EngineModel {
public:
    static constexpr std::uint64_t kDefaultSeed = 1;
    // Fixed integration step: the drive depends only on the seed, not on how
    // often frames are asked for.
    static constexpr double kStepSeconds = 0.005;
    // Time between the two speed samples of the power estimate.
    static constexpr double kAccelWindowSeconds = 0.25;
    // Below this speed the speed-sensor period no longer fits 16 bits, so the
    // sensor reads as stopped.
    static constexpr double kMinMph = 6.4;
    // Random error of each speed-sensor period, as a fraction.
    static constexpr double kVssJitter = 0.001;

    // The pulls: the car (the session properties' default car) and the end.
    static constexpr double kPullWeightLb = 3500;
    static constexpr double kPullCdA = 0.70;
    static constexpr double kPullCrr = 0.015;
    static constexpr double kPullEndRpm = 6000;
    static constexpr int kPullGear = 2;  // third

    // Road speed per 1000 rpm in each of five gears: top gear makes 60 mph at
    // 2200 rpm.
    static constexpr std::array<double, 5> kMphPer1000{6.5, 10.5, 15.5, 21.0, 27.3};

    enum class Phase { Idle, Accelerate, Cruise, Decelerate, Pull };

    explicit EngineModel(std::uint64_t seed = kDefaultSeed, bool everyRunAPull = false);

    // The fuelling: the engine computer meters fuel from its own MAF
    // transfer table, which may differ from the sensor's true curve by an
    // error (percent against volts, drawn straight between the points and
    // held beyond them: +6 means the table reads 6 % more air than flows).
    // In closed loop its trim, already learned, cancels that error and
    // swings the mixture kTrimSwing either side of stoichiometric; at wide-open
    // throttle it runs open loop at targetAfr and the error shows in the
    // mixture. The wideband sees the mixture lagSeconds late.
    struct Fuelling {
        std::vector<std::pair<double, double>> mafErrorPercent;
        double targetAfr = 12.0;
        double lagSeconds = 0.15;
    };
    static constexpr double kStoich = 14.64;          // the simulated car runs on gasoline
    static constexpr double kInjectorLbHr = 36;       // the default car's injectors, sequential
    static constexpr double kInjectorOffsetMs = 1.0;
    static constexpr int kCylinders = 8;
    static constexpr double kTrimSwing = 0.008;
    static constexpr double kMaxLagSeconds = 1.0;
    void SetFuelling(const Fuelling& fuelling);
    const Fuelling& CurrentFuelling() const { return m_fuelling; }

    // Airflow (kg/h) through the sensor when it reads volts.
    static double TrueMafKgPerHour(double volts);
    // The error (a fraction) of the computer's table at volts.
    static double MafErrorAt(const std::vector<std::pair<double, double>>& percent, double volts);
    // The computer's MAF transfer table: (volts, kg/h) rows, the true curve
    // times the error, as a tuner would read it out of the tune.
    static std::vector<std::pair<double, double>> ComputerMafTable(
        const std::vector<std::pair<double, double>>& errorPercent);

    // Wheel power (hp) at full throttle against engine rpm: 350 hp at
    // 5200 rpm, the torque peak lower down.
    static double PullWheelHp(double rpm);

    // Advances the model to t seconds after the start (t should not go back;
    // an earlier t returns the present state) and returns the frame's words.
    RawFrame Sample(double t);

    Phase CurrentPhase() const { return m_phase; }

    // A missed gear in every pull: once the engine reaches atRpm the driver
    // holds the clutch in for seconds, throttle still wide open, so the
    // engine falls towards idle while the car coasts against its road load;
    // then the clutch goes home again and the pull goes on. Off by default.
    void SetPullClutchDip(double atRpm, double seconds);

private:
    void Step();
    void EnterPhase(Phase phase);
    void StepDriver();
    void StepVehicle();
    void StepSensors();
    RawFrame BuildFrame(double t) const;

    double Coldness() const;
    double TorqueShape(double rpm) const;
    double Charge() const;
    double Uniform(double lo, double hi);
    // Sensor noise in [-amplitude, amplitude], a pure function of the seed,
    // the time and the channel.
    double Noise(double t, int channel, double amplitude) const;
    double VoltsForTemp(double degF) const;
    double HzForPressure(double pressure) const;

    // The acceleration (mph/s) of the pull car given wheel power (W).
    double PullAccel(double wheelWatts) const;

    std::uint64_t m_seed;
    bool m_everyRunAPull;
    int m_runs = 0;
    bool m_pullRun = false;
    std::mt19937_64 m_rng;
    Conversion m_conv;  // only its calibration tables, to invert them

    std::int64_t m_steps = 0;
    double m_time = 0;  // m_steps x kStepSeconds
    double m_ambientF;
    double m_baro;

    Phase m_phase = Phase::Idle;
    double m_phaseEnd = 0;
    double m_targetMph = 0;
    double m_shiftRpm = 6000;
    double m_runThrottle = 1;
    double m_shiftLeft = 0;
    bool m_clutchIn = true;  // pedal down: the engine is free of the wheels
    double m_dipAtRpm = 0;
    double m_dipSeconds = 0;
    double m_dipLeft = 0;  // seconds of the pull's clutch dip still to come
    bool m_dipDone = false;
    int m_gear = 0;

    double m_mph = 0;
    double m_accel = 0;  // mph per second over the last step
    // Road speed over the last accel window, one entry a step, for the
    // speed sample one window back.
    static constexpr std::size_t kHistorySteps =
        static_cast<std::size_t>(kAccelWindowSeconds / kStepSeconds + 0.5);
    std::array<double, kHistorySteps> m_mphHistory{};
    double m_rpm = 0;
    double m_throttle = 0;
    double m_boost = 0;
    bool m_fuelCut = false;
    double m_closedFor = 0;  // seconds the throttle has been closed in gear

    double m_ectF = 0;
    double m_actF = 0;
    double m_egtL = 0;
    double m_egtR = 0;
    double m_afr = 14.7;  // what the wideband reads
    Fuelling m_fuelling;
    std::vector<std::pair<double, double>> m_table;  // the computer's, kg/h
    static constexpr std::size_t kLagSteps = static_cast<std::size_t>(kMaxLagSeconds / kStepSeconds) + 1;
    std::array<double, kLagSteps> m_lambdaHistory{};
    double m_wideLambda = 1;
    double m_pulseL = 0;  // ms, bank by bank
    double m_pulseR = 0;
    void StepFuel(bool closedLoop, bool wot);
    double m_hegoL = 0.45;
    double m_hegoR = 0.45;
    bool m_richL = false;
    bool m_richR = true;
    double m_flipL = 0;
    double m_flipR = 0;
};

}  // namespace quarn
