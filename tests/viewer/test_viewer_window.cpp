// The Log Viewer window on logs of the simulated drive: a damaged or empty
// log opens with one message, the window closed or deleted while a log is
// read frees nothing in use, the exported range equals quarn-log's rows,
// "Play range" plays exactly the selected records through the dashboard,
// marker edits go through the sidecar, and the heat map's copy holds the
// means of the rows that pass the filter; the mouse selects, zooms and pans;
// following a growing log keeps its end in view, and plots hidden behind
// another tab, or scrolled back from the end, are not drawn again for it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QStatusBar>
#include <QClipboard>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QTreeWidget>

#include <cmath>
#include <sstream>

#include <qcustomplot.h>

#include "SimLog.h"
#include "TestUtil.h"
#include "app/SuperDash.h"
#include "TestDash.h"
#include "link/LinkFakes.h"
#include "logging/Logging.h"
#include "dyno/DynoView.h"
#include "viewer/HeatMapTab.h"
#include "viewer/LogViewer.h"
#include "viewer/ViewerDyno.h"
#include "viewer/ViewerPlots.h"
#include "viewer/ViewerSide.h"

namespace quarn {
namespace {

class FakeHost final : public LogViewerHost {
public:
    const VehicleData& Vehicle() const override { return vehicle; }
    double FrameRate() const override { return 250; }
    void PlayRecords(const QString& log, std::int64_t first, std::int64_t last) override {
        played.push_back({log, first, last});
    }
    struct Play {
        QString log;
        std::int64_t first, last;
    };
    VehicleData vehicle;
    std::vector<Play> played;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

class ViewerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        viewer = new LogViewer(host);
        viewer->showMessage = [this](const QString& text) { messages.push_back(text.toStdString()); };
        viewer->resize(1000, 700);
        viewer->show();
    }
    void TearDown() override { delete viewer.data(); }

    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    // A drive of seconds at 250 records a second, timed by its sidecar.
    QString Drive(const char* name, double seconds, bool sidecar = true) {
        test::SimLogOptions o;
        o.seconds = seconds;
        o.sidecar = sidecar;
        const QString path = Path(name);
        EXPECT_GT(test::WriteSimLog(path, o), 0);
        return path;
    }
    // Opens a log and waits until the window shows it.
    bool Show(const QString& path) {
        if (!viewer->Open(path)) return false;
        return QTest::qWaitFor([&] { return !viewer->Busy(); }, 30000) && viewer->table() &&
               viewer->table()->Path() == path;
    }
    double KeyOf(std::int64_t record) const {
        const LogTable& t = *viewer->table();
        return t.Axis()[t.RowOfRecord(record)];
    }

    QTemporaryDir dir;
    FakeHost host;
    QPointer<LogViewer> viewer;
    std::vector<std::string> messages;
};

TEST_F(ViewerWindowTest, ADamagedLogOpensWithOneMessageAndAnEmptyOneWithoutPlots) {
    const QString path = Drive("damaged.qz0", 8, false);
    std::vector<std::uint8_t> bytes = test::ReadBytes(path.toStdString());
    bytes[kRecordBytes * 9] = 7;  // record 10: not a record header
    bytes.resize(bytes.size() + 20, 0xEE);
    test::WriteBytes(path.toStdString(), bytes);

    ASSERT_TRUE(Show(path));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("1 damaged record(s)"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("20 byte(s)"), std::string::npos) << messages[0];
    EXPECT_EQ(viewer->table()->Rows(), 1999u);
    EXPECT_EQ(viewer->table()->Base(), TimeBase::Records);

    // Still usable, and nothing more is told: keys, cursor, follow.
    ViewerPlots& plots = *viewer->plots();
    plots.setFocus();
    QTest::keyClick(&plots, Qt::Key_Plus);
    EXPECT_NEAR(plots.KeyHi() - plots.KeyLo(), 999.5, 1e-6);
    QTest::keyClick(&plots, Qt::Key_0);
    EXPECT_NEAR(plots.KeyHi() - plots.KeyLo(), 1999, 1e-6);
    plots.SetCursorKey(12);
    EXPECT_EQ(viewer->side()->values()->item(ViewerSide::kRecordRow, 1)->text().toStdString(),
              "12");
    EXPECT_GT(plots.TracePoints(0, false, false), 0);
    viewer->FollowTick();
    EXPECT_EQ(messages.size(), 1u);

    const QString empty = Path("empty.qz0");
    test::WriteBytes(empty.toStdString(), {});
    messages.clear();
    ASSERT_TRUE(Show(empty));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("holds no records"), std::string::npos);
    EXPECT_EQ(plots.TracePoints(0, false, false), 0);
    plots.ZoomOut();
    plots.SetSelection(0, 1);
    EXPECT_FALSE(viewer->playRangeButton()->isEnabled());
}

