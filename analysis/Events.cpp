#include "analysis/Events.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quarn {

std::vector<EventStretch> FindEvents(std::span<const float> condition, std::span<const double> seconds,
                                     double minSeconds, std::span<const float> values,
                                     RowRange range) {
    std::vector<EventStretch> out;
    const std::size_t last = std::min({range.last, condition.size(), seconds.size()});
    std::size_t r = std::min(range.first, last);
    while (r < last) {
        // A gap in the condition ends a stretch like a false does.
        if (!(condition[r] != 0) || std::isnan(condition[r])) {
            ++r;
            continue;
        }
        EventStretch e;
        e.firstRow = r;
        while (r + 1 < last && condition[r + 1] != 0 && !std::isnan(condition[r + 1])) ++r;
        e.lastRow = r;
        ++r;
        e.start = seconds[e.firstRow];
        e.duration = seconds[e.lastRow] + HoldSeconds(seconds, e.lastRow) - e.start;
        if (e.duration < minSeconds) continue;
        e.peak = e.min = std::numeric_limits<double>::quiet_NaN();
        e.peakRow = e.minRow = e.firstRow;
        for (std::size_t k = e.firstRow; k <= e.lastRow && k < values.size(); ++k) {
            const double v = values[k];
            if (std::isnan(v)) continue;
            if (std::isnan(e.peak) || v > e.peak) {
                e.peak = v;
                e.peakRow = k;
            }
            if (std::isnan(e.min) || v < e.min) {
                e.min = v;
                e.minRow = k;
            }
        }
        out.push_back(e);
    }
    return out;
}

}  // namespace quarn
