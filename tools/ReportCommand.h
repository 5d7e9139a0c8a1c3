#pragma once

#include "decode/VehicleData.h"
#include "tools/QuarnLog.h"

namespace quarn {

// quarn-log report LOG -o FILE.pdf|FILE.html [--gears N]. Returns the exit
// status.
int RunReportCommand(const cli::Args& args, const VehicleData& vehicle);

}  // namespace quarn
