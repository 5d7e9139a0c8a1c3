// Covers the session properties as the dashboard opens them: the tab rule,
// the vehicle boxes driving the numbers the conversion and the fuel economy
// use (defaults, edits from the next frame on, refused texts marked at the
// box while the last valid value stays), hiding on close without losing the
// car, and vehicle files loaded and saved through the window.

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QDir>
#include <QRadioButton>
#include <QCheckBox>
#include <QAction>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QScreen>
#include <QTest>

#include "MessageCatcher.h"
#include "TestDash.h"
#include "logging/Logging.h"
#include "settings/LimitsWindow.h"
#include "settings/UserChoices.h"
#include "settings/SessionProperties.h"
#include "decode/Conversion.h"
#include "settings/ComSetup.h"
#include "settings/SessionProperties.h"
#include "settings/LimitsWindow.h"
#include "settings/UserChoices.h"

namespace quarn {
namespace {

using Box = SessionProperties::Box;

class SessionPropertiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A user configuration of this test's own: the car remembered for the
        // next start lives there.
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
        dash = test::MakeTestDash(alerts, m_dir.path());
        test::ChooseMenu(*dash, "mnuSessionProperties");
        vp = dash->sessionProperties();
        ASSERT_NE(vp, nullptr);
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", m_oldConfig); }

    // A second start of the program: a new dashboard with its session
    // properties open.
    std::unique_ptr<SuperDash> Restart(SessionProperties*& window) {
        auto next = test::MakeTestDash(alerts, m_dir.path());
        test::ChooseMenu(*next, "mnuSessionProperties");
        window = next->sessionProperties();
        return next;
    }

    QString File(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    // Types into a box as a user does: select everything, then key by key,
    // then Enter.
    static void Type(QLineEdit* box, const QString& text) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    }
    // A text put into a box at once, as a paste does, then Enter.
    static void Paste(QLineEdit* box, const QString& text) {
        box->setText(text);
        QTest::keyClick(box, Qt::Key_Return);
    }

    // The wheel power of one frame accelerating at a known rate.
    float FramePower() {
        ChannelRecord rec;
        rec.VssPeriodPrev = 8291;
        rec.VssPeriod = 6909;
        rec.AccelInterval = 57582;
        m_conversion.ComputeChannels(rec, dash->vehicle());
        return rec.Rwhp;
    }

    QTemporaryDir m_dir;
    QByteArray m_oldConfig;
    test::RecordingAlerts alerts;
    std::unique_ptr<SuperDash> dash;
    SessionProperties* vp = nullptr;
    Conversion m_conversion;
};

TEST_F(SessionPropertiesTest, DefaultsReachTheConversionAndEditsCountFromTheNextFrame) {
    EXPECT_EQ(vp->box(Box::weight)->text(), QStringLiteral("3500"));
    EXPECT_NEAR(FramePower(), 469.0404, 1e-3);
    const double mpg = FuelEconomyMpg(10, 60, dash->vehicle());
    EXPECT_NEAR(mpg, 13.19, 0.005);

    Type(vp->box(Box::weight), QStringLiteral("1750"));
    EXPECT_NEAR(FramePower(), 469.0404 / 2, 1e-3);
    Type(vp->box(Box::injsize), QStringLiteral("18"));
    Type(vp->box(Box::numcyl), QStringLiteral("4"));
    EXPECT_NEAR(FuelEconomyMpg(10, 60, dash->vehicle()), mpg * 4, 1e-9);
}

// A number counts once its edit is finished: half-typed, it would put 3, 35
// and 350 lb into the power figures on the way to 3500, and "35OO" (letters)
// would leave 35 lb in use.
TEST_F(SessionPropertiesTest, ANumberCountsOnlyOnceItsEditIsFinished) {
    QLineEdit* weight = vp->box(Box::weight);
    EXPECT_TRUE(weight->toolTip().contains(QStringLiteral("at most 100000.")))
        << weight->toolTip().toStdString();
    weight->setFocus();
    weight->selectAll();
    std::vector<double> seen;
    for (const QChar c : QStringLiteral("35OO")) {
        QTest::keyClicks(weight, QString(c));
        seen.push_back(dash->vehicle().weight());
    }
    EXPECT_EQ(seen, (std::vector<double>{3500, 3500, 3500, 3500}));
    QTest::keyClick(weight, Qt::Key_Return);
    EXPECT_TRUE(vp->refused(Box::weight));
    EXPECT_EQ(vp->hint(Box::weight)->text(), QStringLiteral("Refused: 3500 stays in use"));
    EXPECT_EQ(dash->vehicle().weight(), 3500);

    // A pause in typing finishes the edit too.
    weight->selectAll();
    QTest::keyClicks(weight, QStringLiteral("3300"));
    EXPECT_EQ(dash->vehicle().weight(), 3500);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dash->vehicle().weight() == 3300; }, 10000));
    EXPECT_FALSE(vp->refused(Box::weight));
}

