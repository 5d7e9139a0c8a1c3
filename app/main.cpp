// quarn-dash: the dashboard program.

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "Version.h"
#include "app/DemoBox.h"
#include "app/Splash.h"
#include "app/SuperDash.h"
#include "widgets/DialGauge.h"
#include "diagnostics/TPSTool.h"
#include "logging/Logging.h"
#include "scope/ScopeSlots.h"
#include "settings/ComSetup.h"
#include "viewer/LogViewer.h"
#include "viewer/ViewerPlots.h"
#include "settings/WorkFolder.h"

namespace {

// The dashboard filling a 1366 x 768 and an 800 x 480 screen, by night and
// by day; then the program ends.
void ShowScreenSizes(quarn::SuperDash& dash, const QDir& out, std::size_t step = 0) {
    struct Shot {
        QSize size;
        bool night;
        const char* name;
    };
    static const Shot kShots[] = {
        {{1366, 768}, true, "dashboard_1366x768_night.png"},
        {{1366, 768}, false, "dashboard_1366x768.png"},
        {{800, 480}, false, "dashboard_800x480.png"},
        {{800, 480}, true, "dashboard_800x480_night.png"},
    };
    if (step == std::size(kShots)) {
        dash.SetNight(false);
        dash.close();
        return;
    }
    dash.SetNight(kShots[step].night);
    dash.resize(kShots[step].size);
    QTimer::singleShot(400, &dash, [&dash, out, step] {
        dash.grab().save(out.filePath(QString::fromLatin1(kShots[step].name)));
        ShowScreenSizes(dash, out, step + 1);
    });
}

// An alarm (the coolant's danger limit set just below its value for the
// picture), taken while the flashing rim is lit; then the night scheme,
// without remembering it, and the screen sizes.
void ShowAlarmAndNight(quarn::SuperDash& dash, const QDir& out) {
    quarn::AlarmLimitSet limits = dash.alarms().limits();
    const int ect = quarn::AlarmChannelIndex(quarn::Gauge::ECT);
    limits[static_cast<std::size_t>(ect)].dangerHigh = std::floor(dash.record().EctF) - 5;
    dash.SetAlarmLimits(limits);
    auto* poll = new QTimer(&dash);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, &dash, [&dash, out, poll] {
        if (!dash.gauge(quarn::Gauge::ECT)->rimLit()) return;
        poll->stop();
        dash.grab().save(out.filePath(QStringLiteral("alarm.png")));
        dash.SetAlarmLimits(quarn::DefaultAlarmLimits());
        dash.SetNight(true);
        QTimer::singleShot(500, &dash, [&dash, out] {
            dash.grab().save(out.filePath(QStringLiteral("dashboard_night.png")));
            ShowScreenSizes(dash, out);
        });
    });
    poll->start();
}

// Pictures of the windows for the documentation, taken once monitoring runs.
void ScheduleScreenshots(quarn::SuperDash& dash, quarn::Splash& splash, const QString& dir) {
    QDir().mkpath(dir);
    QTimer::singleShot(300, &splash, [&splash, dir] {
        splash.grab().save(QDir(dir).filePath(QStringLiteral("splash.png")));
    });
    QTimer::singleShot(5000, &dash, [&dash] {
        dash.ShowTpsTool();
        dash.ShowComSetup();
        dash.ShowLogging();
    });
    QTimer::singleShot(6500, &dash, [&dash, dir] {
        const QDir out(dir);
        dash.grab().save(out.filePath(QStringLiteral("dashboard.png")));
        if (dash.tpsTool())
            dash.tpsTool()->grab().save(out.filePath(QStringLiteral("tps_tool.png")));
        if (dash.comSetup())
            dash.comSetup()->grab().save(out.filePath(QStringLiteral("com_setup.png")));
        if (dash.logging())
            dash.logging()->grab().save(out.filePath(QStringLiteral("logging.png")));
        ShowAlarmAndNight(dash, out);
    });
}

// For scripts: records from the first good frame after the link is up.
void ScheduleRecording(quarn::SuperDash& dash, const QString& file) {
    auto* poll = new QTimer(&dash);
    poll->setInterval(100);
    QObject::connect(poll, &QTimer::timeout, &dash, [&dash, file, poll] {
        if (!dash.status().PanelText(2).startsWith(QStringLiteral("Ready"))) return;
        poll->stop();
        dash.ShowLogging();
        quarn::Logging* window = dash.logging();
        window->logFile()->setText(file);
        window->askOverwrite = [](const QString&) { return true; };
        window->Record_Click();
    });
    poll->start();
}

