// Covers the self test without a window, on a fake clock against a modelled
// box: flash sequences read into codes at every start fraction and with
// jittered timing, once only and in the computer's two sections with every
// code twice, a code shown once, a computer that sends one section, the last
// code before the final dark, Stop at each stage and in each section, a
// second Start during a run, a serial port failure and the report text.

#include <gtest/gtest.h>

#include "SelfTestRig.h"
#include "diagnostics/SelfTest.h"

namespace quarn::test {
namespace {

class FakeView final : public SelfTestView {
public:
    void ShowPrompt(const QString& text, const QString& note,
                    std::function<void(bool)> answered) override {
        prompts.push_back(text.toStdString());
        notes.push_back(note.toStdString());
        answered(go);  // at once
    }
    void SetStatus(const QString& text) override { statuses.push_back(text.toStdString()); }
    void SetLamp(bool) override {}
    void SetDigits(const std::array<char, 3>& d) override { digits.assign(d.begin(), d.end()); }
    void ClearCodeList() override { ++clears; }
    void SetCodeList(const QString& text) override { list = text.toStdString(); }
    void SetStartEnabled(bool on) override {
        start = on;
        startDuringRun = startDuringRun || (on && test && test->InProgress());
    }
    void SetStopEnabled(bool on) override { stop = on; }
    void SetReportEnabled(bool) override {}

