// Scope windows offscreen: the opener with its limit of ten, closing and
// reopening, the channel scales, the feed into the chart across midnight, the
// drawing left to the shared tick and done between frames, the bounded
// history and the smallest size.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QMenu>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "widgets/RefreshTick.h"
#include "app/SuperDash.h"
#include "TestDash.h"
#include "link/LinkFakes.h"
#include "scope/ScopeSlots.h"
#include "scope/StripChart.h"
#include "scope/SuperScope.h"

namespace quarn {
namespace {

// Each setting of the time of day is a frame a second after the last;
// Advance moves only the monotonic clock.
class SetClock final : public Clock {
public:
    TimePoint Now() const override { return m_now; }
    double TimeOfDay() const override { return m_timeOfDay; }
    void Set(double timeOfDay) {
        m_timeOfDay = timeOfDay;
        m_now += std::chrono::seconds(1);
    }
    void Advance(std::chrono::milliseconds step) { m_now += step; }

private:
    TimePoint m_now{};
    double m_timeOfDay = 43200;
};

class ScopeSlotsTest : public ::testing::Test {
protected:
    ChannelRecord rec;
    RunState state;
    SetClock clock;
    QStringList notices;
    ScopeSlots scopes{rec, state, clock, nullptr, [this](const QString& text) { notices << text; }};

