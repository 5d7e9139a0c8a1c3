// A log opened as columns: converted as the export converts it, damaged
// records skipped and counted, a sidecar used only when it fits its log,
// a recording's tail read on, and marker edits that survive alongside it.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "SimLog.h"
#include "logging/LogExport.h"
#include "viewer/LogTable.h"

namespace quarn {
namespace {

constexpr double kRate = 250;

// records of the simulated drive after the first `after` (appended to the
// log), timed by a sidecar when asked; without one, any old sidecar goes.
bool WriteDrive(const QString& path, long records, bool sidecar, long after = 0) {
    test::SimLogOptions o;
    o.seconds = static_cast<double>(records + after) / kRate;
    o.frameRate = kRate;
    o.sidecar = sidecar;
    o.after = after;
    return test::WriteSimLog(path, o) == records + after;
}

bool Append(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::Append) && f.write(bytes) == bytes.size();
}

bool Patch(const QString& path, qint64 offset, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.seek(offset) && f.write(bytes) == bytes.size();
}

class LogTableTest : public ::testing::Test {
protected:
    QString Log(const char* name) { return dir.filePath(QString::fromLatin1(name)); }
    LogTable Open(const QString& path) {
        LogTable table;
        QString error;
        EXPECT_TRUE(table.Load(path, VehicleData(), kRate, nullptr, &report, &error))
            << error.toStdString();
        return table;
    }

    QTemporaryDir dir;
    LogLoadReport report;
};

TEST_F(LogTableTest, ConvertsAsTheExportDoesAndSkipsDamagedRecords) {
    const QString log = Log("drive.qz0");
    ASSERT_TRUE(WriteDrive(log, 3000, true));
    ASSERT_TRUE(Patch(log, 9 * kRecordBytes, QByteArray("\x07\x00", 2)));      // record 10 malformed
    ASSERT_TRUE(Patch(log, 19 * kRecordBytes + 2, QByteArray("\x1e\0\0\0", 4)));  // 20 short
    ASSERT_TRUE(Append(log, QByteArray(20, '\0')));

    const LogTable table = Open(log);
    EXPECT_EQ(table.Rows(), 2998u);
    EXPECT_EQ(report.scan.malformed, 1);
    EXPECT_EQ(report.scan.shortRecords, 1);
    const QString summary = report.Summary();
    EXPECT_TRUE(summary.contains(QStringLiteral("1 damaged"))) << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("1 short")));
    EXPECT_TRUE(summary.contains(QStringLiteral("20 byte")));

    // Row for row the values the CSV export writes, raw words included.
    LogReader reader;
    ASSERT_TRUE(reader.Open(log.toStdString()));
    std::size_t row = 0;
    const int rpm = ViewerChannelId(QStringLiteral("rpm")), duty = ViewerChannelId(QStringLiteral("InjDuty"));
    const int vss = ViewerChannelId(QStringLiteral("VssPeriod"));
    ASSERT_GE(rpm, 0);
    ScanLog(reader, [&](std::int64_t n, bool, const ChannelRecord& raw, const ChannelRecord& rec) {
        ASSERT_LT(row, table.Rows());
        EXPECT_EQ(table.Records()[row], n);
        EXPECT_EQ(table.Column(rpm)[row], rec.Rpm) << n;
        EXPECT_EQ(table.Column(duty)[row], rec.InjDuty) << n;
        EXPECT_EQ(table.Column(vss)[row], static_cast<float>(raw.VssPeriod)) << n;
        ++row;
    }, nullptr);
    EXPECT_EQ(row, table.Rows());

    // The sidecar fits: the axis is its seconds, from the first record.
    EXPECT_TRUE(report.sidecarUsed);
    EXPECT_EQ(table.Base(), TimeBase::Recorded);
    const std::size_t r21 = table.RowOfRecord(21);
    EXPECT_EQ(table.Records()[r21], 21);
    EXPECT_NEAR(table.Axis()[r21], 20 / kRate, 1e-6);
    EXPECT_EQ(table.RowAtAxis(20.2 / kRate), r21);
}

