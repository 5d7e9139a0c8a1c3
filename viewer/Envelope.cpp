#include "viewer/Envelope.h"

#include <algorithm>
#include <cmath>

namespace quarn {

namespace {

constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);

// The lowest and the highest value and the first NaN of rows in a range.
// lo and hi stay kNoRow when every value is NaN.
struct LowHighGap {
    std::size_t lo = kNoRow, hi = kNoRow, gap = kNoRow;
    void Take(const std::vector<float>& v, std::size_t i) {
        if (std::isnan(v[i])) {
            gap = std::min(gap, i);
            return;
        }
        if (lo == kNoRow || v[i] < v[lo]) lo = i;
        if (hi == kNoRow || v[i] > v[hi]) hi = i;
    }
};

LowHighGap LowHigh(const std::vector<float>& v, std::size_t first, std::size_t last,
                   const EnvelopeIndex* index) {
    LowHighGap r;
    constexpr std::size_t B = EnvelopeIndex::kBlock;
    std::size_t i = first;
    if (index && last - first > 2 * B) {
        for (; i < last && i % B != 0; ++i) r.Take(v, i);
        for (; i + B <= last && i / B < index->Blocks(); i += B) {
            const std::size_t b = i / B;
            r.Take(v, index->Lowest(b));
            r.Take(v, index->Highest(b));
            if (index->FirstGap(b) != EnvelopeIndex::kNone) r.Take(v, index->FirstGap(b));
        }
    }
    for (; i < last; ++i) r.Take(v, i);
    return r;
}

}  // namespace

void EnvelopeIndex::Extend(const std::vector<float>& values) {
    const std::size_t blocks = values.size() / kBlock;
    m_lo.reserve(blocks);
    m_hi.reserve(blocks);
    m_gap.reserve(blocks);
    for (std::size_t b = m_lo.size(); b < blocks; ++b) {
        const LowHighGap r = LowHigh(values, b * kBlock, (b + 1) * kBlock, nullptr);
        // A block of NaN only: its first row stands for it, a NaN as well.
        m_lo.push_back(static_cast<std::uint32_t>(r.lo == kNoRow ? r.gap : r.lo));
        m_hi.push_back(static_cast<std::uint32_t>(r.hi == kNoRow ? r.gap : r.hi));
        m_gap.push_back(r.gap == kNoRow ? kNone : static_cast<std::uint32_t>(r.gap));
    }
}

void EnvelopeIndex::Clear() {
    m_lo.clear();
    m_hi.clear();
    m_gap.clear();
}

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
        const LowHighGap r = LowHigh(values, i, j, index);
        // The column's points in the order of their rows, each once.
        std::size_t rows3[3] = {r.lo, r.hi, r.gap};
        std::sort(std::begin(rows3), std::end(rows3));
        for (std::size_t k = 0; k < 3; ++k)
            if (rows3[k] != kNoRow && (k == 0 || rows3[k] != rows3[k - 1])) put(rows3[k]);
        i = j;
    }
    if (stop < last) put(stop);
}

}  // namespace quarn
