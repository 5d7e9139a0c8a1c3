// The Log Viewer's tools on logs of the simulated drive: a math channel
// shows wherever a channel does and its error beside its formula; a layout
// saved on one log applies to another, telling what that log lacks; event
// search lists the stretches and goes to them; cursors A and B give B−A and
// Δt; a click on the scatter goes to a record under it.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <qcustomplot.h>

#include "PlainViewerHost.h"
#include "SimLog.h"
#include "viewer/EventsPanel.h"
#include "viewer/HeatMapTab.h"
#include "viewer/HistogramTab.h"
#include "viewer/LogViewer.h"
#include "viewer/MathPanel.h"
#include "viewer/ScatterTab.h"
#include "viewer/StatisticsPanel.h"
#include "viewer/ViewerPlots.h"
#include "viewer/ViewerSide.h"

namespace quarn {
namespace {

class ViewerToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        viewer = new LogViewer(host);
        viewer->showMessage = [this](const QString& text) { messages << text; };
        viewer->SetLayoutStore(std::make_unique<LayoutStore>(dir.filePath(QStringLiteral("user.ini"))));
        viewer->resize(1100, 800);
        viewer->show();
    }
    void TearDown() override { delete viewer.data(); }

    QString Drive(const char* name, double seconds) {
        test::SimLogOptions o;
        o.seconds = seconds;
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_GT(test::WriteSimLog(path, o), 0);
        return path;
    }
    bool Show(const QString& path) {
        if (!viewer->Open(path)) return false;
        return QTest::qWaitFor([&] { return !viewer->Busy(); }, 30000) && viewer->table() &&
               viewer->table()->Path() == path;
    }
    static bool Lists(const QComboBox* box, const QString& name) { return box->findText(name) >= 0; }

    QTemporaryDir dir;
    test::PlainViewerHost host;
    QPointer<LogViewer> viewer;
    QStringList messages;
};

TEST_F(ViewerToolsTest, AMathChannelShowsWhereverAChannelDoesAndItsErrorBesideTheFormula) {
    ASSERT_TRUE(Show(Drive("a.qz0", 20)));
    viewer->mathPanel()->SetChannels({{QStringLiteral("Lambda"), QStringLiteral("λ"), QStringLiteral("WideO2 / 14.7")},
                                      {QStringLiteral("Broken"), QString(), QStringLiteral("RPM * (TPS")}});
    viewer->mathPanel()->Apply();
    const LogTable& t = *viewer->table();
    const int lambda = t.ChannelId(QStringLiteral("Lambda"));
    ASSERT_GE(lambda, static_cast<int>(ViewerChannels().size()));

    // The side table, the pickers of the heat map, scatter, histogram and
    // event search, and a plot of it.
    const int sideRow = ViewerSide::kFirstChannelRow + lambda;
    ASSERT_LT(sideRow, viewer->side()->values()->rowCount());
    EXPECT_EQ(viewer->side()->values()->item(sideRow, 0)->text(), QStringLiteral("Lambda (λ)"));
    EXPECT_TRUE(Lists(viewer->heatMap()->zChannel(), QStringLiteral("Lambda")));
    EXPECT_TRUE(Lists(viewer->scatter()->zChannel(), QStringLiteral("Lambda")));
    EXPECT_TRUE(Lists(viewer->histogram()->channel(), QStringLiteral("Lambda")));
    EXPECT_TRUE(Lists(viewer->eventsPanel()->channel(), QStringLiteral("Lambda")));
    viewer->plots()->SetPlots({{lambda, -1}});
    EXPECT_GT(viewer->plots()->TracePoints(0, false, false), 0);
    viewer->plots()->SetCursorKey(10);
    const std::size_t row = t.RowAtAxis(10);
    EXPECT_EQ(viewer->side()->values()->item(sideRow, 1)->text(),
              QString::number(t.Column(lambda)[row], 'f', 3));

    // The error is in the row of its formula, not in a box.
    const QTableWidget* math = viewer->mathPanel()->table();
    EXPECT_TRUE(math->item(0, 3)->text().isEmpty());
    EXPECT_TRUE(math->item(1, 3)->text().startsWith(QStringLiteral("At character")))
        << math->item(1, 3)->text().toStdString();
    EXPECT_TRUE(messages.isEmpty());

    // The statistics of the visible range include it.
    viewer->ShowTool(viewer->statisticsPanel());
    viewer->statisticsPanel()->Recompute();
    const auto& stats = viewer->statisticsPanel()->Result();
    ASSERT_EQ(stats.size(), static_cast<std::size_t>(t.ChannelCount()));
    EXPECT_EQ(stats[static_cast<std::size_t>(lambda)].name, QStringLiteral("Lambda"));
    EXPECT_GT(stats[static_cast<std::size_t>(lambda)].count, 0u);
}

