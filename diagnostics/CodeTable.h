#pragma once

#include <QString>

#include <array>

namespace quarn {

// The meanings of the engine computer's trouble codes, indexed by code: the
// two-digit codes of the older computers and the three-digit codes of those
// from 1991 on. The texts the program has always shown stay word for word,
// spelling included, so a user comparing with an older print-out finds the
// same words. Where a code means different things on different engines, the
// text gives the common meaning and says that it depends on the engine. A
// code without a text is still listed, with nothing after its colon.
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
