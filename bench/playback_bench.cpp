// Playback speed at "Max" through the real dashboard, offscreen: a generated
// log of records is played through decoding, conversion, the gauges and any
// open scopes, and the records per second are printed.
//   playback_bench [records] [scopes]

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

#include "app/SuperDash.h"
#include "link/LinkFakes.h"
#include "logging/LogFormat.h"
#include "logging/Logging.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long records = argc > 1 ? std::atol(argv[1]) : 200000;
    const int scopes = argc > 2 ? std::atoi(argv[2]) : 0;

    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath(QStringLiteral("bench.qz0")).toStdString();
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::mt19937 rng(3);
        std::uniform_int_distribution<int> analog(0, 1023), timer(1, 65535);
        for (long i = 0; i < records; ++i) {
            quarn::RawFrame raw;
            for (auto& w : raw.analog) w = static_cast<std::uint16_t>(analog(rng));
            for (auto& w : raw.timer) w = static_cast<std::uint16_t>(timer(rng));
            const quarn::RecordBytes rec = quarn::EncodeRecord(quarn::EncodeFrame(raw));
            std::fwrite(rec.data(), 1, rec.size(), f);
        }
        std::fclose(f);
    }

    quarn::test::RecordingAlerts alerts;
    quarn::DashOptions options;
    options.alerts = &alerts;
    options.settingsPath = QDir(dir.path()).filePath(QStringLiteral("quarnom.ini"));
    quarn::SuperDash dash(std::move(options));
    dash.show();
    // Scopes open as the user opens them: through the View menu.
    QAction* openScope = dash.findChild<QAction*>(QStringLiteral("mnuViewquarnscope1"));
    if (scopes > 0 && !openScope) std::fprintf(stderr, "no scope windows in this build\n");
    for (int i = 0; i < scopes && openScope; ++i) openScope->trigger();
    dash.ShowLogging();
    dash.logging()->logFile()->setText(QString::fromStdString(path));
    QApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    dash.logging()->Play_Click();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("played %ld records with the dashboard and %d scopes visible in %.3f s: %.0f records/s\n",
                records, scopes, seconds, records / seconds);
    return 0;
}
