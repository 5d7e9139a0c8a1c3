// A recording beside the Log Viewer: the dashboard records the paced
// simulated box at 115200 baud, offscreen, through three phases of equal
// length, and reports the recording's rate and CPU in each:
//   A  the recording alone;
//   B  the viewer following it, with many alarm markers (and one more each
//      second);
//   C  the viewer opening a 500,000-record log, then exporting 470,000
//      records of it, while the recording goes on.
// The worst gap between the recording's record times (its sidecar) is given
// for A and C. Then bench/bare-client.py runs on the same line as the
// yardstick.
//   viewer_follow_perf [phase seconds (60)] [markers (300)]

#include <sys/resource.h>

#include <QAction>
#include <QLineEdit>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <cstdio>

#include "app/DemoBox.h"
#include "app/SuperDash.h"
#include "logging/LogOperations.h"
#include "logging/Logging.h"
#include "logging/LogSidecar.h"
#include "viewer/LogViewer.h"
#include "viewer/SimLog.h"
#include "viewer/ViewerPlots.h"

namespace {

constexpr double kLatencySeconds = 0.0005;
constexpr double kWireLimit = 1 / (39 * 10 / 115200.0 + kLatencySeconds);

double CpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_utime.tv_sec + use.ru_stime.tv_sec +
           (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

struct Phase {
    std::int64_t firstRecord = 0, lastRecord = 0;
    double seconds = 0, cpu = 0;
    double Rate() const { return static_cast<double>(lastRecord - firstRecord) / seconds; }
};

// The longest time between two records firstRecord..lastRecord, in ms.
double WorstGapMs(const std::vector<double>& times, const Phase& p) {
    double worst = 0;
    for (std::int64_t n = std::max<std::int64_t>(p.firstRecord, 2);
         n <= p.lastRecord && n <= static_cast<std::int64_t>(times.size()); ++n)
        worst = std::max(worst, times[n - 1] - times[n - 2]);
    return worst * 1000;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarn_Dash"));
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    const int markers = argc > 2 ? std::atoi(argv[2]) : 300;

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const QString big = dir.filePath(QStringLiteral("big.qz0"));
    quarn::test::SimLogOptions o;
    o.seconds = 2000;  // 500,000 records
    if (quarn::test::WriteSimLog(big, o) != 500000) return 1;
    const QString recording = dir.filePath(QStringLiteral("recording.qz0"));

    quarn::DemoBox box;
    QString error;
    if (!box.Start({QStringLiteral("--pace"), QStringLiteral("--latency"), QStringLiteral("0.5")},
                   &error)) {
        std::fprintf(stderr, "viewer_follow_perf: %s\n", qPrintable(error));
        return 1;
    }
    quarn::SuperDash dash;
    quarn::LogOperations& log = dash.log();
    Phase a, b, c;
    QElapsedTimer wall;
    double cpu0 = 0;
    auto begin = [&](Phase& p) {
        p.firstRecord = log.recorder().NextRecord();
        wall.start();
        cpu0 = CpuSeconds();
    };
    auto end = [&](Phase& p) {
        p.lastRecord = log.recorder().NextRecord() - 1;
        p.seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
        p.cpu = (CpuSeconds() - cpu0) / p.seconds * 100;
    };
    // The window thread's longest hold in phase C: a 1 ms timer that is late.
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    watch.setInterval(1);
    QElapsedTimer sinceTick;
    double worstHoldMs = 0, worstHoldB = 0;
    // Phase B's replots of the plots: how many, and the window thread's time in them.
    int replots = 0;
    double replotMs = 0, worstReplotMs = 0;
    QElapsedTimer replotClock;
    bool inB = false;
    QObject::connect(&watch, &QTimer::timeout, &dash, [&] {
        if (sinceTick.isValid())
            worstHoldMs = std::max(worstHoldMs, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.start();
    });
    QTimer markerTimer;
    markerTimer.setInterval(1000);
    int marker = 0;
    QObject::connect(&markerTimer, &QTimer::timeout, &dash, [&] {
        log.recorder().AddMarker(QStringLiteral("alarm"), QStringLiteral("Bench alarm %1").arg(++marker));
    });

    // Closing the dashboard ends the process: everything is told first.
    auto report = [&] {
        const std::vector<double> times = quarn::ReadSidecar(recording, INT64_MAX).times;
        std::printf("Recording at 115200 baud (wire limit %.1f/s), %.0f s a phase:\n", kWireLimit,
                    seconds);
        std::printf("  A alone:                    %6.1f records/s, CPU %4.1f %%, worst gap %.1f ms\n",
                    a.Rate(), a.cpu, WorstGapMs(times, a));
        std::printf("  B viewer following, %d markers at the end: %6.1f records/s (%.3f of A), "
                    "CPU %4.1f %%, window thread held at most %.1f ms\n",
                    marker, b.Rate(), b.Rate() / a.Rate(), b.cpu, worstHoldB);
        std::printf("    plots replotted %d times (%.2f/s), %.1f ms each on average, at most %.1f ms: "
                    "%.1f %% of the window thread\n",
                    replots, replots / b.seconds, replots ? replotMs / replots : 0.0, worstReplotMs,
                    replotMs / 10 / b.seconds);
        std::printf("  C open 500,000 + export 470,000 (%.1f s): %6.1f records/s, worst gap %.1f ms, "
                    "window thread held at most %.1f ms\n",
                    c.seconds, c.Rate(), WorstGapMs(times, c), worstHoldMs);
        std::fflush(stdout);

        // The yardstick on the same simulated line: a client that only asks and reads.
        const QString build = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(".."));
        QProcess::execute(QStringLiteral("python3"),
                          {QStringLiteral(QUARN_SOURCE_DIR "/bench/bare-client.py"),
                           QString::number(std::min(seconds, 30.0)), build, QStringLiteral("115200"),
                           QStringLiteral("0.5")});
    };
    auto phaseC = [&] {
        quarn::LogViewer* viewer = dash.logViewer();
        begin(c);
        watch.start();
        QObject::connect(viewer, &quarn::LogViewer::exportEnded, &dash, [&](bool written) {
            end(c);
            watch.stop();
            if (!written) std::fprintf(stderr, "viewer_follow_perf: the export failed\n");
            log.StopLogging();
            report();
            dash.close();
        });
        viewer->Open(big, [&, viewer] {
            const auto& axis = viewer->table()->Axis();
            viewer->plots()->SetSelection(axis[10000], axis[480000 - 1]);
            viewer->ExportRangeTo(dir.filePath(QStringLiteral("range.csv")));
        });
    };
    auto phaseB = [&] {
        dash.ShowLogViewer(recording);
        quarn::ViewerPlots* plots = dash.logViewer()->plots();
        QObject::connect(plots, &QCustomPlot::beforeReplot, &dash, [&] { replotClock.start(); });
        QObject::connect(plots, &QCustomPlot::afterReplot, &dash, [&] {
            if (!inB) return;
            const double ms = static_cast<double>(replotClock.nsecsElapsed()) / 1e6;
            ++replots;
            replotMs += ms;
            worstReplotMs = std::max(worstReplotMs, ms);
        });
        for (int i = 0; i < markers; ++i)
            log.recorder().AddMarker(QStringLiteral("alarm"), QStringLiteral("Bench alarm %1").arg(++marker));
        markerTimer.start();
        // Past the opening of the recording, which phase C measures.
        QTimer::singleShot(3000, &dash, [&] {
            begin(b);
            inB = true;
            watch.start();
            QTimer::singleShot(static_cast<int>(seconds * 1000), &dash, [&] {
                end(b);
                inB = false;
                worstHoldB = std::exchange(worstHoldMs, 0);
                sinceTick.invalidate();
                markerTimer.stop();
                phaseC();
            });
        });
    };

    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, &dash, [&] {
        if (!dash.status().PanelText(2).startsWith(QStringLiteral("Ready"))) return;
        poll.stop();
        dash.ShowLogging();
        QTimer::singleShot(0, &dash, [&] {
            // Recording starts from a handler; the monitoring loop goes on below.
            auto* window = dash.logging();
            window->logFile()->setText(recording);
            window->askOverwrite = [](const QString&) { return true; };
            window->Record_Click();
        });
        QTimer::singleShot(2000, &dash, [&] {
            begin(a);
            QTimer::singleShot(static_cast<int>(seconds * 1000), &dash, [&] {
                end(a);
                phaseB();
            });
        });
    });
    poll.start();
    QTimer::singleShot(0, &dash, [&dash] { dash.StartUp(nullptr); });
    return QApplication::exec();
}
