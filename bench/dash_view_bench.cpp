// The dashboard's own costs, offscreen: how long it takes to redraw after a
// resize, faces rendered afresh included, and the CPU of every dial flashing
// its alarm rim against none. dash_view_bench [rounds] [folder]; with a
// folder it also saves a picture of the dashboard at each size there.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/SuperDash.h"
#include "widgets/GaugeSpecs.h"
#include "widgets/DialGauge.h"

namespace {

// CPU time of this thread: the machine's other load does not count.
double ThreadMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    quarn::DashOptions options;
    options.settingsPath = QStringLiteral("/nonexistent/quarnom.ini");
    quarn::SuperDash dash(std::move(options));
    dash.show();
    QApplication::processEvents();
    const std::vector<QSize> sizes{{800, 480}, {1280, 800}, {1920, 1080}, {573, 580}};
    for (bool night : {false, true}) {
        dash.SetNight(night);
        for (QSize size : sizes) {
            std::vector<double> ms;
            std::vector<double> cpu;
            for (int r = 0; r < rounds; ++r) {
                // From another size each time, so every face is rendered anew.
                dash.resize(size.width() / 2 + 200, size.height() / 2 + 200);
                QApplication::processEvents();
                dash.repaint();
                QElapsedTimer t;
                t.start();
                const double cpu0 = ThreadMs();
                dash.resize(size);
                QApplication::processEvents();  // the resize and layout
                dash.repaint();                 // every face rendered again, painted
                ms.push_back(t.nsecsElapsed() / 1e6);
                cpu.push_back(ThreadMs() - cpu0);
            }
            if (argc > 2)
                dash.grab().save(QDir(QString::fromLocal8Bit(argv[2]))
                                     .filePath(QStringLiteral("dash-%1x%2-%3.png")
                                                   .arg(size.width())
                                                   .arg(size.height())
                                                   .arg(night ? "night" : "day")));
            std::sort(ms.begin(), ms.end());
            std::sort(cpu.begin(), cpu.end());
            std::printf("resize redraw to %dx%d (%s): median %.1f ms (CPU %.1f ms), slowest %.1f ms "
                        "(CPU %.1f ms)\n",
                        size.width(), size.height(), night ? "night" : "day", ms[ms.size() / 2],
                        cpu[cpu.size() / 2], ms.back(), cpu.back());
        }
    }

    // Idle for a while with no dial in alarm, then with every one flashing,
    // at the standard size and larger.
    for (QSize size : {QSize(573, 580), QSize(1280, 800)}) {
    dash.resize(size);
    dash.SetNight(false);
    QApplication::processEvents();
    const auto idleCpu = [](int ms) {
        QElapsedTimer t;
        t.start();
        const double cpu0 = ThreadMs();
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
        return (ThreadMs() - cpu0) / t.elapsed() * 100;
    };
    const double none = idleCpu(5000);
    for (quarn::Gauge g : quarn::kDashboardGauges) dash.gauge(g)->SetAlarmLevel(quarn::AlarmLevel::Warn);
    const double all = idleCpu(5000);
    for (quarn::Gauge g : quarn::kDashboardGauges) dash.gauge(g)->SetAlarmLevel(quarn::AlarmLevel::None);
    std::printf("idle at %dx%d: %.2f %% of a core with no dial in alarm, %.2f %% with all 15 "
                "flashing\n",
                size.width(), size.height(), none, all);
    }
    return 0;
}
