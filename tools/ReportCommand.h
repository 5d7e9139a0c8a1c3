#pragma once

#include "decode/VehicleData.h"

namespace quarn {

// quarn-log report LOG -o FILE.pdf|FILE.html [--gears N]: argv from the
// command's own name on. Returns the exit status.
int RunReportCommand(int argc, char** argv, const VehicleData& vehicle);

}  // namespace quarn
