// Draws the dyno of a simulated drive with pulls: the widget and the dyno
// sheet it saves, for the README.
//
//     dyno_picture OUTPUT_FOLDER

#include <QApplication>
#include <QDir>
#include <QTimeZone>

#include <cstdio>

#include "dyno/DynoView.h"
#include "tests/dyno/DynoDrives.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    using namespace quarn;
    DynoView view;
    view.SetVehicle({EngineModel::kPullWeightLb, EngineModel::kPullCdA, EngineModel::kPullCrr},
                    QStringLiteral("Simulated turbo coupe"));
    view.SetInput(test::SimulatedDrive(200, true), QStringLiteral("demo.qz0"),
                  QDateTime(QDate(2026, 12, 7), QTime(17, 23), QTimeZone::utc()));
    std::vector<int> usable;
    for (const Pull& p : view.Scan().pulls)
        if (p.usable && usable.size() < 2) usable.push_back(p.number);
    view.PickPulls(usable);
    view.SetCorrected(true);
    view.resize(1200, 620);
    view.show();
    app.processEvents();
    const bool ok = view.grab().save(out.filePath(QStringLiteral("dyno.png"))) &&
                    view.SheetImage().save(out.filePath(QStringLiteral("dyno_sheet.png")));
    std::printf("%d pulls drawn\n", static_cast<int>(usable.size()));
    return ok ? 0 : 1;
}
