// How long the dashboard takes to redraw after a resize, faces rendered
// afresh included, offscreen: dash_resize_bench [rounds] [folder]. With a
// folder it also saves a picture of the dashboard at each size there.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/SuperDash.h"
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
    return 0;
}
