// Covers the table of code meanings: the texts the program has always shown
// stay word for word beside the added ones, the three-digit codes of the
// later computers have meanings, and numbers the lamp cannot send as a code
// have none.

#include <gtest/gtest.h>

#include "diagnostics/CodeTable.h"

namespace quarn::test {
namespace {

class CodeTableTest : public ::testing::Test {
protected:
    void SetUp() override { table.FillCodeTable(); }
    std::string Text(int code) const { return table.CodeText(code).toStdString(); }

    CodeTable table;
};

// Users compare the window with older print-outs, misspellings included.
TEST_F(CodeTableTest, KeepsTheLongStandingTextsWordForWord) {
    EXPECT_EQ(Text(11), "System Pass");
    EXPECT_EQ(Text(16), "Ignition Diagnostic Monitor (IDM) signal not recieved");
    EXPECT_EQ(Text(47), "4x4 switch is closed");
    EXPECT_EQ(Text(58), "VAT indicated -40deg F; circuit open");
    EXPECT_EQ(Text(83),
              "EGRC solenoid circuit failure (2.3L MAP), High speed electro-drive fan HEDF circuit "
              "failure or Low speed fuel pump relay circuit open (3.0L MAF-SFI)");
    EXPECT_EQ(Text(99), "Electronic Pressure Control (EPC) circuit failure");
}

TEST_F(CodeTableTest, ThreeDigitCodesHaveMeaningsAndOnlyCodesTheLampCanSendHaveAny) {
    // 111 is the three-digit computers' pass, shown as the two-digit one is.
    EXPECT_EQ(Text(111), Text(11));
    for (const int code : {41, 327, 332, 335, 998}) EXPECT_FALSE(Text(code).empty()) << code;

    // One digit, four digits or a negative number is no code.
    for (int code = -5; code < 10; ++code) EXPECT_EQ(Text(code), "") << code;
    for (int code = CodeTable::kSize; code < CodeTable::kSize + 5; ++code)
        EXPECT_EQ(Text(code), "") << code;
}

}  // namespace
}  // namespace quarn::test
