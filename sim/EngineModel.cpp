#include "sim/EngineModel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "decode/ChannelRecord.h"

namespace quarn {
namespace {

// Acceleration at full throttle, torque peak and no boost, mph per second.
constexpr std::array<double, 5> kGearAccel{5.5, 3.8, 2.6, 1.9, 1.4};
constexpr int kTopGear = 4;

constexpr double kShiftSeconds = 0.35;
constexpr double kLaunchRpm = 2500;
constexpr double kWarmIdleRpm = 750;
constexpr double kFastIdleExtraRpm = 350;  // added while the engine is cold
constexpr double kDeclutchRpm = 1150;      // the driver declutches below this when coasting
constexpr double kFuelCutEnterRpm = 1300;
constexpr double kFuelCutDelaySeconds = 0.5;  // throttle closed this long before fuel is cut
constexpr double kClosedThrottle = 0.02;
constexpr double kWotThrottle = 0.7;

constexpr double kMaxBoostPsi = 12;
constexpr double kAtmPsi = 14.7;
// rpm x charge at redline and full boost: the top of the MAF's range.
constexpr double kMaxAirflow = 11500;

constexpr double kWarmEctF = 195;
constexpr double kWarmUpSeconds = 220;   // time constant of the coolant warm-up
constexpr double kHegoHeatSeconds = 30;  // oxygen sensor heaters need this long

// One injector count is 4 / 3 500 000 s, so a millisecond is 875 counts.
constexpr double kInjCountsPerMs = 875;

// The model's airflow (rpm x charge) in kg/h: the top of the MAF's range is
// about 1000 kg/h.
constexpr double kKgPerHourPerAirflow = 0.09;
constexpr double kMafZeroVolts = 0.4;
constexpr double kMafSpanVolts = 4.3;
constexpr double kMafExponent = 0.6;
constexpr double kMafMaxVolts = 4.95;
constexpr double kWidebandStoich = 14.7;  // the wideband's scale is gasoline AFR
constexpr double kWidebandTau = 0.04;
constexpr double kLbPerKg = 2.20462262;

double MafVoltsFor(double airflow) {
    return std::min(kMafZeroVolts + kMafSpanVolts * std::pow(std::max(0.0, airflow) / kMaxAirflow,
                                                             kMafExponent),
                    kMafMaxVolts);
}

// Rows of the computer's table: close together at low volts, where the
// curve bends most, as the tables of real tunes are.
std::vector<double> TableVolts() {
    std::vector<double> v{0.0, 0.4};
    for (int k = 9; k <= 20; ++k) v.push_back(k * 0.05);
    for (int k = 11; k <= 16; ++k) v.push_back(k * 0.1);
    for (int k = 9; k <= 15; ++k) v.push_back(k * 0.2);
    for (int k = 13; k <= 20; ++k) v.push_back(k * 0.25);
    return v;
}

double Interpolate(const std::vector<std::pair<double, double>>& xy, double x) {
    if (xy.empty()) return 0;
    if (x <= xy.front().first) return xy.front().second;
    if (x >= xy.back().first) return xy.back().second;
    std::size_t hi = 1;
    while (xy[hi].first < x) ++hi;
    const auto& [x0, y0] = xy[hi - 1];
    const auto& [x1, y1] = xy[hi];
    return y0 + (x - x0) / (x1 - x0) * (y1 - y0);
}

double Clamp01(double x) {
    return std::clamp(x, 0.0, 1.0);
}

// First-order lag of value towards target with time constant tau.
void Follow(double& value, double target, double tau, double dt) {
    value += (target - value) * std::min(1.0, dt / tau);
}

double Drag(double mph) {
    return mph > 0 ? 0.12 + 0.00015 * mph * mph : 0;
}

// Share of full torque for a throttle opening: the throttle body flows all the
// engine can take well before it is wide open.
constexpr double kTorquePerThrottle = 2.2;
double TorqueFactor(double throttle) {
    return std::min(1.0, kTorquePerThrottle * throttle);
}

std::uint64_t SplitMix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// An analog word for a fraction of full scale (1023).
std::uint16_t AnalogWord(double fraction) {
    return static_cast<std::uint16_t>(std::lround(Clamp01(fraction) * 1023.0));
}

// A timer word; periods never read 0, which means "stopped".
std::uint16_t TimerWord(double ticks) {
    return static_cast<std::uint16_t>(std::lround(std::clamp(ticks, 1.0, 65535.0)));
}

double VssTicks(double mph) {
    if (mph < EngineModel::kMinMph) return 0;
    return 3600.0 / (mph * 8000.0 * kTickSeconds);
}

}  // namespace

double EngineModel::PullWheelHp(double rpm) {
    const double x = (rpm - 5200) / 4200;
    return std::max(0.0, 350 * (1 - x * x));
}

double EngineModel::TrueMafKgPerHour(double volts) {
    if (volts <= kMafZeroVolts) return 0;
    return kMaxAirflow * std::pow((volts - kMafZeroVolts) / kMafSpanVolts, 1 / kMafExponent) *
           kKgPerHourPerAirflow;
}

double EngineModel::MafErrorAt(const std::vector<std::pair<double, double>>& percent,
                               double volts) {
    return Interpolate(percent, volts) / 100;
}

std::vector<std::pair<double, double>> EngineModel::ComputerMafTable(
    const std::vector<std::pair<double, double>>& errorPercent) {
    std::vector<std::pair<double, double>> table;
    for (double v : TableVolts())
        table.emplace_back(v, TrueMafKgPerHour(v) * (1 + MafErrorAt(errorPercent, v)));
    return table;
}

void EngineModel::SetFuelling(const Fuelling& fuelling) {
    m_fuelling = fuelling;
    m_fuelling.lagSeconds = std::clamp(fuelling.lagSeconds, 0.0, kMaxLagSeconds);
    m_table = ComputerMafTable(m_fuelling.mafErrorPercent);
}

EngineModel::EngineModel(std::uint64_t seed, bool everyRunAPull)
    : m_seed(seed), m_everyRunAPull(everyRunAPull), m_rng(seed) {
    SetFuelling(Fuelling{});
    m_lambdaHistory.fill(1);
    m_ambientF = Uniform(45, 70);
    m_baro = Uniform(29.3, 29.9);
    m_ectF = m_ambientF;
    m_actF = m_ambientF;
    m_egtL = m_egtR = 300;
    m_rpm = kWarmIdleRpm + kFastIdleExtraRpm;
    m_flipL = Uniform(0.15, 0.35);
    m_flipR = Uniform(0.15, 0.35);
    EnterPhase(Phase::Idle);
    m_phaseEnd = Uniform(15, 25);  // the first idle is a little longer
}

RawFrame EngineModel::Sample(double t) {
    // Steps are counted, not summed, so a time on a step boundary always
    // lands on the same side of it.
    while (static_cast<double>(m_steps + 1) * kStepSeconds <= t + 1e-9) Step();
    return BuildFrame(std::max(t, m_time));
}

void EngineModel::Step() {
    StepDriver();
    StepVehicle();
    StepSensors();
    ++m_steps;
    m_time = static_cast<double>(m_steps) * kStepSeconds;
}

double EngineModel::Uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(m_rng);
}

