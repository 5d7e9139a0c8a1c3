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
        // The rows of one pixel column.
        const auto column = static_cast<long long>((times[i] - t0) * perColumn);
        const double columnEnd = t0 + static_cast<double>(column + 1) / perColumn;
        std::size_t lo = i, hi = i;
        std::size_t j = i + 1;
        for (; j < end && times[j] < columnEnd; ++j) {
            if (values[j] < values[lo]) lo = j;
            if (values[j] > values[hi]) hi = j;
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
