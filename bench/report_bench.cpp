// The drive report of a one-hour log (900,000 records at 250 a second, the
// simulator's drive with its pulls): reading the log, the figures, and the
// PDF with its charts, each timed once after a warm-up. Target: the whole
// report in at most 2 s.

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

#include "report/DriveReport.h"
#include "report/ReportRender.h"
#include "viewer/SimLog.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("hour.qz0"));
    quarn::test::SimLogOptions o;
    o.frameRate = 250;
    o.seconds = 3600;
    const std::int64_t records = quarn::test::WriteSimLog(log, o);

    double best[3] = {1e9, 1e9, 1e9};
    for (int pass = 0; pass < 3; ++pass) {
        QElapsedTimer clock;
        clock.start();
        quarn::DriveInput in;
        QString error;
        if (!quarn::LoadDriveInput(log, quarn::VehicleData(), 250, in, &error)) {
            std::fprintf(stderr, "report_bench: %s\n", qPrintable(error));
            return 1;
        }
        const double read = clock.nsecsElapsed() / 1e9;
        clock.restart();
        const quarn::DriveReport report = quarn::BuildDriveReport(in);
        const double figures = clock.nsecsElapsed() / 1e9;
        clock.restart();
        if (pass == 0) {
            quarn::DrawReportCharts(report);
            std::printf("  charts alone %.3f s\n", clock.nsecsElapsed() / 1e9);
            clock.restart();
        }
        if (!quarn::WriteDriveReport(report, dir.filePath(QStringLiteral("hour.pdf")), &error)) {
            std::fprintf(stderr, "report_bench: %s\n", qPrintable(error));
            return 1;
        }
        const double pdf = clock.nsecsElapsed() / 1e9;
        best[0] = std::min(best[0], read);
        best[1] = std::min(best[1], figures);
        best[2] = std::min(best[2], pdf);
        if (pass == 0)
            std::printf("%lld records: %zu standing starts, %zu gears, %zu pulls, %.1f miles\n",
                        static_cast<long long>(records), report.acceleration.runs.size(),
                        report.gears.gears.size(), report.pulls.size(), report.miles);
        if (pass == 0)
            for (const quarn::Gear& g : report.gears.gears)
                std::printf("  gear %d: %.2f mph per 1000 rpm, %.0f s\n", g.number, g.mphPer1000,
                            g.seconds);
    }
    std::printf("drive report of a one-hour log (best of 3):\n"
                "  read the log %.3f s, figures %.3f s, PDF with charts %.3f s\n"
                "  report from the viewer's table (figures + PDF) %.3f s; from the file %.3f s "
                "(target 2 s)\n",
                best[0], best[1], best[2], best[1] + best[2], best[0] + best[1] + best[2]);
    return 0;
}