double EngineModel::Noise(double t, int channel, double amplitude) const {
    const auto key = static_cast<std::uint64_t>(std::llround(t * 10000.0)) * 64 +
                     static_cast<std::uint64_t>(channel);
    const std::uint64_t h = SplitMix(m_seed ^ SplitMix(key));
    const double u = static_cast<double>(h >> 11) * 0x1.0p-53;
    return amplitude * (2 * u - 1);
}

double EngineModel::Coldness() const {
    return Clamp01((160 - m_ectF) / 100);
}

double EngineModel::TorqueShape(double rpm) const {
    const double x = (rpm - 3500) / 2500;
    return std::max(0.5, 1 - 0.3 * x * x);
}

// Cylinder filling relative to atmospheric at wide-open throttle.
double EngineModel::Charge() const {
    if (m_fuelCut) return 0.12;
    return (0.16 + 0.8 * TorqueFactor(m_throttle)) * (1 + m_boost / kAtmPsi);
}

void EngineModel::EnterPhase(Phase phase) {
    m_phase = phase;
    switch (phase) {
        case Phase::Idle:
            m_gear = 0;
            m_clutchIn = true;
            m_phaseEnd = m_time + Uniform(6, 15);
            break;
        case Phase::Accelerate:
            m_gear = 0;
            m_clutchIn = false;
            m_targetMph = Uniform(65, 85);
            m_shiftRpm = Uniform(5500, 6100);
            m_runThrottle = Uniform(0.8, 1.0);
            m_pullRun = m_everyRunAPull || m_runs % 3 == 0;
            ++m_runs;
            if (m_pullRun) {
                // Gently up to third, then the pull.
                m_shiftRpm = 3000;
                m_runThrottle = 0.32;
            }
            break;
        case Phase::Pull:
            m_dipDone = false;
            m_dipLeft = 0;
            break;
        case Phase::Cruise:
            m_targetMph = Uniform(55, 65);
            m_phaseEnd = m_time + Uniform(20, 40);
            m_gear = kTopGear;
            m_shiftLeft = kShiftSeconds;
            break;
        case Phase::Decelerate:
            break;
    }
}