// The car in use at the end is the one in use at the next start; with none
// remembered, the window names no file and no car.
TEST_F(SessionPropertiesTest, TheCarInUseAtTheEndIsInUseAtTheNextStart) {
    EXPECT_TRUE(vp->fileNameBox()->text().isEmpty());
    EXPECT_TRUE(vp->nameBox()->text().isEmpty());

    vp->nameBox()->setText(QStringLiteral("Fox 5.0"));
    Type(vp->box(Box::weight), QStringLiteral("3010"));
    ASSERT_TRUE(vp->SaveVehicleTo(File("fox.vf")));
    SessionProperties* second = nullptr;
    auto again = Restart(second);
    EXPECT_EQ(again->vehicle().weight(), 3010);
    EXPECT_EQ(second->box(Box::weight)->text(), QStringLiteral("3010"));
    EXPECT_EQ(second->fileNameBox()->text(), File("fox.vf"));
    EXPECT_EQ(second->nameBox()->text(), QStringLiteral("Fox 5.0"));

    // Changed after the save: that car is in no file, so nothing is named.
    Type(second->box(Box::weight), QStringLiteral("3020"));
    SessionProperties* third = nullptr;
    auto once_more = Restart(third);
    EXPECT_EQ(once_more->vehicle().weight(), 3500);
    EXPECT_TRUE(third->fileNameBox()->text().isEmpty());
    // quarnom.ini keeps only what it always held.
    QFile ini(m_dir.filePath(QStringLiteral("quarnom.ini")));
    if (ini.open(QIODevice::ReadOnly)) {
        EXPECT_FALSE(ini.readAll().contains("vehicle"));
    }
}

// The serial port setup opens centred on the screen, as the session
// properties' neighbours on the Hardware Setup menu do.
TEST_F(SessionPropertiesTest, SerialPortSetupOpensCentredOnTheScreen) {
    test::ChooseMenu(*dash, "mnuSerialCommunication");
    ASSERT_NE(dash->comSetup(), nullptr);
    const QPoint centre = dash->comSetup()->screen()->availableGeometry().center();
    const QPoint at = dash->comSetup()->geometry().center();
    EXPECT_LE((at - centre).manhattanLength(), 8) << at.x() << "," << at.y();
}

// The Datalogging tab is in force at once and at the next start: the
// throttle trigger, the record key, reconnecting, the folder and the cap.
TEST_F(SessionPropertiesTest, DataloggingChoicesTakeEffectAndAreKeptForTheNextStart) {
    auto* trigger = vp->findChild<QRadioButton*>(QStringLiteral("Option1"));
    auto* tps = vp->findChild<QRadioButton*>(QStringLiteral("Option2"));
    auto* key = vp->findChild<QRadioButton*>(QStringLiteral("Option3"));
    auto* reconnect = vp->findChild<QCheckBox*>(QStringLiteral("Check1"));
    auto* folder = vp->findChild<QLineEdit*>(QStringLiteral("Text4"));
    auto* rate = vp->findChild<QLineEdit*>(QStringLiteral("Text3"));
    ASSERT_TRUE(trigger && tps && key && reconnect && folder && rate);
    auto* recordKey = dash->findChild<QAction*>(QStringLiteral("mnuFileRecordKey"));
    ASSERT_NE(recordKey, nullptr);

    // The defaults: recording by hand, reconnecting, a folder under the
    // documents, every frame; no trigger input to be had.
    EXPECT_FALSE(trigger->isEnabled());
    EXPECT_FALSE(trigger->toolTip().isEmpty());
    EXPECT_FALSE(tps->isChecked() || key->isChecked());
    EXPECT_TRUE(reconnect->isChecked());
    EXPECT_TRUE(dash->monitor().ReconnectOn());
    EXPECT_EQ(QDir::fromNativeSeparators(folder->text()), DefaultDatalogDirectory());
    EXPECT_FALSE(folder->text().contains(QStringLiteral("windows"), Qt::CaseInsensitive));
    EXPECT_EQ(dash->log().recorder().Directory(), DefaultDatalogDirectory());
    EXPECT_FALSE(dash->log().recorder().TpsTrigger());
    EXPECT_FALSE(recordKey->isEnabled());

    tps->click();
    EXPECT_TRUE(dash->log().recorder().TpsTrigger());
    key->click();  // one at a time
    EXPECT_FALSE(tps->isChecked());
    EXPECT_FALSE(dash->log().recorder().TpsTrigger());
    EXPECT_TRUE(recordKey->isEnabled());
    reconnect->click();
    EXPECT_FALSE(dash->monitor().ReconnectOn());
    Paste(folder, File("runs"));
    EXPECT_EQ(dash->log().recorder().Directory(), File("runs"));
    Paste(rate, QStringLiteral("50"));

    SessionProperties* second = nullptr;
    auto again = Restart(second);
    EXPECT_TRUE(second->findChild<QRadioButton*>(QStringLiteral("Option3"))->isChecked());
    EXPECT_FALSE(second->findChild<QCheckBox*>(QStringLiteral("Check1"))->isChecked());
    EXPECT_EQ(second->dataloggingChoices().maxRate, 50);
    EXPECT_EQ(again->log().recorder().Directory(), File("runs"));
    EXPECT_FALSE(again->monitor().ReconnectOn());
    EXPECT_TRUE(again->findChild<QAction*>(QStringLiteral("mnuFileRecordKey"))->isEnabled());
    // The log name box offers a dated file in that folder.
    again->ShowLogging();
    EXPECT_TRUE(again->logging()->logFile()->text().startsWith(QDir::toNativeSeparators(File("runs"))));
    EXPECT_TRUE(again->logging()->logFile()->text().endsWith(QStringLiteral(".qz0")));

    // A click on the picked option clears it: recording by hand again.
    second->findChild<QRadioButton*>(QStringLiteral("Option3"))->click();
    EXPECT_EQ(second->dataloggingChoices().start, DataloggingChoices::Start::Manual);
    EXPECT_FALSE(again->findChild<QAction*>(QStringLiteral("mnuFileRecordKey"))->isEnabled());
}

