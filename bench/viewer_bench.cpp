// The Log Viewer on a one-hour log, offscreen: a drive of the simulator's
// engine model of 1,000,000 records with its sidecar is opened in the
// window, then one redraw of the six default plots (every trace's envelope
// for the view, then QCustomPlot's replot) is timed at fit-all, at a mid
// zoom and at a close zoom; then a math channel is evaluated over the whole
// log, and the scatter tab redrawn over all of its records (target: 50 ms).
//   viewer_bench [records]

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ResidentMemory.h"
#include "viewer/LogViewer.h"
#include "viewer/ScatterTab.h"
#include "viewer/SimLog.h"
#include "viewer/ViewerPlots.h"

namespace {

class BenchHost final : public quarn::LogViewerHost {
public:
    const quarn::VehicleData& Vehicle() const override { return m_vehicle; }
    double FrameRate() const override { return 250; }
    void PlayRecords(const QString&, std::int64_t, std::int64_t) override {}

private:
    quarn::VehicleData m_vehicle;
};

// The median of repeated redraws, in milliseconds.
double RedrawMs(quarn::ViewerPlots& plots, double lo, double hi) {
    plots.SetKeyRange(lo, hi);
    std::vector<double> ms;
    for (int i = 0; i < 15; ++i) {
        QElapsedTimer t;
        t.start();
        plots.Redraw();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long records = argc > 1 ? std::atol(argv[1]) : 1000000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hour.qz0"));
    quarn::test::SimLogOptions o;
    o.frameRate = 250;
    o.seconds = static_cast<double>(records) / o.frameRate;
    if (quarn::test::WriteSimLog(path, o) != records) return EXIT_FAILURE;

    BenchHost host;
    quarn::LogViewer viewer(host);
    viewer.showMessage = [](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
    viewer.resize(1600, 1000);
    viewer.show();
    QApplication::processEvents();
    const double before = quarn::bench::ResidentMegabytes();
    QElapsedTimer load;
    load.start();
    bool shown = false;
    if (!viewer.Open(path, [&shown] { shown = true; })) return EXIT_FAILURE;
    while (viewer.Busy()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!shown) return EXIT_FAILURE;
    const double loadSeconds = static_cast<double>(load.nsecsElapsed()) / 1e9;
    const double after = quarn::bench::ResidentMegabytes();
    QApplication::processEvents();

    quarn::ViewerPlots& plots = *viewer.plots();
    double lo = 0, hi = 0;
    plots.DataExtent(lo, hi);
    const double mid = (lo + hi) / 2;
    std::printf("Log Viewer, %ld records (%.0f s), six plots %d px wide:\n", records, hi - lo,
                plots.width());
    std::printf("  open: %.2f s, %.0f MB more resident memory\n", loadSeconds, after - before);
    std::printf("  redraw at fit-all:         %6.2f ms\n", RedrawMs(plots, lo, hi));
    std::printf("  redraw at 1/20 of the log: %6.2f ms\n",
                RedrawMs(plots, mid - (hi - lo) / 40, mid + (hi - lo) / 40));
    std::printf("  redraw at 10 s:            %6.2f ms\n", RedrawMs(plots, mid - 5, mid + 5));

    QElapsedTimer math;
    math.start();
    viewer.SetMathChannels({{QStringLiteral("Lambda"), QString(), QStringLiteral("WideO2 / 14.7")}});
    std::printf("  a math channel over the log, every list updated: %6.2f ms\n",
                static_cast<double>(math.nsecsElapsed()) / 1e6);

    quarn::ScatterTab& scatter = *viewer.scatter();
    viewer.tabs()->setCurrentWidget(&scatter);
    scatter.SetRows(0, viewer.table()->Rows());
    QApplication::processEvents();
    auto scatterMs = [&] {
        std::vector<double> ms;
        for (int i = 0; i < 15; ++i) {
            QElapsedTimer t;
            t.start();
            scatter.Redraw();
            ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        return ms[ms.size() / 2];
    };
    const double density = scatterMs();
    std::printf("  scatter of %zu points, density:        %6.2f ms (target 50)\n",
                scatter.Grid().points, density);
    scatter.SetChannels(-2, -2, viewer.table()->ChannelId(QStringLiteral("Lambda")));
    std::printf("  scatter of %zu points, coloured by Z:  %6.2f ms (target 50)\n",
                scatter.Grid().points, scatterMs());
    return EXIT_SUCCESS;
}
