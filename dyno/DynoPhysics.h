#pragma once

#include <cstddef>

#include "dyno/DynoInput.h"

namespace quarn {

// The road-dyno physics: wheel power from the car's speed, its mass and its
// road load. SI units inside; horsepower, lb-ft, inHg and °F at the edges.

inline constexpr double kKgPerLb = 0.45359237;
inline constexpr double kGravity = 9.80665;          // m/s²
inline constexpr double kWattsPerHp = 745.69987;     // mechanical horsepower
inline constexpr double kTorqueConstant = 5252.113;  // hp x 5252 / rpm = lb-ft
inline constexpr double kPascalPerInHg = 3386.389;
inline constexpr double kMetresPerSecondPerMph = 0.44704;

// The car as the dyno needs it: curb weight (lb), drag area (m²) and
// rolling-resistance coefficient.
struct DynoVehicle {
    double weightLb = 3500;
    double cda = 0.70;
    double crr = 0.015;
};

// Saturation vapour pressure of water (kPa) at airF (°F), by Buck's formula.
double SaturationVapourKpa(double airF);

// Air density (kg/m³) from the barometric pressure (inHg), the air
// temperature (°F) and the relative humidity (percent, 0 for dry air): the
// dry air and the water vapour each by the ideal gas law.
double AirDensity(double bapInHg, double airF, double humidityPercent = 0);

// The SAE J1349 correction factor to standard air (99 kPa dry air, 25 °C):
//   CF = 1.18 x (99 / Pd) x sqrt((T + 273) / 298) - 0.18
// with T the air temperature in °C and Pd the dry-air pressure in kPa: the
// barometer's reading less the vapour pressure RH x p_sat(T). The box
// measures no humidity: the user gives it (0 takes the air as dry).
double SaeCorrectionFactor(double bapInHg, double airF, double humidityPercent = 0);

// Wheel power (W) of a car of mass m (kg) at speed v (m/s) gaining speed at
// a (m/s²), in air of density rho:
//   P = m·a·v + ½·rho·CdA·v³ + Crr·m·g·v
double WheelPowerWatts(double massKg, double a, double v, double rho, double cda, double crr);

// One frame's two speed samples. Valid when both samples and the interval
// between them are non-zero.
struct SpeedSample {
    bool valid = false;
    double vNow = 0;   // m/s
    double vPrev = 0;  // m/s, one accel interval earlier
    double accel = 0;  // m/s², over the interval
    double vMid = 0;   // m/s, in the middle of the interval
};
SpeedSample SpeedAt(const DynoInput& in, std::size_t i);

}  // namespace quarn
