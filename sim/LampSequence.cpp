#include "sim/LampSequence.h"

#include <algorithm>
#include <string>

namespace quarn {

LampSequence::LampSequence(std::vector<int> codes, double leadInSeconds, double jitterSeconds,
                           std::uint64_t seed)
    : m_codes(std::move(codes)),
      m_leadIn(leadInSeconds),
      m_jitter(std::max(0.0, jitterSeconds)),
      m_rng(seed) {}

std::vector<LampSequence::Period> LampSequence::Schedule(const std::vector<int>& codes,
                                                         double leadInSeconds) {
    std::vector<Period> periods{{false, leadInSeconds}};
    for (std::size_t c = 0; c < codes.size(); ++c) {
        const std::string digits = std::to_string(codes[c]);
        for (std::size_t d = 0; d < digits.size(); ++d) {
            const int flashes = digits[d] == '0' ? 10 : digits[d] - '0';
            for (int n = 0; n < flashes; ++n) {
                periods.push_back({true, kFlashSeconds});
                periods.push_back({false, kFlashGapSeconds});
            }
            // The dark after a digit's last flash tells the reader what ended.
            if (d + 1 < digits.size())
                periods.back().seconds = kDigitGapSeconds;
            else
                periods.back().seconds = kCodeGapSeconds;
        }
    }
    // The last code ends in the endless dark, not in a code gap.
    if (periods.size() > 1) periods.pop_back();
    return periods;
}

void LampSequence::Start(double now) {
    m_periods = Schedule(m_codes, m_leadIn);
    std::uniform_real_distribution<double> offset(-m_jitter, m_jitter);
    m_ends.clear();
    double end = 0;
    for (Period& p : m_periods) {
        if (m_jitter > 0) p.seconds = std::max(kMinPeriodSeconds, p.seconds + offset(m_rng));
        end += p.seconds;
        m_ends.push_back(end);
    }
    m_start = now;
    m_running = true;
}

bool LampSequence::IsLit(double now) const {
    if (!m_running) return false;
    const double elapsed = now - m_start;
    const auto it = std::upper_bound(m_ends.begin(), m_ends.end(), elapsed);
    if (it == m_ends.end()) return false;
    return m_periods[static_cast<std::size_t>(it - m_ends.begin())].lit;
}

}  // namespace quarn
