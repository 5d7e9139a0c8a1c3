// Covers the Self Test Tool window: a run on the fake box shown in the lamp,
// the digits and the code list, closing the window in the middle of a run,
// saving the report, the dashboard's menu entry, the prompt's Cancel, long
// code meanings, and a whole test against quarn-boxsim answering late
// through a real pseudo-terminal.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "SelfTestRig.h"
#include "SimProcess.h"
#include "app/SuperDash.h"
#include "TestDash.h"
#include "diagnostics/SelfTester.h"
#include "sim/LampSequence.h"

#include <iostream>

namespace quarn::test {
namespace {

// Presses the default button (OK) on every modal message box while it lives,
// keeping the texts.
class ModalAnswerer {
public:
    ModalAnswerer() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                if (QAbstractButton* button = box->defaultButton())
                    button->click();
                else
                    box->accept();
            }
        });
        m_timer.start(5);
    }
    QStringList texts;

private:
    QTimer m_timer;
};

// Clicks Start; the prompt is answered and the test runs while events flow.
// True once the test has returned.
bool StartAndWait(SelfTester& w, int timeoutMs = 10000) {
    w.startButton()->click();
    return QTest::qWaitFor(
        [&] { return !w.selfTest().Prompting() && !w.selfTest().InProgress(); }, timeoutMs);
}

std::string Digits(const SelfTester& w) {
    return (w.digit(0)->text() + w.digit(1)->text() + w.digit(2)->text()).toStdString();
}

TEST(SelfTester, RunShowsTheLampTheDigitsAndTheCodes) {
    SelfTestRig rig(LampCodes{{23}, {31}}, 7.0, 0.1, 3);
    SelfTester window(rig.link);
    window.show();
    bool lampWentRed = false;
    std::string digitsAfterFirstCode;
    rig.onYield = [&] {
        lampWentRed = lampWentRed || window.lampColour() == SelfTester::kLampLit;
        if (window.selfTest().ListedCodes().size() == 1 && digitsAfterFirstCode.empty())
            digitsAfterFirstCode = Digits(window);
    };
    ModalAnswerer answerer;
    ASSERT_TRUE(StartAndWait(window));

    EXPECT_EQ(answerer.texts, QStringList{QString::fromLatin1(SelfTest::kPromptText)});
    EXPECT_TRUE(lampWentRed);
    EXPECT_EQ(window.lampColour(), SelfTester::kLampDark);
    EXPECT_EQ(digitsAfterFirstCode, " 23");
    EXPECT_EQ(Digits(window), " 31");
    EXPECT_EQ(window.codeList()->toPlainText().toStdString(),
              "Codes now (key on, engine off)\n23:TPS out of self test range\n\n"
              "Codes from memory\n31:EVP or PFE circuit below minimum voltage");
    EXPECT_EQ(window.statusLabel()->text().toStdString(), SelfTest::kCompleteText);
    EXPECT_TRUE(window.startButton()->isEnabled());
    EXPECT_FALSE(window.stopButton()->isEnabled());
    EXPECT_TRUE(window.reportButton()->isEnabled());
}

// The prompt has OK and Cancel, says that live data pauses, and Esc cancels:
// nothing is sent and Start is ready again. It had OK only, and Esc started
// the test.
TEST(SelfTester, EscOnThePromptCancelsTheTest) {
    SelfTestRig rig;
    SelfTester window(rig.link);
    window.show();
    window.startButton()->click();
    QPointer<QMessageBox> prompt = window.prompt();
    ASSERT_FALSE(prompt.isNull());
    EXPECT_EQ(prompt->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(prompt->informativeText().toStdString(), SelfTest::kPauseNote);
    QTest::keyClick(prompt, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.startButton()->isEnabled(); }, 5000));
    EXPECT_FALSE(window.stopButton()->isEnabled());
    EXPECT_FALSE(window.selfTest().Prompting());
    EXPECT_TRUE(rig.port.writes.empty());
}

