#include "viewer/Envelope.h"

#include <algorithm>

namespace quarn {

void EnvelopeIndex::Extend(const std::vector<float>& values) {
    const std::size_t blocks = values.size() / kBlock;
    m_lo.reserve(blocks);
    m_hi.reserve(blocks);
    for (std::size_t b = m_lo.size(); b < blocks; ++b) {
        std::size_t lo = b * kBlock, hi = lo;
        for (std::size_t i = lo + 1; i < (b + 1) * kBlock; ++i) {
            if (values[i] < values[lo]) lo = i;
            if (values[i] > values[hi]) hi = i;
        }
        m_lo.push_back(static_cast<std::uint32_t>(lo));
        m_hi.push_back(static_cast<std::uint32_t>(hi));
    }
}

void EnvelopeIndex::Clear() {
    m_lo.clear();
    m_hi.clear();
}

namespace {

// The rows of the lowest and the highest value in [first, last).
void LowHigh(const std::vector<float>& v, std::size_t first, std::size_t last,
             const EnvelopeIndex* index, std::size_t& lo, std::size_t& hi) {
    lo = hi = first;
    auto take = [&](std::size_t i) {
        if (v[i] < v[lo]) lo = i;
        if (v[i] > v[hi]) hi = i;
    };
    constexpr std::size_t B = EnvelopeIndex::kBlock;
    std::size_t i = first + 1;
    if (index && last - first > 2 * B) {
        for (; i < last && i % B != 0; ++i) take(i);
        for (; i + B <= last && i / B < index->Blocks(); i += B) {
            take(index->Lowest(i / B));
            take(index->Highest(i / B));
        }
    }
    for (; i < last; ++i) take(i);
}

}  // namespace

void MinMaxEnvelope(const std::vector<double>& times, const std::vector<float>& values, double t0,
                    double t1, int columns, EnvelopePoints& out, const EnvelopeIndex* index) {
    out.x.clear();
    out.y.clear();
    const std::size_t n = std::min(times.size(), values.size());
    if (n == 0 || columns <= 0 || !(t1 > t0)) return;
    const auto begin = times.begin();
    const auto end = begin + static_cast<std::ptrdiff_t>(n);

    // The rows inside the window, widened by one on each side.
    std::size_t first = static_cast<std::size_t>(std::lower_bound(begin, end, t0) - begin);
    std::size_t last = static_cast<std::size_t>(std::upper_bound(begin, end, t1) - begin);
    if (first > 0) --first;
    if (last < n) ++last;
    if (first >= last) return;

    auto put = [&](std::size_t i) {
        out.x.push_back(times[i]);
        out.y.push_back(values[i]);
    };
    const std::size_t rows = last - first;
    if (rows <= 2 * static_cast<std::size_t>(columns)) {
        out.x.reserve(rows);
        out.y.reserve(rows);
        for (std::size_t i = first; i < last; ++i) put(i);
        return;
    }

    out.x.reserve(2 * static_cast<std::size_t>(columns) + 4);
    out.y.reserve(out.x.capacity());
    std::size_t i = first;
    // The rows outside the window keep their own points.
    if (times[i] < t0) put(i++);
    const std::size_t stop = times[last - 1] > t1 ? last - 1 : last;
    const double perColumn = static_cast<double>(columns) / (t1 - t0);
    while (i < stop) {
        // The rows of one pixel column, found by a binary search.
        const auto column = static_cast<long long>((times[i] - t0) * perColumn);
        const double columnEnd = t0 + static_cast<double>(column + 1) / perColumn;
        const auto j = std::max(
            i + 1, static_cast<std::size_t>(
                       std::lower_bound(begin + static_cast<std::ptrdiff_t>(i),
                                        begin + static_cast<std::ptrdiff_t>(stop), columnEnd) -
                       begin));
        std::size_t lo, hi;
        LowHigh(values, i, j, index, lo, hi);
        if (lo == hi) {
            put(lo);
        } else {
            put(std::min(lo, hi));
            put(std::max(lo, hi));
        }
        i = j;
    }
    if (stop < last) put(stop);
}

}  // namespace quarn
