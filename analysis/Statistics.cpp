#include "analysis/Statistics.h"

#include <algorithm>
#include <cmath>

namespace quarn {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Rows {
    std::size_t first, last;
};

Rows Clip(RowRange range, std::size_t size) {
    const std::size_t last = std::min(range.last, size);
    return {std::min(range.first, last), last};
}

// The hold of every row of rows, computed once for all channels.
std::vector<double> Holds(std::span<const double> seconds, Rows rows) {
    std::vector<double> w(rows.last - rows.first);
    for (std::size_t r = rows.first; r < rows.last; ++r) w[r - rows.first] = HoldSeconds(seconds, r);
    return w;
}

QString Number(double v) {
    return std::isnan(v) ? QString() : QString::number(v, 'g', 6);
}

}  // namespace

double HoldSeconds(std::span<const double> seconds, std::size_t row) {
    const std::size_t n = seconds.size();
    if (n < 2 || row >= n) return 0;
    const std::size_t a = row + 1 < n ? row : n - 2;
    const double dt = seconds[a + 1] - seconds[a];
    return dt > 0 ? std::min(dt, kMaxHoldSeconds) : 0;
}

std::vector<ChannelStatistics> Statistics(const ColumnSet& set, RowRange range,
                                          const std::vector<Band>& bands) {
    const Rows rows = Clip(range, set.Rows());
    const std::vector<double> w = Holds(set.seconds, rows);
    std::vector<ChannelStatistics> out;
    for (std::size_t c = 0; c < set.columns.size(); ++c) {
        ChannelStatistics s;
        s.name = c < set.names.size() ? set.names[c] : QString();
        s.unit = c < set.units.size() ? set.units[c] : QString();
        const std::span<const float> col = set.columns[c];
        const Band band = c < bands.size() ? bands[c] : Band{};
        const std::size_t last = std::min(rows.last, col.size());
        // Sums about the first value keep the variance from cancelling
        // away on a channel that sits far from zero.
        double shift = kNaN;
        double lo = INFINITY, hi = -INFINITY, sum = 0, sumSq = 0, wSum = 0, wTotal = 0, inBand = 0;
        std::size_t count = 0;
        for (std::size_t r = rows.first; r < last; ++r) {
            const double v = col[r];
            if (std::isnan(v)) continue;
            if (count == 0) shift = v;
            ++count;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            const double d = v - shift;
            sum += d;
            sumSq += d * d;
            const double wr = w[r - rows.first];
            wSum += wr * d;
            wTotal += wr;
            if (v >= band.low && v <= band.high) inBand += wr;
        }
        s.count = count;
        if (count == 0) {
            s.min = s.max = s.mean = s.timeMean = s.stdDev = kNaN;
        } else {
            const double n = static_cast<double>(count);
            s.min = lo;
            s.max = hi;
            s.mean = shift + sum / n;
            s.timeMean = wTotal > 0 ? shift + wSum / wTotal : s.mean;
            s.stdDev = std::sqrt(std::max(0.0, sumSq / n - (sum / n) * (sum / n)));
        }
        s.seconds = wTotal;
        s.bandSeconds = band.set ? inBand : kNaN;
        out.push_back(s);
    }
    return out;
}

QString StatisticsText(const std::vector<ChannelStatistics>& stats, const std::vector<Band>& bands) {
    QString text = QStringLiteral(
        "Channel\tUnit\tRecords\tMin\tMax\tMean\tTime-weighted mean\tStd dev\tBand low\tBand high"
        "\tTime in band (s)\tTime in band (%)\n");
    for (std::size_t i = 0; i < stats.size(); ++i) {
        const ChannelStatistics& s = stats[i];
        const Band band = i < bands.size() ? bands[i] : Band{};
        QStringList cells{s.name, s.unit, QString::number(s.count), Number(s.min), Number(s.max),
                          Number(s.mean), Number(s.timeMean), Number(s.stdDev)};
        if (band.set) {
            cells << Number(band.low) << Number(band.high) << Number(s.bandSeconds)
                  << (s.seconds > 0 ? Number(100 * s.bandSeconds / s.seconds) : QString());
        } else {
            cells << QString() << QString() << QString() << QString();
        }
        text += cells.join('\t') + '\n';
    }
    return text;
}

HistogramBins AutoBins(std::span<const float> column, RowRange range, int count) {
    const Rows rows = Clip(range, column.size());
    double lo = INFINITY, hi = -INFINITY;
    for (std::size_t r = rows.first; r < rows.last; ++r) {
        if (std::isnan(column[r])) continue;
        lo = std::min<double>(lo, column[r]);
        hi = std::max<double>(hi, column[r]);
    }
    if (lo > hi) return {0, 1, std::max(1, count)};
    if (lo == hi) return {lo - 0.5, hi + 0.5, std::max(1, count)};
    return {lo, hi, std::max(1, count)};
}

TimeHistogram Histogram(std::span<const float> column, std::span<const double> seconds,
                        RowRange range, HistogramBins bins) {
    TimeHistogram h;
    h.bins = bins;
    if (!(bins.count > 0 && bins.high > bins.low)) return h;
    h.seconds.assign(static_cast<std::size_t>(bins.count), 0);
    const Rows rows = Clip(range, std::min(column.size(), seconds.size()));
    const double scale = bins.count / (bins.high - bins.low);
    for (std::size_t r = rows.first; r < rows.last; ++r) {
        const double v = column[r];
        if (std::isnan(v)) continue;
        const double w = HoldSeconds(seconds, r);
        if (v < bins.low) {
            h.below += w;
        } else if (v > bins.high) {
            h.above += w;
        } else {
            const auto bin = std::min(static_cast<std::size_t>((v - bins.low) * scale), h.seconds.size() - 1);
            h.seconds[bin] += w;
        }
    }
    return h;
}

}  // namespace quarn
