#pragma once

#include <string>
#include <vector>

#include "dyno/DynoInput.h"
#include "dyno/DynoPhysics.h"
#include "dyno/Pulls.h"

namespace quarn {

struct DynoOptions {
    double binRpm = 50;  // frames are averaged in bins this wide
    // Width of the smoothing window (rpm): a local quadratic least-squares
    // fit (Savitzky–Golay) over the bins within it, centred on each bin, so
    // a peak keeps its place. 0 leaves the bins as they are.
    double smoothRpm = 500;
    // Relative humidity of the air, percent, for the correction factor and
    // the air density; 0 takes the air as dry.
    double humidityPercent = 0;
};

struct CurvePoint {
    double rpm = 0;
    double hp = 0;      // uncorrected wheel power
    double torque = 0;  // lb-ft, hp x 5252 / rpm
};

struct CurvePeak {
    double rpm = 0;
    double value = 0;
    // The curve was still rising where the pull ended: no peak, only the
    // highest figure the pull reached.
    bool atEnd = false;
};

// The power and torque of one pull against rpm, uncorrected; the corrected
// figures are these times correctionFactor.
struct DynoCurve {
    std::vector<CurvePoint> points;  // rising rpm
    CurvePeak peakHp;
    CurvePeak peakTorque;
    double bapInHg = 0;  // mean over the pull
    double actF = 0;
    double humidityPercent = 0;
    double correctionFactor = 1;  // SAE J1349
    // Why there is no curve; empty when there is one.
    std::string problem;
    bool Ok() const { return problem.empty() && !points.empty(); }
};

// The vehicle's figures are refused (with a sentence) when weight or CdA is
// not above 0, or Crr is negative.
std::string VehicleProblem(const DynoVehicle& vehicle);

// The curve of one pull (a usable one from FindPulls).
DynoCurve ComputeCurve(const DynoInput& in, const Pull& pull, const DynoVehicle& vehicle,
                       const DynoOptions& options = {});

// Smooths y(x) (x rising) by a local quadratic least-squares fit over the
// points within width/2 either side of each one; at the ends the window is
// one-sided. Exposed for tests.
std::vector<double> SmoothLocalQuadratic(const std::vector<double>& x,
                                         const std::vector<double>& y, double width);

}  // namespace quarn
