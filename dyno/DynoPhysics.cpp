#include "dyno/DynoPhysics.h"

#include <algorithm>
#include <cmath>

#include "decode/Conversion.h"

namespace quarn {
namespace {

constexpr double kGasConstantDryAir = 287.05;  // J/(kg·K)
constexpr double kGasConstantVapour = 461.495;
constexpr double kSaeStandardKpa = 99;
constexpr double kSaeStandardKelvin = 298;

double KelvinFromF(double f) {
    return (f - 32) * 5 / 9 + 273.15;
}

}  // namespace

double SaturationVapourKpa(double airF) {
    const double c = (airF - 32) * 5 / 9;
    return 0.61121 * std::exp((18.678 - c / 234.5) * (c / (257.14 + c)));
}

namespace {

double VapourKpa(double airF, double humidityPercent) {
    return std::clamp(humidityPercent, 0.0, 100.0) / 100 * SaturationVapourKpa(airF);
}

}  // namespace

double AirDensity(double bapInHg, double airF, double humidityPercent) {
    const double vapour = VapourKpa(airF, humidityPercent) * 1000;
    const double dry = bapInHg * kPascalPerInHg - vapour;
    const double kelvin = KelvinFromF(airF);
    return dry / (kGasConstantDryAir * kelvin) + vapour / (kGasConstantVapour * kelvin);
}

double SaeCorrectionFactor(double bapInHg, double airF, double humidityPercent) {
    const double kpa = bapInHg * kPascalPerInHg / 1000 - VapourKpa(airF, humidityPercent);
    const double celsius = (airF - 32) * 5 / 9;
    return 1.18 * (kSaeStandardKpa / kpa) * std::sqrt((celsius + 273) / kSaeStandardKelvin) -
           0.18;
}

double WheelPowerWatts(double massKg, double a, double v, double rho, double cda, double crr) {
    return massKg * a * v + 0.5 * rho * cda * v * v * v + crr * massKg * kGravity * v;
}

SpeedSample SpeedAt(const DynoInput& in, std::size_t i) {
    SpeedSample s;
    const double now = in.VssPeriod[i];
    const double prev = in.VssPeriodPrev[i];
    const double interval = in.AccelInterval[i] * 8 * kTickSeconds;
    if (!(now > 0) || !(prev > 0) || !(interval > 0)) return s;
    s.vNow = Conversion::MphFromPeriod(now) * kMetresPerSecondPerMph;
    s.vPrev = Conversion::MphFromPeriod(prev) * kMetresPerSecondPerMph;
    s.accel = (s.vNow - s.vPrev) / interval;
    s.vMid = 0.5 * (s.vNow + s.vPrev);
    s.valid = std::isfinite(s.accel);
    return s;
}

}  // namespace quarn
