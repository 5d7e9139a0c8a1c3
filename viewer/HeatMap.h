#pragma once

#include <QString>

#include <cstdint>
#include <span>
#include <vector>

namespace quarn {

class LogTable;

// A condition a row must meet to count in a heat map, in the form the
// heat map took before it took formulas; "CH>V" on the command line.
struct HeatFilter {
    enum class Op { Above, Below, AtLeast, AtMost };
    int channel = -1;
    Op op = Op::Above;
    double value = 0;
    bool Holds(double v) const;
};

// Ready-made "Only where" formulas the heat map offers beside its box.
struct HeatWherePreset {
    const char* label;
    const char* formula;
};
std::span<const HeatWherePreset> HeatWherePresets();

// Cell edges for a channel: sensible steps (RPM 500, MAF volts 0.25, ...)
// covering lo..hi, at most 64 cells.
std::vector<double> DefaultHeatEdges(int channel, double lo, double hi);

// The most cells along an axis once the user has set its step.
constexpr int kHeatMaxCells = 64;
// Cell edges from a multiple of step (> 0) covering lo..hi, the step doubled
// until at most kHeatMaxCells cells remain.
std::vector<double> StepHeatEdges(double lo, double hi, double step);

struct HeatMapResult {
    std::vector<double> xEdges;  // cells: [xEdges[i], xEdges[i+1])
    std::vector<double> yEdges;
    // Per cell, row-major by y then x: mean of Z and the rows counted.
    std::vector<double> mean;
    std::vector<std::int64_t> count;
    double zMin = 0, zMax = 0;  // over cells with a count
    std::int64_t warmingUp = 0;  // rows of the range left out as still warming up
    std::int64_t damaged = 0;    // rows of frames failing their checksum, left out
    std::int64_t filteredOut = 0;  // rows of the range the condition left out
    std::size_t Cols() const { return xEdges.size() < 2 ? 0 : xEdges.size() - 1; }
    std::size_t RowsOfCells() const { return yEdges.size() < 2 ? 0 : yEdges.size() - 1; }
};

// The mean of channel z in each x-by-y cell over rows [row0, row1) of
// table where condition holds (non-zero and not NaN; an empty condition
// holds everywhere, else it has a value per row of the table). Values
// outside the edges are not counted, nor are rows still warming up or of
// damaged frames.
HeatMapResult ComputeHeatMap(const LogTable& table, int x, int y, int z,
                             const std::vector<double>& xEdges, const std::vector<double>& yEdges,
                             std::span<const float> condition, std::size_t row0, std::size_t row1);
// The condition, for ComputeHeatMap, that every filter holds: 1 or 0 per
// row of table. Empty when there are no filters or one names no channel.
std::vector<float> HeatFilterCondition(const LogTable& table, const std::vector<HeatFilter>& filters);

// The table as tab-separated text a spreadsheet pastes: a corner cell, the
// X cell starts across the top, the Y cell starts down the side, the means
// (empty where a cell has no rows), then a blank line and the counts.
QString HeatMapTsv(const HeatMapResult& map, const QString& xName, const QString& yName,
                   const QString& zName);

}  // namespace quarn
