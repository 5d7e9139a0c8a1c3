#pragma once

#include <span>
#include <vector>

namespace quarn {

// The functions over time of the formula language, as operations on whole
// columns. seconds is the time of every row, never decreasing; a NaN value
// is a gap, and every function gives NaN where it has nothing to stand on.

// The mean of the values within seconds/2 either side of each row's time.
// A gap stays a gap; its neighbours average over the values that are there.
std::vector<double> SmoothColumn(std::span<const double> x, std::span<const double> seconds,
                                 double window);

// The change per second, from the neighbouring rows (one-sided at the ends).
std::vector<double> DerivativeColumn(std::span<const double> x, std::span<const double> seconds);

// The value records rows earlier (records >= 0).
std::vector<double> LagColumn(std::span<const double> x, long long records);

// The value at each row's time less delay (negative: later), interpolated
// between the two records around it.
std::vector<double> ShiftColumn(std::span<const double> x, std::span<const double> seconds,
                                double delay);

}  // namespace quarn
