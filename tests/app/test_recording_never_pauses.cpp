// A recording from the simulated box keeps growing while each heavy
// operation of the program runs: frames are recorded during the operation,
// not only after it. The group holds one entry per operation; a new one is
// a HeavyOperation added to HeavyOperations(). Also: quitting during an
// export leaves no temporary file behind.

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "RecordingRig.h"
#include "settings/SessionProperties.h"
#include "settings/VehicleLimitKeys.h"

namespace quarn {
namespace {

using test::HeavyOperation;
using test::RecordingRig;

QMessageBox* VisibleMessageBox(QWidget* parent) {
    for (QMessageBox* box : parent->findChildren<QMessageBox*>())
        if (box->isVisible()) return box;
    return nullptr;
}

QStringList Temporaries(const QString& folder, const QString& csvName) {
    return QDir(folder).entryList({QLatin1Char('.') + csvName + QLatin1Char('*')},
                                  QDir::Files | QDir::Hidden);
}

// A vehicle file whose limit lines are all refused, as many as fit.
QByteArray VehicleFileWithBadLimits(int lines) {
    QByteArray text = "weight=3500\ninjsize=36\nnumcyl=8\n";
    for (int i = 0; i < lines; ++i) text += "limit.x=1\n";
    return text;
}

TEST(RecordingNeverPauses, FramesAreRecordedWhileEachHeavyOperationRuns) {
    RecordingRig rig;
    if (!rig.Start({})) GTEST_SKIP() << "no simulator";
    SuperDash& dash = rig.dash();

    // Logging Control's export of a log of 300,000 records (14 MB).
    const QString bigLog = rig.Path(QStringLiteral("big.qz0"));
    const QString csv = rig.Path(QStringLiteral("big.csv"));
    ASSERT_TRUE(test::WriteBigLog(bigLog, 300000));
    // A vehicle file of 6,000 refused limit lines.
    const QString vf = rig.Path(QStringLiteral("bad.vf"));
    {
        QFile file(vf);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(VehicleFileWithBadLimits(6000));
    }
    QString boxText;
    int boxHeight = 0;
    std::int64_t boxOpenedAt = 0;

    const std::vector<HeavyOperation> ops{
        {"Logging Control export", [&] { dash.logging()->ExportTo(bigLog, csv); },
         [&] { return !dash.logging()->exporting(); }},
        // Finished once the recording has gone on for a while with the
        // message up.
        {"vehicle file with 6,000 bad limit lines",
         [&] {
             dash.ShowSessionProperties();
             dash.sessionProperties()->fileNameBox()->setText(vf);
             dash.sessionProperties()->LoadVehicle_Click();
         },
         [&] {
             QMessageBox* box = VisibleMessageBox(dash.sessionProperties());
             if (!box) return false;
             if (boxOpenedAt == 0) {
                 boxOpenedAt = rig.Records();
                 boxText = box->text();
                 boxHeight = box->height();
             }
             if (rig.Records() < boxOpenedAt + 20) return false;
             box->close();
             return true;
         }},
    };
    const std::vector<test::OperationSpan> spans = rig.Run(ops);

    for (const test::OperationSpan& span : spans) {
        SCOPED_TRACE(span.name);
        ASSERT_TRUE(span.completed);
        // A nested event pump, or the whole operation inside one handler,
        // records nothing between its start and its end.
        EXPECT_GE(span.RecordsDuring(), 2);
    }

    // The export is whole and nothing temporary is left.
    EXPECT_GT(QFileInfo(csv).size(), 0);
    EXPECT_TRUE(Temporaries(rig.Path({}), QStringLiteral("big.csv")).isEmpty());
    // The message lists a few lines, says how many more there are, and fits
    // the screen.
    EXPECT_EQ(boxText.count(QStringLiteral("Line ")), kListedLimitProblems) << boxText.toStdString();
    EXPECT_TRUE(boxText.endsWith(QStringLiteral("... and 5990 more"))) << boxText.toStdString();
    EXPECT_LT(boxHeight, QGuiApplication::primaryScreen()->availableGeometry().height());
}

// The program ends without unwinding its handlers, so an export in flight
// must be stopped, and its temporary removed, before the end.
TEST(RecordingNeverPauses, QuittingDuringAnExportLeavesNoTemporaryFile) {
    QTemporaryDir dir;
    test::RecordingAlerts alerts;
    DashOptions options;
    options.alerts = &alerts;
    options.settingsPath = dir.filePath(QStringLiteral("quarnom.ini"));
    options.splashSeconds = 0;
    SuperDash dash(std::move(options));
    dash.ShowLogging();
    Logging* window = dash.logging();
    window->askOverwrite = [](const QString&) { return true; };
    const QString log = dir.filePath(QStringLiteral("run.qz0"));
    const QString csv = dir.filePath(QStringLiteral("run.csv"));
    ASSERT_TRUE(test::WriteBigLog(log, 400000));

    QStringList atTheEnd{QStringLiteral("(the program did not end)")};
    alerts.onEnd = [&] { atTheEnd = Temporaries(dir.path(), QStringLiteral("run.csv")); };
    // From the event loop, as a user's close comes while the export runs.
    QTimer::singleShot(0, &dash, [&] { dash.close(); });
    window->ExportTo(log, csv);
    ASSERT_TRUE(window->exporting()) << "the export ended before the program";
    for (int i = 0; i < 300 && alerts.log.empty(); ++i) {
        QEventLoop pause;
        QTimer::singleShot(10, &pause, &QEventLoop::quit);
        pause.exec();
    }
    EXPECT_EQ(alerts.log, std::vector<std::string>{"end"});
    EXPECT_TRUE(atTheEnd.isEmpty()) << atTheEnd.join(u' ').toStdString();
    EXPECT_FALSE(window->exporting());
    EXPECT_FALSE(QFileInfo::exists(csv));
}

}  // namespace
}  // namespace quarn
