#include "decode/Conversion.h"

#include <cmath>

namespace quarn {
namespace {

constexpr double kFullScale = 1023;  // analog reading of 5 V
constexpr double kSensorVolts = 5;
constexpr double kVssPulsesPerMile = 8000;
constexpr double kRpmLimit = 10000;  // smoothed speeds above this show 0
constexpr double kMapPeriodGuard = 1e-12;
constexpr float kMinDegreesPerMs = 0.00001f;
constexpr double kDutyFallbackRpm = 1200;
constexpr double kLbPerKg = 2.2;
constexpr double kMetresPerMile = 1609.344;
constexpr double kMinEnergyGain = 5000;  // J; smaller gains count as none
constexpr double kWattsPerHp = 745.7;
constexpr double kTorqueConstant = 5252;
constexpr double kMinTableDx = 0.000001;

double Volts(std::int32_t raw) {
    return raw / kFullScale * kSensorVolts;
}

// A stored value never holds NaN or infinity: a gauge could not show it.
float Finite(double v) {
    return std::isfinite(v) ? static_cast<float>(v) : 0.0f;
}

}  // namespace

void CalTable::Set(int row, double x, double y) {
    m_x[row] = x;
    m_y[row] = y;
}

double CalTable::Lookup(double x) const {
    int i = 1;
    // The last row stops the walk even for an input above every x (or NaN
    // comparisons), so the lookup never leaves the table.
    while (i < kRows - 1 && x >= m_x[i]) ++i;
    double dx = m_x[i] - m_x[i - 1];
    if (dx == 0) dx = kMinTableDx;
    return m_y[i - 1] - (x - m_x[i - 1]) / dx * (m_y[i - 1] - m_y[i]);
}

Conversion::Conversion() {
    InitTempTable();
    InitPressureTable();
}

void Conversion::InitTempTable() {
    m_tempTable.Set(1, 0, 254);
    m_tempTable.Set(2, 0.24, 254);
    m_tempTable.Set(3, 0.39, 222);
    m_tempTable.Set(4, 0.72, 179);
    m_tempTable.Set(5, 1.42, 133);
    m_tempTable.Set(6, 3.6, 46);
    m_tempTable.Set(7, 4.08, 19);
    m_tempTable.Set(8, 4.37, -9);
    m_tempTable.Set(9, 4.52, -40);
    m_tempTable.Set(10, 256, -40);
}

void Conversion::InitPressureTable() {
    m_pressureTable.Set(1, 0, 15.0796);
    m_pressureTable.Set(2, 116.8443, 15.0796);
    m_pressureTable.Set(3, 138.3355, 23.05705);
    m_pressureTable.Set(4, 162.2534, 30.97696);
    m_pressureTable.Set(5, 9.9e100, 30.97696);
    // Rows 6..10 are never reached: row 5 lies above every frequency. They
    // repeat row 5 so that even an out-of-range input ends on a flat line.
    for (int row = 6; row < CalTable::kRows; ++row) m_pressureTable.Set(row, 9.9e100, 30.97696);
}

double Conversion::MphFromPeriod(double ticks) {
    return 1 / (ticks * kTickSeconds) / kVssPulsesPerMile * 3600;
}

double Conversion::WheelHorsepower(double dE, double dt) {
    if (!(dt > 0)) return 0;
    return dE / dt / kWattsPerHp;
}

bool Conversion::WarmingUp() const {
    return quarn::WarmingUp(m_frames);
}

void Conversion::ComputeChannels(ChannelRecord& rec, const VehicleData& vehicle) {
    ++m_frames;
    // Vehicle speed; a zero period means standing still and bypasses the
    // average so the needle drops at once.
    if (rec.VssPeriod == 0) {
        rec.Mph = 0;
    } else {
        rec.Mph = Finite(SmoothMph(MphFromPeriod(rec.VssPeriod)));
    }

    // Engine speed from the two-revolution period (in units of 8 ticks).
    if (rec.RpmPeriod == 0) rec.RpmPeriod = 1;
    const double rpm = SmoothRpm(1 / (rec.RpmPeriod * kTickSeconds * 8) * 2 * 60);
    rec.Rpm = rpm > kRpmLimit ? 0.0f : Finite(rpm);

    rec.BapPressure =
        Finite(PressureFromHz(1 / ((rec.MapPeriod + kMapPeriodGuard) * kTickSeconds)));

    rec.MafVolts = Finite(Volts(rec.MafRaw));
    rec.TpsVolts = Finite(Volts(rec.TpsRaw));
    rec.EctF = Finite(TempFromVolts(Volts(rec.EctRaw)));
    rec.ActF = Finite(TempFromVolts(Volts(rec.ActRaw)));
    rec.BoostLevel = Finite(rec.BoostRaw / kFullScale * 15);
    rec.WideO2 = Finite(rec.WideO2Raw / kFullScale * 11 + 9);
    rec.EgtL = Finite(rec.EgtLRaw / kFullScale * 2000);
    rec.EgtR = Finite(rec.EgtRRaw / kFullScale * 2000);
    rec.HegoL = Finite(SmoothHegoL(rec.HegoLRaw / kFullScale));
    rec.HegoR = Finite(SmoothHegoR(rec.HegoRRaw / kFullScale));

    // Spark advance. The degrees per millisecond are held in single
    // precision, and the wrap test divides the delay by 1000 rather than by
    // the ticks per millisecond; both are part of how advance is reported.
    float d = static_cast<float>(static_cast<double>(rec.Rpm) / 60 * 360 / 1000);
    if (d == 0) d = kMinDegreesPerMs;
    const double q = 90 / static_cast<double>(d);
    const double t = rec.SparkDelay / kTicksPerMs;
    double a = (q - t) * d + 10;
    if (rec.SparkDelay / 1000.0 < q / 2) a = (90 - a) * -1;
    rec.AdvanceDeg = Finite(SmoothAdvance(static_cast<float>(a)));

    // Injector duty (percent of the two-revolution period) and pulse width;
    // the pulse-width counter runs at 3.5 MHz / 4, not at the tick rate.
    rec.InjDuty = Finite(rec.InjOnTime / (static_cast<double>(rec.RpmPeriod) * 8) * 100);
    rec.InjPw = Finite(rec.InjOnTime * 4.0 / 3500000 * 1000);
    if (rec.InjDuty == 0) {
        // No on-time measured: at idle repeat the last duty; above it the
        // injector status bit tells fuel cut (0) from a stuck-open reading.
        rec.InjPw = m_lastInjPw;
        if (rec.Rpm < kDutyFallbackRpm) {
            rec.InjDuty = m_lastInjDuty;
        } else {
            rec.InjDuty = (rec.StatusFlags & kInjectorOnFlag) ? 100.0f : 0.0f;
        }
    }
    m_lastInjDuty = rec.InjDuty;
    m_lastInjPw = rec.InjPw;

    // Power needs two speed samples; without them the last figures stay.
    if (rec.VssPeriodPrev == 0 || rec.VssPeriod == 0) return;
    const double m = vehicle.weight() / kLbPerKg;

    const double vPrev = MphFromPeriod(rec.VssPeriodPrev) / 3600 * kMetresPerMile;
    const double vNow = MphFromPeriod(rec.VssPeriod) / 3600 * kMetresPerMile;
    const double dt = rec.AccelInterval * kTickSeconds * 8;
    double dE = 0.5 * m * vNow * vNow - 0.5 * m * vPrev * vPrev;
    if (dE < kMinEnergyGain) dE = 0;
    rec.Rwhp = Finite(WheelHorsepower(dE, dt));
    rec.Rwtq = rec.Rpm == 0 ? 0.0f : Finite(rec.Rwhp * kTorqueConstant / rec.Rpm);
}

void ApplyInjDutyFloor(ChannelRecord& rec) {
    if (rec.InjDuty == 0) rec.InjDuty = 0.00001f;
}

double FuelEconomyMpg(float injDuty, float mph, const VehicleData& vehicle) {
    constexpr double kKgPerLitre = 0.76;
    constexpr double kGallonsPerLitre = 0.26417;
    const double f = vehicle.injsize() * (injDuty / 100.0);
    const double F = vehicle.numcyl() * f;
    if (!(F > 0)) return 0;
    const double mpg = 1 / F * kLbPerKg * (kKgPerLitre / kGallonsPerLitre) * mph;
    return std::isfinite(mpg) ? mpg : 0;
}

}  // namespace quarn
