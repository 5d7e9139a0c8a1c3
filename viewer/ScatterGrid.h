#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quarn {

// X against Y binned into a grid of about one cell per pixel, so a million
// points cost one pass and a picture the size of the plot, not a million
// symbols. Each cell keeps its count, the sum of Z over it, and one row that
// fell in it, for a click to go to.
struct ScatterGrid {
    int cols = 0, rows = 0;
    double xLo = 0, xHi = 1, yLo = 0, yHi = 1;
    std::vector<std::uint32_t> count;  // row-major by y, then x
    std::vector<double> zSum;          // empty without Z
    std::vector<std::uint32_t> row;    // the last row in each cell
    std::size_t points = 0;            // rows that landed in the grid
    std::size_t Cell(int cx, int cy) const {
        return static_cast<std::size_t>(cy) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(cx);
    }
    // The cell of a point; false outside the grid.
    bool CellOf(double x, double y, int& cx, int& cy) const;
};

// The lowest and highest finite value of column over rows [first, last)
// where where (when given) is true; false when there is none.
bool ScatterExtent(std::span<const float> column, std::span<const float> where, std::size_t first,
                   std::size_t last, double& lo, double& hi);

// Rows [first, last) whose X, Y (and Z, when given) have values and whose
// where (when given) is true, binned over [xLo, xHi] x [yLo, yHi].
ScatterGrid BinScatter(std::span<const float> xs, std::span<const float> ys,
                       std::span<const float> zs, std::span<const float> where, std::size_t first,
                       std::size_t last, double xLo, double xHi, double yLo, double yHi, int cols,
                       int rows);

}  // namespace quarn
