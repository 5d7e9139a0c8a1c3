// Covers the alarms without a window: crossing warn and danger limits both
// ways with hysteresis, limits that cannot stand together, the board's
// events and texts, and peak hold.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "decode/Alarms.h"

namespace quarn {
namespace {

const AlarmLimits kEct{std::nullopt, 200, std::nullopt, 230};

// The level after each value, as W(arn), D(anger) or - (none).
std::string Levels(AlarmWatch& watch, const AlarmLimits& limits, double hysteresis,
                   const std::vector<double>& values) {
    std::string out;
    for (double v : values) {
        watch.Update(v, limits, hysteresis);
        out += watch.level() == AlarmLevel::Danger ? 'D' : watch.level() == AlarmLevel::Warn ? 'W' : '-';
    }
    return out;
}

TEST(AlarmWatch, CrossesUpAndDownWithHysteresisAndNeverChattersOnALimit) {
    AlarmWatch w;
    // A value dithering on the warn limit alarms once, and stays on until
    // it is back by the hysteresis (3).
    EXPECT_EQ(Levels(w, kEct, 3, {199, 200, 201, 199.5, 200.5, 198, 197.5, 196.9, 200, 200.1}),
              "--WWWWW--W");
    w.Reset();
    EXPECT_EQ(Levels(w, kEct, 3, {229, 231, 228, 226.9, 231, 150, NAN}), "WDDWD--");
    EXPECT_EQ(w.side(), AlarmSide::None);

    // Low side, and a value that jumps from one side to the other.
    const AlarmLimits bap{25, std::nullopt, 22, 33};
    w.Reset();
    EXPECT_EQ(Levels(w, bap, 0.2, {26, 24.9, 21.9, 22.1, 22.3, 25.1, 25.3, 34}), "-WDDWW-D");
    EXPECT_EQ(w.side(), AlarmSide::High);
    // Limits off: nothing alarms.
    w.Reset();
    EXPECT_EQ(Levels(w, AlarmLimits{}, 1, {-1e9, 1e9}), "--");
}

TEST(AlarmLimits, AWarnBeyondItsDangerOrALowAboveAHighIsRefused) {
    EXPECT_TRUE(LimitsProblem(kEct).isEmpty());
    EXPECT_TRUE(LimitsProblem(AlarmLimits{}).isEmpty());
    EXPECT_TRUE(LimitsProblem({10, 20, 10, 20}).isEmpty());  // equal is allowed
    EXPECT_FALSE(LimitsProblem({std::nullopt, 240, std::nullopt, 230}).isEmpty());
    EXPECT_FALSE(LimitsProblem({5, std::nullopt, 8, std::nullopt}).isEmpty());
    EXPECT_FALSE(LimitsProblem({30, 20, std::nullopt, std::nullopt}).isEmpty());
    EXPECT_FALSE(LimitsProblem({std::nullopt, 20, 25, std::nullopt}).isEmpty());
    // The defaults follow the bands the dials draw.
    const AlarmLimitSet defaults = DefaultAlarmLimits();
    EXPECT_EQ(defaults[AlarmChannelIndex(Gauge::ECT)], kEct);
    EXPECT_EQ(defaults[AlarmChannelIndex(Gauge::Tach)].dangerHigh, 7000);
    EXPECT_EQ(defaults[AlarmChannelIndex(Gauge::DutyCycle)].warnHigh, 80);
    EXPECT_EQ(defaults[AlarmChannelIndex(Gauge::Boost)], AlarmLimits{});
    for (const AlarmLimits& l : defaults) EXPECT_TRUE(LimitsProblem(l).isEmpty());
    EXPECT_EQ(AlarmChannelIndex(Gauge::TPSToolGauge), -1);
}

TEST(AlarmBoard, TellsEachChangeOnceAndListsTheWorstAlarmFirst) {
    AlarmBoard board;
    EXPECT_FALSE(board.Check(Gauge::ECT, 0, 190));
    const auto warn = board.Check(Gauge::ECT, 0, 210.4);
    ASSERT_TRUE(warn);
    EXPECT_TRUE(warn->Rising());
    EXPECT_EQ(AlarmText(*warn).toStdString(), "ECT 210 \u00b0F HIGH");
    EXPECT_FALSE(board.Check(Gauge::ECT, 0, 215)) << "no change, no event";
    const auto danger = board.Check(Gauge::ECT, 0, 236);
    ASSERT_TRUE(danger);
    EXPECT_TRUE(danger->Rising());
    EXPECT_EQ(AlarmText(*danger).toStdString(), "ECT 236 \u00b0F HIGH");

    // The right-hand needle of a two-needle dial alarms on its own.
    AlarmLimitSet limits = board.limits();
    limits[AlarmChannelIndex(Gauge::EGT)].warnHigh = 1400;
    board.SetLimits(limits);
    const auto egt = board.Check(Gauge::EGT, 1, 1450);
    ASSERT_TRUE(egt);
    EXPECT_EQ(AlarmText(*egt).toStdString(), "EGT R 1450 \u00b0F HIGH");
    EXPECT_EQ(board.Level(Gauge::EGT), AlarmLevel::Warn);

    std::vector<AlarmEvent> on = board.Active();
    ASSERT_EQ(on.size(), 2u);
    EXPECT_EQ(AlarmText(on[0]).toStdString(), "ECT 236 \u00b0F HIGH");

    // Coming down from danger to warn is a change but no new alarm; the
    // value told stays the one that raised it.
    const auto easing = board.Check(Gauge::ECT, 0, 220);
    ASSERT_TRUE(easing);
    EXPECT_FALSE(easing->Rising());
    on = board.Active();
    EXPECT_EQ(AlarmText(on[0]).toStdString(), "EGT R 1450 \u00b0F HIGH") << "latest of equals first";
    EXPECT_EQ(AlarmText(on[1]).toStdString(), "ECT 236 \u00b0F HIGH");

    board.Reset();
    EXPECT_TRUE(board.Active().empty());
    EXPECT_EQ(board.Level(Gauge::ECT), AlarmLevel::None);
}

TEST(PeakHold, HoldsTheExtremesIgnoresNaNAndResets) {
    PeakHold p;
    EXPECT_TRUE(p.Empty());
    EXPECT_FALSE(p.Add(NAN));
    EXPECT_TRUE(p.Add(5));
    EXPECT_TRUE(p.Add(9));
    EXPECT_FALSE(p.Add(7));
    EXPECT_TRUE(p.Add(-2));
    EXPECT_EQ(p.high, 9);
    EXPECT_EQ(p.low, -2);
    p.Reset();
    EXPECT_TRUE(p.Empty());
}

}  // namespace
}  // namespace quarn
