// The drive report as files: the PDF holds the text of every section (read
// back with pdftotext), the HTML carries its charts inside it, and
// quarn-log writes a report from a log with or without its sidecar, or of
// only a few records.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "LaunchInput.h"
#include "logging/LogFormat.h"
#include "logging/LogSidecar.h"
#include "report/ReportRender.h"

namespace quarn {
namespace {

const QStringList kSections{
    QStringLiteral("The car and the drive"), QStringLiteral("Fuel"),
    QStringLiteral("Acceleration from a standing start"), QStringLiteral("Gears"),
    QStringLiteral("Overview"), QStringLiteral("Pulls"), QStringLiteral("Channels"),
    QStringLiteral("Events")};

QString PdfText(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(30000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Writes the launch run as a recording writes it; records = 0 for all.
void WriteLaunchLog(const QString& path, bool sidecar, std::size_t records = 0) {
    const LaunchRun run;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    LogSidecarWriter meta;
    if (sidecar) meta.Create(path, QDateTime(QDate(2026, 11, 28), QTime(14, 5, 0), Qt::UTC));
    const std::size_t n = records ? records : run.Frames().size();
    for (std::size_t i = 0; i < n; ++i) {
        const RecordBytes record = EncodeRecord(EncodeFrame(run.Frames()[i]));
        file.write(reinterpret_cast<const char*>(record.data()), kRecordBytes);
        if (!sidecar) continue;
        meta.AppendTime(run.FrameSeconds()[i]);
        if (i == 800) meta.AppendMarker(static_cast<std::int64_t>(i + 1), QStringLiteral("alarm"),
                                        QStringLiteral("RPM 6100 rpm HIGH"));
        if (i == 900) meta.AppendMarker(static_cast<std::int64_t>(i + 1), QStringLiteral("user"),
                                        QStringLiteral("Marker 1"));
    }
}

int QuarnLog(const QStringList& args, QString* err = nullptr) {
    QProcess p;
    p.start(QStringLiteral(QUARN_BIN_DIR "/quarn-log"), args);
    p.waitForFinished(60000);
    if (err) *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

TEST(ReportFiles, PdfHoldsEverySection) {
    QTemporaryDir dir;
    DriveInput in = test::LaunchInput(LaunchRun());
    in.events.push_back({7.5, 750, QStringLiteral("alarm"), QStringLiteral("ECT 236 \u00b0F HIGH")});
    const DriveReport report = BuildDriveReport(in);
    const QString pdf = dir.filePath(QStringLiteral("drive.pdf"));
    QString error;
    ASSERT_TRUE(WriteDriveReport(report, pdf, &error)) << error.toStdString();
    const QString text = PdfText(pdf);
    ASSERT_FALSE(text.isEmpty()) << "pdftotext (poppler-utils) read nothing";
    for (const QString& s : kSections) EXPECT_TRUE(text.contains(s)) << s.toStdString();
    for (const char* s : {"0\u201360 mph", "1/4 mile", "estimated", "ECT 236", "mpg", "L/100 km",
                          "mph per 1000 rpm", "Peak power"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(s))) << s;
}

TEST(ReportFiles, HtmlCarriesItsCharts) {
    QTemporaryDir dir;
    const DriveReport report = BuildDriveReport(test::LaunchInput(LaunchRun()));
    const QString html = dir.filePath(QStringLiteral("drive.html"));
    QString error;
    ASSERT_TRUE(WriteDriveReport(report, html, &error)) << error.toStdString();
    QFile f(html);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    for (const QString& s : kSections) EXPECT_TRUE(text.contains(s)) << s.toStdString();
    // Four overview charts and one dyno chart per pull, all inside the file.
    EXPECT_EQ(text.count(QStringLiteral("data:image/png;base64,")),
              4 + static_cast<int>(report.pulls.size()));
}

TEST(ReportFiles, QuarnLogReportsWithAndWithoutSidecar) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("run.qz0"));
    const QString pdf = dir.filePath(QStringLiteral("run.pdf"));
    QString err;

    WriteLaunchLog(log, true);
    ASSERT_EQ(QuarnLog({QStringLiteral("report"), log, QStringLiteral("-o"), pdf}, &err), 0)
        << err.toStdString();
    QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("record times from the sidecar")));
    EXPECT_TRUE(text.contains(QStringLiteral("2026-11-28")));
    EXPECT_TRUE(text.contains(QStringLiteral("RPM 6100 rpm HIGH")));
    EXPECT_TRUE(text.contains(QStringLiteral("Marker 1")));

    WriteLaunchLog(log, false);
    QFile::remove(SidecarPath(log));
    ASSERT_EQ(QuarnLog({QStringLiteral("report"), log, QStringLiteral("-o"), pdf,
                        QStringLiteral("--gears"), QStringLiteral("4")}, &err), 0)
        << err.toStdString();
    text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("times estimated")));
    EXPECT_TRUE(text.contains(QStringLiteral("4 gears as given")));
}

TEST(ReportFiles, AFewRecordsStillGiveAReport) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("short.qz0"));
    const QString html = dir.filePath(QStringLiteral("short.html"));
    WriteLaunchLog(log, true, 4);
    QString err;
    ASSERT_EQ(QuarnLog({QStringLiteral("report"), log, QStringLiteral("-o"), html}, &err), 0)
        << err.toStdString();
    QFile f(html);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("No acceleration times")));
    EXPECT_TRUE(text.contains(QStringLiteral("The car and the drive")));
}

TEST(ReportFiles, UsageErrorsExitTwo) {
    EXPECT_EQ(QuarnLog({QStringLiteral("report"), QStringLiteral("x.qz0")}), 2);
    EXPECT_EQ(QuarnLog({QStringLiteral("report"), QStringLiteral("x.qz0"), QStringLiteral("-o"),
                        QStringLiteral("y.pdf"), QStringLiteral("--gears"), QStringLiteral("0")}),
              2);
}

}  // namespace
}  // namespace quarn
