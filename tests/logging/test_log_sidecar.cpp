// The sidecar beside a log: what is written reads back, and a sidecar cut by
// a crash, followed by garbage or longer than its log reads as a true prefix.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "logging/LogSidecar.h"

namespace quarn {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class LogSidecarTest : public ::testing::Test {
protected:
    void SetUp() override {
        log = dir.filePath(QStringLiteral("drive.qz0"));
        start = QDateTime(QDate(2026, 12, 7), QTime(17, 23, 5, 123), Qt::UTC);
        ASSERT_TRUE(writer.Create(log, start));
        writer.AppendTime(0.004);
        writer.AppendMarker(1, QStringLiteral("user"), QStringLiteral("lean at 100% load\nhere"));
        writer.AppendTime(0.0081234);
        writer.AppendTime(1.5);
        writer.AppendMarker(3, QStringLiteral("alarm"), QStringLiteral("Über temp"));
        writer.AppendMarker(3, QStringLiteral("user"), QString());
        writer.AppendTime(2.25);
        writer.Close();
        bytes = ReadAll(SidecarPath(log));
    }

    QTemporaryDir dir;
    QString log;
    QDateTime start;
    LogSidecarWriter writer;
    QByteArray bytes;
};

TEST_F(LogSidecarTest, WhatIsWrittenReadsBackWithMarkersOfAnyKindAndName) {
    EXPECT_TRUE(bytes.startsWith("quarn-meta 1\nstart 2026-12-07T17:23:05.123Z\nt 0.004000\n"))
        << bytes.toStdString();
    const SidecarContents c = ReadSidecar(log, 100);
    ASSERT_TRUE(c.found);
    EXPECT_FALSE(c.cut);
    EXPECT_EQ(c.start, start);
    ASSERT_EQ(c.times.size(), 4u);
    EXPECT_NEAR(c.times[1], 0.0081234, 1e-6);
    EXPECT_DOUBLE_EQ(c.times[3], 2.25);
    ASSERT_EQ(c.markers.size(), 3u);
    EXPECT_EQ(c.markers[0].record, 1);
    EXPECT_EQ(c.markers[0].name, QStringLiteral("lean at 100% load\nhere"));
    EXPECT_EQ(c.markers[1].kind, QStringLiteral("alarm"));
    EXPECT_EQ(c.markers[1].name, QStringLiteral("Über temp"));
    EXPECT_TRUE(c.markers[2].name.isEmpty());

    // Lines of words this version does not know are passed over.
    QByteArray future = bytes;
    future.insert(future.indexOf("t 1.5"), "gps 51.5 -0.12\n");
    EXPECT_EQ(ParseSidecar(future, 100).times, c.times);
    // Not a sidecar at all.
    EXPECT_FALSE(ParseSidecar("quarn-meta 2\n" + bytes.mid(13), 100).found);
    EXPECT_FALSE(ReadSidecar(dir.filePath(QStringLiteral("none.qz0")), 100).found);
}

TEST_F(LogSidecarTest, ACutGarbageOrOverlongSidecarReadsAsATruePrefix) {
    const SidecarContents whole = ParseSidecar(bytes, 100);
    auto isPrefix = [&](const SidecarContents& c, const std::string& what) {
        ASSERT_LE(c.times.size(), whole.times.size()) << what;
        for (std::size_t i = 0; i < c.times.size(); ++i)
            EXPECT_EQ(c.times[i], whole.times[i]) << what;
        ASSERT_LE(c.markers.size(), whole.markers.size()) << what;
        for (std::size_t i = 0; i < c.markers.size(); ++i)
            EXPECT_EQ(c.markers[i].name, whole.markers[i].name) << what;
    };
    // Cut anywhere, as a kill -9 leaves it: a part line never counts.
    for (qsizetype n = 0; n <= bytes.size(); ++n) {
        const SidecarContents c = ParseSidecar(bytes.left(n), 100);
        isPrefix(c, "cut at " + std::to_string(n));
    }
    EXPECT_EQ(ParseSidecar(bytes.left(bytes.size() - 2), 100).times.size(), 3u);  // "t 2.2"

    // Garbage after good lines: nothing from the garbage on is believed.
    for (const QByteArray& tail :
         {QByteArray("t 1.0\nt 9.0\n"), QByteArray("t 3.x\nt 9.0\n"), QByteArray("t -1\n"),
          QByteArray("m 9 user late\nt 9.0\n"), QByteArray(16, '\0') + "\nt 9.0\n",
          QByteArray("\xff\xfe t 9\nt 9.0\n"), QByteArray("t nan\nt 9.0\n")}) {
        const SidecarContents c = ParseSidecar(bytes + tail, 100);
        EXPECT_TRUE(c.cut) << tail.toStdString();
        EXPECT_EQ(c.times, whole.times) << tail.toStdString();
        EXPECT_EQ(c.markers.size(), 3u);
    }

    // Never more times than the log has records, nor markers beyond them.
    const SidecarContents two = ParseSidecar(bytes, 2);
    EXPECT_EQ(two.times.size(), 2u);
    EXPECT_EQ(two.markers.size(), 1u);
    EXPECT_TRUE(two.cut);
    EXPECT_TRUE(ParseSidecar(bytes, 0).times.empty());
}

// A new recording whose sidecar name is taken by a named pipe goes on
// without times at once, and leaves the pipe alone.
TEST_F(LogSidecarTest, ANewRecordingBesideANamedPipeNeitherWaitsNorRemovesIt) {
    const QString other = dir.filePath(QStringLiteral("piped.qz0"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(SidecarPath(other)).constData(), 0600), 0);
    LogSidecarWriter piped;
    EXPECT_FALSE(piped.Create(other, start));
    EXPECT_TRUE(piped.Failed());
    piped.AppendTime(0.004);
    EXPECT_FALSE(QFileInfo(SidecarPath(other)).isFile());
    EXPECT_TRUE(QFileInfo::exists(SidecarPath(other)));
}

}  // namespace
}  // namespace quarn