void EngineModel::StepDriver() {
    double throttleTarget = 0;
    switch (m_phase) {
        case Phase::Idle:
            if (m_time >= m_phaseEnd) EnterPhase(Phase::Accelerate);
            break;
        case Phase::Accelerate:
            if (m_mph >= m_targetMph) {
                EnterPhase(Phase::Cruise);
                break;
            }
            if (m_pullRun && m_gear == kPullGear && m_shiftLeft <= 0) {
                EnterPhase(Phase::Pull);
                break;
            }
            if (m_shiftLeft <= 0 && m_gear < kTopGear && m_rpm >= m_shiftRpm) {
                ++m_gear;
                m_shiftLeft = kShiftSeconds;
            }
            throttleTarget = m_shiftLeft > 0 ? 0 : m_runThrottle;
            break;
        case Phase::Pull:
            if (m_dipLeft > 0) {
                m_dipLeft -= kStepSeconds;
                throttleTarget = 1;
                break;
            }
            if (m_rpm >= kPullEndRpm) {
                EnterPhase(Phase::Decelerate);  // lift off and brake
                break;
            }
            throttleTarget = 1;
            if (m_dipSeconds > 0 && !m_dipDone && m_rpm >= m_dipAtRpm) {
                m_dipDone = true;
                m_dipLeft = m_dipSeconds;
            }
            break;
        case Phase::Cruise: {
            if (m_time >= m_phaseEnd) {
                EnterPhase(Phase::Decelerate);
                break;
            }
            // The driver holds the speed only roughly: a slow wander around the
            // target, throttle from what the road load needs plus a correction.
            const double target = m_targetMph + 1.5 * std::sin(2 * std::numbers::pi * m_time / 23);
            const double pull = kGearAccel[m_gear] * TorqueShape(m_rpm) * (1 + m_boost / kAtmPsi);
            const double feedForward = Drag(m_mph) / pull / kTorquePerThrottle;
            throttleTarget =
                m_shiftLeft > 0 ? 0 : std::clamp(feedForward + 0.04 * (target - m_mph), 0.03, 0.6);
            break;
        }
        case Phase::Decelerate:
            if (!m_clutchIn && m_rpm < kDeclutchRpm) m_clutchIn = true;
            if (m_mph <= 0) EnterPhase(Phase::Idle);
            break;
    }
    Follow(m_throttle, throttleTarget, 0.12, kStepSeconds);
    if (m_shiftLeft > 0) m_shiftLeft -= kStepSeconds;
}