TEST_F(ViewerToolsTest, ALayoutSavedOnOneLogIsReappliedToAnotherAndWhatItLacksIsTold) {
    ASSERT_TRUE(Show(Drive("first.qz0", 12)));
    viewer->SetMathChannels({{QStringLiteral("Lambda"), QString(), QStringLiteral("WideO2 / 14.7")},
                             {QStringLiteral("Boosted"), QString(), QStringLiteral("Boost * 2")}});
    const LogTable* first = viewer->table();
    const int lambda = first->ChannelId(QStringLiteral("Lambda"));
    const int tps = first->ChannelId(QStringLiteral("TPS"));
    viewer->plots()->SetPlots({{first->ChannelId(QStringLiteral("RPM")), -1}, {lambda, tps}});
    viewer->scatter()->SetChannels(tps, lambda, -1);
    viewer->scatter()->SetWhere(QStringLiteral("RPM > 1000"));
    viewer->heatMap()->SetWhere(QStringLiteral("Lambda > 1"));
    ViewerLayout saved = viewer->CurrentLayout(QStringLiteral("Mixture"));
    viewer->layouts().Save(saved);
    viewer->layouts().SetDefaultName(QStringLiteral("Mixture"));

    // Another log, opened as the layout is not shown: the default comes back
    // with it, its math channels evaluated over the new log.
    viewer->SetMathChannels({});
    viewer->plots()->SetPlots({{0, -1}});
    ASSERT_TRUE(Show(Drive("second.qz0", 9)));
    const LogTable& second = *viewer->table();
    ASSERT_EQ(second.ChannelCount(), static_cast<int>(ViewerChannels().size()) + 2);
    ASSERT_EQ(viewer->plots()->Plots().size(), 2u);
    EXPECT_EQ(second.Channels()[static_cast<std::size_t>(viewer->plots()->Plots()[1].first)].name,
              QStringLiteral("Lambda"));
    EXPECT_EQ(viewer->plots()->Plots()[1].second, tps);
    EXPECT_EQ(viewer->scatter()->yChannel()->currentText(), QStringLiteral("Lambda"));
    EXPECT_EQ(viewer->scatter()->where()->text(), QStringLiteral("RPM > 1000"));
    EXPECT_EQ(viewer->heatMap()->where()->text(), QStringLiteral("Lambda > 1"));
    EXPECT_FALSE(std::isnan(second.Column(second.ChannelId(QStringLiteral("Lambda")))[second.Rows() / 2]));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();

    // A layout naming what this log lacks is applied all the same, and says so.
    saved.name = QStringLiteral("Elsewhere");
    saved.math.push_back({QStringLiteral("Fuel"), QString(), QStringLiteral("FuelPressure * 2")});
    saved.plots.push_back({QStringLiteral("Knock"), QString()});
    viewer->ApplyLayout(saved);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("Knock"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("Math channel Fuel"))) << messages[0].toStdString();
    EXPECT_EQ(viewer->plots()->Plots().size(), 2u);
    EXPECT_GE(viewer->table()->ChannelId(QStringLiteral("Boosted")), 0);
}

