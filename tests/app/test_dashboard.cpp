// The dashboard as a user meets it, offscreen: start-up against the simulated
// box through a real pseudo-terminal with the gauges following its frames,
// the first start without a saved port, the setup dialog, the lamp, the TPS
// tool and closing the window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTextBrowser>
#include <QAction>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include "SimProcess.h"
#include "TestUtil.h"
#include "widgets/DialGauge.h"
#include "app/SuperDash.h"
#include "TestDash.h"
#include "diagnostics/TPSTool.h"
#include "link/LinkFakes.h"
#include "settings/ComSetup.h"

namespace quarn {
namespace {

using test::RecordingAlerts;
using test::SimProcess;

class DashboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_settings = m_dir.filePath(QStringLiteral("quarnom.ini"));
    }
    void TearDown() override { qunsetenv("QUARN_COM1"); }

    std::unique_ptr<SuperDash> MakeDash() {
        return test::MakeTestDash(alerts, m_dir.path(), 0.05);
    }

    bool StartBox(QStringList args = {}) {
        if (!SimProcess::Built()) return false;
        const QString link = m_dir.filePath(QStringLiteral("box"));
        if (!sim.Start(args, link)) return false;
        qputenv("QUARN_COM1", QFile::encodeName(link));
        return true;
    }

    // Runs the start-up (and the monitoring loop it ends in) until stop()
    // says so; the loop then ends at its next pass.
    void RunUntil(SuperDash& dash, const std::function<bool()>& stop, int limitMs = 15000) {
        QTimer watch;
        watch.setInterval(20);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (stop()) dash.state().Monitoring = false;
        });
        QTimer::singleShot(limitMs, &dash, [&dash] { dash.state().Monitoring = false; });
        watch.start();
        dash.StartUp(nullptr);
    }

    QTemporaryDir m_dir;
    QString m_settings;
    RecordingAlerts alerts;
    SimProcess sim;
};

TEST_F(DashboardTest, StartUpWithASavedPortMonitorsAndTheGaugesFollowTheFrames) {
    if (!StartBox({QStringLiteral("--seed"), QStringLiteral("5")})) GTEST_SKIP() << "no simulator";
    ASSERT_TRUE(WriteSettings(1, m_settings));
    auto dash = MakeDash();
    QString readyText;
    RunUntil(*dash, [&] {
        if (dash->status().PanelText(2).startsWith(QStringLiteral("Ready"))) readyText = dash->status().PanelText(2);
        // Wait for a frame-rate display of a second with frames in it.
        return dash->monitor().GoodFrames() >= 400 &&
               dash->status().PanelText(3).section(' ', 0, 0).toInt() > 0;
    });

    EXPECT_EQ(readyText.toStdString(), "Ready @ 115200");
    EXPECT_GE(dash->monitor().GoodFrames(), 400);
    EXPECT_EQ(dash->monitor().BadFrames(), 0);
    EXPECT_TRUE(dash->status().PanelText(3).endsWith(QStringLiteral(" FPS")));
    EXPECT_EQ(dash->status().PanelText(2).toStdString(), "COM Stopped");
    EXPECT_EQ(dash->status().lampColour(), QColor(64, 64, 64));
    EXPECT_TRUE(alerts.log.empty());

    // The needles hold the converted values of the last frame.
    const ChannelRecord& rec = dash->record();
    EXPECT_GT(rec.Rpm, 500);
    EXPECT_EQ(dash->gauge(Gauge::Tach)->NeedleValue(), rec.Rpm);
    EXPECT_EQ(dash->gauge(Gauge::Speedo)->NeedleValue(), rec.Mph);
    EXPECT_EQ(dash->gauge(Gauge::ECT)->NeedleValue(), rec.EctF);
    EXPECT_EQ(dash->gauge(Gauge::EGT)->NeedleValue(0), rec.EgtL);
    EXPECT_EQ(dash->gauge(Gauge::EGT)->NeedleValue(1), rec.EgtR);
    EXPECT_EQ(dash->gauge(Gauge::HEGO)->NeedleValue(1), rec.HegoR);
    EXPECT_EQ(dash->gauge(Gauge::WideBand)->NeedleValue(), rec.WideO2);
    EXPECT_DOUBLE_EQ(dash->gauge(Gauge::MPG)->NeedleValue(),
                     FuelEconomyMpg(rec.InjDuty, rec.Mph, dash->vehicle()));
}