// For the benchmark (QUARN_VIEW_TIMING set): the seconds from the process
// start to the first drawing of the log's plots, on standard error, then the
// end of the program.
void ReportWhenPlotted(quarn::SuperDash& dash, std::chrono::steady_clock::time_point start) {
    quarn::LogViewer* viewer = dash.logViewer();
    if (!viewer) return;
    QObject::connect(
        viewer, &quarn::LogViewer::logShown, viewer,
        [viewer, start](bool) {
            QObject::connect(
                viewer->plots(), &QCustomPlot::afterReplot, viewer,
                [start] {
                    const std::chrono::duration<double> took =
                        std::chrono::steady_clock::now() - start;
                    std::fprintf(stderr, "quarn-dash: view_plotted_seconds=%.3f\n", took.count());
                    QCoreApplication::exit(0);
                },
                Qt::SingleShotConnection);
            viewer->plots()->replot(QCustomPlot::rpQueuedReplot);
        },
        Qt::SingleShotConnection);
}

// The program's options. Built before any application object exists, so
// that --help, --version and a refused value need no screen.
struct Options {
    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption demo{QStringLiteral("demo"),
                                  QStringLiteral("Run against the simulated box (quarn-boxsim, "
                                                 "started with the program).")};
    const QCommandLineOption boxArgs{
        QStringLiteral("boxsim-args"),
        QStringLiteral("Arguments for the simulated box of --demo (default \"--pace\")."),
        QStringLiteral("args"), QStringLiteral("--pace")};
    const QCommandLineOption quitAfter{
        QStringLiteral("quit-after"), QStringLiteral("End the program after this many seconds."),
        QStringLiteral("seconds")};
    const QCommandLineOption stats{
        QStringLiteral("stats"), QStringLiteral("Print frame counts to standard error at the end.")};
    const QCommandLineOption shots{QStringLiteral("screenshots"),
                                   QStringLiteral("Save pictures of the windows into dir, then end."),
                                   QStringLiteral("dir")};
    const QCommandLineOption record{
        QStringLiteral("record"),
        QStringLiteral("Start recording into file (replacing it) once the link is up."),
        QStringLiteral("file")};
    const QCommandLineOption view{QStringLiteral("view"),
                                  QStringLiteral("Review file in the Log Viewer, without the box: the "
                                                 "dashboard opens from its View menu."),
                                  QStringLiteral("file")};
    const QCommandLineOption scopes{QStringLiteral("scopes"),
                                    QStringLiteral("Open this many scope windows at the start."),
                                    QStringLiteral("count")};
    const QCommandLineOption userFolder{
        QStringLiteral("user-folder"),
        QStringLiteral("Work in the per-user folder $XDG_DATA_HOME/quarn-dash "
                       "(~/.local/share/quarn-dash), made when missing, as the desktop "
                       "entry does: quarnom.ini and files named without a folder go there.")};

    Options() {
        parser.setApplicationDescription(QStringLiteral(
            "Monitors and logs EEC-IV engine computers through the Quarn-IV data logger."));
        parser.addOptions({demo, boxArgs, quitAfter, stats, shots, record, view, scopes, userFolder});
    }

    // The longest wait --quit-after takes: its milliseconds must fit a timer.
    static constexpr double kMaxQuitAfterSeconds = 2000000;

    // The seconds of --quit-after, once Check has passed.
    int QuitAfterMs() const { return static_cast<int>(parser.value(quitAfter).toDouble() * 1000); }
    int ScopeCount() const { return parser.value(scopes).toInt(); }

    // Why the values given cannot be used; empty when they can.
    QString Check() const {
        if (parser.isSet(quitAfter)) {
            bool ok = false;
            const QString text = parser.value(quitAfter);
            const double seconds = text.toDouble(&ok);
            if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > kMaxQuitAfterSeconds)
                return QStringLiteral("--quit-after takes a number of seconds above 0 and at most "
                                      "%1, not \"%2\".")
                    .arg(QString::number(kMaxQuitAfterSeconds, 'f', 0), text);
        }
        if (parser.isSet(scopes)) {
            bool ok = false;
            const QString text = parser.value(scopes);
            const int count = text.toInt(&ok);
            if (!ok || count < 0 || count > quarn::ScopeSlots::kLastSlot)
                return QStringLiteral("--scopes takes a whole number from 0 to %1, not \"%2\".")
                    .arg(quarn::ScopeSlots::kLastSlot)
                    .arg(text);
        }
        if (parser.isSet(record) && parser.value(record).trimmed().isEmpty())
            return QStringLiteral("--record takes the name of the log file to write.");
        if (parser.isSet(view) && parser.value(view).trimmed().isEmpty())
            return QStringLiteral("--view takes the name of the log file to open.");
        if (parser.isSet(shots) && parser.value(shots).trimmed().isEmpty())
            return QStringLiteral("--screenshots takes the folder to save the pictures in.");
        return {};
    }
};

