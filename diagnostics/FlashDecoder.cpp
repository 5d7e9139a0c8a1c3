#include "diagnostics/FlashDecoder.h"

#include <string>

namespace quarn {

void FlashDecoder::Reset() {
    m_pulseCount = 0;
    m_digitPos = 1;
    m_digits = {kUnread, kUnread, kUnread};
}

FlashDecoder::Step FlashDecoder::Cycle(double onSeconds, double offSeconds) {
    Step step;
    if (onSeconds > 0 && onSeconds < kFlashMaxSeconds) {
        ++m_pulseCount;
        step.flash = true;
    }

    if (offSeconds > kDigitGapSeconds) {
        // Ten flashes stand for a 0: only the last character of the count is
        // kept.
        const char digit = std::to_string(m_pulseCount).back();
        switch (m_digitPos) {
            case 1:
                m_digits = {digit, kUnread, kUnread};
                break;
            case 2:
                m_digits[1] = digit;
                break;
            case 3:
                m_digits[2] = digit;
                break;
            default:
                break;  // a fourth digit has no display
        }
        step.digit = digit;
        step.digitPos = m_digitPos;
        ++m_digitPos;
        m_pulseCount = 0;
    }

    // The long dark after the last code also closes that code: the computer
    // sends no code gap after its last code, and without this the last code
    // (for a healthy engine the only one, 11) would never be listed.
    if (offSeconds > kCodeGapSeconds) {
        int code = 0;
        if (m_digitPos == 3) {
            code = (m_digits[0] - '0') * 10 + (m_digits[1] - '0');
            m_digits = {kUnread, m_digits[0], m_digits[1]};
        } else if (m_digitPos == 4) {
            code = (m_digits[0] - '0') * 100 + (m_digits[1] - '0') * 10 + (m_digits[2] - '0');
        }
        // Fewer than two digits, or more than three, make no code.
        step.codeEnded = true;
        step.code = code;
        step.listed = code > 0 && code <= kHighestListedCode;
        m_digitPos = 1;
    }

    step.testEnded = offSeconds > kTestEndSeconds;
    return step;
}

}  // namespace quarn
