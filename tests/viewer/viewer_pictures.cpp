// Saves pictures of the Log Viewer for the documentation: a simulated drive
// with markers and a selected range, its heat map, a math channel with
// its formulas, the scatter tab, the event list, a second drive compared
// with it, the fuel tab on a drive whose MAF table is off, and the heat map
// by night; all on a 1366 x 768 screen. Usage:
// viewer_pictures [output folder]

#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdlib>

#include "fuel/MafTransfer.h"
#include "viewer/EventsPanel.h"
#include "viewer/FuelTab.h"
#include "viewer/HeatMapTab.h"
#include "viewer/MathPanel.h"
#include "viewer/ScatterTab.h"
#include "viewer/LogViewer.h"
#include "viewer/ViewerPlots.h"
#include "viewer/ViewerSide.h"
#include "widgets/NightScheme.h"
#include "SimLog.h"

using namespace quarn;

namespace {

class PictureHost final : public LogViewerHost {
public:
    const VehicleData& Vehicle() const override { return m_vehicle; }
    double FrameRate() const override { return 250; }
    void PlayRecords(const QString&, std::int64_t, std::int64_t) override {}

private:
    VehicleData m_vehicle;
};

bool Save(QWidget& window, const QDir& out, const char* name) {
    QApplication::processEvents();
    return window.grab().save(out.filePath(QString::fromLatin1(name)));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("saturday.qz0"));
    const QString second = dir.filePath(QStringLiteral("sunday.qz0"));
    test::SimLogOptions o;
    o.seconds = 150;
    o.markers = {{61, QStringLiteral("Cruise")}};
    if (test::WriteSimLog(first, o) == 0) return EXIT_FAILURE;
    o.seed = 7;
    o.markers = {};
    if (test::WriteSimLog(second, o) == 0) return EXIT_FAILURE;

    PictureHost host;
    // A 1366 x 768 screen less a title bar and a panel.
    const QSize screen(1366, 704);
    LogViewer viewer(host, nullptr, screen);
    viewer.showMessage = [](const QString&) {};
    viewer.resize(screen);
    viewer.show();
    // The viewer reads a log on a worker; the picture waits until it shows.
    auto show = [&viewer](const QString& log, bool second) {
        bool shown = false;
        const auto done = [&shown] { shown = true; };
        if (!(second ? viewer.OpenSecond(log, done) : viewer.Open(log, done))) return false;
        while (viewer.Busy()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return shown;
    };
    // Each drive gets a marker where its first full-throttle run begins, as
    // a user would put it there.
    for (const QString& log : {second, first}) {
        if (!show(log, false)) return EXIT_FAILURE;
        const LogTable& t = *viewer.table();
        const auto& tps = t.Column(ViewerChannelId(QStringLiteral("TPS")));
        std::size_t row = 0;
        while (row + 1 < t.Rows() && tps[row] < 3.5f) ++row;
        viewer.AddMarkerAt(t.Axis()[row], QStringLiteral("Full throttle"));
    }
    ViewerPlots& plots = *viewer.plots();
    auto channels = plots.Plots();
    channels[0].second = ViewerChannelId(QStringLiteral("Boost"));
    plots.SetPlots(channels);
    plots.SetKeyRange(0, 100);
    plots.SetSelection(24, 34);
    plots.SetCursorKey(29.5);
    bool ok = Save(viewer, out, "viewer.png");

    viewer.tabs()->setCurrentWidget(viewer.heatMap());
    viewer.heatMap()->Recompute();
    ok = Save(viewer, out, "viewer_heatmap.png") && ok;

    // A math channel plotted under the mixture it comes from, a formula
    // with a mistake beside it.
    viewer.tabs()->setCurrentIndex(0);
    viewer.SetMathChannels({{QStringLiteral("Lambda"), QStringLiteral("λ"), QStringLiteral("WideO2 / 14.7")},
                            {QStringLiteral("LoadPct"), QStringLiteral("%"),
                             QStringLiteral("smooth(MAF, 0.5) / 5 * 100")},
                            {QStringLiteral("Lean"), QString(), QStringLiteral("Lambda > 1.05 and")}});
    const LogTable& t = *viewer.table();
    auto id = [&](const char* name) { return t.ChannelId(QString::fromLatin1(name)); };
    const auto kept = plots.Plots();
    plots.SetPlots({{id("RPM"), -1}, {id("WideO2"), -1}, {id("Lambda"), -1}, {id("LoadPct"), id("TPS")}});
    viewer.ShowTool(viewer.mathPanel());
    viewer.toolDock()->resize(viewer.toolDock()->width(), 200);
    ok = Save(viewer, out, "viewer_math.png") && ok;

    viewer.tabs()->setCurrentWidget(viewer.scatter());
    plots.ClearSelection();
    plots.FitAll();
    viewer.toolDock()->hide();
    viewer.scatter()->SetChannels(id("RPM"), id("MAF"), id("Lambda"));
    viewer.scatter()->SetWhere(QStringLiteral("TPS > 0.5"));
    viewer.scatter()->Redraw();
    ok = Save(viewer, out, "viewer_scatter.png") && ok;

    viewer.tabs()->setCurrentIndex(0);
    viewer.ShowTool(viewer.eventsPanel());
    viewer.eventsPanel()->where()->setText(QStringLiteral("RPM > 3000 and TPS > 2"));
    viewer.eventsPanel()->Search();
    viewer.eventsPanel()->Step(1);
    ok = Save(viewer, out, "viewer_events.png") && ok;
    viewer.toolDock()->hide();
    viewer.SetMathChannels({});
    plots.SetPlots(kept);

    plots.ClearSelection();
    if (!show(second, true)) return EXIT_FAILURE;
    viewer.AlignSecond(0, 1);  // its "Full throttle" with the first one's
    plots.SetKeyRange(18, 48);
    plots.SetCursorKey(30);
    ok = Save(viewer, out, "viewer_compare.png") && ok;

    // The fuel tab in a viewer of its own, on a warm drive whose computer
    // fuels by the simulator's table with its error, pasted as a tuner would.
    {
        const QString drive = dir.filePath(QStringLiteral("tuning.qz0"));
        test::SimLogOptions f;
        f.seconds = 900;
        f.frameRate = 100;
        f.fuelling = EngineModel::Fuelling{{{1.0, 0}, {1.6, 4}, {2.2, 6}, {3.0, -3}, {4.0, -5}}, 12.0, 0.15};
        if (test::WriteSimLog(drive, f) == 0) return EXIT_FAILURE;
        std::vector<double> volts, kgh;
        for (const auto& [v, a] : EngineModel::ComputerMafTable(f.fuelling->mafErrorPercent)) {
            volts.push_back(v);
            kgh.push_back(a);
        }
        LogViewer tuning(host, nullptr, screen);
        tuning.showMessage = [](const QString&) {};
        tuning.resize(screen);
        tuning.show();
        if (!tuning.Open(drive)) return EXIT_FAILURE;
        while (tuning.Busy()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        FuelTab& fuel = *tuning.fuel();
        tuning.tabs()->setCurrentWidget(&fuel);
        fuel.transferBox()->setPlainText(QString::fromStdString(TransferText(volts, kgh)));
        bool done = false;
        QObject::connect(&fuel, &FuelTab::analysed, [&done] { done = true; });
        if (!fuel.Apply()) return EXIT_FAILURE;
        while (!done) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        ok = Save(tuning, out, "viewer_fuel.png") && ok;
    }

    ApplyNightScheme(true);
    viewer.tabs()->setCurrentWidget(viewer.heatMap());
    ok = Save(viewer, out, "viewer_night.png") && ok;
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