TEST_F(DashboardTest, FirstStartWaitsForThePortChoiceThenConnects) {
    if (!StartBox()) GTEST_SKIP() << "no simulator";
    auto dash = MakeDash();
    bool sawDialogFirst = false;
    QTimer::singleShot(300, dash.get(), [&] {
        ASSERT_NE(dash->comSetup(), nullptr);
        sawDialogFirst = dash->comSetup()->isVisible() && dash->status().PanelText(2).isEmpty() &&
                         dash->link().ComPort() == 0;
        dash->comSetup()->applyButton()->click();
    });
    RunUntil(*dash, [&] { return dash->monitor().GoodFrames() >= 5; });
    EXPECT_TRUE(sawDialogFirst);
    EXPECT_EQ(dash->link().ComPort(), 1);
    EXPECT_EQ(test::ReadBytes(m_settings.toStdString()),
              (std::vector<std::uint8_t>{' ', '1', ' ', '\r', '\n'}));
    EXPECT_GE(dash->monitor().GoodFrames(), 5);
}

TEST_F(DashboardTest, ComStatusWithoutAPortOpensTheSetupDialogInsteadOfEnding) {
    auto dash = MakeDash();
    ASSERT_EQ(dash->link().ComPort(), 0);
    dash->ComStatusClicked();
    ASSERT_NE(dash->comSetup(), nullptr);
    EXPECT_TRUE(dash->comSetup()->isVisible());
    EXPECT_TRUE(alerts.log.empty()) << alerts.log.front();
}

TEST_F(DashboardTest, SetupDialogAppliesKeepsItsChoiceAndStartsAfreshAfterClosing) {
    auto dash = MakeDash();
    dash->link().SetComPort(3);  // the dialog does not show what is in force
    dash->ShowComSetup();
    ComSetup* dialog = dash->comSetup();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->portButton(1)->isChecked());
    EXPECT_TRUE(dialog->rateButton(4)->isChecked());
    EXPECT_FALSE(dialog->portButton(1)->toolTip().isEmpty());  // the device behind Com1

    dialog->portButton(2)->setChecked(true);
    dialog->rateButton(2)->setChecked(true);
    dialog->applyButton()->click();
    EXPECT_EQ(dash->link().ComPort(), 2);
    EXPECT_EQ(dash->link().MaxBaud().toStdString(), "38400");
    EXPECT_EQ(dash->status().PanelText(1).toStdString(), "COM Reset");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(test::ReadBytes(m_settings.toStdString()),
              (std::vector<std::uint8_t>{' ', '2', ' ', '\r', '\n'}));

    dash->ShowComSetup();  // Apply only hid it: the choice is still there
    EXPECT_EQ(dash->comSetup(), dialog);
    EXPECT_TRUE(dialog->portButton(2)->isChecked());
    EXPECT_TRUE(dialog->rateButton(2)->isChecked());

    dialog->close();  // the close button destroys it without applying
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(dash->comSetup(), nullptr);
    dash->ShowComSetup();
    EXPECT_TRUE(dash->comSetup()->portButton(1)->isChecked());
    EXPECT_TRUE(dash->comSetup()->rateButton(4)->isChecked());
}

TEST_F(DashboardTest, LampColoursAndStatusPanels) {
    auto dash = MakeDash();
    // No port chosen, nothing connected: the lamp is not green.
    EXPECT_EQ(dash->status().lampColour(), QColor(64, 64, 64));
    // A playback carries no link: the lamp turns grey beside "COM Stopped".
    dash->status().SetComStat(1);
    dash->PlaybackStarting();
    EXPECT_EQ(dash->status().lampColour(), QColor(64, 64, 64));
    const std::pair<int, QColor> colours[] = {{0, QColor(64, 64, 64)},
                                              {1, QColor(0, 255, 0)},
                                              {2, QColor(255, 255, 0)},
                                              {3, QColor(255, 0, 0)}};
    for (const auto& [code, colour] : colours) {
        dash->status().SetComStat(static_cast<std::int16_t>(code));
        EXPECT_EQ(dash->status().lampColour(), colour) << code;
    }
    dash->status().SetComStat(7);  // unknown codes leave the lamp alone
    EXPECT_EQ(dash->status().lampColour(), QColor(255, 0, 0));

    dash->status().SetPanelText(5, QStringLiteral("x"));
    EXPECT_EQ(dash->status().PanelText(5).toStdString(), "x");
    dash->status().SetPanelText(6, QStringLiteral("ignored"));
    EXPECT_TRUE(dash->status().PanelText(6).isEmpty());
}