// The heat map's "Only where": a formula that cannot be read says where
// beside the box and maps nothing; one over a math channel counts the rest
// and says how many it left out; a preset fills the box.
TEST_F(ViewerToolsTest, TheHeatMapsOnlyWhereSaysItsErrorCountsWhatItLeftOutAndTakesPresets) {
    ASSERT_TRUE(Show(Drive("heat.qz0", 30)));
    viewer->SetMathChannels({{QStringLiteral("Revs"), QString(), QStringLiteral("RPM / 1000")}});
    HeatMapTab& heat = *viewer->heatMap();
    const auto* caption = heat.findChild<QLabel*>(QStringLiteral("HeatCaption"));
    ASSERT_NE(caption, nullptr);
    auto counted = [&] {
        std::int64_t n = 0;
        for (std::int64_t c : heat.Result().count) n += c;
        return n;
    };

    heat.SetWhere(QStringLiteral("Revs > (2"));
    heat.Recompute();
    EXPECT_TRUE(heat.whereError()->text().startsWith(QStringLiteral("At character")))
        << heat.whereError()->text().toStdString();
    EXPECT_EQ(counted(), 0);

    heat.SetWhere(QStringLiteral("Revs > 2"));
    heat.Recompute();
    EXPECT_TRUE(heat.whereError()->text().isEmpty());
    const LogTable& t = *viewer->table();
    const int rpm = t.ChannelId(QStringLiteral("RPM"));
    std::int64_t out = 0;
    for (std::size_t r = t.WarmUpRows(); r < t.Rows(); ++r) out += !(t.Column(rpm)[r] / 1000 > 2);
    ASSERT_GT(out, 0);
    EXPECT_EQ(heat.Result().filteredOut, out);
    EXPECT_GT(counted(), 0);
    EXPECT_TRUE(caption->text().contains(QStringLiteral(" %1 records where").arg(out)))
        << caption->text().toStdString();

    heat.wherePresets()->setCurrentIndex(1);
    emit heat.wherePresets()->activated(1);
    EXPECT_EQ(heat.where()->text(), QString::fromUtf8(HeatWherePresets()[0].formula));
    EXPECT_EQ(heat.wherePresets()->currentIndex(), 0);
}

TEST_F(ViewerToolsTest, EventSearchListsEachStretchGoesToItAndMarksThemAll) {
    ASSERT_TRUE(Show(Drive("events.qz0", 60)));
    EventsPanel& events = *viewer->eventsPanel();
    events.where()->setText(QStringLiteral("RPM > 3000"));
    events.minSeconds()->setValue(0.5);
    events.Search();
    ASSERT_FALSE(events.Events().empty());
    EXPECT_EQ(events.list()->topLevelItemCount(), static_cast<int>(events.Events().size()));
    const LogTable& t = *viewer->table();
    for (const EventStretch& e : events.Events()) {
        EXPECT_GE(e.duration, 0.5);
        EXPECT_GT(t.Column(0)[e.firstRow], 3000);
    }
    // Next goes to the first stretch, then the second.
    events.Step(1);
    EXPECT_DOUBLE_EQ(viewer->plots()->CursorKey(), t.Axis()[events.Events()[0].firstRow]);
    if (events.Events().size() > 1) {
        events.Step(1);
        EXPECT_DOUBLE_EQ(viewer->plots()->CursorKey(), t.Axis()[events.Events()[1].firstRow]);
        events.Step(-1);
        EXPECT_DOUBLE_EQ(viewer->plots()->CursorKey(), t.Axis()[events.Events()[0].firstRow]);
    }
    const std::size_t before = t.Markers().size();
    QTest::mouseClick(events.findChild<QPushButton*>(QStringLiteral("EventMarkers")), Qt::LeftButton);
    ASSERT_EQ(viewer->table()->Markers().size(), before + events.Events().size());
    EXPECT_EQ(viewer->table()->Markers().back().kind, QStringLiteral("event"));

    events.where()->setText(QStringLiteral("RPM >> 3"));
    events.Search();
    EXPECT_TRUE(events.Events().empty());
    EXPECT_FALSE(events.problem()->isHidden());
}