TEST_F(ViewerWindowTest, ClosingOrDeletingTheWindowWhileALogIsReadFreesNothingInUse) {
    const QString path = Drive("long.qz0", 160);

    ASSERT_TRUE(viewer->Open(path));
    viewer->close();
    // The window goes once the worker has given up, and tells nothing.
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer.isNull(); }, 30000));
    EXPECT_TRUE(messages.empty());

    viewer = new LogViewer(host);
    viewer->show();
    ASSERT_TRUE(viewer->Open(path));
    delete viewer.data();
    // The worker finishes on its own table; nothing of the window is left
    // for it to touch.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_TRUE(viewer.isNull());
}

TEST_F(ViewerWindowTest, TheExportedRangeEqualsTheRowsOfQuarnLogExport) {
    const QString path = Drive("drive.qz0", 3);
    std::vector<std::uint8_t> bytes = test::ReadBytes(path.toStdString());
    bytes[kRecordBytes * 99] = 7;  // record 100 is damaged, in the range
    test::WriteBytes(path.toStdString(), bytes);
    ASSERT_TRUE(Show(path));
    messages.clear();

    viewer->plots()->SetSelection(KeyOf(50) - 0.001, KeyOf(300) + 0.001);
    std::int64_t first = 0, last = 0;
    ASSERT_TRUE(viewer->SelectedRecords(first, last));
    EXPECT_EQ(first, 50);
    EXPECT_EQ(last, 300);
    const QString csv = Path("range.csv");
    QSignalSpy ended(viewer.data(), &LogViewer::exportEnded);
    ASSERT_TRUE(viewer->ExportRangeTo(csv));
    ASSERT_TRUE(ended.wait(30000));
    EXPECT_TRUE(ended.front().front().toBool());
    EXPECT_TRUE(messages.empty());

    const test::CommandResult whole =
        test::RunCommand(test::BinPath("quarn-log") + " export '" + path.toStdString() + "'");
    // It exits with 1 for the damaged record, after writing every row.
    ASSERT_EQ(whole.exitCode, 1) << whole.err;
    std::vector<std::string> expected;
    for (const std::string& line : Lines(whole.out)) {
        if (expected.empty()) {
            expected.push_back(line);  // the header
            continue;
        }
        const long record = std::stol(line.substr(0, line.find(',')));
        if (record >= 50 && record <= 300) expected.push_back(line);
    }
    EXPECT_EQ(expected.size(), 1u + 250u);
    const std::vector<std::uint8_t> written = test::ReadBytes(csv.toStdString());
    EXPECT_EQ(Lines(std::string(written.begin(), written.end())), expected);
}