void EngineModel::StepVehicle() {
    const double dt = kStepSeconds;
    const bool engaged = !m_clutchIn && m_shiftLeft <= 0;
    const double idleRpm = kWarmIdleRpm + kFastIdleExtraRpm * Coldness() +
                           12 * std::sin(2 * std::numbers::pi * m_time / 1.7);
    const double gearRpm = m_mph * 1000 / kMphPer1000[m_gear];

    const bool dipping = m_phase == Phase::Pull && m_dipLeft > 0;
    double rpmTarget = gearRpm;
    double rpmTau = 0.05;
    if (m_phase == Phase::Pull && !dipping) {
        rpmTau = dt;  // in gear with the clutch home, the engine turns with the wheels
    } else if (m_clutchIn || dipping) {
        rpmTarget = idleRpm;
        rpmTau = 0.35;
    } else if (m_shiftLeft > 0) {
        rpmTau = 0.12;  // revs fall to the next gear's while the clutch is in
    } else if (m_phase == Phase::Accelerate && m_gear == 0 && gearRpm < kLaunchRpm) {
        rpmTarget = kLaunchRpm;  // slipping the clutch away from rest
        rpmTau = 0.25;
    }
    Follow(m_rpm, rpmTarget, rpmTau, dt);

    double accel = -Drag(m_mph);
    if (engaged) {
        accel += kGearAccel[m_gear] * TorqueShape(m_rpm) * TorqueFactor(m_throttle) *
                 (1 + m_boost / kAtmPsi);
        if (m_throttle < kClosedThrottle) accel -= 0.0001 * m_rpm;  // engine braking
    }
    if (m_phase == Phase::Decelerate) accel -= m_clutchIn ? 3.0 : 1.0;  // brakes
    if (m_phase == Phase::Pull)
        accel = PullAccel(dipping ? 0.0
                                  : PullWheelHp(m_rpm) * 745.69987 * TorqueFactor(m_throttle));
    const double before = m_mph;
    m_mph = std::max(0.0, m_mph + accel * dt);
    m_accel = (m_mph - before) / dt;
    m_mphHistory[static_cast<std::size_t>(m_steps) % kHistorySteps] = before;

    // Fuel is cut on a closed throttle in gear at speed, after a short delay
    // so a gear change does not cut it; it returns near idle speed.
    const bool closedInGear = engaged && m_throttle < kClosedThrottle;
    if (!closedInGear) {
        m_closedFor = 0;
        m_fuelCut = false;
    } else {
        m_closedFor += dt;
        if (m_fuelCut)
            m_fuelCut = m_rpm > kDeclutchRpm;
        else
            m_fuelCut =
                m_closedFor >= kFuelCutDelaySeconds && m_rpm > kFuelCutEnterRpm && m_ectF > 120;
    }

    const double boostTarget =
        kMaxBoostPsi * Clamp01((m_rpm - 2300) / 1700) * Clamp01((m_throttle - 0.5) / 0.4);
    Follow(m_boost, boostTarget, boostTarget > m_boost ? 0.6 : 0.25, dt);
}

void EngineModel::SetPullClutchDip(double atRpm, double seconds) {
    m_dipAtRpm = atRpm;
    m_dipSeconds = std::max(0.0, seconds);
}

// The acceleration (mph/s) a wheel power gives against the road load:
// m·a = P / v - ½·rho·CdA·v² - Crr·m·g, with the air density from the
// barometer and the intake air temperature.

double EngineModel::PullAccel(double wheelWatts) const {
    constexpr double kMetresPerSecondPerMph = 0.44704;
    const double v = std::max(1.0, m_mph * kMetresPerSecondPerMph);
    const double mass = kPullWeightLb * 0.45359237;
    const double rho = m_baro * 3386.389 / (287.05 * ((m_actF - 32) / 1.8 + 273.15));
    const double force = wheelWatts / v - 0.5 * rho * kPullCdA * v * v - kPullCrr * mass * 9.80665;
    return force / mass / kMetresPerSecondPerMph;
}

