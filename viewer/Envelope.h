#pragma once

#include <cstddef>
#include <vector>

namespace quarn {

// The points a plot draws for one channel over a time window: per pixel
// column the lowest and the highest value of the rows in it, in the order
// they occur, so no spike is lost however far out the view is zoomed.
// Where a window holds fewer rows than twice the columns, every row is
// given as it is.
struct EnvelopePoints {
    std::vector<double> x;
    std::vector<double> y;
};

// times must never decrease. The row just before t0 and the row just after
// t1 are included too, so lines run on to the plot's edges. out is
// overwritten; its storage is reused.
void MinMaxEnvelope(const std::vector<double>& times, const std::vector<float>& values, double t0,
                    double t1, int columns, EnvelopePoints& out);

}  // namespace quarn
