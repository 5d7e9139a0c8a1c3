#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarn {

// The points a plot draws for one channel over a time window: per pixel
// column the lowest and the highest value of the rows in it, in the order
// they occur, so no spike is lost however far out the view is zoomed.
// Where a window holds fewer rows than twice the columns, every row is
// given as it is. A NaN value is a gap (a damaged record): a column holding
// one gives the NaN too, at its place, so no gap is lost either.
struct EnvelopePoints {
    std::vector<double> x;
    std::vector<double> y;
};

// Where the lowest and the highest value of each whole block of rows are,
// so an envelope over a long window reads a block's two rows instead of all
// of them.
class EnvelopeIndex {
public:
    static constexpr std::size_t kBlock = 64;
    // Indexes the whole blocks of values not indexed yet (after rows were
    // appended, only the new ones are read).
    void Extend(const std::vector<float>& values);
    void Clear();
    std::size_t Blocks() const { return m_lo.size(); }
    std::uint32_t Lowest(std::size_t block) const { return m_lo[block]; }
    std::uint32_t Highest(std::size_t block) const { return m_hi[block]; }
    // The first NaN row of the block, or kNone.
    std::uint32_t FirstGap(std::size_t block) const { return m_gap[block]; }
    static constexpr std::uint32_t kNone = UINT32_MAX;

private:
    std::vector<std::uint32_t> m_lo, m_hi, m_gap;  // row numbers
};

// times must never decrease. The row just before t0 and the row just after
// t1 are included too, so lines run on to the plot's edges. out is
// overwritten; its storage is reused. index, when given, must be of values.
void MinMaxEnvelope(const std::vector<double>& times, const std::vector<float>& values, double t0,
                    double t1, int columns, EnvelopePoints& out,
                    const EnvelopeIndex* index = nullptr);

}  // namespace quarn
