#include "viewer/HeatMap.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "viewer/LogTable.h"

namespace quarn {

bool HeatFilter::Holds(double v) const {
    switch (op) {
    case Op::Above: return v > value;
    case Op::Below: return v < value;
    case Op::AtLeast: return v >= value;
    case Op::AtMost: return v <= value;
    }
    return false;
}

namespace {

// Each no more than the three conditions the tab's filter rows once held,
// so a map made with the rows is made again with the formula.
constexpr HeatWherePreset kPresets[] = {
    {"Warm engine", "ECT > 180"},
    {"Warm, off idle", "ECT > 180 and TPS > 1"},
    {"Warm part-throttle cruise", "ECT > 180 and TPS > 1 and RPM <= 3000"},
};

// A step a reader of the table expects for the channel: round numbers of
// its unit, fine enough to show the shape of a map.
double NaturalStep(const QString& name, double span) {
    struct Known {
        const char* name;
        double step;
    };
    static const Known known[] = {
        {"RPM", 500},       {"MPH", 10},       {"MAF", 0.25},    {"TPS", 0.25},
        {"ECT", 10},        {"ACT", 10},       {"BAP", 1},       {"Boost", 2},
        {"WideO2", 0.5},    {"Advance", 2},    {"InjDuty", 10},  {"InjPW", 1},
        {"EGTL", 100},      {"EGTR", 100},     {"HEGOL", 0.1},   {"HEGOR", 0.1},
    };
    for (const Known& k : known)
        if (name.compare(QLatin1String(k.name), Qt::CaseInsensitive) == 0) return k.step;
    // Otherwise a 1, 2 or 5 times a power of ten giving about sixteen cells.
    const double rough = std::max(span / 16, 1e-6);
    const double decade = std::pow(10, std::floor(std::log10(rough)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * decade >= rough) return m * decade;
    return 10 * decade;
}

}  // namespace

std::span<const HeatWherePreset> HeatWherePresets() {
    return kPresets;
}

std::vector<double> DefaultHeatEdges(int channel, double lo, double hi) {
    const auto& channels = ViewerChannels();
    const QString name = channel >= 0 && channel < static_cast<int>(channels.size())
                             ? channels[static_cast<std::size_t>(channel)].name
                             : QString();
    if (!std::isfinite(lo) || !std::isfinite(hi)) lo = hi = 0;
    if (hi < lo) std::swap(lo, hi);
    double step = NaturalStep(name, hi - lo);
    // Never more than 64 cells: widen the step for a long range.
    while ((hi - lo) / step > 64) step *= 2;
    const double start = std::floor(lo / step) * step;
    std::vector<double> edges;
    for (double e = start;; e += step) {
        edges.push_back(e);
        if (e > hi || edges.size() > 65) break;
    }
    if (edges.size() < 2) edges.push_back(start + step);
    return edges;
}

std::vector<double> StepHeatEdges(double lo, double hi, double step) {
    while ((hi - lo) / step > kHeatMaxCells) step *= 2;
    const double start = std::floor(lo / step) * step;
    std::vector<double> edges;
    for (int k = 0;; ++k) {
        const double e = start + k * step;
        edges.push_back(e);
        if (e > hi && edges.size() >= 2) break;
    }
    return edges;
}

HeatMapResult ComputeHeatMap(const LogTable& table, int x, int y, int z,
                             const std::vector<double>& xEdges, const std::vector<double>& yEdges,
                             std::span<const float> condition, std::size_t row0,
                             std::size_t row1) {
    HeatMapResult map;
    map.xEdges = xEdges;
    map.yEdges = yEdges;
    const std::size_t cols = map.Cols(), rowsOfCells = map.RowsOfCells();
    map.mean.assign(cols * rowsOfCells, 0.0);
    map.count.assign(cols * rowsOfCells, 0);
    const int channelCount = table.ChannelCount();
    auto valid = [&](int id) { return id >= 0 && id < channelCount; };
    if (cols == 0 || rowsOfCells == 0 || !valid(x) || !valid(y) || !valid(z)) return map;

    row1 = std::min(row1, table.Rows());
    if (row0 < table.WarmUpRows() && row0 < row1) {
        const std::size_t settled = std::min(table.WarmUpRows(), row1);
        map.warmingUp = static_cast<std::int64_t>(settled - row0);
        row0 = settled;
    }
    // Their values are NaN, which no cell takes; counted to be said.
    const auto& damaged = table.DamagedRows();
    auto nextDamaged = std::lower_bound(damaged.begin(), damaged.end(), row0);
    map.damaged = std::lower_bound(damaged.begin(), damaged.end(), row1) - nextDamaged;
    const bool filtered = !condition.empty();
    // A row the condition has no value for (the log grew since it was
    // evaluated) is not known to meet it.
    auto holds = [&](std::size_t r) {
        return r < condition.size() && condition[r] != 0 && !std::isnan(condition[r]);
    };
    const float* xs = table.Column(x).data();
    const float* ys = table.Column(y).data();
    const float* zs = table.Column(z).data();
    std::vector<double> sum(cols * rowsOfCells, 0.0);
    // Uniform edges, as the defaults are, find their cell by division; others
    // by a binary search.
    auto uniform = [](const std::vector<double>& e) {
        const double step = e[1] - e[0];
        for (std::size_t i = 2; i < e.size(); ++i)
            if (std::abs(e[i] - e[i - 1] - step) > step * 1e-9) return 0.0;
        return step;
    };
    const double xStep = uniform(xEdges), yStep = uniform(yEdges);
    auto cellOf = [](const std::vector<double>& e, double step, double v) -> long {
        if (!(v >= e.front()) || !(v < e.back())) return -1;
        if (step > 0) {
            const auto c = static_cast<long>((v - e.front()) / step);
            return std::min<long>(c, static_cast<long>(e.size()) - 2);
        }
        return static_cast<long>(std::upper_bound(e.begin(), e.end(), v) - e.begin()) - 1;
    };
    for (std::size_t r = row0; r < row1; ++r) {
        if (filtered && !holds(r)) {
            // A damaged row is said once, as damaged, not again as filtered.
            while (nextDamaged != damaged.end() && *nextDamaged < r) ++nextDamaged;
            if (nextDamaged == damaged.end() || *nextDamaged != r) ++map.filteredOut;
            continue;
        }
        if (!std::isfinite(zs[r])) continue;
        const long cx = cellOf(xEdges, xStep, xs[r]);
        const long cy = cellOf(yEdges, yStep, ys[r]);
        if (cx < 0 || cy < 0) continue;
        const std::size_t cell = static_cast<std::size_t>(cy) * cols + static_cast<std::size_t>(cx);
        sum[cell] += zs[r];
        ++map.count[cell];
    }
    map.zMin = std::numeric_limits<double>::infinity();
    map.zMax = -map.zMin;
    for (std::size_t c = 0; c < sum.size(); ++c) {
        if (map.count[c] == 0) continue;
        map.mean[c] = sum[c] / static_cast<double>(map.count[c]);
        map.zMin = std::min(map.zMin, map.mean[c]);
        map.zMax = std::max(map.zMax, map.mean[c]);
    }
    if (map.zMin > map.zMax) map.zMin = map.zMax = 0;
    return map;
}

std::vector<float> HeatFilterCondition(const LogTable& table, const std::vector<HeatFilter>& filters) {
    std::vector<float> condition;
    for (const HeatFilter& f : filters)
        if (f.channel < 0 || f.channel >= table.ChannelCount()) return condition;
    if (filters.empty()) return condition;
    condition.assign(table.Rows(), 1.0f);
    for (const HeatFilter& f : filters) {
        const std::vector<float>& column = table.Column(f.channel);
        for (std::size_t r = 0; r < condition.size(); ++r)
            if (!f.Holds(column[r])) condition[r] = 0;
    }
    return condition;
}

QString HeatMapTsv(const HeatMapResult& map, const QString& xName, const QString& yName,
                   const QString& zName) {
    const std::size_t cols = map.Cols(), rows = map.RowsOfCells();
    QString out;
    auto table = [&](const QString& corner, auto cell) {
        out += corner;
        for (std::size_t c = 0; c < cols; ++c) out += '\t' + QString::number(map.xEdges[c]);
        out += '\n';
        for (std::size_t r = 0; r < rows; ++r) {
            out += QString::number(map.yEdges[r]);
            for (std::size_t c = 0; c < cols; ++c) out += '\t' + cell(r * cols + c);
            out += '\n';
        }
    };
    table(QStringLiteral("%1 mean: %2 down, %3 across").arg(zName, yName, xName),
          [&](std::size_t i) {
              return map.count[i] ? QString::number(map.mean[i], 'g', 6) : QString();
          });
    out += '\n';
    table(QStringLiteral("count"), [&](std::size_t i) { return QString::number(map.count[i]); });
    return out;
}

}  // namespace quarn
