#include "viewer/Envelope.h"

#include <algorithm>

namespace quarn {

void MinMaxEnvelope(const std::vector<double>& times, const std::vector<float>& values, double t0,
                    double t1, int columns, EnvelopePoints& out) {
    out.x.clear();
    out.y.clear();
    const std::size_t n = std::min(times.size(), values.size());
    if (n == 0 || columns <= 0 || !(t1 > t0)) return;

    // The rows inside the window, widened by one on each side.
    std::size_t first = static_cast<std::size_t>(
        std::lower_bound(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(n), t0) -
        times.begin());
    std::size_t last = static_cast<std::size_t>(
        std::upper_bound(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(n), t1) -
        times.begin());
    if (first > 0) --first;
    if (last < n) ++last;
    if (first >= last) return;

    const std::size_t rows = last - first;
    if (rows <= 2 * static_cast<std::size_t>(columns)) {
        out.x.assign(times.begin() + static_cast<std::ptrdiff_t>(first),
                     times.begin() + static_cast<std::ptrdiff_t>(last));
        out.y.assign(values.begin() + static_cast<std::ptrdiff_t>(first),
                     values.begin() + static_cast<std::ptrdiff_t>(last));
        return;
    }

    out.x.reserve(2 * static_cast<std::size_t>(columns) + 4);
    out.y.reserve(out.x.capacity());
    // The rows outside the window keep their own points.
    auto put = [&](std::size_t i) {
        out.x.push_back(times[i]);
        out.y.push_back(values[i]);
    };
    std::size_t i = first;
    if (times[i] < t0) put(i++);
    const std::size_t end = times[last - 1] > t1 ? last - 1 : last;
    const double perColumn = static_cast<double>(columns) / (t1 - t0);
    while (i < end) {
        // The rows of one pixel column: the times are sorted, so the first
        // row of the next column is searched for, galloping from this one
        // (a column holds few rows when zoomed in, many when zoomed out),
        // and only the values are scanned.
        const auto column = static_cast<long long>((times[i] - t0) * perColumn);
        const double columnEnd = t0 + static_cast<double>(column + 1) / perColumn;
        std::size_t j = i + 1;
        if (j < end && times[j] < columnEnd) {
            std::size_t below = j;  // times[below] < columnEnd
            std::size_t step = 1;
            while (below + step < end && times[below + step] < columnEnd) {
                below += step;
                step *= 2;
            }
            const std::size_t limit = std::min(below + step, end);
            j = static_cast<std::size_t>(
                std::lower_bound(times.begin() + static_cast<std::ptrdiff_t>(below + 1),
                                 times.begin() + static_cast<std::ptrdiff_t>(limit), columnEnd) -
                times.begin());
        }
        // The lowest and highest values first, in lanes the compiler can
        // vectorise, then the first rows holding them. A comparison with
        // NaN is false, so a NaN row counts only where the column starts
        // with one, as in a plain scan.
        std::size_t lo = i, hi = i;
        const float first = values[i];
        if (first == first && j - i > 1) {
            constexpr std::size_t kLanes = 8;
            float lows[kLanes], highs[kLanes];
            for (std::size_t l = 0; l < kLanes; ++l) lows[l] = highs[l] = first;
            std::size_t k = i + 1;
            for (; k + kLanes <= j; k += kLanes)
                for (std::size_t l = 0; l < kLanes; ++l) {
                    const float v = values[k + l];
                    lows[l] = v < lows[l] ? v : lows[l];
                    highs[l] = v > highs[l] ? v : highs[l];
                }
            for (; k < j; ++k) {
                const float v = values[k];
                lows[0] = v < lows[0] ? v : lows[0];
                highs[0] = v > highs[0] ? v : highs[0];
            }
            float low = lows[0], high = highs[0];
            for (std::size_t l = 1; l < kLanes; ++l) {
                low = lows[l] < low ? lows[l] : low;
                high = highs[l] > high ? highs[l] : high;
            }
            while (!(values[lo] == low)) ++lo;
            while (!(values[hi] == high)) ++hi;
        }
        if (lo == hi) {
            put(lo);
        } else {
            put(std::min(lo, hi));
            put(std::max(lo, hi));
        }
        i = j;
    }
    if (end < last) put(end);
}

}  // namespace quarn