// Limits edited in the Limits window outlast the run without a Save.
TEST_F(SessionPropertiesTest, EditedLimitsAreKeptForTheNextStart) {
    test::ChooseMenu(*dash, "mnuLimits");
    ASSERT_NE(dash->limitsWindow(), nullptr);
    const int ect = AlarmChannelIndex(Gauge::ECT);
    QLineEdit* dangerHigh = dash->limitsWindow()->box(ect, LimitKind::DangerHigh);
    Paste(dangerHigh, QStringLiteral("241"));
    ASSERT_EQ(dash->alarms().limits()[static_cast<std::size_t>(ect)].dangerHigh, 241);
    SessionProperties* second = nullptr;
    auto again = Restart(second);
    EXPECT_EQ(again->alarms().limits()[static_cast<std::size_t>(ect)].dangerHigh, 241);
}

TEST_F(SessionPropertiesTest, TabTwoShowsOnlyTheDataloggingControlsAndTabOneBringsTheCarBack) {
    auto shown = [&](const char* name) {
        auto* w = vp->findChild<QWidget*>(QString::fromLatin1(name));
        return w && w->isVisible();
    };
    for (int tab : {1, 0}) {
        vp->tabStrip()->setCurrentIndex(tab);
        for (const char* name : {"Text5", "weight", "numcyl", "cmdSave"})
            EXPECT_EQ(shown(name), tab == 0) << name;
        for (const char* name : {"Option1", "Check1", "Text4", "Text3"})
            EXPECT_EQ(shown(name), tab == 1) << name;
    }
}