TEST_F(ViewerToolsTest, CursorsAAndBGiveTheDifferenceAndTheTimeBetween) {
    ASSERT_TRUE(Show(Drive("ab.qz0", 20)));
    viewer->SetCursorA(4.0);
    viewer->SetCursorB(9.0);
    const LogTable& t = *viewer->table();
    const std::size_t a = t.RowAtAxis(4.0), b = t.RowAtAxis(9.0);
    const QTableWidget* values = viewer->side()->values();
    EXPECT_FALSE(values->isColumnHidden(ViewerSide::kColumnDelta));
    EXPECT_EQ(values->item(ViewerSide::kTimeRow, ViewerSide::kColumnDelta)->text(),
              QString::number(t.SecondsAt(b) - t.SecondsAt(a), 'f', 3) + QStringLiteral(" s"));
    const int rpm = ViewerSide::kFirstChannelRow + t.ChannelId(QStringLiteral("RPM"));
    const double delta = t.Column(0)[b] - t.Column(0)[a];
    EXPECT_NEAR(values->item(rpm, ViewerSide::kColumnDelta)->text().toDouble(), delta,
                0.5e-3 + std::abs(delta) * 1e-3);
    // Both are drawn as markers of their own kind.
    int cursors = 0;
    for (const PlotMarker& m : viewer->plots()->Markers()) cursors += m.kind == QLatin1String("cursor");
    EXPECT_EQ(cursors, 2);
    viewer->SetCursorA(std::nullopt);
    viewer->SetCursorB(std::nullopt);
    EXPECT_TRUE(values->isColumnHidden(ViewerSide::kColumnDelta));
}

TEST_F(ViewerToolsTest, AClickOnTheScatterPutsTheCursorOnARecordUnderIt) {
    ASSERT_TRUE(Show(Drive("scatter.qz0", 30)));
    ScatterTab& scatter = *viewer->scatter();
    viewer->tabs()->setCurrentWidget(&scatter);
    scatter.Redraw();
    const ScatterGrid& g = scatter.Grid();
    ASSERT_GT(g.points, 0u);
    // The busiest cell, clicked in its middle.
    std::size_t best = 0;
    for (std::size_t c = 0; c < g.count.size(); ++c)
        if (g.count[c] > g.count[best]) best = c;
    const int cx = static_cast<int>(best % static_cast<std::size_t>(g.cols));
    const int cy = static_cast<int>(best / static_cast<std::size_t>(g.cols));
    const double x = g.xLo + (cx + 0.5) * (g.xHi - g.xLo) / g.cols;
    const double y = g.yLo + (cy + 0.5) * (g.yHi - g.yLo) / g.rows;
    const QPoint at(static_cast<int>(scatter.plot()->xAxis->coordToPixel(x)),
                    static_cast<int>(scatter.plot()->yAxis->coordToPixel(y)));
    const long long row = scatter.RowAt(at);
    ASSERT_GE(row, 0);
    QTest::mouseClick(scatter.plot(), Qt::LeftButton, {}, at);
    const LogTable& t = *viewer->table();
    EXPECT_DOUBLE_EQ(viewer->plots()->CursorKey(), t.Axis()[static_cast<std::size_t>(row)]);
    // The record's X and Y lie in the clicked cell, or one next to it.
    int rx = 0, ry = 0;
    ASSERT_TRUE(g.CellOf(t.Column(scatter.xChannel()->currentData().toInt())[static_cast<std::size_t>(row)],
                         t.Column(scatter.yChannel()->currentData().toInt())[static_cast<std::size_t>(row)], rx, ry));
    EXPECT_LE(std::abs(rx - cx), 2);
    EXPECT_LE(std::abs(ry - cy), 2);
}

}  // namespace
}  // namespace quarn
