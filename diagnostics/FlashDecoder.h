#pragma once

#include <array>
#include <optional>

namespace quarn {

// Turns the check-engine lamp's lit and dark periods into trouble codes. The
// engine computer shows each digit as a group of short flashes (ten for a 0),
// separates the digits of a code by a longer dark pause, codes by a longer one
// still, and stays dark after the last code. One call of Cycle takes one lit
// period and the dark period after it.
//
// The digits read so far stand in three displays, D1 to D3; one not read
// stays blank, so that the displays never show a code that was not sent. A
// two-digit code is shifted one place right when it ends, so code 12 reads
// " ", "1", "2".
class FlashDecoder {
public:
    // A lit period shorter than this (and longer than 0) is one flash.
    static constexpr double kFlashMaxSeconds = 1.2;
    // A dark period longer than this ends the digit in hand.
    static constexpr double kDigitGapSeconds = 1.2;
    // A dark period longer than this ends the code in hand.
    static constexpr double kCodeGapSeconds = 3;
    // A dark period longer than this ends the test: the computer has shown
    // all its codes.
    static constexpr double kTestEndSeconds = 6;
    // Codes of two or three digits, up to 999, are listed: the computers from
    // 1991 on send three-digit codes such as 327, which a lower limit dropped
    // without a word after reading them.
    static constexpr int kHighestListedCode = 999;
    // A display without a digit.
    static constexpr char kUnread = ' ';

    // What one cycle did.
    struct Step {
        bool flash = false;         // the lit period was counted
        std::optional<char> digit;  // the digit that ended, '0' to '9'
        int digitPos = 0;           // that digit's position, from 1
        bool codeEnded = false;     // a code gap (or the end) closed the code
        int code = 0;               // the code that ended; 0 when none
        bool listed = false;        // that code goes into the list
        bool testEnded = false;
    };

    FlashDecoder() { Reset(); }

    // Forgets the flashes and digits in hand, and blanks the displays.
    void Reset();

    Step Cycle(double onSeconds, double offSeconds);

    int PulseCount() const { return m_pulseCount; }
    // Position of the next digit within the code: 1 to 3 while a code is
    // read, 4 and up after three digits without a code gap.
    int DigitPos() const { return m_digitPos; }
    // The captions of D1, D2 and D3.
    const std::array<char, 3>& Digits() const { return m_digits; }

private:
    int m_pulseCount = 0;
    int m_digitPos = 1;
    std::array<char, 3> m_digits{kUnread, kUnread, kUnread};
};

}  // namespace quarn
