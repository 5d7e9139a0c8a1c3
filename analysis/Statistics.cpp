#include "analysis/Statistics.h"

#include <QStringList>

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
        std::size_t r0 = rows.first;
        while (r0 < last && std::isnan(col[r0])) ++r0;
        const double shift = r0 < last ? col[r0] : kNaN;
        // Without branches: a gap adds nothing (its comparisons are false),
        // and four sets of sums let the additions overlap.
        constexpr int kLanes = 4;
        double lo[kLanes], hi[kLanes], sum[kLanes] = {}, sumSq[kLanes] = {}, wSum[kLanes] = {},
               wTotal[kLanes] = {}, inBand[kLanes] = {};
        std::size_t counts[kLanes] = {};
        std::fill_n(lo, kLanes, INFINITY);
        std::fill_n(hi, kLanes, -INFINITY);
        // Indexed from the range's first row: no pointer before the array.
        const double* weights = w.data();
        const std::size_t first = rows.first;
        auto add = [&](int k, std::size_t r) {
            const double v = col[r];
            const bool has = v == v;
            const double d = has ? v - shift : 0;
            const double wr = has ? weights[r - first] : 0;
            counts[k] += has;
            lo[k] = std::min(lo[k], v);
            hi[k] = std::max(hi[k], v);
            sum[k] += d;
            sumSq[k] += d * d;
            wSum[k] += wr * d;
            wTotal[k] += wr;
            inBand[k] += (v >= band.low && v <= band.high) ? wr : 0;
        };
        std::size_t r = r0;
        for (; r + kLanes <= last; r += kLanes)
            for (int k = 0; k < kLanes; ++k) add(k, r + static_cast<std::size_t>(k));
        for (; r < last; ++r) add(0, r);
        for (int k = 1; k < kLanes; ++k) {
            lo[0] = std::min(lo[0], lo[k]);
            hi[0] = std::max(hi[0], hi[k]);
            sum[0] += sum[k];
            sumSq[0] += sumSq[k];
            wSum[0] += wSum[k];
            wTotal[0] += wTotal[k];
            inBand[0] += inBand[k];
            counts[0] += counts[k];
        }
        const std::size_t count = counts[0];
        s.count = count;
        if (count == 0) {
            s.min = s.max = s.mean = s.timeMean = s.stdDev = kNaN;
        } else {
            const double n = static_cast<double>(count);
            s.min = lo[0];
            s.max = hi[0];
            s.mean = shift + sum[0] / n;
            s.timeMean = wTotal[0] > 0 ? shift + wSum[0] / wTotal[0] : s.mean;
            s.stdDev = std::sqrt(std::max(0.0, sumSq[0] / n - (sum[0] / n) * (sum[0] / n)));
        }
        s.seconds = wTotal[0];
        s.bandSeconds = band.set ? inBand[0] : kNaN;
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