    const SelfTest* test = nullptr;
    std::vector<std::string> prompts, notes, statuses;
    bool go = true;  // the prompt's answer
    std::string digits = "000";
    std::string list;
    int clears = 0;
    bool start = true, stop = false, startDuringRun = false;
};

struct FlashCase {
    const char* name;
    std::vector<int> codes;
    const char* list;    // the code list afterwards
    const char* digits;  // D1, D2, D3 afterwards
};

void PrintTo(const FlashCase& c, std::ostream* os) {
    *os << c.name;
}

class FlashSequenceTest : public ::testing::TestWithParam<FlashCase> {};

// A once-only lamp's list: the lines under the first heading, every code
// marked as shown once.
std::string OnceOnlyList(const std::string& lines) {
    if (lines.empty()) return lines;
    std::string out = std::string(kNowCodesHeading) + "\r\n";
    for (std::size_t at = 0, end; (end = lines.find("\r\n", at)) != std::string::npos; at = end + 2)
        out += lines.substr(at, end - at) + kSeenOnceMark + "\r\n";
    return out;
}

// Each sequence starts at ten fractions of a second, on nominal timing and
// with every period moved by up to 150 ms. Timing the periods from starts
// rounded to the whole second lost or invented flashes at some offsets.
TEST_P(FlashSequenceTest, ReadsTheCodesAtEveryStartFractionAndWithJitter) {
    const FlashCase& c = GetParam();
    for (int tenth = 0; tenth < 10; ++tenth) {
        for (const double jitter : {0.0, 0.15}) {
            SCOPED_TRACE("start +" + std::to_string(tenth) + "/10 s, jitter " +
                         std::to_string(jitter));
            SelfTestRig rig(OnceOnly(c.codes), 7.0 + tenth / 10.0, jitter, static_cast<unsigned>(tenth));
            FakeView view;
            SelfTest test(rig.link, view);
            test.Start();

            EXPECT_EQ(test.CodeListText().toStdString(), OnceOnlyList(c.list));
            EXPECT_EQ(view.list, test.CodeListText().toStdString());
            EXPECT_EQ(view.digits, c.digits);
            EXPECT_EQ(view.statuses.back(), SelfTest::kCompleteText);
            EXPECT_EQ(test.Record().outcome, SelfTestRecord::Outcome::Completed);
            EXPECT_EQ(rig.Sent(Link::kStopSelfTest), 1);

            // Every period after the lead-in is timed to within one lamp
            // query (10 ms); the endless dark at the end is cut just past the
            // wait for a separator.
            const auto& timeline = test.Record().timeline;
            const auto& truth = rig.lamp.Periods();
            ASSERT_EQ(timeline.size(), truth.size());
            for (std::size_t i = 0; i + 1 < timeline.size(); ++i)
                EXPECT_NEAR(timeline[i].seconds, truth[i + 1].seconds, 0.011) << i;
            EXPECT_NEAR(timeline.back().seconds, SelfTest::kSeparatorWaitSeconds + 0.005, 0.006);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FlashSequenceTest,
    ::testing::Values(
        FlashCase{"SystemPass", {11}, "11:System Pass\r\n", " 11"},
        FlashCase{"CodeWithoutText", {100}, "100:\r\n", "100"},
        FlashCase{"ThreeDigits",
                  {112},
                  "112:IAT (ACT) circuit below minimum voltage; reads about 254 deg F\r\n",
                  "112"},
        FlashCase{"TenFlashesAreAZero",
                  {20},
                  "20:Cylinder 2 low in the cylinder balance test\r\n",
                  " 20"},
        FlashCase{"SeveralCodes",
                  {23, 100, 31},
                  "23:TPS out of self test range\r\n100:\r\n"
                  "31:EVP or PFE circuit below minimum voltage\r\n",
                  " 31"},
        FlashCase{"FourDigitsMakeNoCode", {1111, 23}, "23:TPS out of self test range\r\n", " 23"},
        FlashCase{"ThreeDigitCodesUpTo999AreListed",
                  {327, 335, 999},
                  "327:EGR sensor (EVP/PFE/DPFE) circuit below minimum voltage\r\n"
                  "335:EGR pressure (PFE/DPFE) sensor voltage out of range during the test\r\n"
                  "999:\r\n",
                  "999"},
        FlashCase{"OneDigitMakesNoCode", {2}, "", "2  "}),
    [](const auto& info) { return std::string(info.param.name); });

// What the lamp does besides the computer's normal pattern.
enum class LampEdit {
    None,
    // The first showing of the last hard-fault code, 12, goes missing.
    Drop12Once,
    // Nothing follows the first section's codes: no separator, no memory.
    OneSection,
};

struct SectionCase {
    const char* name;
    LampCodes codes;
    std::vector<int> now, memory;  // the codes listed in each section
    LampEdit edit = LampEdit::None;
    int seenOnce = 0;
};

void PrintTo(const SectionCase& c, std::ostream* os) {
    *os << c.name;
}

LampSequence MakeLamp(const SectionCase& c, double leadIn, double jitter, unsigned seed) {
    auto periods = LampSequence::Schedule(c.codes, leadIn);
    // The separator: the flash after the first 6 s dark.
    std::size_t sep = 1;
    while (periods[sep - 1].seconds != LampSequence::kSectionGapSeconds) ++sep;
    if (c.edit == LampEdit::Drop12Once)  // 12: three flashes, each with its dark
        periods.erase(periods.begin() + static_cast<long>(sep) - 12,
                      periods.begin() + static_cast<long>(sep) - 6);
    if (c.edit == LampEdit::OneSection) periods.resize(sep - 1);
    return LampSequence(std::move(periods), jitter, seed);
}

std::string CodeLines(const std::vector<int>& codes, int seenOnce) {
    CodeTable table;
    table.FillCodeTable();
    std::string out;
    for (const int code : codes)
        out += std::to_string(code) + ":" + table.CodeText(code).toStdString() +
               (code == seenOnce ? kSeenOnceMark : "") + "\r\n";
    return out;
}

class SectionTest : public ::testing::TestWithParam<SectionCase> {};

// The computer's real pattern, each case at ten start fractions, on nominal
// timing and with every period moved by up to 150 ms: both sections read,
// each code listed once under its heading, the separator never taken for a
// code nor for the end, and the test ended 6 s after the second section (12 s
// after a lone first one). The reader used to end at the dark before the
// separator, never reading the memory codes, and listed every code twice.
TEST_P(SectionTest, ReadsBothSectionsAtEveryStartFractionAndWithJitter) {
    const SectionCase& c = GetParam();
    const bool two = c.edit != LampEdit::OneSection;
    std::string list = kNowCodesHeading + std::string("\r\n") + CodeLines(c.now, c.seenOnce);
    if (two) list += "\r\n" + std::string(kMemoryCodesHeading) + "\r\n" + CodeLines(c.memory, 0);
    const int last = two ? c.memory.back() : c.now.back();
    const std::string digits = (last < 100 ? " " : "") + std::to_string(last);

    for (int tenth = 0; tenth < 10; ++tenth) {
        for (const double jitter : {0.0, 0.15}) {
            SCOPED_TRACE("start +" + std::to_string(tenth) + "/10 s, jitter " +
                         std::to_string(jitter));
            SelfTestRig rig(MakeLamp(c, 7.0 + tenth / 10.0, jitter, 100u + tenth));
            FakeView view;
            SelfTest test(rig.link, view);
            test.Start();

            EXPECT_EQ(test.CodeListText().toStdString(), list);
            EXPECT_EQ(view.list, list);
            EXPECT_EQ(view.digits, digits);
            EXPECT_EQ(test.Record().outcome, SelfTestRecord::Outcome::Completed);
            EXPECT_EQ(test.Record().separatorSeen, two);
            const auto& timeline = test.Record().timeline;
            ASSERT_EQ(timeline.size(), rig.lamp.Periods().size());
            EXPECT_NEAR(timeline.back().seconds,
                        (two ? FlashDecoder::kTestEndSeconds : SelfTest::kSeparatorWaitSeconds) +
                            0.005,
                        0.006);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sections, SectionTest,
    ::testing::Values(
        SectionCase{"PassPass", {{}, {}}, {11}, {11}},
        SectionCase{"HardCodesMemoryPass", {{23, 12, 31}, {}}, {23, 12, 31}, {11}},
        SectionCase{"PassMemoryCodes", {{11}, {23, 45, 12}}, {11}, {23, 45, 12}},
        SectionCase{"RepeatedCodeInBoth", {{23, 23}, {23}}, {23}, {23}},
        SectionCase{"ThreeDigits", {{112, 113}, {212, 224}}, {112, 113}, {212, 224}},
        SectionCase{"ShownOnce", {{23, 12}, {}}, {23, 12}, {11}, LampEdit::Drop12Once, 12},
        SectionCase{"OneSection", {{23, 12}, {}}, {23, 12}, {}, LampEdit::OneSection}),
    [](const auto& info) { return std::string(info.param.name); });

class SelfTestRun : public ::testing::Test {
protected:
    void SetUp() override { view.test = &test; }

    SelfTestRig rig{OnceOnly({23, 45})};
    FakeView view;
    SelfTest test{rig.link, view};
};

// The lamp gives no code gap after the last code, only the long dark that
// ends the test; the last code used to be shown but never listed, so a
// healthy engine's only code, 11, never reached the list.
TEST(SelfTestLastCode, IsListedBeforeTheFinalDarkEndsTheTest) {
    SelfTestRig rig(LampCodes{{}, {}}, 7.25);
    FakeView view;
    SelfTest test(rig.link, view);
    double lastFlashEnd = 0;
    rig.onYield = [&] {
        if (rig.lamp.IsLit(rig.Seconds())) lastFlashEnd = rig.Seconds();
    };
    test.Start();

    EXPECT_EQ(test.CodeListText().toStdString(),
              "Codes now (key on, engine off)\r\n11:System Pass\r\n\r\n"
              "Codes from memory\r\n11:System Pass\r\n");
    EXPECT_EQ(test.Record().timeline.back().reading.toStdString(),
              "digit 1, code 11 again, end of test");
    // It ends by itself, just over 6 s after the last flash of the second
    // section.
    EXPECT_GT(rig.Seconds() - lastFlashEnd, 6.0);
    EXPECT_LT(rig.Seconds() - lastFlashEnd, 6.05);
    EXPECT_EQ(view.prompts, std::vector<std::string>{SelfTest::kPromptText});
    EXPECT_EQ(view.statuses,
              (std::vector<std::string>{SelfTest::kConnectingText, SelfTest::kWaitingText,
                                        SelfTest::kReadingText, SelfTest::kCompleteText}));
    // Ended by itself, it can be run again at once; Start used to stay off
    // until Stop was clicked.
    EXPECT_TRUE(view.start);
    EXPECT_FALSE(view.stop);
    EXPECT_EQ(rig.Sent(Link::kStopSelfTest), 1);
    EXPECT_EQ(view.notes, std::vector<std::string>{SelfTest::kPauseNote});
}

struct StopCase {
    const char* name;
    std::function<bool(const SelfTestRig&, const SelfTest&)> when;
    int lampQueries;  // -1: any
    const char* list;
    LampCodes codes = OnceOnly({23, 45});
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name;
}

class StopTest : public ::testing::TestWithParam<StopCase> {
protected:
    void SetUp() override { view.test = &test; }

    SelfTestRig rig{GetParam().codes};
    FakeView view;
    SelfTest test{rig.link, view};
};

// Stop at any stage ends the run with what was read, the stop command sent
// by Stop and again at the end, and Start enabled only once the run has
// returned, so that a second test never starts inside the first. A Stop while
// the link came up used to be undone when the test set its running flag.
TEST_P(StopTest, EndsTheRunAndKeepsWhatWasRead) {
    bool clicked = false;
    rig.onYield = [&] {
        if (!clicked && GetParam().when(rig, test)) {
            clicked = true;
            test.Stop();
        }
    };
    test.Start();

    ASSERT_TRUE(clicked);
    if (GetParam().lampQueries >= 0) {
        EXPECT_EQ(rig.Sent(Link::kLampQuery), GetParam().lampQueries);
    }
    EXPECT_EQ(test.CodeListText().toStdString(), GetParam().list);
    EXPECT_EQ(view.clears, 1);
    // It used to say "Self Test Complete" here.
    EXPECT_EQ(view.statuses.back(), SelfTest::kStoppedText);
    EXPECT_EQ(test.Record().outcome, SelfTestRecord::Outcome::Stopped);
    EXPECT_EQ(rig.Sent(Link::kStopSelfTest), 2);
    EXPECT_FALSE(view.startDuringRun);
    EXPECT_TRUE(view.start);
    EXPECT_FALSE(view.stop);
}

INSTANTIATE_TEST_SUITE_P(Stages, StopTest,
                         ::testing::Values(StopCase{"WhileConnecting",
                                                    [](const SelfTestRig& r, const SelfTest&) {
                                                        return r.Sent(Link::kRateReset) == 3;
                                                    },
                                                    1, ""},
                                           StopCase{"DuringTheStartWait",
                                                    [](const SelfTestRig& r, const SelfTest&) {
                                                        return r.Sent(Link::kStartSelfTest) == 1;
                                                    },
                                                    1, ""},
                                           StopCase{"WhileReading",
                                                    [](const SelfTestRig&, const SelfTest& t) {
                                                        return t.ListedCodes().size() == 1;
                                                    },
                                                    -1,
                                                    "Codes now (key on, engine off)\r\n"
                                                    "23:TPS out of self test range (seen once)\r\n"},
                                           // Stopped after the first showing of
                                           // 23 in the first section, and of 31
                                           // in the second.
                                           StopCase{"InTheFirstSection",
                                                    [](const SelfTestRig&, const SelfTest& t) {
                                                        return t.ListedCodes().size() == 1;
                                                    },
                                                    -1,
                                                    "Codes now (key on, engine off)\r\n"
                                                    "23:TPS out of self test range (seen once)\r\n",
                                                    {{23, 21}, {31}}},
                                           StopCase{"InTheSecondSection",
                                                    [](const SelfTestRig&, const SelfTest& t) {
                                                        return t.ListedCodes().size() == 3;
                                                    },
                                                    -1,
                                                    "Codes now (key on, engine off)\r\n"
                                                    "23:TPS out of self test range\r\n"
                                                    "21:ECT out of self-test range\r\n\r\n"
                                                    "Codes from memory\r\n"
                                                    "31:EVP or PFE circuit below minimum voltage"
                                                    " (seen once)\r\n",
                                                    {{23, 21}, {31}}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SelfTestRun, SecondStartDuringARunIsIgnored) {
    int clicks = 0;
    rig.onYield = [&] {
        if (test.SelfTestRunning() && clicks < 3) {
            ++clicks;
            test.Start();
        }
    };
    test.Start();

    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(view.prompts.size(), 1u);
    EXPECT_EQ(rig.Sent(Link::kStartSelfTest), 1);
    EXPECT_EQ(rig.Sent(Link::kStopSelfTest), 1);
    EXPECT_EQ(test.ListedCodes(), (std::vector<int>{23, 45}));
}

TEST_F(SelfTestRun, SerialPortFailureTakesTheErrorPathAndNothingEscapes) {
    rig.onYield = [&] {
        if (test.Record().timeline.size() == 2) rig.port.failWritesAfter = 0;
    };
    test.Start();

    EXPECT_EQ(test.Record().outcome, SelfTestRecord::Outcome::PortError);
    EXPECT_FALSE(test.InProgress());
    EXPECT_EQ(rig.alerts.log,
              (std::vector<std::string>{
                  std::string("critical:") + Link::kErrorTitle + "|" + Link::kErrorText, "end"}));
}

// A lamp that never flashes (key off, engine running, connector not in
// place) used to be watched until Stop; now the test ends 30 s into the
// watch and says what to check.
TEST(SelfTestNoFlash, EndsAfter30SecondsAndSaysWhatToCheck) {
    SelfTestRig rig(LampSequence({{false, 1000.0}}, 0, 1));
    FakeView view;
    SelfTest test(rig.link, view);
    double started = -1;
    rig.onYield = [&] {
        if (started < 0 && rig.Sent(Link::kStartSelfTest) == 1) started = rig.Seconds();
    };
    test.Start();

    EXPECT_EQ(view.statuses.back(), SelfTest::kNoFlashText);
    EXPECT_EQ(test.Record().outcome, SelfTestRecord::Outcome::NoFlash);
    EXPECT_NEAR(rig.Seconds() - started, SelfTest::kStartWaitSeconds + 30, 0.05);
    EXPECT_EQ(rig.Sent(Link::kStopSelfTest), 1);
    EXPECT_TRUE(view.start);
    EXPECT_FALSE(view.stop);
    EXPECT_TRUE(SelfTestReportText(test.Record()).contains(QStringLiteral("no flash within 30 s")));
}

// Cancel (or Esc) on the ignition prompt sends nothing and leaves the window
// ready; the prompt used to have OK only, and Esc started the test.
TEST(SelfTestPrompt, CancelSendsNothing) {
    SelfTestRig rig;
    FakeView view;
    view.go = false;
    SelfTest test(rig.link, view);
    test.Start();
    EXPECT_TRUE(rig.port.writes.empty());
    EXPECT_FALSE(test.Prompting());
    EXPECT_FALSE(test.InProgress());
    EXPECT_TRUE(view.start);
    EXPECT_FALSE(view.stop);
    EXPECT_TRUE(view.statuses.empty());
}

// A running recording is marked where the test starts (before the link is
// taken) and ends, and the shell is told when the link is back, so the
// activity panel no longer stays "Initializing".
TEST(SelfTestHostCalls, MarkTheRecordingAroundTheTestAndReturnTheLink) {
    SelfTestRig rig;
    FakeView view;
    SelfTest test(rig.link, view);
    std::vector<std::string> calls;
    test.SetHost({[&](const QString& name) {
                      calls.push_back(name.toStdString() + " after " +
                                      std::to_string(rig.port.writes.size()) + " writes");
                  },
                  [&] { calls.push_back("link returned, running " +
                                        std::to_string(test.InProgress())); }});
    test.Start();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], std::string(SelfTest::kStartMarker) + " after 0 writes");
    EXPECT_EQ(calls[1], std::string(SelfTest::kEndMarker) + " after " +
                            std::to_string(rig.port.writes.size()) + " writes");
    EXPECT_EQ(calls[2], "link returned, running 0");
}

TEST(SelfTestReport, HoldsTheDateTheCodesTheOutcomeAndTheTimeline) {
    SelfTestRecord record;
    record.startedAt = QDateTime(QDate(2024, 3, 9), QTime(14, 5, 7));
    record.outcome = SelfTestRecord::Outcome::Completed;
    record.codes = {{23, QStringLiteral("TPS out of self test range")},
                    {12, QString(), CodeSection::Now, 1},
                    {11, QStringLiteral("System Pass"), CodeSection::Memory, 2}};
    record.separatorSeen = true;
    record.lampQueries = 812;
    record.unanswered = 3;
    record.glitches = 1;
    record.timeline = {{true, 0, 0.512, QStringLiteral("flash")},
                       {false, 0.512, 2.0049, QStringLiteral("digit 1")},
                       {true, 2.5169, 1.5, QStringLiteral("not a flash")},
                       {false, 4.0169, 0.25, QString()}};
    EXPECT_EQ(SelfTestReportText(record).toStdString(),
              "Quarn Dash self test report\n"
              "Date and time: 2024-03-09 14:05:07\n"
              "\n"
              "Trouble codes. The computer sends every code twice; a code read\n"
              "only once is marked \"seen once\": run the test again to confirm it.\n"
              "\n"
              "Codes now (key on, engine off)\n"
              "   23: TPS out of self test range (seen once)\n"
              "   12: (no meaning in the code table) (seen once)\n"
              "\n"
              "Codes from memory\n"
              "   11: System Pass\n"
              "\n"
              "Result: complete; the lamp stayed dark for more than 6 s after the last code.\n"
              "Lamp queries: 812, 3 unanswered; 1 glitches merged.\n"
              "\n"
              "Lamp timeline, seconds from the first flash, every showing of every code\n"
              "     Start  Lamp    Length  Reading\n"
              "     0.000  lit      0.512  flash\n"
              "     0.512  dark     2.005  digit 1\n"
              "     2.517  lit      1.500  not a flash\n"
              "     4.017  dark     0.250\n");

    // No separator: the second section was never sent, or never reached.
    record.codes.pop_back();
    record.separatorSeen = false;
    EXPECT_TRUE(SelfTestReportText(record).contains(
        QStringLiteral("Codes from memory\n  none sent: no separator flash followed the first "
                       "section\n\nResult: complete; the lamp stayed dark for more than 12 s")));
    record.outcome = SelfTestRecord::Outcome::Stopped;
    EXPECT_TRUE(SelfTestReportText(record).contains(QStringLiteral(
        "Codes from memory\n  not read: the test ended before the separator flash\n")));
}

}  // namespace
}  // namespace quarn::test