// A long meaning wraps in the list: scrolled sideways to its end, the list
// used to hide every code number.
TEST(SelfTester, LongMeaningsWrapAndKeepTheCodeNumbersInView) {
    SelfTestRig rig(OnceOnly({83, 11}));
    SelfTester window(rig.link);
    window.show();
    ModalAnswerer answerer;
    ASSERT_TRUE(StartAndWait(window));
    ASSERT_TRUE(window.codeList()->toPlainText().contains(QStringLiteral("83:")));
    EXPECT_EQ(window.codeList()->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(window.codeList()->horizontalScrollBar()->maximum(), 0);
}

TEST(SelfTester, ClosingDuringARunStopsItAndDestroysTheWindowOnlyAfterwards) {
    SelfTestRig rig;
    QPointer<SelfTester> window = new SelfTester(rig.link);
    window->show();
    bool closed = false, aliveThroughout = true;
    rig.onYield = [&] {
        if (window.isNull()) {
            aliveThroughout = false;
            return;
        }
        if (window->selfTest().SelfTestRunning() && window->isVisible()) {
            window->close();
            closed = true;
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    ModalAnswerer answerer;
    window->startButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 10000));

    EXPECT_TRUE(closed);
    EXPECT_TRUE(aliveThroughout);  // its run was still using it
    EXPECT_GE(rig.Sent(Link::kStopSelfTest), 1);
}

// Closed before the prompt is answered, or after but before the run began:
// the window goes at once with the prompt, and no test starts later.
TEST(SelfTester, ClosingWhileThePromptIsOpenTakesThePromptAlong) {
    SelfTestRig rig;
    QPointer<SelfTester> window = new SelfTester(rig.link);
    window->show();
    window->startButton()->click();
    QPointer<QMessageBox> prompt = window->prompt();
    ASSERT_FALSE(prompt.isNull());
    EXPECT_TRUE(prompt->isVisible());
    window->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    EXPECT_TRUE(prompt.isNull());
    QTest::qWait(50);
    EXPECT_EQ(rig.Sent(Link::kStartSelfTest), 0);

    // Answered, and closed before the queued run began: no run either.
    window = new SelfTester(rig.link);
    window->show();
    window->startButton()->click();
    ASSERT_NE(window->prompt(), nullptr);
    window->prompt()->button(QMessageBox::Ok)->click();
    window->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(rig.Sent(Link::kStartSelfTest), 0);
}

TEST(SelfTester, SaveReportWritesTheLastRunAndSaysWhenItCannot) {
    SelfTestRig rig(LampCodes{{}, {}});
    SelfTester window(rig.link);
    {
        ModalAnswerer answerer;
        ASSERT_TRUE(StartAndWait(window));
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.txt"));
    window.SetReportPathChooser([&](const QString&) { return path; });
    window.reportButton()->click();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_EQ(text, SelfTestReportText(window.selfTest().Record()));
    EXPECT_TRUE(text.contains(QStringLiteral("Codes now (key on, engine off)\n   11: System Pass\n\n"
                                             "Codes from memory\n   11: System Pass\n")));
    // Every showing is in the timeline: each section's 11 twice.
    EXPECT_EQ(text.count(QStringLiteral("code 11 again")), 2);
    EXPECT_EQ(text.count(QStringLiteral("separator")), 1);

    const QString unwritable = dir.filePath(QStringLiteral("no/such/folder/report.txt"));
    window.SetReportPathChooser([&](const QString&) { return unwritable; });
    ModalAnswerer answerer;
    window.reportButton()->click();
    // The box is opened, not run: it is answered once events flow.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !answerer.texts.isEmpty(); }, 5000));
    ASSERT_EQ(answerer.texts.size(), 1);
    EXPECT_TRUE(answerer.texts[0].contains(QStringLiteral("could not be saved")));
    EXPECT_FALSE(QFile::exists(unwritable));
}

class SelfTesterOnDashboard : public ::testing::Test {
protected:
    void TearDown() override { qunsetenv("QUARN_COM1"); }

    std::unique_ptr<SuperDash> MakeDash() {
        return test::MakeTestDash(alerts, m_dir.path());
    }
    static QAction* Entry(SuperDash& dash, const char* name) {
        return dash.findChild<QAction*>(QString::fromLatin1(name));
    }

    QTemporaryDir m_dir;
    RecordingAlerts alerts;
};

TEST_F(SelfTesterOnDashboard, MenuEntryShowsOneWindowAndAFreshOneAfterClosing) {
    auto dash = MakeDash();
    QAction* entry = Entry(*dash, "mnuSelfTestTool");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text().toStdString(), "&Self Test Tool");
    const auto entries = dash->findChild<QMenu*>(QStringLiteral("mnuDiagnostic"))->actions();
    EXPECT_EQ(entries.indexOf(entry) + 1, entries.indexOf(Entry(*dash, "mnuTPSSettingTool")));

    entry->trigger();
    QPointer<SelfTester> first = dash->selfTester();
    ASSERT_FALSE(first.isNull());
    entry->trigger();
    EXPECT_EQ(dash->selfTester(), first.data());
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    entry->trigger();
    ASSERT_NE(dash->selfTester(), nullptr);
    EXPECT_TRUE(dash->selfTester()->isVisible());
}

// The lamp's periods as the simulator printed them when the test started
// ("lamp periods: d3.000 l0.512 ..."), and the longest time it saw between
// two lamp queries.
struct SimLamp {
    std::vector<LampPeriodRecord> periods;
    double longestGapSeconds = -1;
};

SimLamp ReadSimLamp(const QString& err) {
    SimLamp lamp;
    for (const QString& line : err.split(QLatin1Char('\n'))) {
        const QString periods = QStringLiteral("quarn-boxsim: lamp periods:");
        if (line.startsWith(periods)) {
            lamp.periods.clear();
            for (const QString& p : line.mid(periods.size()).split(QLatin1Char(' '), Qt::SkipEmptyParts))
                lamp.periods.push_back({p.startsWith(QLatin1Char('l')), 0, p.mid(1).toDouble(), {}});
        }
        const int at = line.indexOf(QStringLiteral("longest_lamp_gap_ms="));
        if (at >= 0) lamp.longestGapSeconds = line.mid(at + 20).section(QLatin1Char(' '), 0, 0).toDouble() / 1000;
    }
    return lamp;
}

// The whole way: the dashboard's link over QSerialPort and a real
// pseudo-terminal to the simulated box, whose answers come 30 ms late, at
// the pace of the wire, with lamp jitter at 150 ms: 23 twice, the separator,
// then an empty memory list sent as 11 twice. Reading whatever had come 10 ms
// after each query, the reader misread such a line; before that it stopped
// at the dark before the separator.
//
// The simulator tells the lamp's periods it flashed and the longest time
// between two of the program's queries: every period the reader timed must
// be the simulator's to within that time. A program held up between its
// queries for longer than the shortest flash and gap could not see them
// all; only then are the codes not required.
TEST_F(SelfTesterOnDashboard, EndToEndAgainstALateBoxReadsBothSections) {
    if (!SimProcess::Built()) GTEST_SKIP() << "no simulator";
    SimProcess sim;
    const QString box = m_dir.filePath(QStringLiteral("box"));
    ASSERT_TRUE(sim.Start({QStringLiteral("--codes"), QStringLiteral("23"),
                           QStringLiteral("--memory-codes"), QString(),
                           QStringLiteral("--jitter"), QStringLiteral("150"),
                           QStringLiteral("--latency"), QStringLiteral("30"),
                           QStringLiteral("--pace"), QStringLiteral("--lamp-delay"),
                           QStringLiteral("3")},
                          box));
    qputenv("QUARN_COM1", QFile::encodeName(box));
    auto dash = MakeDash();
    dash->link().SetComPort(1);
    Entry(*dash, "mnuSelfTestTool")->trigger();
    SelfTester* window = dash->selfTester();
    // The box starts flashing 3 s after the start command; the reader
    // looks after 1 s rather than 6 to keep the test short.
    window->selfTest().SetStartWaitSeconds(1.0);
    bool lampWentRed = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        lampWentRed = lampWentRed || window->lampColour() == SelfTester::kLampLit;
    });
    watch.start(20);
    ModalAnswerer answerer;
    ASSERT_TRUE(StartAndWait(*window, 120000));
    const SimLamp simLamp = ReadSimLamp(sim.Stop());

    EXPECT_TRUE(alerts.log.empty());
    // The rate the search settled at: on a loaded machine a step whose
    // answer came after the link's 0.1 s counts as the box's limit.
    EXPECT_TRUE(QStringList({"9600", "19200", "38400", "57600", "115200"})
                    .contains(dash->link().CurBaud()));
    EXPECT_EQ(dash->status().PanelText(2), QStringLiteral("Ready @ ") + dash->link().CurBaud());
    // The connection's "Initializing" used to stay in the activity panel.
    EXPECT_EQ(dash->status().PanelText(1).toStdString(), "");
    EXPECT_TRUE(lampWentRed);
    const SelfTestRecord& record = window->selfTest().Record();
    EXPECT_EQ(record.outcome, SelfTestRecord::Outcome::Completed);

    // The simulator's lead-in, then its flashes; the reader's last dark is
    // the endless one after them.
    ASSERT_GT(simLamp.periods.size(), 2u);
    ASSERT_GE(simLamp.longestGapSeconds, 0);
    const double shortest = LampSequence::kFlashSeconds - 0.150;
    const bool heldUp = simLamp.longestGapSeconds >= shortest;
    // An edge is seen by the first query after it, or by a late answer to
    // the one before it.
    const double slack = simLamp.longestGapSeconds + Link::kLampReplySeconds;
    if (!heldUp) {
        ASSERT_EQ(record.timeline.size(), simLamp.periods.size());
        for (std::size_t i = 0; i + 1 < record.timeline.size(); ++i) {
            EXPECT_EQ(record.timeline[i].lit, simLamp.periods[i + 1].lit) << "period " << i;
            EXPECT_NEAR(record.timeline[i].seconds, simLamp.periods[i + 1].seconds, slack)
                << "period " << i;
        }
    } else {
        std::cerr << "The program was held up for " << simLamp.longestGapSeconds
                  << " s between two lamp queries: the codes are not compared.\n";
    }
    EXPECT_GT(record.timeline.back().seconds, 6.0);
    if (heldUp) return;

    EXPECT_EQ(window->codeList()->toPlainText().toStdString(),
              "Codes now (key on, engine off)\n23:TPS out of self test range\n\n"
              "Codes from memory\n11:System Pass");
    EXPECT_EQ(Digits(*window), " 11");
    EXPECT_TRUE(record.separatorSeen);
    ASSERT_EQ(record.codes.size(), 2u);
    EXPECT_EQ(record.codes[0].seen, 2);
    EXPECT_EQ(record.codes[1].seen, 2);
}

}  // namespace
}  // namespace quarn::test