void EngineModel::StepSensors() {
    const double dt = kStepSeconds;
    const double t = m_time;

    // Coolant: exponential warm-up, then the thermostat's slow cycling.
    const double warm = 1 - std::exp(-t / kWarmUpSeconds);
    m_ectF = kWarmEctF - (kWarmEctF - m_ambientF) * (1 - warm) +
             3 * std::pow(warm, 4) * std::sin(2 * std::numbers::pi * t / 140);

    // Intake air: heat soak while standing, cooled by road speed, warmed by
    // boost through the intercooler.
    const double actTarget = m_ambientF + 25 * warm * (m_mph < 10 ? 1.0 : 0.35) + 2.2 * m_boost;
    Follow(m_actF, actTarget, 10, dt);

    const double airflow = m_rpm * Charge();
    const double egtTarget =
        m_fuelCut ? 450 : 600 + 1000 * std::sqrt(airflow / kMaxAirflow) - 120 * Coldness();
    Follow(m_egtL, egtTarget, 2.5, dt);
    Follow(m_egtR, egtTarget * 1.02 + 15, 3.0, dt);

    const bool wot = m_throttle > kWotThrottle;
    const bool sensorsHot = t >= kHegoHeatSeconds;
    const bool closedLoop = sensorsHot && m_ectF >= 130 && !wot && !m_fuelCut;

    // Closed loop: the fuel trim swings the mixture either side of
    // stoichiometric, and each bank's switching sensor follows it.
    if (t >= m_flipL) {
        m_richL = !m_richL;
        m_flipL = t + Uniform(0.15, 0.35);
    }
    if (t >= m_flipR) {
        m_richR = !m_richR;
        m_flipR = t + Uniform(0.15, 0.35);
    }
    auto hegoTarget = [&](bool rich) {
        if (!sensorsHot) return 0.45;  // an unheated sensor sits at its bias voltage
        if (m_fuelCut) return 0.08;
        if (!closedLoop) return 0.86;  // open loop runs rich
        return rich ? 0.9 : 0.1;
    };
    Follow(m_hegoL, hegoTarget(m_richL), 0.05, dt);
    Follow(m_hegoR, hegoTarget(m_richR), 0.05, dt);

    StepFuel(closedLoop, wot);
}

// The computer's fuel: airflow from its own table, divided by the AFR it
// aims for, turned into a pulse by its injector data. The burnt mixture
// follows from the true airflow.
void EngineModel::StepFuel(bool closedLoop, bool wot) {
    const double trueKgH = m_rpm * Charge() * kKgPerHourPerAirflow;
    const double believedKgH = Interpolate(m_table, MafVoltsFor(m_rpm * Charge()));
    double afr = kStoich;
    double learned = 1;  // the adaptive trim: what cancels the table's error
    if (closedLoop)
        learned = believedKgH > 0 ? trueKgH / believedKgH : 1;
    else if (wot)
        afr = m_fuelling.targetAfr;
    else
        afr = 13.8 / (1 + 0.35 * Coldness());  // warm-up enrichment
    auto pulse = [&](bool rich) {
        const double trim = closedLoop ? learned * (1 + (rich ? kTrimSwing : -kTrimSwing)) : 1;
        const double fuelLbPerCycle =
            believedKgH * trim / afr * kLbPerKg / (std::max(m_rpm, 1.0) * 30 * kCylinders);
        return std::pair{fuelLbPerCycle / (kInjectorLbHr / 3.6e6) + kInjectorOffsetMs,
                         fuelLbPerCycle};
    };
    const auto [pulseL, fuelL] = pulse(m_richL);
    m_pulseL = pulseL;
    m_pulseR = pulse(m_richR).first;

    // The wideband sits in the left bank's exhaust; fuel cut shows pure air,
    // which pins it at the top of its scale.
    const double airLbPerCycle = trueKgH * kLbPerKg / (std::max(m_rpm, 1.0) * 30 * kCylinders);
    const double lambda =
        m_fuelCut || !(fuelL > 0) ? 21 / kWidebandStoich : airLbPerCycle / fuelL / kStoich;
    const std::size_t now = static_cast<std::size_t>(m_steps) % kLagSteps;
    m_lambdaHistory[now] = lambda;
    const auto lagSteps = static_cast<std::size_t>(std::lround(m_fuelling.lagSeconds / kStepSeconds));
    const double seen = m_lambdaHistory[(now + kLagSteps - std::min(lagSteps, kLagSteps - 1)) % kLagSteps];
    Follow(m_wideLambda, seen, kWidebandTau, kStepSeconds);
    m_afr = m_wideLambda * kWidebandStoich;
}