// Chosen as "CSV with time and units", the range carries the math channels
// after the log's, each value on its own record's row (the damaged record a
// blank); the plain CSV of the same range has none.
TEST_F(ViewerWindowTest, ARangeExportedWithUnitsCarriesTheMathChannelsOnTheirRecords) {
    const QString path = Drive("drive.qz0", 3);
    std::vector<std::uint8_t> bytes = test::ReadBytes(path.toStdString());
    bytes[kRecordBytes * 99 + 47] ^= 1;  // record 100's checksum: damaged, in the range
    test::WriteBytes(path.toStdString(), bytes);
    ASSERT_TRUE(Show(path));
    viewer->SetMathChannels({{QStringLiteral("Lambda"), QStringLiteral("λ"), QStringLiteral("WideO2 / 14.7")}});
    viewer->plots()->SetSelection(KeyOf(50) - 0.001, KeyOf(300) + 0.001);

    auto exported = [&](const char* name, const QString& filter) {
        const QString csv = Path(name);
        QSignalSpy ended(viewer.data(), &LogViewer::exportEnded);
        EXPECT_TRUE(viewer->ExportRangeTo(csv, filter));
        EXPECT_TRUE(ended.wait(30000));
        const std::vector<std::uint8_t> written = test::ReadBytes(csv.toStdString());
        return Lines(std::string(written.begin(), written.end()));
    };
    const auto units = exported("units.csv", QStringLiteral("CSV with time and units (*.csv)"));
    ASSERT_EQ(units.size(), 1u + 251u);
    EXPECT_TRUE(QString::fromStdString(units[0]).endsWith(QStringLiteral(",Lambda (λ)"))) << units[0];
    const LogTable& t = *viewer->table();
    const int lambda = t.ChannelId(QStringLiteral("Lambda"));
    for (std::int64_t record : {50, 100, 101, 300}) {
        const std::string& line = units[static_cast<std::size_t>(record - 50 + 1)];
        const std::string last = line.substr(line.rfind(',') + 1);
        const float want = t.Column(lambda)[t.RowOfRecord(record)];
        if (record == 100) {
            EXPECT_TRUE(std::isnan(want));
            EXPECT_EQ(last, "") << line;
        } else {
            EXPECT_NEAR(std::stod(last), want, 0.0005) << line;
        }
    }
    const auto plain = exported("plain.csv", QStringLiteral("CSV files (*.csv)"));
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(plain[0].find("Lambda"), std::string::npos);
}

TEST(ViewerPlayRange, PlaysExactlyTheSelectedRecordsThroughTheDashboard) {
    QTemporaryDir dir;
    // Each record carries its number in the MAF word.
    const QString path = dir.filePath(QStringLiteral("numbered.qz0"));
    for (int n = 1; n <= 400; ++n) {
        RawFrame raw;
        raw.analog[0] = static_cast<std::uint16_t>(n);
        const FrameBytes f = EncodeFrame(raw);
        ASSERT_TRUE(WriteRecordAt(path.toStdString(), n, ByteBuffer(f.begin(), f.end())));
    }
    test::RecordingAlerts alerts;
    const auto owned = test::MakeTestDash(alerts, dir.path(), 2);
    SuperDash& dash = *owned;
    dash.ShowLogViewer(path);
    LogViewer* viewer = dash.logViewer();
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return viewer->table() != nullptr; }, 30000));
    ASSERT_EQ(viewer->table()->Rows(), 400u);
    // Record numbers are the axis: no sidecar.
    viewer->plots()->SetSelection(119.6, 240.2);

    viewer->PlayRange();
    Logging* logging = dash.logging();
    ASSERT_NE(logging, nullptr);
    EXPECT_EQ(logging->logFile()->text(), path);
    EXPECT_EQ(logging->slider()->minimum(), 120);
    EXPECT_EQ(logging->slider()->maximum(), 240);
    EXPECT_EQ(dash.record().MafRaw, 240);  // the last record shown
    EXPECT_FALSE(dash.log().Playing());
}

