#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "analysis/Statistics.h"

namespace quarn {

// A run of records over which a condition held.
struct EventStretch {
    std::size_t firstRow = 0, lastRow = 0;
    double start = 0;     // seconds, of the first row
    double duration = 0;  // until the value of the last row stopped standing
    double peak = 0, min = 0;  // of the chosen channel; NaN when it had no value
    std::size_t peakRow = 0, minRow = 0;
};

// Every stretch of rows in range where condition is true (non-zero, not a
// gap) that lasts at least minSeconds, with the peak and minimum of values
// over it.
std::vector<EventStretch> FindEvents(std::span<const float> condition, std::span<const double> seconds,
                                     double minSeconds, std::span<const float> values,
                                     RowRange range = {});

}  // namespace quarn
