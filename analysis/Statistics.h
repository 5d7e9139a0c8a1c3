#pragma once

#include <QString>

#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "analysis/Expression.h"

namespace quarn {

// Rows [first, last) of a log; last is cut to the log's length.
struct RowRange {
    std::size_t first = 0;
    std::size_t last = std::numeric_limits<std::size_t>::max();
};

// A record's value stands until the next record, but no longer than this:
// a log with a hole (the link dropped, recording paused) does not credit
// the value before the hole with the time the hole lasted.
constexpr double kMaxHoldSeconds = 1.0;
// How long the value of row stands, by that rule; the last row stands as
// long as the one before it.
double HoldSeconds(std::span<const double> seconds, std::size_t row);

// A band of values whose time a statistic counts, ends included.
struct Band {
    double low = -std::numeric_limits<double>::infinity();
    double high = std::numeric_limits<double>::infinity();
    bool set = false;
};

struct ChannelStatistics {
    QString name;
    QString unit;
    std::size_t count = 0;  // records with a value (gaps left out)
    double min = 0, max = 0;
    double mean = 0;         // per record
    double timeMean = 0;     // weighted by how long each value stood
    double stdDev = 0;       // of the records' values
    double seconds = 0;      // the time the counted values stood
    double bandSeconds = 0;  // of that, the time within the channel's band
};

// For each channel of set, over range. bands[i] (when given and set) is
// channel i's band.
std::vector<ChannelStatistics> Statistics(const ColumnSet& set, RowRange range,
                                          const std::vector<Band>& bands = {});
// Tab-separated, one line per channel under a header, for the clipboard.
QString StatisticsText(const std::vector<ChannelStatistics>& stats, const std::vector<Band>& bands = {});

// The bins of a histogram: count bins of equal width from low to high.
struct HistogramBins {
    double low = 0;
    double high = 1;
    int count = 10;
    double Width() const { return (high - low) / count; }
};

struct TimeHistogram {
    HistogramBins bins;
    std::vector<double> seconds;  // per bin: how long the value stood in it
    double below = 0, above = 0;  // the time outside the bins
};

// Bins spanning the values of column over range (one unit wide around a
// constant column).
HistogramBins AutoBins(std::span<const float> column, RowRange range, int count);
// Time-weighted: every record adds the time its value stood. A value on
// high goes into the last bin.
TimeHistogram Histogram(std::span<const float> column, std::span<const double> seconds,
                        RowRange range, HistogramBins bins);

}  // namespace quarn