    QStringList OpenTitles() const {
        QStringList titles;
        for (int s = ScopeSlots::kFirstSlot; s <= ScopeSlots::kLastSlot; ++s)
            if (scopes.Visible(s)) titles << scopes.Window(s)->windowTitle();
        return titles;
    }
    // Lets the windows' first drawing (shown, resized) happen.
    static void Settle() {
        for (int i = 0; i < 3; ++i) {
            SharedRefreshTick().Flush();
            QCoreApplication::processEvents();
        }
    }
    void Pick(int slot, const QString& channel) {
        scopes.Window(slot)->selection()->setCurrentText(channel);
        scopes.Window(slot)->Selection_Click();
    }
};

TEST_F(ScopeSlotsTest, TheLowestFreeSlotOpensAndTheEleventhRequestIsRefused) {
    for (int s = 1; s <= 3; ++s) EXPECT_EQ(scopes.Open(), s);
    scopes.Window(2)->close();
    EXPECT_FALSE(scopes.Visible(2));
    EXPECT_EQ(scopes.Open(), 2);
    EXPECT_EQ(OpenTitles(), QStringList({"Scope1", "Scope2", "Scope3"}));

    for (int s = 4; s <= 10; ++s) EXPECT_EQ(scopes.Open(), s);
    EXPECT_TRUE(notices.isEmpty());
    EXPECT_EQ(scopes.Open(), 0);
    EXPECT_EQ(notices, QStringList{"A maximum of 10 Quarn Scopes can be displayed."});
    EXPECT_EQ(OpenTitles().size(), 10);
}

TEST_F(ScopeSlotsTest, AnEmptySlotGetsAHiddenWindowAndAClosedOneComesBackFresh) {
    scopes.Prepare(1);  // as the monitoring loop's walk does
    SuperScope* hidden = scopes.Window(1);
    ASSERT_NE(hidden, nullptr);
    EXPECT_FALSE(scopes.Visible(1));
    EXPECT_EQ(hidden->windowTitle(), "Quarn_Scope");

    ASSERT_EQ(scopes.Open(), 1);
    EXPECT_EQ(scopes.Window(1), hidden);
    Pick(1, "HEGOL");
    scopes.Feed(1);
    scopes.Window(1)->close();
    ASSERT_EQ(scopes.Open(), 1);
    SuperScope* again = scopes.Window(1);
    EXPECT_EQ(again->SelectionText(), "RPM");
    EXPECT_EQ(again->chart()->rangeHigh(), 8000);
    EXPECT_EQ(again->chart()->divisions(), 5);
    EXPECT_EQ(again->chart()->pointCount(), 0);
}

TEST_F(ScopeSlotsTest, TheFeedPlotsTheListedChannelAgainstSecondsAcrossMidnight) {
    state.StartSeconds = 86395;  // 23:59:55
    ASSERT_EQ(scopes.Open(), 1);
    ASSERT_EQ(scopes.Open(), 2);
    Pick(2, "MPH");
    rec.Rpm = 3000;
    rec.Mph = 55;
    clock.Set(86399.5);
    scopes.Feed(1);
    scopes.Feed(2);
    rec.Rpm = 3100;
    clock.Set(0.5);
    scopes.Feed(1);

    const QCPGraphDataContainer& rpm = scopes.Window(1)->chart()->points();
    ASSERT_EQ(rpm.size(), 2);
    EXPECT_DOUBLE_EQ(rpm.at(0)->key, 4.5);
    EXPECT_DOUBLE_EQ(rpm.at(0)->value, 3000);
    EXPECT_DOUBLE_EQ(rpm.at(1)->key, 5.5);
    EXPECT_DOUBLE_EQ(rpm.at(1)->value, 3100);
    const QCPGraphDataContainer& mph = scopes.Window(2)->chart()->points();
    ASSERT_EQ(mph.size(), 1);
    EXPECT_DOUBLE_EQ(mph.at(0)->key, 4.5);  // the same x as slot 1 in that frame
    EXPECT_DOUBLE_EQ(mph.at(0)->value, 55);

    // Between readings, once a second, the time of day runs on with the
    // monotonic clock.
    clock.Advance(std::chrono::milliseconds(250));
    scopes.Feed(1);
    EXPECT_DOUBLE_EQ(rpm.at(2)->key, 5.75);
    clock.Set(2.0);
    scopes.Feed(1);
    EXPECT_DOUBLE_EQ(rpm.at(3)->key, 7.0);

    scopes.ReapplySelections();  // as a playback starts
    EXPECT_EQ(scopes.Window(1)->chart()->pointCount(), 0);
    EXPECT_EQ(scopes.Window(2)->SelectionText(), "MPH");
    ASSERT_NE(scopes.Window(10), nullptr);
    EXPECT_FALSE(scopes.Visible(10));
}

// Drawing while the monitoring loop handles a frame, or at a tick that falls
// just as the next frame arrives, would hold that frame back.
TEST_F(ScopeSlotsTest, ATickLeavesTheDrawingToJustAfterTheNextFrame) {
    ASSERT_EQ(scopes.Open(), 1);
    int replots = 0;
    QObject::connect(scopes.Window(1)->chart(), &QCustomPlot::afterReplot,
                     [&replots] { ++replots; });
    Settle();
    replots = 0;

    scopes.Feed(1);
    SharedRefreshTick().Flush();
    EXPECT_EQ(replots, 0);
    scopes.Feed(1);
    EXPECT_EQ(replots, 0);
    QCoreApplication::processEvents();  // the loop's wait for the next frame
    EXPECT_EQ(replots, 1);

    scopes.Window(1)->ApplySelection("MPH");  // no frames come now: a tick draws
    SharedRefreshTick().Flush();
    SharedRefreshTick().Flush();
    EXPECT_EQ(replots, 2);
}

// With more charts fed than a tick may draw, the ones left over go first at
// the next tick: none waits behind the others for ever.
TEST_F(ScopeSlotsTest, TicksDrawEveryChangedChartInTurn) {
    std::array<int, ScopeSlots::kLastSlot + 1> replots{};
    for (int s = 1; s <= 10; ++s) {
        ASSERT_EQ(scopes.Open(), s);
        QObject::connect(scopes.Window(s)->chart(), &QCustomPlot::afterReplot,
                         [&replots, s] { ++replots[s]; });
    }
    Settle();
    replots.fill(0);
    scopes.SetRedrawBudget(std::chrono::microseconds(0));  // one chart a tick
    const auto undrawn = [&replots] {
        return std::count(replots.begin() + 1, replots.end(), 0) > 0;
    };
    for (int frame = 0; frame < 40 && undrawn(); ++frame) {
        for (int s = 1; s <= 10; ++s) scopes.Feed(s);
        SharedRefreshTick().Flush();
        QCoreApplication::processEvents();
    }
    const auto [fewest, most] = std::minmax_element(replots.begin() + 1, replots.end());
    EXPECT_GE(*fewest, 1);
    EXPECT_LE(*most - *fewest, 1);  // in turn: none twice before another once
}

TEST(DashboardScopes, TheFirstViewEntryOpensScopesAndTheDashboardFeedsThem) {
    test::RecordingAlerts alerts;
    QTemporaryDir dir;
    const auto owned = test::MakeTestDash(alerts, dir.path(), 2);
    SuperDash& dash = *owned;
    auto* view = dash.findChild<QMenu*>("mnuView");
    ASSERT_TRUE(view && !view->actions().isEmpty());
    QAction* entry = view->actions().first();
    EXPECT_EQ(entry->objectName(), "mnuViewquarnscope1");
    EXPECT_EQ(entry->text(), "Quarn Scope");

    entry->trigger();
    EXPECT_TRUE(dash.ScopeVisible(1));
    EXPECT_EQ(dash.scopes().Window(1)->windowTitle(), "Scope1");
    dash.record().Rpm = 2500;
    dash.FeedScopes(1);
    const QCPGraphDataContainer& points = dash.scopes().Window(1)->chart()->points();
    ASSERT_EQ(points.size(), 1);
    EXPECT_DOUBLE_EQ(points.at(0)->value, 2500);
}

TEST(SuperScopeSelection, ScalesPerChannelKeepsDivisionsForTemperaturesIgnoresOtherNames) {
    SuperScope fresh;
    EXPECT_EQ(fresh.selection()->count(), 16);
    fresh.ApplySelection("ECT");
    EXPECT_EQ(fresh.chart()->rangeLow(), 1);
    EXPECT_EQ(fresh.chart()->rangeHigh(), 300);
    EXPECT_EQ(fresh.chart()->divisions(), 5);  // as "RPM" left it

    SuperScope scope;
    scope.ApplySelection("HEGOL");
    scope.ApplySelection("ECT");
    EXPECT_EQ(scope.chart()->divisions(), 0);
    scope.ApplySelection("ADVANCE");
    EXPECT_EQ(scope.chart()->rangeLow(), -20);
    scope.ApplySelection("MAF");
    EXPECT_EQ(scope.chart()->spanSeconds(), 20);

    scope.chart()->AddPoint(1, 2.5);
    scope.ApplySelection("maf");
    EXPECT_EQ(scope.chart()->pointCount(), 1);
    EXPECT_EQ(scope.chart()->rangeHigh(), 5);
    scope.ApplySelection("MAF");  // the same channel again restarts
    EXPECT_EQ(scope.chart()->pointCount(), 0);
}

TEST(SuperScopeSize, NeverBelow5000TwipsAndTheChartFollowsTheWindow) {
    SuperScope scope;
    scope.show();
    EXPECT_EQ(scope.size(), SuperScope::kInitialClientSize);
    const QSize frame = scope.frameGeometry().size() - scope.size();
    scope.resize(100, 100);
    EXPECT_EQ(scope.frameGeometry().size(), QSize(333, 333));
    scope.resize(600, 200);
    EXPECT_EQ(scope.frameGeometry().size(), QSize(600 + frame.width(), 333));
    scope.resize(700, 500);
    const QSize outer = scope.frameGeometry().size();
    EXPECT_EQ(scope.chart()->geometry(), QRect(0, 24, outer.width() - 8, outer.height() - 43));
    // A frame taller than the allowance would push the chart off the bottom.
    EXPECT_EQ(SuperScope::ChartRectFor(QSize(708, 540), QSize(700, 500)), QRect(0, 24, 700, 476));
}

TEST(StripChart, AppendsWaitForTheTickWhichRedrawsOnce) {
    StripChart chart;
    chart.resize(400, 300);
    chart.show();
    SharedRefreshTick().Flush();
    int replots = 0;
    QObject::connect(&chart, &QCustomPlot::afterReplot, [&replots] { ++replots; });
    for (int i = 0; i < 1000; ++i) chart.AddPoint(i * 0.004, i);
    EXPECT_EQ(replots, 0);
    SharedRefreshTick().Flush();
    SharedRefreshTick().Flush();
    EXPECT_EQ(replots, 1);
}

TEST(StripChart, SpanFillsFromTheLeftThenScrollsAndZeroDivisionsLabelTheEnds) {
    StripChart chart;
    chart.resize(400, 300);
    chart.SetSpanSeconds(10);
    chart.SetRange(1, 300);
    chart.SetDivisions(0);
    chart.AddPoint(100, 1);
    chart.AddPoint(103, 1);
    chart.Refresh();
    EXPECT_EQ(chart.xAxis->range(), QCPRange(100, 110));
    chart.AddPoint(125, 1);
    chart.Refresh();
    EXPECT_EQ(chart.xAxis->range(), QCPRange(115, 125));
    chart.replot();
    EXPECT_EQ(chart.yAxis->tickVector(), QVector<double>({1, 300}));
}

// The second case: a clock that stood still put every point on one x, where
// dropping "all points before x" drops nothing.
TEST(StripChart, HistoryKeepsTheNewestPointsAndABoundedCount) {
    StripChart chart;
    EXPECT_EQ(chart.storeCapacity(), 0);  // an unfed chart takes no room
    chart.AddPoint(0, 0);
    const int capacity = chart.storeCapacity();
    EXPECT_GE(capacity, StripChart::kHistoryPoints + StripChart::kTrimBatch);
    const int total = StripChart::kHistoryPoints * 3 + 77;
    for (int i = 1; i < total; ++i) chart.AddPoint(i * 0.004, i);
    EXPECT_GE(chart.pointCount(), StripChart::kHistoryPoints);
    EXPECT_LT(chart.pointCount(), StripChart::kHistoryPoints + StripChart::kTrimBatch);
    // The newest points, every one of them, in order, after several trims.
    const int kept = chart.pointCount();
    for (int i = 0; i < kept; ++i)
        ASSERT_DOUBLE_EQ(chart.points().at(i)->value, total - kept + i) << i;
    EXPECT_EQ(chart.storeCapacity(), capacity);  // never grew
    chart.Restart();
    chart.AddPoint(1, 1);
    EXPECT_EQ(chart.storeCapacity(), capacity);

    StripChart standing;
    for (int i = 0; i < StripChart::kHistoryPoints * 2; ++i) standing.AddPoint(7, i);
    EXPECT_LT(standing.pointCount(), StripChart::kHistoryPoints + StripChart::kTrimBatch);
}

TEST(StripChart, ATimeBaseStartedAgainRestartsTheTraceAndBadValuesLeaveGaps) {
    StripChart chart;
    chart.AddPoint(50, 1);
    chart.AddPoint(51, std::numeric_limits<double>::infinity());
    ASSERT_EQ(chart.pointCount(), 2);
    EXPECT_TRUE(std::isnan(chart.points().at(1)->value));
    chart.AddPoint(0.2, 3);  // a new playback: StartSeconds moved on
    ASSERT_EQ(chart.pointCount(), 1);
    EXPECT_DOUBLE_EQ(chart.points().at(0)->key, 0.2);
}

}  // namespace
}  // namespace quarn
