#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace quarn {

class LogTable;

// A condition a row must meet to count in a heat map.
struct HeatFilter {
    enum class Op { Above, Below, AtLeast, AtMost };
    int channel = -1;
    Op op = Op::Above;
    double value = 0;
    bool Holds(double v) const;
};

// Cell edges for a channel: sensible steps (RPM 500, MAF volts 0.25, ...)
// covering lo..hi, at most 64 cells.
std::vector<double> DefaultHeatEdges(int channel, double lo, double hi);

struct HeatMapResult {
    std::vector<double> xEdges;  // cells: [xEdges[i], xEdges[i+1])
    std::vector<double> yEdges;
    // Per cell, row-major by y then x: mean of Z and the rows counted.
    std::vector<double> mean;
    std::vector<std::int64_t> count;
    double zMin = 0, zMax = 0;  // over cells with a count
    std::int64_t warmingUp = 0;  // rows of the range left out as still warming up
    std::int64_t damaged = 0;    // rows of frames failing their checksum, left out
    std::size_t Cols() const { return xEdges.size() < 2 ? 0 : xEdges.size() - 1; }
    std::size_t RowsOfCells() const { return yEdges.size() < 2 ? 0 : yEdges.size() - 1; }
};

// The mean of channel z in each x-by-y cell over rows [row0, row1) of
// table that meet every filter. Values outside the edges are not counted,
// nor are rows still warming up or of damaged frames.
HeatMapResult ComputeHeatMap(const LogTable& table, int x, int y, int z,
                             const std::vector<double>& xEdges, const std::vector<double>& yEdges,
                             const std::vector<HeatFilter>& filters, std::size_t row0,
                             std::size_t row1);

// The table as tab-separated text a spreadsheet pastes: a corner cell, the
// X cell starts across the top, the Y cell starts down the side, the means
// (empty where a cell has no rows), then a blank line and the counts.
QString HeatMapTsv(const HeatMapResult& map, const QString& xName, const QString& yName,
                   const QString& zName);

}  // namespace quarn