TEST_F(SessionPropertiesTest, RefusedTextIsMarkedAtItsBoxAndTheLastValidValueStaysAfterClosing) {
    const float power = FramePower();
    // Pasted at once: typed key by key, "1e9" would pass through a valid 1.
    for (const char* bad : {"heavy", "0", "-3500", "", "1e9"}) {
        Paste(vp->box(Box::weight), QString::fromLatin1(bad));
        EXPECT_TRUE(vp->refused(Box::weight)) << bad;
        EXPECT_TRUE(vp->hint(Box::weight)->isVisible()) << bad;
        EXPECT_EQ(vp->hint(Box::weight)->text(), QStringLiteral("Refused: 3500 stays in use"));
        EXPECT_EQ(FramePower(), power) << bad;
    }
    Paste(vp->box(Box::numcyl), QStringLiteral("6.5"));
    EXPECT_TRUE(vp->refused(Box::numcyl));
    EXPECT_EQ(dash->vehicle().numcyl(), 8);
    for (const Box b : {Box::cda, Box::crr}) {
        for (const char* bad : {"0", "-0.5"}) {
            Paste(vp->box(b), QString::fromLatin1(bad));
            EXPECT_TRUE(vp->refused(b)) << bad;
            EXPECT_TRUE(vp->hint(b)->isVisible()) << bad;
        }
    }
    EXPECT_EQ(dash->vehicle().cda(), VehicleData::kDefaultCdA);
    EXPECT_EQ(dash->vehicle().crr(), VehicleData::kDefaultCrr);
    Type(vp->box(Box::cda), QStringLiteral("0.62"));
    EXPECT_FALSE(vp->refused(Box::cda));
    EXPECT_EQ(dash->vehicle().cda(), 0.62);

    Type(vp->box(Box::weight), QStringLiteral("2980.5"));
    EXPECT_FALSE(vp->refused(Box::weight));
    EXPECT_FALSE(vp->hint(Box::weight)->isVisible());
    EXPECT_EQ(dash->vehicle().weight(), 2980.5);

    // Closing only hides the window: the car it shows stays in force.
    QPointer<SessionProperties> kept = vp;
    vp->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(kept.isNull());
    test::ChooseMenu(*dash, "mnuSessionProperties");
    EXPECT_EQ(dash->sessionProperties(), vp);
    EXPECT_EQ(vp->box(Box::weight)->text(), QStringLiteral("2980.5"));
    EXPECT_EQ(dash->vehicle().weight(), 2980.5);
}

TEST_F(SessionPropertiesTest, VehicleFileRoundTripAndBadFilesChangeNothing) {
    vp->fileNameBox()->setText(File("fox.vf"));
    vp->nameBox()->setText(QStringLiteral("Fox 5.0"));
    vp->descriptionBox()->setPlainText(QStringLiteral("Notchback\nStage 2 cam"));
    Type(vp->box(Box::weight), QStringLiteral("3010"));
    Type(vp->box(Box::injsize), QStringLiteral("24.5"));
    ASSERT_TRUE(vp->SaveVehicleTo(File("fox.vf")));

    vp->nameBox()->setText(QStringLiteral("Other car"));
    vp->descriptionBox()->clear();
    Type(vp->box(Box::weight), QStringLiteral("4000"));
    Type(vp->box(Box::injsize), QStringLiteral("19"));
    ASSERT_TRUE(vp->LoadVehicle_Click());
    EXPECT_EQ(vp->nameBox()->text(), QStringLiteral("Fox 5.0"));
    EXPECT_EQ(vp->descriptionBox()->toPlainText(), QStringLiteral("Notchback\nStage 2 cam"));
    EXPECT_EQ(vp->box(Box::weight)->text(), QStringLiteral("3010"));
    EXPECT_EQ(dash->vehicle().injsize(), 24.5);
    EXPECT_TRUE(vp->SaveVehicleTo(File("fox.vf")));  // an earlier vehicle file is replaced

    QFile bad(File("bad.vf"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("weight=0\ninjsize=36\nnumcyl=8\n");
    bad.close();
    for (const QString& path : {bad.fileName(), File("missing.vf")}) {
        vp->fileNameBox()->setText(path);
        const auto message = test::CatchMessage([&] { EXPECT_FALSE(vp->LoadVehicle_Click()); });
        ASSERT_TRUE(message.has_value());
        EXPECT_EQ(message->icon, QMessageBox::Warning);
        EXPECT_TRUE(message->text.contains(QStringLiteral("Nothing was changed")));
        EXPECT_EQ(vp->nameBox()->text(), QStringLiteral("Fox 5.0"));
        EXPECT_EQ(dash->vehicle().weight(), 3010);
    }
}

TEST_F(SessionPropertiesTest, SaveRefusesARefusedBoxAndNeverOverwritesAnotherKindOfFile) {
    vp->fileNameBox()->setText(File("car.vf"));
    Type(vp->box(Box::numcyl), QStringLiteral("eight"));
    EXPECT_TRUE(test::CatchMessage([&] { EXPECT_FALSE(vp->SaveVehicle_Click()); }).has_value());
    EXPECT_FALSE(QFile::exists(File("car.vf")));

    Type(vp->box(Box::numcyl), QStringLiteral("8"));
    QFile notes(File("notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("my notes\n");
    notes.close();
    EXPECT_TRUE(
        test::CatchMessage([&] { EXPECT_FALSE(vp->SaveVehicleTo(notes.fileName())); }).has_value());
    ASSERT_TRUE(notes.open(QIODevice::ReadOnly));
    EXPECT_EQ(notes.readAll(), QByteArray("my notes\n"));
}

}  // namespace
}  // namespace quarn
