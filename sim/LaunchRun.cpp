#include "sim/LaunchRun.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "decode/ChannelRecord.h"
#include "decode/Conversion.h"
#include "sim/EngineModel.h"

namespace quarn {
namespace {

// Full-throttle acceleration at the torque peak in each gear, mph per second.
constexpr std::array<double, 5> kGearAccel{12.5, 7.8, 5.3, 3.9, 3.0};
constexpr double kIdleRpm = 800;
constexpr double kDeclutchRpm = 1100;
constexpr double kPulsesPerMile = 8000;
constexpr double kAccelWindowSeconds = 0.25;
constexpr double kMaxTicks = 65535;

double TorqueShape(double rpm) {
    const double x = (rpm - 4500) / 3500;
    return 1 - 0.25 * x * x;
}

double Drag(double mph) {
    return mph > 0 ? 0.12 + 0.00015 * mph * mph : 0;
}

std::uint16_t Word(double ticks) {
    return static_cast<std::uint16_t>(std::lround(std::clamp(ticks, 1.0, kMaxTicks)));
}

std::uint16_t Analog(double volts) {
    return static_cast<std::uint16_t>(std::lround(std::clamp(volts / 5, 0.0, 1.0) * 1023));
}

}  // namespace

double LaunchRun::MphPer1000(int gear) {
    return EngineModel::kMphPer1000[static_cast<std::size_t>(gear)];
}

LaunchRun::LaunchRun(const LaunchOptions& options) : m_o(options) {
    m_o.gears = std::clamp(m_o.gears, 1, static_cast<int>(kGearAccel.size()));
    Simulate();
    BuildFrames();
}

void LaunchRun::Simulate() {
    enum class Phase { Rest, Run, Cruise, Brake, RestAfter };
    Phase phase = Phase::Rest;
    double mph = 0, miles = 0, rpm = kIdleRpm, t = 0, phaseEnd = m_o.restSeconds;
    double shiftLeft = 0;
    int gear = 0;
    bool clutchIn = true;
    double nextPulse = 1;  // the pulse number still to come
    const double dt = m_step;
    for (std::size_t n = 0;; ++n) {
        t = static_cast<double>(n) * dt;
        if (phase == Phase::Rest && t >= phaseEnd) {
            phase = Phase::Run;
            m_launch = t;
            phaseEnd = t + m_o.runSeconds;
            clutchIn = false;
        } else if (phase == Phase::Run && t >= phaseEnd) {
            phase = Phase::Cruise;
            phaseEnd = t + m_o.cruiseSeconds;
        } else if (phase == Phase::Cruise && t >= phaseEnd) {
            phase = Phase::Brake;
        } else if (phase == Phase::Brake && mph <= 0) {
            phase = Phase::RestAfter;
            phaseEnd = t + m_o.restAfterSeconds;
        } else if (phase == Phase::RestAfter && t >= phaseEnd) {
            break;
        }

        const double gearRpm = mph * 1000 / MphPer1000(gear);
        double accel = 0;
        double throttle = 0;
        switch (phase) {
            case Phase::Rest:
            case Phase::RestAfter:
                rpm = kIdleRpm;
                break;
            case Phase::Run: {
                throttle = 1;
                if (shiftLeft > 0) {
                    shiftLeft -= dt;
                    throttle = 0;
                    accel = -Drag(mph);
                    rpm += (mph * 1000 / MphPer1000(gear) - rpm) * std::min(1.0, dt / 0.08);
                    break;
                }
                const bool lastGear = gear + 1 >= m_o.gears;
                if (gearRpm >= m_o.shiftRpm && !lastGear) {
                    ++gear;
                    shiftLeft = m_o.shiftSeconds;
                    break;
                }
                rpm = std::max(gearRpm, gear == 0 ? m_o.launchRpm : 0.0);
                const double engage = std::min(1.0, (t - m_launch) / m_o.clutchSeconds);
                accel = kGearAccel[static_cast<std::size_t>(gear)] * TorqueShape(rpm) * engage -
                        Drag(mph);
                if (lastGear && gearRpm >= m_o.shiftRpm) accel = std::min(accel, 0.0);
                break;
            }
            case Phase::Cruise:
                throttle = 0.15;
                rpm = gearRpm;
                break;
            case Phase::Brake:
                if (!clutchIn && gearRpm < kDeclutchRpm) clutchIn = true;
                rpm = clutchIn ? rpm + (kIdleRpm - rpm) * std::min(1.0, dt / 0.3) : gearRpm;
                accel = -m_o.brakeMphPerSecond;
                break;
        }
        const double before = mph;
        mph = std::max(0.0, mph + accel * dt);
        const double step = (before + mph) / 2 * dt / 3600;
        // Pulses fall where the distance passes each 1/8000 mile, placed
        // within the step by the distance covered.
        while (step > 0 && (miles + step) * kPulsesPerMile >= nextPulse) {
            const double share = (nextPulse / kPulsesPerMile - miles) / step;
            m_pulses.push_back(t + share * dt);
            ++nextPulse;
        }
        miles += step;
        m_mph.push_back(mph);
        m_miles.push_back(miles);
        m_rpm.push_back(rpm);
        m_throttle.push_back(static_cast<float>(throttle));
        // Index n holds the state at the end of step n, t + dt.
    }
}

void LaunchRun::BuildFrames() {
    std::mt19937_64 rng(m_o.seed);
    std::uniform_real_distribution<double> jitter(-m_o.frameJitter, m_o.frameJitter);
    const double interval = 1 / m_o.frameRate;
    const double end = static_cast<double>(m_mph.size() - 1) * m_step;
    // The period of the last two pulses before t, in ticks; 0 when the
    // sensor reads stopped.
    auto periodAt = [&](double t) -> double {
        const auto it = std::upper_bound(m_pulses.begin(), m_pulses.end(), t);
        if (it - m_pulses.begin() < 2) return 0;
        const double last = *(it - 1);
        const double ticks = (last - *(it - 2)) / kTickSeconds;
        if (ticks > kMaxTicks || (t - last) / kTickSeconds > kMaxTicks) return 0;
        return ticks;
    };
    for (int n = 0;; ++n) {
        const double t = std::max(0.0, (n + (n > 0 ? jitter(rng) : 0.0)) * interval);
        if (t > end) break;
        const std::size_t k = StepAt(t);
        const double rpm = m_rpm[k];
        const double throttle = m_throttle[k];
        RawFrame f;
        const double load = 0.15 + 0.85 * throttle;
        f.analog[0] = Analog(0.5 + 4.0 * load * std::min(1.0, rpm / 6000));  // MAF
        f.analog[1] = Analog(0.98 + 3.55 * throttle);                          // TPS
        f.analog[2] = Analog(0.6);    // ECT, warm
        f.analog[3] = Analog(2.8);    // ACT
        f.analog[4] = 0;              // no boost
        f.analog[5] = Analog(5.0 * (throttle > 0.7 ? 12.5 - 9 : 14.7 - 9) / 11);
        f.analog[6] = Analog(5.0 * (900 + 500 * load) / 2000);
        f.analog[7] = f.analog[6];
        f.analog[8] = Analog(2.25);
        f.analog[9] = Analog(2.25);
        f.timer[0] = Word(120.0 / (rpm * 8 * kTickSeconds));
        f.timer[1] = Word((100 - 30) / (rpm / 60 * 360 / 1000) * kTicksPerMs);
        const double pulseMs = 1.3 + 6.0 * load;
        f.timer[2] = Word(pulseMs * 875);
        f.timer[3] = Word(1.0 / (157.8 * kTickSeconds));
        f.timer[4] = f.timer[2];
        f.timer[5] = static_cast<std::uint16_t>(std::lround(periodAt(t)));
        f.timer[6] = static_cast<std::uint16_t>(std::lround(periodAt(t - kAccelWindowSeconds)));
        f.timer[7] = Word(kAccelWindowSeconds / (8 * kTickSeconds));
        f.status = kInjectorOnFlag;
        m_frames.push_back(f);
        m_frameSeconds.push_back(t);
    }
}

std::size_t LaunchRun::StepAt(double seconds) const {
    const double k = std::floor(seconds / m_step);
    return static_cast<std::size_t>(std::clamp(k, 0.0, static_cast<double>(m_mph.size() - 1)));
}

double LaunchRun::SecondsAtMph(double mph) const {
    for (std::size_t k = StepAt(m_launch) + 1; k < m_mph.size(); ++k)
        if (m_mph[k] >= mph) {
            const double share = (mph - m_mph[k - 1]) / (m_mph[k] - m_mph[k - 1]);
            return (static_cast<double>(k) + share) * m_step;
        }
    return -1;
}

double LaunchRun::SecondsAtMiles(double miles) const {
    const double start = m_miles[StepAt(m_launch)];
    for (std::size_t k = StepAt(m_launch) + 1; k < m_miles.size(); ++k)
        if (m_miles[k] - start >= miles) {
            const double share =
                (miles + start - m_miles[k - 1]) / (m_miles[k] - m_miles[k - 1]);
            return (static_cast<double>(k) + share) * m_step;
        }
    return -1;
}

double LaunchRun::MphAtMiles(double miles) const {
    const double t = SecondsAtMiles(miles);
    return t < 0 ? -1 : MphAt(t);
}

double LaunchRun::MilesAt(double seconds) const {
    // Steps record the state at their end.
    const double k = seconds / m_step - 1;
    if (k <= 0) return 0;
    const std::size_t i = StepAt(k * m_step);
    const std::size_t j = std::min(i + 1, m_miles.size() - 1);
    return m_miles[i] + (m_miles[j] - m_miles[i]) * (k - std::floor(k));
}

double LaunchRun::MphAt(double seconds) const {
    const double k = seconds / m_step - 1;
    if (k <= 0) return m_mph.front();
    const std::size_t i = StepAt(k * m_step);
    const std::size_t j = std::min(i + 1, m_mph.size() - 1);
    return m_mph[i] + (m_mph[j] - m_mph[i]) * (k - std::floor(k));
}

}  // namespace quarn
