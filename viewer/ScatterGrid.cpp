#include "viewer/ScatterGrid.h"

#include <algorithm>
#include <cmath>

namespace quarn {
namespace {

bool Holds(std::span<const float> where, std::size_t r) {
    // A gap in the condition is no "yes".
    return where.empty() || (where[r] != 0 && !std::isnan(where[r]));
}

}  // namespace

bool ScatterGrid::CellOf(double x, double y, int& cx, int& cy) const {
    if (cols <= 0 || rows <= 0 || !(x >= xLo && x <= xHi && y >= yLo && y <= yHi)) return false;
    cx = std::min(cols - 1, static_cast<int>((x - xLo) / (xHi - xLo) * cols));
    cy = std::min(rows - 1, static_cast<int>((y - yLo) / (yHi - yLo) * rows));
    return true;
}

bool ScatterExtent(std::span<const float> column, std::span<const float> where, std::size_t first,
                   std::size_t last, double& lo, double& hi) {
    last = std::min(last, column.size());
    float l = INFINITY, h = -INFINITY;
    for (std::size_t r = first; r < last; ++r) {
        const float v = column[r];
        if (!std::isfinite(v) || !Holds(where, r)) continue;
        l = std::min(l, v);
        h = std::max(h, v);
    }
    if (!(h >= l)) return false;
    lo = l;
    hi = h;
    return true;
}

ScatterGrid BinScatter(std::span<const float> xs, std::span<const float> ys,
                       std::span<const float> zs, std::span<const float> where, std::size_t first,
                       std::size_t last, double xLo, double xHi, double yLo, double yHi, int cols,
                       int rows) {
    ScatterGrid g;
    g.cols = std::max(cols, 1);
    g.rows = std::max(rows, 1);
    // An empty span of values would make every point fall in one cell.
    if (!(xHi > xLo)) xHi = xLo + 1;
    if (!(yHi > yLo)) yHi = yLo + 1;
    g.xLo = xLo, g.xHi = xHi, g.yLo = yLo, g.yHi = yHi;
    const std::size_t cells = static_cast<std::size_t>(g.cols) * static_cast<std::size_t>(g.rows);
    g.count.assign(cells, 0);
    g.row.assign(cells, 0);
    const bool withZ = !zs.empty();
    if (withZ) g.zSum.assign(cells, 0.0);
    last = std::min({last, xs.size(), ys.size()});
    if (withZ) last = std::min(last, zs.size());
    const double sx = g.cols / (xHi - xLo), sy = g.rows / (yHi - yLo);
    for (std::size_t r = first; r < last; ++r) {
        const double x = xs[r], y = ys[r];
        // NaN fails both comparisons and is left out with the points outside.
        if (!(x >= xLo && x <= xHi && y >= yLo && y <= yHi) || !Holds(where, r)) continue;
        if (withZ && !std::isfinite(zs[r])) continue;
        const int cx = std::min(g.cols - 1, static_cast<int>((x - xLo) * sx));
        const int cy = std::min(g.rows - 1, static_cast<int>((y - yLo) * sy));
        const std::size_t c = g.Cell(cx, cy);
        ++g.count[c];
        g.row[c] = static_cast<std::uint32_t>(r);
        if (withZ) g.zSum[c] += zs[r];
        ++g.points;
    }
    return g;
}

}  // namespace quarn
