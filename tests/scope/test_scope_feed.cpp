// The scope feed without a window: which value each channel name plots, the
// names that plot 0, and the time axis across midnight.

#include <gtest/gtest.h>

#include <QString>

#include <utility>
#include <vector>

#include "decode/ScopeFeed.h"

namespace quarn {
namespace {

// Every engineering value distinct, so a name wired to the wrong field shows.
ChannelRecord DistinctRecord() {
    ChannelRecord rec;
    rec.Rpm = 1;
    rec.Mph = 2;
    rec.HegoL = 3;
    rec.HegoR = 4;
    rec.InjDuty = 5;
    rec.Rwhp = 6;
    rec.Rwtq = 7;
    rec.MafVolts = 8;
    rec.TpsVolts = 9;
    rec.WideO2 = 10;
    rec.EgtR = 11;
    rec.EgtL = 12;
    rec.EctF = 13;
    rec.ActF = 14;
    rec.BoostLevel = 15;
    rec.AdvanceDeg = 16;
    rec.BapPressure = 99;
    rec.InjPw = 98;
    return rec;
}

TEST(ScopeChannels, EachNameInListOrderPlotsItsOwnValue) {
    const std::vector<std::pair<QString, float>> expected = {
        {"RPM", 1},  {"MPH", 2},  {"HEGOL", 3},  {"HEGOR", 4},   {"INJDUTY", 5}, {"RWHP", 6},
        {"RWTQ", 7}, {"MAF", 8},  {"TPS", 9},    {"WIDEO2", 10}, {"EGTR", 11},   {"EGTL", 12},
        {"ECT", 13}, {"ACT", 14}, {"BOOST", 15}, {"ADVANCE", 16}};
    ASSERT_EQ(kScopeChannelNames.size(), expected.size());
    const ChannelRecord rec = DistinctRecord();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& [name, value] = expected[i];
        EXPECT_EQ(QString(kScopeChannelNames[i]), name) << "list position " << i;
        EXPECT_EQ(ScopeChannelIndex(name), static_cast<int>(i));
        EXPECT_EQ(ScopeChannelValue(rec, name), value) << name.toStdString();
    }
}

TEST(ScopeChannels, TextsThatAreNoChannelPlotZero) {
    const ChannelRecord rec = DistinctRecord();
    for (const QString& text : {QStringLiteral("rpm"), QStringLiteral("RPM "), QString(),
                                QStringLiteral("Choose an item to view."), QStringLiteral("BAP"),
                                QStringLiteral("INJPW")}) {
        EXPECT_EQ(ScopeChannelIndex(text), -1) << text.toStdString();
        EXPECT_EQ(ScopeChannelValue(rec, text), 0.0f) << text.toStdString();
    }
    EXPECT_EQ(ScopeChannelValue(rec, 16), 0.0f);
    EXPECT_EQ(ScopeChannelValue(rec, -1), 0.0f);
}

TEST(ScopeTime, RunsOnAcrossMidnightInsteadOfJumpingBackADay) {
    EXPECT_DOUBLE_EQ(ScopeTime(50000.125, 43200), 6800.125);
    const std::int32_t start = 86390;  // 23:59:50
    double previous = ScopeTime(86399.9, start);
    for (double tod : {0.0, 0.1, 3600.0}) {
        const double x = ScopeTime(tod, start);
        EXPECT_GT(x, previous) << tod;
        previous = x;
    }
    EXPECT_NEAR(ScopeTime(0.1, start), 10.1, 1e-9);
}

// StartSeconds is rounded to the nearest whole second, so a run started at
// 100.6 s holds 101 and its first frames come before it. A mend that added a
// day to every negative difference put those frames a day to the right.
TEST(ScopeTime, FramesBeforeTheRoundedStartStayJustBelowZero) {
    EXPECT_NEAR(ScopeTime(100.65, 101), -0.35, 1e-9);
    EXPECT_NEAR(ScopeTime(86399.8, 86400), -0.2, 1e-9);  // a start rounded up to midnight
    EXPECT_NEAR(ScopeTime(0.3, 86400), 0.3, 1e-9);
}

}  // namespace
}  // namespace quarn
