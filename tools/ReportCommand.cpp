#include "tools/ReportCommand.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "report/DriveReport.h"
#include "report/ReportRender.h"
#include "tools/QuarnLog.h"

namespace quarn {

int RunReportCommand(const cli::Args& args, const VehicleData& vehicle) {
    if (args.positional.size() != 1 || !args.Has("o"))
        return cli::Usage("report takes one LOG and -o FILE.pdf|FILE.html");
    const std::string logName = args.positional.front();
    const std::string outName = args.Value("o");
    const char* log = logName.c_str();
    const char* out = outName.c_str();
    int gears = 0;
    if (args.Has("gears")) {
        double value = 0;
        if (!cli::ParseNumber(args.Value("gears"), value) || value < 1 || value > 8 ||
            value != static_cast<int>(value))
            return cli::Usage("--gears takes 1 to 8");
        gears = static_cast<int>(value);
    }
    // The charts are widgets drawn off screen: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char name[] = "quarn-log";
    char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);

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
