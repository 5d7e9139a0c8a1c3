// The message boxes and file dialogs of the feature windows, each opened
// while the dashboard records from the simulated box through a real
// pseudo-terminal: the log must go on growing while the dialog is open. A
// dialog run in a nested event loop holds the monitoring loop, which called
// its handler, until the dialog closes.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "SimProcess.h"
#include "about/Browser.h"
#include "about/AboutBox.h"
#include "app/SuperDash.h"
#include "TestDash.h"
#include "diagnostics/SelfTester.h"
#include "link/LinkFakes.h"
#include "logging/Logging.h"
#include "scope/ScopeSlots.h"
#include "settings/SessionProperties.h"

namespace quarn {
namespace {

using test::SimProcess;

class NoBrowser final : public Browser {
public:
    QString Find() const override { return {}; }
    bool Launch(const QString&, const QString&) override { return false; }
};

// The dialog open over the windows, if any.
QDialog* OpenDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && !qobject_cast<AboutBox*>(d))
            return d;
    return nullptr;
}

TEST(DialogsWhileRecording, TheLogGrowsWhileEachDialogIsOpen) {
    if (!SimProcess::Built()) GTEST_SKIP() << "no simulator";
    QTemporaryDir dir;
    SimProcess sim;
    const QString link = dir.filePath(QStringLiteral("box"));
    ASSERT_TRUE(sim.Start({}, link));
    qputenv("QUARN_COM1", QFile::encodeName(link));
    const QString ini = dir.filePath(QStringLiteral("quarnom.ini"));
    ASSERT_TRUE(WriteSettings(1, ini));
    test::RecordingAlerts alerts;
    const auto owned = test::MakeTestDash(alerts, dir.path(), 0.05);
    SuperDash& dash = *owned;
    dash.ShowLogging();
    dash.logging()->logFile()->setText(dir.filePath(QStringLiteral("run.qz0")));
    NoBrowser noBrowser;

    struct Opener {
        const char* name;
        std::function<void()> open;
        std::function<void()> close = {};  // none: the dialog is cancelled
    };
    const std::vector<Opener> openers{
        {"self test report", [&] {
             dash.ShowSelfTester();
             dash.selfTester()->cmdSaveReport_Click();
         }},
        {"vehicle browse", [&] {
             dash.ShowSessionProperties();
             dash.sessionProperties()->findChild<QPushButton*>(QStringLiteral("cmdBrowse"))->click();
         }},
        {"vehicle save", [&] { dash.sessionProperties()->SaveVehicle_Click(); }},
        {"vehicle load failure", [&] {
             dash.sessionProperties()->fileNameBox()->setText(dir.filePath(QStringLiteral("no.vf")));
             dash.sessionProperties()->LoadVehicle_Click();
         }},
        {"eleventh scope", [&] {
             for (int i = 0; i <= ScopeSlots::kLastSlot; ++i) dash.scopes().Open();
         }},
        {"no browser", [&] {
             auto* about = new AboutBox(&dash, &noBrowser);
             about->setAttribute(Qt::WA_DeleteOnClose);
             about->show();
             about->visitweb()->click();
         }},
        // Closing the window before the prompt is answered calls the test off.
        {"self test prompt", [&] {
             dash.ShowSelfTester();
             dash.selfTester()->STGo_Click();
         },
         [&] { dash.selfTester()->close(); }},
    };

    // Each opener runs from its own event, so that a nested loop it starts
    // leaves this script running.
    std::vector<std::string> frozen;
    std::size_t next = 0;
    bool waiting = false;
    std::int64_t mark = 0;
    QElapsedTimer since;
    QTimer script;
    script.setInterval(10);
    QObject::connect(&script, &QTimer::timeout, [&] {
        Monitor& m = dash.monitor();
        Logging* window = dash.logging();
        if (!dash.state().Recording) {
            if (next == 0 && m.GoodFrames() >= 20) window->Record_Click();
            return;
        }
        const std::int64_t records = dash.log().recorder().NextRecord() - 1;
        if (!waiting) {
            if (next == openers.size()) {
                window->Halt_Click();
                dash.state().Monitoring = false;
                return;
            }
            QTimer::singleShot(0, &dash, openers[next].open);
            waiting = true;
            mark = -1;
            since.start();
            return;
        }
        QDialog* dialog = OpenDialog();
        if (dialog && mark < 0) mark = records;  // the dialog is up
        const bool grew = dialog && mark >= 0 && records >= mark + 30;
        if (!grew && since.elapsed() < 3000) return;
        if (!grew) frozen.push_back(openers[next].name);
        if (openers[next].close)
            openers[next].close();
        else if (dialog)
            dialog->reject();
        waiting = false;
        ++next;
    });
    QTimer::singleShot(60000, &dash, [&] { dash.state().Monitoring = false; });
    script.start();
    dash.StartUp(nullptr);
    script.stop();

    EXPECT_EQ(next, openers.size()) << "the script did not get through the dialogs";
    EXPECT_EQ(frozen, std::vector<std::string>{}) << "the log stood still under these dialogs";
    qunsetenv("QUARN_COM1");
}

}  // namespace
}  // namespace quarn
