// quarn-dash: the dashboard program.

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLineEdit>
#include <QTimer>

#include <chrono>
#include <cstdio>

#include "Version.h"
#include "app/DemoBox.h"
#include "app/Splash.h"
#include "app/SuperDash.h"
#include "diagnostics/TPSTool.h"
#include "logging/Logging.h"
#include "settings/ComSetup.h"

namespace {

// Pictures of the windows for the documentation, taken once monitoring runs.
void ScheduleScreenshots(quarn::SuperDash& dash, quarn::Splash& splash, const QString& dir) {
    QDir().mkpath(dir);
    QTimer::singleShot(300, &splash, [&splash, dir] {
        splash.grab().save(QDir(dir).filePath(QStringLiteral("splash.png")));
    });
    QTimer::singleShot(5000, &dash, [&dash] {
        dash.ShowTpsTool();
        dash.ShowComSetup();
    });
    QTimer::singleShot(6500, &dash, [&dash, dir] {
        const QDir out(dir);
        dash.grab().save(out.filePath(QStringLiteral("dashboard.png")));
        if (dash.tpsTool())
            dash.tpsTool()->grab().save(out.filePath(QStringLiteral("tps_tool.png")));
        if (dash.comSetup())
            dash.comSetup()->grab().save(out.filePath(QStringLiteral("com_setup.png")));
        dash.close();
    });
}

// For scripts: records from the first good frame after the link is up.
void ScheduleRecording(quarn::SuperDash& dash, const QString& file) {
    auto* poll = new QTimer(&dash);
    poll->setInterval(100);
    QObject::connect(poll, &QTimer::timeout, &dash, [&dash, file, poll] {
        if (!dash.PanelText(2).startsWith(QStringLiteral("Ready"))) return;
        poll->stop();
        dash.ShowLogging();
        quarn::Logging* window = dash.logging();
        window->logFile()->setText(file);
        window->askOverwrite = [](const QString&) { return true; };
        window->Record_Click();
    });
    poll->start();
}

}  // namespace

int main(int argc, char** argv) {
    const auto programStart = std::chrono::steady_clock::now();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarn_Dash"));
    QApplication::setApplicationVersion(QString::fromLatin1(quarn::kVersionText));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Monitors and logs EEC-IV engine computers through the Quarn-IV data logger."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Run against the built-in simulated box."));
    const QCommandLineOption boxArgs(
        QStringLiteral("boxsim-args"),
        QStringLiteral("Arguments for the simulated box of --demo (default \"--pace\")."),
        QStringLiteral("args"), QStringLiteral("--pace"));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                       QStringLiteral("End the program after this many seconds."),
                                       QStringLiteral("seconds"));
    const QCommandLineOption stats(
        QStringLiteral("stats"),
        QStringLiteral("Print frame counts to standard error at the end."));
    const QCommandLineOption shots(
        QStringLiteral("screenshots"),
        QStringLiteral("Save pictures of the windows into dir, then end."), QStringLiteral("dir"));
    const QCommandLineOption record(
        QStringLiteral("record"),
        QStringLiteral("Start recording into file (replacing it) once the link is up."),
        QStringLiteral("file"));
    const QCommandLineOption scopes(QStringLiteral("scopes"),
                                    QStringLiteral("Open this many scope windows at the start."),
                                    QStringLiteral("count"));
    parser.addOptions({demo, boxArgs, quitAfter, stats, shots, record, scopes});
    parser.process(app);

    quarn::DemoBox box;
    if (parser.isSet(demo)) {
        QString error;
        const QStringList args = parser.value(boxArgs).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!box.Start(args, &error)) {
            std::fprintf(stderr, "quarn-dash: %s\n", qPrintable(error));
            return 1;
        }
    }

    quarn::Splash splash;
    splash.show();
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
                         static_cast<long long>(dash.log().NextRecord - 1),
                         dash.monitor().GoodFrameSpanSeconds(),
                         std::chrono::duration<double>(dash.monitor().FirstGoodAt() - programStart)
                             .count());
        dash.close();
    };
    if (parser.isSet(quitAfter))
        QTimer::singleShot(static_cast<int>(parser.value(quitAfter).toDouble() * 1000), &dash,
                           finish);
    if (parser.isSet(shots)) ScheduleScreenshots(dash, splash, parser.value(shots));
    if (parser.isSet(record)) ScheduleRecording(dash, parser.value(record));
    if (parser.isSet(scopes)) {
        // Opened as a user opens them, through the View menu.
        const int count = parser.value(scopes).toInt();
        QTimer::singleShot(0, &dash, [&dash, count] {
            auto* open = dash.findChild<QAction*>(QStringLiteral("mnuViewquarnscope1"));
            for (int i = 0; open && i < count; ++i) open->trigger();
        });
    }

    QTimer::singleShot(0, &dash, [&dash, &splash] { dash.Form_Load(&splash); });
    return QApplication::exec();
}