TEST_F(LogTableTest, ASidecarThatDoesNotFitIsReportedAndIgnored) {
    const QString log = Log("drive.qz0");
    ASSERT_TRUE(WriteDrive(log, 400, true));
    ASSERT_TRUE(SidecarAddMarker(log, 5, QStringLiteral("user"), QStringLiteral("x")));
    const QString sidecar = SidecarPath(log);
    QFile f(sidecar);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray whole = f.readAll();
    f.close();

    // The log written again with another length, the sidecar put back.
    auto relog = [&](long records, const QByteArray& sidecarBytes) {
        ASSERT_TRUE(WriteDrive(log, records, false));
        QFile g(sidecar);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write(sidecarBytes);
    };
    auto expectIgnored = [&](const char* why, const char* text, std::size_t records) {
        SCOPED_TRACE(why);
        const LogTable table = Open(log);
        EXPECT_EQ(table.Rows(), records);
        EXPECT_FALSE(report.sidecarUsed);
        EXPECT_TRUE(report.sidecarProblem.contains(QString::fromUtf8(text)))
            << report.sidecarProblem.toStdString();
        EXPECT_EQ(table.Base(), TimeBase::Records);
        EXPECT_DOUBLE_EQ(table.Axis().back(), static_cast<double>(records));
        EXPECT_TRUE(table.Markers().empty());
        EXPECT_FALSE(table.MarkersEditable());
    };
    // From a longer log.
    relog(300, whole);
    expectIgnored("more times than records", "another log", 300);
    // Far fewer times than records, as from a shorter log.
    relog(900, whole);
    expectIgnored("fewer times", "only 400", 900);
    // Garbage.
    relog(900, "PK\x03\x04" + whole.mid(4));
    expectIgnored("not a sidecar", "not a time file", 900);
    // A named pipe: read, it would hold the viewer until a writer came.
    ASSERT_TRUE(QFile::remove(sidecar));
    ASSERT_EQ(::mkfifo(QFile::encodeName(sidecar).constData(), 0600), 0);
    expectIgnored("a named pipe", "not a regular file", 900);
    EXPECT_FALSE(ReadSidecar(log, 900).found);
    QString error;
    EXPECT_FALSE(SidecarAddMarker(log, 5, QStringLiteral("user"), QStringLiteral("x"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("not a regular file"))) << error.toStdString();
    ASSERT_TRUE(QFile::remove(sidecar));

    // Cut by a crash after its last record: used, the missing time estimated.
    relog(402, whole + "t 1.");
    const LogTable table = Open(log);
    EXPECT_TRUE(report.sidecarUsed) << report.sidecarProblem.toStdString();
    EXPECT_EQ(table.Markers().size(), 1u);
    bool estimated = false;
    EXPECT_NEAR(table.SecondsAt(table.Rows() - 1, &estimated), 401 / kRate, 1e-6);
    EXPECT_TRUE(estimated);
    table.SecondsAt(0, &estimated);
    EXPECT_FALSE(estimated);
}

TEST_F(LogTableTest, RefreshReadsARecordingsTailAsAFreshOpenWould) {
    const QString log = Log("live.qz0");
    ASSERT_TRUE(WriteDrive(log, 1000, true));
    LogTable live = Open(log);
    ASSERT_EQ(live.Rows(), 1000u);

    // 500 more records; the sidecar line of the last one is not there yet.
    ASSERT_TRUE(WriteDrive(log, 500, false, 1000));
    QByteArray lines;
    for (int n = 1001; n < 1500; ++n) lines += "t " + QByteArray::number((n - 1) / kRate, 'f', 6) + '\n';
    ASSERT_TRUE(Append(SidecarPath(log), lines + "m 1499 user Top"));
    EXPECT_EQ(live.Refresh(), 500);
    EXPECT_TRUE(live.Markers().empty());  // its line is not whole yet

    ASSERT_TRUE(Append(SidecarPath(log), "\nt 5.996000\n"));
    EXPECT_EQ(live.Refresh(), 0);
    ASSERT_EQ(live.Markers().size(), 1u);
    EXPECT_EQ(live.Markers()[0].name, QStringLiteral("Top"));

    const LogTable fresh = Open(log);
    ASSERT_EQ(fresh.Rows(), live.Rows());
    for (std::size_t c = 0; c < ViewerChannels().size(); ++c)
        EXPECT_EQ(live.Column(static_cast<int>(c)), fresh.Column(static_cast<int>(c)))
            << ViewerChannels()[c].name.toStdString();
    EXPECT_EQ(live.Axis(), fresh.Axis());
    EXPECT_DOUBLE_EQ(live.Axis().back(), 5.996);
}

TEST_F(LogTableTest, MarkerEditsRoundTripBesideARunningRecording) {
    // A log recorded without a sidecar gets one holding markers only.
    const QString old = Log("old.qz0");
    ASSERT_TRUE(WriteDrive(old, 50, false));
    ASSERT_TRUE(SidecarAddMarker(old, 7, QStringLiteral("user"), QStringLiteral("Shift")));
    LogTable table = Open(old);
    EXPECT_TRUE(report.sidecarUsed);
    EXPECT_TRUE(report.sidecarProblem.isEmpty());
    EXPECT_EQ(table.Base(), TimeBase::Records);
    ASSERT_EQ(table.Markers().size(), 1u);
    EXPECT_EQ(table.Markers()[0].record, 7);

    // Edits appended while a recording appends its own lines.
    const QString log = Log("rec.qz0");
    LogSidecarWriter writer;
    ASSERT_TRUE(writer.Create(log, QDateTime::currentDateTimeUtc()));
    writer.AppendTime(0);
    writer.AppendMarker(1, QStringLiteral("alarm"), QStringLiteral("ECT HIGH"));
    writer.AppendTime(0.004);
    ASSERT_TRUE(SidecarAddMarker(log, 2, QStringLiteral("user"), QStringLiteral("Pull 1")));
    writer.AppendTime(0.008);
    ASSERT_TRUE(SidecarRenameMarker(log, 2, QStringLiteral("Pull 1, 3rd gear\nlean")));
    ASSERT_TRUE(SidecarDeleteMarker(log, 1));
    writer.AppendMarker(3, QStringLiteral("user"), QString());
    writer.Close();
    const SidecarContents c = ReadSidecar(log, 3);
    EXPECT_FALSE(c.cut);
    EXPECT_EQ(c.times.size(), 3u);
    ASSERT_EQ(c.markers.size(), 2u);
    EXPECT_EQ(c.markers[0].id, 2);
    EXPECT_EQ(c.markers[0].name, QStringLiteral("Pull 1, 3rd gear\nlean"));
    EXPECT_EQ(c.markers[1].id, 3);
    // An edit of a sidecar that is not there creates nothing.
    EXPECT_FALSE(SidecarDeleteMarker(Log("none.qz0"), 1));
    EXPECT_FALSE(QFile::exists(SidecarPath(Log("none.qz0"))));
}

}  // namespace
}  // namespace quarn