double EngineModel::VoltsForTemp(double degF) const {
    // The table falls with voltage; bisect for the voltage that reads degF.
    double lo = 0, hi = 5;
    for (int i = 0; i < 40; ++i) {
        const double mid = 0.5 * (lo + hi);
        (m_conv.TempFromVolts(mid) > degF ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

double EngineModel::HzForPressure(double pressure) const {
    double lo = 0, hi = 1000;
    for (int i = 0; i < 50; ++i) {
        const double mid = 0.5 * (lo + hi);
        (m_conv.PressureFromHz(mid) < pressure ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

RawFrame EngineModel::BuildFrame(double t) const {
    RawFrame f;
    const double charge = Charge();
    const double airflow = m_rpm * charge;

    const double mafVolts = MafVoltsFor(airflow);
    const double tpsVolts = 0.98 + 3.55 * m_throttle;
    auto volts = [&](double v, int channel) {
        return AnalogWord((v + Noise(t, channel, 0.008)) / 5.0);
    };
    auto scaled = [&](double fraction, int channel) {
        return AnalogWord(fraction + Noise(t, channel, 0.0015));
    };
    f.analog[0] = volts(mafVolts, 0);
    f.analog[1] = volts(tpsVolts, 1);
    f.analog[2] = volts(VoltsForTemp(m_ectF), 2);
    f.analog[3] = volts(VoltsForTemp(m_actF), 3);
    f.analog[4] = scaled(m_boost / 15.0, 4);
    f.analog[5] = scaled((m_afr - 9) / 11.0, 5);
    f.analog[6] = scaled(m_egtL / 2000.0, 6);
    f.analog[7] = scaled(m_egtR / 2000.0, 7);
    f.analog[8] = scaled(m_hegoL, 8);
    f.analog[9] = scaled(m_hegoR, 9);

    const double rpm = std::max(300.0, m_rpm + Noise(t, 10, 4));
    f.timer[0] = TimerWord(120.0 / (rpm * 8 * kTickSeconds));

    // Spark: more advance with speed, less with load and boost. The box times
    // the spark from 100 degrees before top centre.
    double advance = 14 + 28 * Clamp01((rpm - 800) / 2000) - 8 * std::min(charge, 1.0) - m_boost;
    if (m_clutchIn) advance += 1.5 * std::sin(2 * std::numbers::pi * t / 2.3);
    advance = std::clamp(advance, 5.0, 45.0);
    const double degPerMs = rpm / 60 * 360 / 1000;
    f.timer[1] = TimerWord((100 - advance) / degPerMs * kTicksPerMs);

    if (!m_fuelCut) {
        f.timer[2] = TimerWord(m_pulseL * kInjCountsPerMs);
        f.timer[4] = TimerWord(m_pulseR * kInjCountsPerMs);
        f.status = kInjectorOnFlag;
    }

    const double baro = m_baro + Noise(t, 12, 0.02);
    f.timer[3] = TimerWord(1.0 / (HzForPressure(baro) * kTickSeconds));

    // The two speed samples: now, and one accel window earlier (the speed
    // of the step that began then), each with the sensor's jitter.
    auto vssWord = [&](double mph, int channel) {
        const double ticks = VssTicks(mph) * (1 + Noise(t, channel, kVssJitter));
        return static_cast<std::uint16_t>(std::lround(std::min(ticks, 65535.0)));
    };
    const double mphPrev = m_steps >= static_cast<std::int64_t>(kHistorySteps)
                               ? m_mphHistory[static_cast<std::size_t>(m_steps) % kHistorySteps]
                               : 0.0;
    f.timer[5] = vssWord(m_mph, 13);
    f.timer[6] = vssWord(mphPrev, 14);
    f.timer[7] = TimerWord(kAccelWindowSeconds / (8 * kTickSeconds));
    return f;
}

}  // namespace quarn
