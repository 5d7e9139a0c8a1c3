#include "sim/LampSequence.h"

#include <algorithm>
#include <string>

namespace quarn {

namespace {

using Period = LampSequence::Period;

// Appends code's flashes, each digit's last flash followed by the digit gap
// and the code's by the code gap.
void AppendCode(std::vector<Period>& periods, int code) {
    const std::string digits = std::to_string(code);
    for (std::size_t d = 0; d < digits.size(); ++d) {
        const int flashes = digits[d] == '0' ? 10 : digits[d] - '0';
        for (int n = 0; n < flashes; ++n) {
            periods.push_back({true, LampSequence::kFlashSeconds});
            periods.push_back({false, LampSequence::kFlashGapSeconds});
        }
        // The dark after a digit's last flash tells the reader what ended.
        periods.back().seconds = d + 1 < digits.size() ? LampSequence::kDigitGapSeconds
                                                       : LampSequence::kCodeGapSeconds;
    }
}

void AppendSection(std::vector<Period>& periods, std::vector<int> codes, int showings) {
    if (codes.empty()) codes = {LampSequence::kPassCode};
    for (const int code : codes)
        for (int n = 0; n < showings; ++n) AppendCode(periods, code);
}

}  // namespace

LampSequence::LampSequence(const LampCodes& codes, double leadInSeconds, double jitterSeconds,
                           std::uint64_t seed)
    : LampSequence(Schedule(codes, leadInSeconds), jitterSeconds, seed) {}

LampSequence::LampSequence(std::vector<Period> schedule, double jitterSeconds, std::uint64_t seed)
    : m_schedule(std::move(schedule)), m_jitter(std::max(0.0, jitterSeconds)), m_rng(seed) {}

std::vector<LampSequence::Period> LampSequence::Schedule(const LampCodes& codes,
                                                         double leadInSeconds) {
    std::vector<Period> periods{{false, leadInSeconds}};
    if (codes.pattern == LampPattern::OnceOnly) {
        AppendSection(periods, codes.now, 1);
    } else {
        AppendSection(periods, codes.now, 2);
        periods.back().seconds = kSectionGapSeconds;
        periods.push_back({true, kFlashSeconds});
        periods.push_back({false, kSectionGapSeconds});
        AppendSection(periods, codes.memory, 2);
    }
    // The last code ends in the endless dark, not in a code gap.
    periods.pop_back();
    return periods;
}

void LampSequence::Start(double now) {
    m_periods = m_schedule;
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