TEST_F(ViewerWindowTest, MarkerEditsGoThroughTheSidecarAndAForeignOneIsLeftAlone) {
    const QString path = Drive("marks.qz0", 4);
    ASSERT_TRUE(Show(path));
    ASSERT_TRUE(viewer->AddMarkerAt(KeyOf(700)));
    ASSERT_TRUE(viewer->AddMarkerAt(KeyOf(200), QStringLiteral("Pull")));
    // The list runs in the log's order; the name is edited in place and the
    // later marker deleted with its button.
    QTreeWidget* list = viewer->side()->markers();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(1).toStdString(), "Pull");
    list->topLevelItem(0)->setText(1, QStringLiteral("Second gear pull"));
    QCoreApplication::processEvents();
    viewer->side()->SelectMarker(1);
    viewer->side()->deleteButton()->click();
    EXPECT_TRUE(messages.empty());

    LogTable fresh;
    ASSERT_TRUE(fresh.Load(path, VehicleData(), 250, nullptr, nullptr, nullptr));
    ASSERT_EQ(fresh.Markers().size(), 1u);
    EXPECT_EQ(fresh.Markers()[0].record, 200);
    EXPECT_EQ(fresh.Markers()[0].kind.toStdString(), "user");
    EXPECT_EQ(fresh.Markers()[0].name.toStdString(), "Second gear pull");
    EXPECT_EQ(list->topLevelItemCount(), 1);

    // A sidecar timing more records than the log holds is another log's.
    const QString other = Drive("other.qz0", 2);
    QFile::remove(SidecarPath(other));
    ASSERT_TRUE(QFile::copy(SidecarPath(path), SidecarPath(other)));
    const std::vector<std::uint8_t> before = test::ReadBytes(SidecarPath(other).toStdString());
    ASSERT_TRUE(Show(other));
    messages.clear();
    EXPECT_FALSE(viewer->AddMarkerAt(KeyOf(10)));
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(test::ReadBytes(SidecarPath(other).toStdString()), before);
}

