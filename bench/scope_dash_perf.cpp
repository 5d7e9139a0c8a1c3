// The dashboard monitoring the paced simulated box at 115200 baud with ten
// scope windows open, offscreen: frame rate against the wire limit, CPU of
// the whole process and its memory at one minute and at the end.
//   scope_dash_perf [seconds (600)] [scopes (10)]

#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "app/DemoBox.h"
#include "bench/ResidentMemory.h"
#include "app/SuperDash.h"
#include "scope/ScopeSlots.h"
#include "scope/StripChart.h"
#include "scope/SuperScope.h"

namespace {

constexpr double kLatencySeconds = 0.0005;
// 39 bytes a frame (the request and the reply) of ten bits each.
constexpr double kWireLimit = 1 / (39 * 10 / 115200.0 + kLatencySeconds);

using quarn::bench::ResidentMegabytes;

double CpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_utime.tv_sec + use.ru_stime.tv_sec +
           (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarn_Dash"));
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600;
    const int scopes = argc > 2 ? std::atoi(argv[2]) : 10;

    // The demo box saves its port into quarnom.ini in the working directory.
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    quarn::DemoBox box;
    QString error;
    if (!box.Start({QStringLiteral("--pace"), QStringLiteral("--latency"), QStringLiteral("0.5")},
                   &error)) {
        std::fprintf(stderr, "scope_dash_perf: %s\n", qPrintable(error));
        return 1;
    }
    quarn::SuperDash dash;

    QElapsedTimer wall;
    double cpu0 = 0;
    std::int64_t frames0 = 0;
    double rssStart = 0, rssMinute = 0, rssPeak = 0;
    bool started = false;

    // Once the link is up: the scopes open through the View menu, and the
    // measurement starts a second later, past the windows' first drawing.
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, &dash, [&] {
        if (!dash.status().PanelText(2).startsWith(QStringLiteral("Ready"))) return;
        poll.stop();
        auto* open = dash.findChild<QAction*>(QStringLiteral("mnuViewquarnscope1"));
        for (int i = 0; i < scopes && open; ++i) open->trigger();
        QTimer::singleShot(1000, &dash, [&] {
            started = true;
            wall.start();
            cpu0 = CpuSeconds();
            frames0 = dash.monitor().GoodFrames();
            rssStart = rssPeak = ResidentMegabytes();
        });
    });
    poll.start();

    QTimer sample;
    sample.setInterval(1000);
    QObject::connect(&sample, &QTimer::timeout, &dash, [&] {
        if (!started) return;
        const double rss = ResidentMegabytes();
        rssPeak = std::max(rssPeak, rss);
        const double t = wall.nsecsElapsed() / 1e9;
        if (rssMinute == 0 && t >= 60) rssMinute = rss;
        if (t < seconds) return;
        const double frames = static_cast<double>(dash.monitor().GoodFrames() - frames0);
        const double rate = frames / t;
        std::printf("%d scopes, %.0f s: %.1f frames/s against a wire limit of %.1f (%.3f)\n",
                    scopes, t, rate, kWireLimit, rate / kWireLimit);
        std::printf("CPU: %.1f %% of one core\n", (CpuSeconds() - cpu0) / t * 100);
        std::printf("RSS: %.1f MB at the start, ", rssStart);
        if (rssMinute > 0) std::printf("%.1f MB at 1 min, ", rssMinute);
        std::printf("%.1f MB at the end, peak %.1f MB\n", rss, rssPeak);
        if (scopes > 0)
            std::printf("Scope1 holds %d points\n", dash.scopes().Window(1)->chart()->pointCount());
        std::fflush(stdout);
        dash.close();
    });
    sample.start();

    QTimer::singleShot(0, &dash, [&dash] { dash.StartUp(nullptr); });
    return QApplication::exec();
}
