// The Log Viewer beside a recording that runs on the window thread: opening
// a log and exporting a range leave the window thread to the recording (the
// work returns at once and is done elsewhere, with no event pump of its
// own), and following a recording updates the markers by what was added.

#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

#include <qcustomplot.h>

#include "MenuTest.h"
#include "PlainViewerHost.h"
#include "SimLog.h"
#include "viewer/LogViewer.h"
#include "viewer/ViewerPlots.h"
#include "viewer/ViewerSide.h"
#include "widgets/OpenContextMenus.h"

namespace quarn {
namespace {

// A recording as the monitoring loop makes one: a record written, with its
// own open, pwrite and close, at every turn of the window's event loop.
class FakeRecording {
public:
    explicit FakeRecording(const QString& path) : m_path(path.toStdString()) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const FrameBytes f = EncodeFrame(RawFrame{});
            if (WriteRecordAt(m_path, m_records + 1, ByteBuffer(f.begin(), f.end()))) ++m_records;
        });
        m_timer.start(0);
    }
    std::int64_t Records() const { return m_records; }

private:
    std::string m_path;
    std::int64_t m_records = 0;
    QTimer m_timer;
};

class ViewerRecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        viewer = std::make_unique<LogViewer>(host);
        viewer->showMessage = [this](const QString& text) { messages.push_back(text.toStdString()); };
        viewer->resize(1000, 700);
        viewer->show();
    }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    test::PlainViewerHost host;
    std::unique_ptr<LogViewer> viewer;
    std::vector<std::string> messages;
};

TEST_F(ViewerRecordingTest, OpeningAndExportingALongLogLeaveTheWindowThreadToTheRecording) {
    test::SimLogOptions o;
    o.seconds = 400;  // 100,000 records
    const QString log = Path("long.qz0");
    ASSERT_EQ(test::WriteSimLog(log, o), 100000);
    FakeRecording recording(Path("recording.qz0"));

    // Open returns before the log is read, having run no event handler of
    // its own: the recording's next record waits for the event loop, not
    // for the reading.
    QSignalSpy shown(viewer.get(), &LogViewer::logShown);
    ASSERT_TRUE(viewer->Open(log));
    EXPECT_EQ(recording.Records(), 0);
    EXPECT_TRUE(viewer->Busy());
    EXPECT_EQ(viewer->table(), nullptr);
    ASSERT_TRUE(shown.wait(30000));
    ASSERT_NE(viewer->table(), nullptr);
    EXPECT_EQ(viewer->table()->Rows(), 100000u);
    EXPECT_GT(recording.Records(), 0);
    EXPECT_TRUE(messages.empty());

    // The same for the export of almost all of it.
    const LogTable& t = *viewer->table();
    viewer->plots()->SetSelection(t.Axis()[10], t.Axis()[95000]);
    const std::int64_t before = recording.Records();
    QSignalSpy ended(viewer.get(), &LogViewer::exportEnded);
    const QString csv = Path("range.csv");
    ASSERT_TRUE(viewer->ExportRangeTo(csv));
    EXPECT_EQ(recording.Records(), before);
    EXPECT_TRUE(viewer->Busy());
    // A second operation waits its turn instead of nesting.
    EXPECT_FALSE(viewer->ExportRangeTo(Path("other.csv")));
    ASSERT_TRUE(ended.wait(30000));
    EXPECT_TRUE(ended.front().front().toBool());
    EXPECT_FALSE(viewer->Busy());
    EXPECT_GT(recording.Records(), before);
    QFile written(csv);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    int lines = 0;
    while (!written.readLine().isEmpty()) ++lines;
    EXPECT_EQ(lines, 1 + 94991);
}

TEST_F(ViewerRecordingTest, ACancelledExportLeavesAnEarlierFileAsItWas) {
    test::SimLogOptions o;
    o.seconds = 400;
    const QString log = Path("long.qz0");
    ASSERT_EQ(test::WriteSimLog(log, o), 100000);
    QSignalSpy shown(viewer.get(), &LogViewer::logShown);
    ASSERT_TRUE(viewer->Open(log));
    ASSERT_TRUE(shown.wait(30000));
    const QString csv = Path("range.csv");
    {
        QFile earlier(csv);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier\n");
    }
    viewer->plots()->SetSelection(0, 1e9);
    QSignalSpy ended(viewer.get(), &LogViewer::exportEnded);
    ASSERT_TRUE(viewer->ExportRangeTo(csv));
    // Closing the window cancels the export; the window waits for it.
    viewer->close();
    ASSERT_TRUE(ended.wait(30000));
    EXPECT_FALSE(ended.front().front().toBool());
    QFile after(csv);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), QByteArray("earlier\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);  // log, sidecar, csv
    viewer.release()->deleteLater();
}

