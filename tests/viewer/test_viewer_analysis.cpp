// The viewer's window-free parts of its tools: math channels after the log's
// own channels (a failing one keeps its place; rows read later are gaps),
// layouts through JSON and the per-user file, the scatter grid, and the
// alarm limits on the viewer's channel names.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>

#include "SimLog.h"
#include "viewer/LimitLines.h"
#include "viewer/LogTable.h"
#include "viewer/MathColumns.h"
#include "viewer/ScatterGrid.h"
#include "viewer/ViewerLayout.h"

namespace quarn {
namespace {

class MathColumnsTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.filePath(QStringLiteral("drive.qz0"));
        test::SimLogOptions o;
        o.seconds = 6;
        ASSERT_GT(test::WriteSimLog(path, o), 0);
        ASSERT_TRUE(table.Load(path, VehicleData(), 250, {}, nullptr, nullptr));
    }
    QTemporaryDir dir;
    QString path;
    LogTable table;
};

TEST_F(MathColumnsTest, MathChannelsFollowTheOwnChannelsAndMayUseEarlierOnes) {
    const int own = static_cast<int>(ViewerChannels().size());
    const auto errors = ApplyMathChannels(
        table, {{QStringLiteral("Twice"), QStringLiteral("V"), QStringLiteral("MAF * 2")},
                {QStringLiteral("Bad"), QString(), QStringLiteral("RPM +")},
                {QStringLiteral("Four"), QStringLiteral("V"), QStringLiteral("twice * 2")}});
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_FALSE(errors[0].Failed());
    EXPECT_TRUE(errors[1].Failed());
    EXPECT_FALSE(errors[2].Failed()) << errors[2].message.toStdString();
    ASSERT_EQ(table.ChannelCount(), own + 3);
    // The failing one keeps its place, so the one after it keeps its id.
    EXPECT_EQ(table.ChannelId(QStringLiteral("four")), own + 2);
    EXPECT_TRUE(table.Channels()[static_cast<std::size_t>(own)].math);
    const auto& maf = table.Column(ViewerChannelId(QStringLiteral("MAF")));
    for (std::size_t r = 0; r < table.Rows(); r += 97) {
        EXPECT_FLOAT_EQ(table.Column(own)[r], maf[r] * 2);
        EXPECT_TRUE(std::isnan(table.Column(own + 1)[r]));
        EXPECT_FLOAT_EQ(table.Column(own + 2)[r], maf[r] * 4);
    }

    // Applied again, the list is replaced, not added to.
    ApplyMathChannels(table, {{QStringLiteral("Only"), QString(), QStringLiteral("RPM")}});
    EXPECT_EQ(table.ChannelCount(), own + 1);
    EXPECT_EQ(table.ChannelId(QStringLiteral("Twice")), -1);
}

TEST_F(MathColumnsTest, ANameThatHidesAChannelOrAWordIsRefused) {
    const auto errors = ApplyMathChannels(
        table, {{QStringLiteral("rpm"), QString(), QStringLiteral("1")},
                {QStringLiteral("sin"), QString(), QStringLiteral("1")},
                {QStringLiteral("2x"), QString(), QStringLiteral("1")}});
    for (const ExpressionError& e : errors) EXPECT_TRUE(e.Failed());
}

TEST_F(MathColumnsTest, RowsReadLaterAreGapsUntilEvaluatedAgain) {
    ApplyMathChannels(table, {{QStringLiteral("Twice"), QString(), QStringLiteral("MAF * 2")}});
    const std::size_t before = table.Rows();
    test::SimLogOptions o;
    o.seconds = 8;
    o.after = static_cast<std::int64_t>(table.Records().back());
    ASSERT_GT(test::WriteSimLog(path, o), 0);
    ASSERT_GT(table.Refresh(), 0);
    const int id = table.ChannelId(QStringLiteral("Twice"));
    ASSERT_EQ(table.Column(id).size(), table.Rows());
    EXPECT_FALSE(std::isnan(table.Column(id)[before - 1]));
    EXPECT_TRUE(std::isnan(table.Column(id)[before]));
}

TEST_F(MathColumnsTest, AConditionNamesMathChannelsAndSaysWhereItIsWrong) {
    ApplyMathChannels(table, {{QStringLiteral("Twice"), QString(), QStringLiteral("MAF * 2")}});
    ExpressionError error;
    const auto holds = EvaluateCondition(table, QStringLiteral("Twice > MAF"), &error);
    EXPECT_FALSE(error.Failed());
    ASSERT_EQ(holds.size(), table.Rows());
    EvaluateCondition(table, QStringLiteral("RPM > nosuch"), &error);
    ASSERT_TRUE(error.Failed());
    EXPECT_TRUE(ErrorText(error).startsWith(QStringLiteral("At character 7"))) << ErrorText(error).toStdString();
    EXPECT_TRUE(EvaluateCondition(table, QStringLiteral("  "), &error).empty());
    EXPECT_FALSE(error.Failed());
}

