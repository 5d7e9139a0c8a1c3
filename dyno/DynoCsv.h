#pragma once

#include <string>

#include "dyno/DynoCurve.h"

namespace quarn {

// A curve as CSV text: a header line, then one line per point with the rpm,
// the power and torque as measured, and the same corrected to standard air
// by the SAE J1349 factor. Decimal points whatever the locale.
std::string CurveCsv(const DynoCurve& curve);

}  // namespace quarn