TEST_F(DashboardTest, TpsToolOpensOnceAndIsFedOnlyWhileVisible) {
    auto dash = MakeDash();
    dash->show();
    dash->ShowTpsTool();
    TPSTool* tool = dash->tpsTool();
    ASSERT_NE(tool, nullptr);
    emit dash->gauge(Gauge::TPS)->clicked();  // the dashboard's throttle dial
    EXPECT_EQ(dash->tpsTool(), tool);

    dash->record().TpsVolts = 0.93f;
    dash->UpdateDash();
    EXPECT_FLOAT_EQ(tool->gauge()->NeedleValue(), 0.93f);
    tool->hide();
    dash->record().TpsVolts = 0.97f;
    dash->UpdateDash();
    EXPECT_FLOAT_EQ(tool->gauge()->NeedleValue(), 0.93f);
    EXPECT_FLOAT_EQ(dash->gauge(Gauge::TPS)->NeedleValue(), 0.97f);
}

TEST_F(DashboardTest, ClosingTheDashboardEndsTheProgram) {
    auto dash = MakeDash();
    dash->show();
    dash->close();
    ASSERT_FALSE(alerts.log.empty());
    EXPECT_EQ(alerts.log.back(), "end");
}

TEST_F(DashboardTest, FileQuitEndsTheProgram) {
    auto dash = MakeDash();
    dash->show();
    test::ChooseMenu(*dash, "mnuFileQuit");
    ASSERT_FALSE(alerts.log.empty());
    EXPECT_EQ(alerts.log.back(), "end");
}

// Help holds a guide beside About, opened without blocking, that lists every
// shortcut the menus and the window hold.
TEST_F(DashboardTest, TheUserGuideListsEveryShortcutOfTheMenus) {
    auto dash = MakeDash();
    dash->show();
    test::ChooseMenu(*dash, "mnuHelpGuide");
    auto* guide = qobject_cast<QTextBrowser*>(dash->userGuide());
    ASSERT_NE(guide, nullptr);
    EXPECT_TRUE(guide->isVisible());
    EXPECT_FALSE(guide->isModal());
    const QString text = guide->toPlainText();
    for (const char* topic : {"port", "lamp", "Record", "Self Test", "dyno"})
        EXPECT_TRUE(text.contains(QLatin1String(topic), Qt::CaseInsensitive)) << topic;
    int shortcuts = 0;
    for (QAction* action : dash->findChildren<QAction*>()) {
        if (action->shortcut().isEmpty()) continue;
        ++shortcuts;
        EXPECT_TRUE(text.contains(action->shortcut().toString(QKeySequence::NativeText)))
            << action->text().toStdString();
    }
    EXPECT_GE(shortcuts, 3);  // Quit, the marker, full screen at least
}

// While recording, closing asks first, with a box that holds no frames; No
// keeps the program and the recording, Yes stops the recording and quits.
TEST_F(DashboardTest, ClosingWhileRecordingAsksFirst) {
    auto dash = MakeDash();
    dash->show();
    dash->state().Recording = true;
    auto openBox = [&]() -> QMessageBox* {
        for (auto* box : dash->findChildren<QMessageBox*>())
            if (box->isVisible()) return box;
        return nullptr;
    };
    dash->close();
    EXPECT_TRUE(alerts.log.empty());
    QMessageBox* box = openBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains(QStringLiteral("Stop the recording")));
    dash->close();  // a second close raises the same question
    EXPECT_EQ(dash->findChildren<QMessageBox*>().size(), 1);

    box->button(QMessageBox::No)->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(alerts.log.empty());
    EXPECT_TRUE(dash->state().Recording);

    dash->close();
    box = openBox();
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::Yes)->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(dash->state().Recording);
    ASSERT_FALSE(alerts.log.empty());
    EXPECT_EQ(alerts.log.back(), "end");
}

}  // namespace
}  // namespace quarn
