// The Log Viewer beside a recording that runs on the window thread: opening
// a log and exporting a range leave the window thread to the recording (the
// work returns at once and is done elsewhere, with no event pump of its
// own), and following a recording updates the markers by what was added.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include "SimLog.h"
#include "viewer/LogViewer.h"
#include "viewer/ViewerPlots.h"
#include "viewer/ViewerSide.h"

namespace quarn {
namespace {

class Host final : public LogViewerHost {
public:
    const VehicleData& Vehicle() const override { return vehicle; }
    double FrameRate() const override { return 250; }
    void PlayRecords(const QString&, std::int64_t, std::int64_t) override {}
    VehicleData vehicle;
};

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
    Host host;
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

}  // namespace
}  // namespace quarn