TEST_F(ViewerWindowTest, ShiftDragSelectsCtrlDragZoomsDragPansAndTheWheelZooms) {
    ASSERT_TRUE(Show(Drive("mouse.qz0", 4, false)));  // records 1..1000
    ViewerPlots& plots = *viewer->plots();
    plots.replot();
    auto* rect = static_cast<QCPAxisRect*>(plots.plotLayout()->element(0, 0));
    QCPAxis* key = rect->axis(QCPAxis::atBottom);
    const int y = rect->top() + rect->height() / 2;
    const QPoint a(static_cast<int>(key->coordToPixel(200)), y);
    const QPoint b(static_cast<int>(key->coordToPixel(400)), y + 10);
    const double perPixel = (plots.KeyHi() - plots.KeyLo()) / rect->width();
    auto drag = [&](Qt::KeyboardModifiers modifiers, QPoint from, QPoint to) {
        QTest::mousePress(&plots, Qt::LeftButton, modifiers, from);
        QTest::mouseMove(&plots, to);
        QTest::mouseRelease(&plots, Qt::LeftButton, modifiers, to);
    };

    drag(Qt::ShiftModifier, a, b);
    ASSERT_TRUE(plots.HasSelection());
    EXPECT_NEAR(plots.SelectionLo(), 200, 2 * perPixel);
    EXPECT_NEAR(plots.SelectionHi(), 400, 2 * perPixel);
    EXPECT_TRUE(viewer->playRangeButton()->isEnabled());

    drag(Qt::ControlModifier, a, b);
    EXPECT_NEAR(plots.KeyLo(), 200, 2 * perPixel);
    EXPECT_NEAR(plots.KeyHi(), 400, 2 * perPixel);

    // Dragging to the right brings earlier records into view.
    const QPoint mid(static_cast<int>(key->coordToPixel(300)), y);
    const double span = plots.KeyHi() - plots.KeyLo();
    drag(Qt::NoModifier, mid, mid + QPoint(100, 0));
    EXPECT_LT(plots.KeyLo(), 190);
    EXPECT_NEAR(plots.KeyHi() - plots.KeyLo(), span, 1e-6);

    // One notch in keeps the record under the pointer where it is.
    const double under = key->pixelToCoord(mid.x());
    QWheelEvent wheel(mid, plots.mapToGlobal(QPointF(mid)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&plots, &wheel);
    EXPECT_LT(plots.KeyHi() - plots.KeyLo(), span);
    EXPECT_NEAR(key->pixelToCoord(mid.x()), under, 1e-6);
}

TEST_F(ViewerWindowTest, FollowReadsTheGrowingLogAndKeepsItsEndInView) {
    const QString path = Drive("growing.qz0", 4, false);  // 1000 records
    ASSERT_TRUE(Show(path));
    ViewerPlots& plots = *viewer->plots();
    plots.SetKeyRange(900, 1000);
    viewer->follow()->setChecked(true);
    const FrameBytes f = EncodeFrame(RawFrame{});
    for (int n = 1001; n <= 1200; ++n)
        ASSERT_TRUE(WriteRecordAt(path.toStdString(), n, ByteBuffer(f.begin(), f.end())));
    viewer->FollowTick();
    EXPECT_EQ(viewer->table()->Rows(), 1200u);
    EXPECT_GE(plots.KeyHi(), 1200);
    EXPECT_NEAR(plots.KeyHi() - plots.KeyLo(), 100, 1e-6);
    EXPECT_TRUE(messages.empty());
}

// The key of the last point the first plot's trace holds.
double LastTraceKey(ViewerPlots& plots) {
    const auto data = plots.graph(0)->data();
    return data->isEmpty() ? 0 : (data->constEnd() - 1)->key;
}

void AppendRecords(const QString& path, int first, int last) {
    const FrameBytes f = EncodeFrame(RawFrame{});
    for (int n = first; n <= last; ++n)
        ASSERT_TRUE(WriteRecordAt(path.toStdString(), n, ByteBuffer(f.begin(), f.end())));
}

TEST_F(ViewerWindowTest, FollowingBehindAnotherTabDrawsThePlotsOnlyOnceShown) {
    const QString path = Drive("hidden.qz0", 4, false);  // 1000 records
    ASSERT_TRUE(Show(path));
    ViewerPlots& plots = *viewer->plots();
    plots.SetKeyRange(900, 1000);
    viewer->tabs()->setCurrentWidget(viewer->heatMap());
    viewer->follow()->setChecked(true);
    QSignalSpy replots(&plots, &QCustomPlot::afterReplot);
    AppendRecords(path, 1001, 1200);
    viewer->FollowTick();
    QTest::qWait(400);  // past the follow pace
    EXPECT_EQ(replots.count(), 0);
    EXPECT_TRUE(plots.ReplotPending());
    EXPECT_LT(LastTraceKey(plots), 1100);

    viewer->tabs()->setCurrentIndex(0);
    EXPECT_EQ(replots.count(), 1);
    EXPECT_FALSE(plots.ReplotPending());
    EXPECT_NEAR(plots.KeyHi() - plots.KeyLo(), 100, 1e-6);
    EXPECT_GE(LastTraceKey(plots), 1200);
    auto* rect = static_cast<QCPAxisRect*>(plots.plotLayout()->element(0, 0));
    EXPECT_NEAR(rect->axis(QCPAxis::atBottom)->range().upper, plots.KeyHi(), 1e-9);
}

TEST_F(ViewerWindowTest, FollowingLeavesAViewScrolledBackFromTheEndAsItIs) {
    const QString path = Drive("back.qz0", 4, false);  // 1000 records
    ASSERT_TRUE(Show(path));
    ViewerPlots& plots = *viewer->plots();
    plots.SetKeyRange(100, 200);
    viewer->follow()->setChecked(true);
    QSignalSpy replots(&plots, &QCustomPlot::afterReplot);
    AppendRecords(path, 1001, 1200);
    viewer->FollowTick();
    EXPECT_EQ(viewer->table()->Rows(), 1200u);
    EXPECT_FALSE(plots.ReplotPending());
    QTest::qWait(400);
    EXPECT_EQ(replots.count(), 0);
    EXPECT_NEAR(plots.KeyLo(), 100, 1e-6);
    EXPECT_NEAR(plots.KeyHi(), 200, 1e-6);
}

TEST_F(ViewerWindowTest, TheDynoTabFindsThePullOfTheOpenLogOnceShown) {
    ASSERT_TRUE(Show(Drive("pull.qz0", 40)));
    DynoView& dyno = *viewer->dyno()->view();
    EXPECT_TRUE(dyno.Scan().pulls.empty());  // nothing is computed while hidden
    viewer->tabs()->setCurrentWidget(viewer->dyno());
    ASSERT_GE(dyno.Scan().UsableCount(), 1u) << dyno.Scan().problem;
    ASSERT_FALSE(dyno.PickedPulls().empty());
    const DynoCurve* curve = dyno.CurveOf(dyno.PickedPulls().front());
    ASSERT_NE(curve, nullptr);
}

TEST_F(ViewerWindowTest, CopyHoldsTheMeanOfTheFilteredRowsOfEachCell) {
    const QString path = Drive("map.qz0", 60);
    ASSERT_TRUE(Show(path));
    const int rpm = ViewerChannelId(QStringLiteral("RPM"));
    const int maf = ViewerChannelId(QStringLiteral("MAF"));
    const int afr = ViewerChannelId(QStringLiteral("WideO2"));
    const int tps = ViewerChannelId(QStringLiteral("TPS"));
    HeatMapTab& heat = *viewer->heatMap();
    heat.SetChannels(rpm, maf, afr);
    heat.SetWhere(QStringLiteral("TPS > 2"));
    heat.Copy();
    const std::vector<std::string> lines =
        Lines(QApplication::clipboard()->text().toStdString());
    ASSERT_GT(lines.size(), 2u);

    // The busiest cell, worked out from the columns directly.
    const LogTable& t = *viewer->table();
    const HeatMapResult& r = heat.Result();
    const auto busiest = static_cast<std::size_t>(
        std::max_element(r.count.begin(), r.count.end()) - r.count.begin());
    const std::size_t cx = busiest % r.Cols(), cy = busiest / r.Cols();
    double sum = 0;
    std::int64_t n = 0;
    for (std::size_t i = 0; i < t.Rows(); ++i) {
        const double x = t.Column(rpm)[i], y = t.Column(maf)[i];
        if (t.Column(tps)[i] > 2.0 && x >= r.xEdges[cx] && x < r.xEdges[cx + 1] &&
            y >= r.yEdges[cy] && y < r.yEdges[cy + 1]) {
            sum += t.Column(afr)[i];
            ++n;
        }
    }
    ASSERT_GT(n, 0);
    EXPECT_EQ(r.count[busiest], n);
    // Its place in the copied text: below the X edges, one line per Y cell.
    std::vector<std::string> cells;
    std::istringstream row(lines[1 + cy]);
    for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
    ASSERT_GT(cells.size(), cx + 1);
    EXPECT_NEAR(std::stod(cells[cx + 1]), sum / static_cast<double>(n), 1e-3);
}

}  // namespace
}  // namespace quarn

