#include "tools/ReportCommand.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "report/DriveReport.h"
#include "report/ReportRender.h"

namespace quarn {

int RunReportCommand(int argc, char** argv, const VehicleData& vehicle) {
    const char* log = nullptr;
    const char* out = nullptr;
    int gears = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-o") && i + 1 < argc) {
            out = argv[++i];
        } else if (!std::strcmp(argv[i], "--gears") && i + 1 < argc) {
            gears = std::atoi(argv[++i]);
            if (gears < 1 || gears > 8) {
                std::fprintf(stderr, "quarn-log: --gears takes 1 to 8\n");
                return 2;
            }
        } else if (!log) {
            log = argv[i];
        } else {
            log = nullptr;
            break;
        }
    }
    if (!log || !out) {
        std::fprintf(stderr, "Usage: quarn-log report [--vehicle FILE.vf] LOG -o FILE.pdf|FILE.html "
                             "[--gears N]\n");
        return 2;
    }
    // The charts are widgets drawn off screen: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    DriveInput in;
    QString error;
    if (!LoadDriveInput(QString::fromLocal8Bit(log), vehicle, 1 / kDefaultSecondsPerRecord, in,
                        &error)) {
        std::fprintf(stderr, "quarn-log: cannot open %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    ReportOptions options;
    options.gears = gears;
    const DriveReport report = BuildDriveReport(in, options);
    if (!WriteDriveReport(report, QString::fromLocal8Bit(out), &error)) {
        std::fprintf(stderr, "quarn-log: %s: %s\n", out, error.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

}  // namespace quarn