// A recording with its sidecar, written as LogOperations writes them: the
// record, then its time, then a marker of it.
class SidecarRecording {
public:
    explicit SidecarRecording(const QString& path) : m_path(path.toStdString()) {
        m_sidecar.Create(path, QDateTime(QDate(2026, 11, 28), QTime(14, 5, 0), Qt::UTC));
    }
    void Add(int records, const QString& markerKind = QString()) {
        const FrameBytes f = EncodeFrame(RawFrame{});
        for (int i = 0; i < records; ++i) {
            ASSERT_TRUE(WriteRecordAt(m_path, ++m_records, ByteBuffer(f.begin(), f.end())));
            m_sidecar.AppendTime(static_cast<double>(m_records) / 250);
        }
        if (!markerKind.isEmpty())
            m_sidecar.AppendMarker(m_records, markerKind,
                                   QStringLiteral("%1 %2").arg(markerKind).arg(++m_markers));
    }

private:
    std::string m_path;
    LogSidecarWriter m_sidecar;
    std::int64_t m_records = 0;
    int m_markers = 0;
};

// Label boxes are drawn left to right; none may overlap the one before.
bool Overlapping(std::vector<QRect> rects) {
    std::sort(rects.begin(), rects.end(),
              [](const QRect& a, const QRect& b) { return a.left() < b.left(); });
    for (std::size_t i = 1; i < rects.size(); ++i)
        if (rects[i].left() <= rects[i - 1].right()) return true;
    return false;
}

TEST_F(ViewerRecordingTest, FollowingAddsTheNewMarkersAndHundredsStayReadable) {
    const QString log = Path("rec.qz0");
    SidecarRecording recording(log);
    recording.Add(10, QStringLiteral("user"));
    for (int i = 0; i < 300; ++i) recording.Add(5, QStringLiteral("alarm"));
    QSignalSpy shown(viewer.get(), &LogViewer::logShown);
    ASSERT_TRUE(viewer->Open(log));
    ASSERT_TRUE(shown.wait(30000));
    viewer->SetFollow(true);
    ViewerPlots& plots = *viewer->plots();
    QTreeWidget& list = *viewer->side()->markers();
    ASSERT_EQ(plots.Markers().size(), 301u);
    ASSERT_EQ(list.topLevelItemCount(), 301);
    QTreeWidgetItem* first = list.topLevelItem(0);

    // Records without a marker leave the markers as they were.
    const std::uint64_t revision = viewer->table()->MarkerRevision();
    recording.Add(100);
    viewer->FollowTick();
    EXPECT_EQ(viewer->table()->Rows(), 1610u);
    EXPECT_EQ(viewer->table()->MarkerRevision(), revision);

    // A new one is added to the list; the rows there stay.
    recording.Add(50, QStringLiteral("alarm"));
    viewer->FollowTick();
    ASSERT_EQ(list.topLevelItemCount(), 302);
    EXPECT_EQ(list.topLevelItem(0), first);
    EXPECT_EQ(list.topLevelItem(301)->text(1).toStdString(), "alarm 302");
    ASSERT_EQ(plots.Markers().size(), 302u);
    EXPECT_NEAR(plots.Markers().back().key, viewer->table()->Axis().back(), 1e-9);

    // Names are written only where they fit, and hovering tells the rest.
    plots.FitAll();
    plots.replot();
    const std::vector<QRect> labels = plots.MarkerLabelRects();
    EXPECT_GT(labels.size(), 1u);
    EXPECT_LT(labels.size(), 302u);
    EXPECT_FALSE(Overlapping(labels));
    auto* rect = static_cast<QCPAxisRect*>(plots.plotLayout()->element(0, 0));
    const int x = static_cast<int>(rect->axis(QCPAxis::atBottom)->coordToPixel(
        plots.Markers().back().key));
    EXPECT_NE(plots.MarkersNear(x).indexOf(QStringLiteral("alarm 302")), -1);

    // Hiding the alarms leaves the user's marker, on the plots and in the
    // list.
    plots.SetHiddenKinds({QStringLiteral("alarm")});
    viewer->side()->SetHiddenKinds({QStringLiteral("alarm")});
    plots.replot();
    EXPECT_EQ(plots.MarkerLabelRects().size(), 1u);
    EXPECT_FALSE(list.topLevelItem(0)->isHidden());
    EXPECT_TRUE(list.topLevelItem(1)->isHidden());
    EXPECT_TRUE(plots.MarkersNear(x).isEmpty());
}

TEST_F(ViewerRecordingTest, NoBoxOfTheViewerHoldsTheRecordingWithItsMenu) {
    // The heat map's steps and filters, the dyno's thresholds, the shift of
    // a compared log: every one, on whichever tab it sits. The dashboard
    // installs the menus on the application before any window opens.
    InstallOpenContextMenus(QCoreApplication::instance());
    std::vector<QWidget*> boxes;
    for (QAbstractSpinBox* box : viewer->findChildren<QAbstractSpinBox*>()) boxes.push_back(box);
    for (QLineEdit* edit : viewer->findChildren<QLineEdit*>())
        if (!qobject_cast<QAbstractSpinBox*>(edit->parent())) boxes.push_back(edit);
    ASSERT_GE(boxes.size(), 5u);
    for (QWidget* box : boxes) {
        EXPECT_TRUE(test::MenuOpensWithoutALoop(box)) << box->objectName().toStdString() << " of "
                                                      << box->parent()->metaObject()->className();
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        QApplication::processEvents();
    }
}

}  // namespace
}  // namespace quarn