void SetNames() {
    QCoreApplication::setApplicationName(QStringLiteral("Quarn_Dash"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(quarn::kVersionText));
}

// Qt's own options (-platform, -style, ...) have one dash and a word.
bool IsQtStyleOption(const QString& arg) {
    return arg.size() > 2 && arg[0] == u'-' && arg[1] != u'-';
}

int Refuse(const QString& why) {
    std::fprintf(stderr, "quarn-dash: %s\nTry 'quarn-dash --help' for the options.\n",
                 qPrintable(why));
    return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv) {
    const auto programStart = std::chrono::steady_clock::now();
    Options options;
    QCommandLineParser& parser = options.parser;
    {
        // A first reading before the window system is touched. Options of Qt
        // itself (-platform, ...) are unknown here: then only the reading
        // after the QApplication, which takes them out, counts.
        QStringList args;
        for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
        if (parser.parse(args)) {
            if (parser.isSet(options.help) || parser.isSet(options.version) ||
                args.contains(QStringLiteral("--help-all"))) {
                // Printed by the parser, which needs an application object;
                // a core one needs no screen.
                QCoreApplication core(argc, argv);
                SetNames();
                parser.process(core);  // prints and ends the program
            }
            if (const QString why = options.Check(); !why.isEmpty()) return Refuse(why);
        } else if (std::none_of(args.begin() + 1, args.end(), IsQtStyleOption)) {
            return Refuse(parser.errorText());
        }
    }

    QApplication app(argc, argv);
    SetNames();
    parser.process(app);
    if (const QString why = options.Check(); !why.isEmpty()) return Refuse(why);
    // Before anything reads or writes quarnom.ini. Where the folder cannot be
    // used, the program still runs where it was started, as it did before.
    if (parser.isSet(options.userFolder)) {
        QString error;
        if (!quarn::EnterUserWorkFolder(&error))
            std::fprintf(stderr, "quarn-dash: %s; working in %s\n", qPrintable(error),
                         qPrintable(QDir::currentPath()));
    }
    const QCommandLineOption& demo = options.demo;
    const QCommandLineOption& boxArgs = options.boxArgs;
    const QCommandLineOption& quitAfter = options.quitAfter;
    const QCommandLineOption& stats = options.stats;
    const QCommandLineOption& shots = options.shots;
    const QCommandLineOption& record = options.record;
    const QCommandLineOption& scopes = options.scopes;

    quarn::DemoBox box;
    if (parser.isSet(demo)) {
        QString error;
        const QStringList args = parser.value(boxArgs).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!box.Start(args, &error)) {
            std::fprintf(stderr, "quarn-dash: %s\n", qPrintable(error));
            return 1;
        }
    }

    const bool review = parser.isSet(options.view);
    quarn::Splash splash;
    // Reviewing logs needs neither the box nor the wait for it.
    if (!review) splash.show();
    quarn::SuperDash dash;

    const bool printStats = parser.isSet(stats);
    const auto finish = [&dash, printStats, programStart] {
        if (printStats)
            std::fprintf(stderr,
                         "quarn-dash: good_frames=%lld bad_frames=%lld link_failures=%lld "
                         "frames_for_log=%lld records_written=%lld span_seconds=%.3f "
                         "first_frame_seconds=%.3f\n",
                         static_cast<long long>(dash.monitor().GoodFrames()),
                         static_cast<long long>(dash.monitor().BadFrames()),
                         static_cast<long long>(dash.monitor().LinkFailures()),
                         static_cast<long long>(dash.monitor().FramesForLog()),
                         static_cast<long long>(dash.log().recorder().NextRecord() - 1),
                         dash.monitor().GoodFrameSpanSeconds(),
                         std::chrono::duration<double>(dash.monitor().FirstGoodAt() - programStart)
                             .count());
        // The end was asked for on the command line: no question first.
        if (dash.state().Recording) dash.StopRecording();
        dash.close();
    };
    if (parser.isSet(quitAfter))
        QTimer::singleShot(options.QuitAfterMs(), &dash, finish);
    if (parser.isSet(shots)) ScheduleScreenshots(dash, splash, parser.value(shots));
    if (parser.isSet(record)) ScheduleRecording(dash, parser.value(record));
    if (parser.isSet(scopes)) {
        // Opened as a user opens them, through the View menu.
        const int count = options.ScopeCount();
        QTimer::singleShot(0, &dash, [&dash, count] {
            auto* open = dash.findChild<QAction*>(QStringLiteral("mnuViewquarnscope1"));
            for (int i = 0; open && i < count; ++i) open->trigger();
        });
    }

    if (review) {
        const QString file = parser.value(options.view);
        const bool timing = qEnvironmentVariableIsSet("QUARN_VIEW_TIMING");
        QTimer::singleShot(0, &dash, [&dash, file, timing, programStart] {
            dash.StartReview(file);
            if (timing) ReportWhenPlotted(dash, programStart);
        });
    } else {
        QTimer::singleShot(0, &dash, [&dash, &splash] { dash.StartUp(&splash); });
    }
    return QApplication::exec();
}
