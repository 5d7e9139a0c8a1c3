// Writes the drive report of the simulator's launch run, for looking at:
//   report_picture OUT.pdf   (then pdftoppm -png -r 60 -f 1 -l 1 for the README)

#include <QApplication>

#include <cstdio>

#include "LaunchInput.h"
#include "report/ReportRender.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: report_picture OUT.pdf|OUT.html\n");
        return 2;
    }
    quarn::DriveInput in = quarn::test::LaunchInput(quarn::LaunchRun());
    in.logPath = QStringLiteral("launch.qz0");
    in.carDescription = QStringLiteral("3500 lb, four-speed, launch at 3000 rpm");
    in.start = QDateTime(QDate(2026, 11, 28), QTime(14, 5, 0), Qt::UTC);
    in.events.push_back({12.0, 1200, QStringLiteral("user"), QStringLiteral("Finish line")});
    QString error;
    if (!quarn::WriteDriveReport(quarn::BuildDriveReport(in), QString::fromLocal8Bit(argv[1]), &error)) {
        std::fprintf(stderr, "report_picture: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
