#pragma once

#include <QString>

#include <array>

namespace quarn {

// The meanings of the engine computer's trouble codes, indexed by code. The
// texts are the ones the program has always shown, spelling included, so a
// user comparing with an older print-out finds the same words.
class CodeTable {
public:
    static constexpr int kSize = 1000;

    // Fills the table afresh: every known code gets its text, every other
    // entry is emptied.
    void FillCodeTable();

    // The text of a code; empty for a code without one and for any number
    // outside the table.
    const QString& CodeText(int code) const;

private:
    std::array<QString, kSize> m_texts;
};

}  // namespace quarn