TEST(ViewerLayout, GoesThroughJsonAndTheUserFileWhole) {
    ViewerLayout layout;
    layout.name = QStringLiteral("Pulls / WOT");  // a slash QSettings would take as a group
    layout.plots = {{QStringLiteral("RPM"), QString()}, {QStringLiteral("Lambda"), QStringLiteral("TPS")}};
    layout.math = {{QStringLiteral("Lambda"), QStringLiteral("λ"), QStringLiteral("WideO2 / 14.7")}};
    layout.heatX = QStringLiteral("RPM");
    layout.heatZ = QStringLiteral("Lambda");
    layout.scatterWhere = QStringLiteral("TPS > 3");
    layout.lines = {{QStringLiteral("WideO2"), 12.5}};

    QTemporaryDir dir;
    LayoutStore store(dir.filePath(QStringLiteral("user.ini")));
    store.Save(layout);
    store.Save(ViewerLayout{QStringLiteral("Idle"), {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}});
    EXPECT_EQ(store.Names(), (QStringList{QStringLiteral("Idle"), QStringLiteral("Pulls / WOT")}));
    const auto back = LayoutStore(dir.filePath(QStringLiteral("user.ini"))).Load(layout.name);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->plots, layout.plots);
    EXPECT_EQ(back->math, layout.math);
    EXPECT_EQ(back->heatZ, layout.heatZ);
    EXPECT_EQ(back->scatterWhere, layout.scatterWhere);
    ASSERT_EQ(back->lines.size(), 1u);
    EXPECT_EQ(back->lines[0].value, 12.5);

    store.SetDefaultName(layout.name);
    EXPECT_EQ(store.DefaultName(), layout.name);
    store.Remove(layout.name);
    EXPECT_TRUE(store.DefaultName().isEmpty()) << "a removed default is no default";
    EXPECT_FALSE(store.Load(layout.name));
    EXPECT_FALSE(LayoutFromJson(QStringLiteral("{not json")));
}

TEST(ScatterGrid, CountsEachPointOnceWhereTheFilterHoldsAndKeepsARowPerCell) {
    const float nan = std::nanf("");
    const std::vector<float> xs = {0, 1, 1, 0.5f, nan, 1, 0.99f};
    const std::vector<float> ys = {0, 1, 1, 0.5f, 0.5f, 1, 0.01f};
    const std::vector<float> zs = {1, 2, 4, 8, 16, 32, 64};
    const std::vector<float> where = {1, 1, 1, 1, 1, 0, nan};
    const ScatterGrid g = BinScatter(xs, ys, zs, where, 0, xs.size(), 0, 1, 0, 1, 2, 2);
    EXPECT_EQ(g.points, 4u);  // the NaN X, the filtered row and the NaN condition left out
    EXPECT_EQ(g.count[g.Cell(0, 0)], 1u);
    // A value on the high edge goes into the last cell.
    EXPECT_EQ(g.count[g.Cell(1, 1)], 3u);
    EXPECT_DOUBLE_EQ(g.zSum[g.Cell(1, 1)], 2 + 4 + 8);
    EXPECT_EQ(g.row[g.Cell(1, 1)], 3u);
    int cx = 0, cy = 0;
    EXPECT_FALSE(g.CellOf(1.5, 0.5, cx, cy));

    double lo = 0, hi = 0;
    ASSERT_TRUE(ScatterExtent(xs, where, 0, xs.size(), lo, hi));
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 1);
    EXPECT_FALSE(ScatterExtent(xs, where, 4, 5, lo, hi));
}

TEST(LimitLines, ATwoChannelDialsLimitGoesOnBothOfItsChannels) {
    AlarmLimitSet limits = DefaultAlarmLimits();
    limits[static_cast<std::size_t>(AlarmChannelIndex(Gauge::EGT))].dangerHigh = 1550;
    const auto lines = AlarmLimitLines(limits);
    auto has = [&](const char* channel, double value) {
        return std::any_of(lines.begin(), lines.end(), [&](const LimitLine& l) {
            return l.channel == QLatin1String(channel) && l.value == value && !l.User() &&
                   ViewerChannelId(l.channel) >= 0;
        });
    };
    EXPECT_TRUE(has("EGTL", 1550));
    EXPECT_TRUE(has("EGTR", 1550));
    EXPECT_TRUE(has("InjDuty", 90));
    EXPECT_TRUE(has("RPM", 7000));
    for (const LimitLine& l : lines)
        EXPECT_GE(ViewerChannelId(l.channel), 0) << l.channel.toStdString() << " is no viewer channel";
}

}  // namespace
}  // namespace quarn