namespace quarn {
namespace {

// The keys step the cursor by records, Shift by ten, the view following it
// past its edge; hovering a plot gives that plot's values at the pointer.
TEST_F(ViewerWindowTest, ArrowKeysStepTheCursorByRecordsAndHoverGivesThatPlotsValues) {
    ASSERT_TRUE(Show(Drive("keys.qz0", 4, false)));  // records 1..1000, keyed by number
    ViewerPlots& plots = *viewer->plots();
    plots.SetKeyRange(100, 200);
    plots.SetCursorKey(150);
    QTest::keyClick(&plots, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(plots.CursorKey(), 151);
    QTest::keyClick(&plots, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(plots.CursorKey(), 141);
    EXPECT_DOUBLE_EQ(plots.KeyLo(), 100) << "the view stays while the cursor is in it";
    plots.SetCursorKey(199.6);
    QTest::keyClick(&plots, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(plots.CursorKey(), 210);
    EXPECT_DOUBLE_EQ(plots.KeyHi(), 210);
    EXPECT_DOUBLE_EQ(plots.KeyLo(), 110);
    for (int i = 0; i < 120; ++i) QTest::keyClick(&plots, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(plots.CursorKey(), 1000) << "stops at the last record";
    QTest::keyClick(&plots, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(plots.CursorKey(), 1000) << "Ctrl pans, the cursor stays";
    EXPECT_LT(plots.KeyHi(), 1000);

    // Each plot's own channel, at the record under the pointer.
    const LogTable& t = *viewer->table();
    ASSERT_GE(plots.Plots().size(), 2u);
    for (int plot : {0, 1}) {
        const int id = plots.Plots()[static_cast<std::size_t>(plot)].first;
        const QString text = plots.PlotValuesAt(plot, 500.2);
        const QString expected = ViewerChannels()[static_cast<std::size_t>(id)].name +
                                 QStringLiteral(": ") +
                                 QString::number(t.Column(id)[t.RowOfRecord(500)], 'g', 5);
        EXPECT_TRUE(text.startsWith(expected)) << text.toStdString();
    }
    EXPECT_TRUE(plots.PlotValuesAt(-1, 500).isEmpty());
}

// A log without times: the selection is counted in records, its seconds
// estimated and labelled so; damaged frames are counted as gaps.
TEST_F(ViewerWindowTest, TheStatusBarCountsRecordsEstimatesSecondsAndNamesTheGaps) {
    const QString path = Drive("untimed.qz0", 20, false);  // 5000 records
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const qint64 at = 2999 * kRecordBytes + 10 + 37;  // record 3000's checksum
        ASSERT_TRUE(f.seek(at));
        char c = 0;
        ASSERT_TRUE(f.getChar(&c));
        ASSERT_TRUE(f.seek(at));
        ASSERT_TRUE(f.putChar(static_cast<char>(c ^ 0x55)));
    }
    ASSERT_TRUE(Show(path));
    viewer->plots()->SetSelection(1, 4000);
    const QString text = viewer->statusBar()->findChild<QLabel*>()->text();
    EXPECT_TRUE(text.contains(QStringLiteral("1 damaged records shown as gaps"))) << text.toStdString();
    // 4000 records at the host's 250 a second.
    EXPECT_TRUE(text.contains(QStringLiteral("(4000 records, 16.00 s estimated)")))
        << text.toStdString();
}

// A step typed is the step used, fractions included; one making more cells
// than fit is refused, with the reason, and the box shows the step in use.
TEST_F(ViewerWindowTest, HeatMapStepsAreUsedAsTypedOrRefusedWithTheReason) {
    ASSERT_TRUE(Show(Drive("steps.qz0", 60)));
    HeatMapTab& heat = *viewer->heatMap();
    heat.SetChannels(ViewerChannelId(QStringLiteral("MPH")), ViewerChannelId(QStringLiteral("RPM")),
                     ViewerChannelId(QStringLiteral("WideO2")));
    heat.xStep()->setValue(7.5);
    EXPECT_DOUBLE_EQ(heat.xStep()->value(), 7.5);
    EXPECT_EQ(heat.xStep()->text(), QStringLiteral("step 7.5"));
    heat.Recompute();
    EXPECT_DOUBLE_EQ(heat.Result().xEdges[1] - heat.Result().xEdges[0], 7.5);

    const double before = heat.yStep()->value();
    heat.yStep()->setValue(1);  // RPM in cells of 1 rpm
    EXPECT_DOUBLE_EQ(heat.yStep()->value(), before);
    heat.Recompute();
    EXPECT_DOUBLE_EQ(heat.Result().yEdges[1] - heat.Result().yEdges[0], before);
    const QString caption = heat.findChild<QLabel*>(QStringLiteral("HeatCaption"))->text();
    EXPECT_TRUE(caption.contains(QStringLiteral("A step of 1 for RPM would make"))) << caption.toStdString();
    EXPECT_TRUE(caption.contains(QStringLiteral("at most 64 fit"))) << caption.toStdString();
}

}  // namespace
}  // namespace quarn
