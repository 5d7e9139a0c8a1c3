// Covers the self test without a window, on a fake clock against a modelled
// box: flash sequences read into codes at every start fraction and with
// jittered timing, the last code before the final dark, Stop at each stage,
// a second Start during a run, a serial port failure and the report text.

#include <gtest/gtest.h>

#include "SelfTestRig.h"
#include "diagnostics/SelfTest.h"

namespace quarn::test {
namespace {

class FakeView final : public SelfTestView {
public:
    void ShowPrompt(const QString& text, std::function<void()> then) override {
        prompts.push_back(text.toStdString());
        then();  // answered at once
    }
    void SetStatus(const QString& text) override { statuses.push_back(text.toStdString()); }
    void SetLamp(bool) override {}
    void SetDigits(const std::array<char, 3>& d) override { digits.assign(d.begin(), d.end()); }
    void ClearCodeList() override { ++clears; }
    void AppendCodeLine(const QString&) override {}
    void SetStartEnabled(bool on) override {
        start = on;
        startDuringRun = startDuringRun || (on && test && test->InProgress());
    }
    void SetStopEnabled(bool on) override { stop = on; }
    void SetReportEnabled(bool) override {}

    const SelfTest* test = nullptr;
    std::vector<std::string> prompts, statuses;
    std::string digits = "000";
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

            EXPECT_EQ(test.CodeListText().toStdString(), c.list);
            EXPECT_EQ(view.digits, c.digits);
            EXPECT_EQ(view.statuses.back(), SelfTest::kCompleteText);
            EXPECT_EQ(test.Record().outcome, SelfTestRecord::Outcome::Completed);
            EXPECT_EQ(rig.Sent(Link::kStopSelfTest), 1);

            // Every period after the lead-in is timed to within one lamp
            // query (10 ms); the endless dark at the end is cut just past 6 s.
            const auto& timeline = test.Record().timeline;
            const auto& truth = rig.lamp.Periods();
            ASSERT_EQ(timeline.size(), truth.size());
            for (std::size_t i = 0; i + 1 < timeline.size(); ++i)
                EXPECT_NEAR(timeline[i].seconds, truth[i + 1].seconds, 0.011) << i;
            EXPECT_NEAR(timeline.back().seconds, FlashDecoder::kTestEndSeconds + 0.005, 0.006);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FlashSequenceTest,
    ::testing::Values(
        FlashCase{"SystemPass", {11}, "11:System Pass\r\n", "011"},
        FlashCase{"CodeWithoutText", {12}, "12:\r\n", "012"},
        FlashCase{"ThreeDigits", {112}, "112:\r\n", "112"},
        FlashCase{"TenFlashesAreAZero", {20}, "20:\r\n", "020"},
        FlashCase{"SeveralCodes",
                  {23, 12, 31},
                  "23:TPS out of self test range\r\n12:\r\n"
                  "31:EVP or PFE circuit below minimum voltage\r\n",
                  "031"},
        FlashCase{"FourDigitsMakeNoCode", {1111, 23}, "23:TPS out of self test range\r\n", "023"},
        FlashCase{"CodesAbove254NotListed", {255, 254}, "254:\r\n", "254"},
        FlashCase{"OneDigitMakesNoCode", {2}, "", "200"}),
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
    SelfTestRig rig(OnceOnly({11}), 7.25);
    FakeView view;
    SelfTest test(rig.link, view);
    double lastFlashEnd = 0;
    rig.onYield = [&] {
        if (rig.lamp.IsLit(rig.Seconds())) lastFlashEnd = rig.Seconds();
    };
    test.Start();

    EXPECT_EQ(test.CodeListText().toStdString(), "11:System Pass\r\n");
    EXPECT_EQ(test.Record().timeline.back().reading.toStdString(), "digit 1, code 11, end of test");
    // It ends by itself, just over 6 s after the last flash.
    EXPECT_GT(rig.Seconds() - lastFlashEnd, 6.0);
    EXPECT_LT(rig.Seconds() - lastFlashEnd, 6.05);
    EXPECT_EQ(view.prompts, std::vector<std::string>{SelfTest::kPromptText});
    EXPECT_EQ(view.statuses,
              (std::vector<std::string>{SelfTest::kConnectingText, SelfTest::kWaitingText,
                                        SelfTest::kReadingText, SelfTest::kCompleteText}));
    // Start stays off until Stop is clicked; Stop stays on and sends again.
    EXPECT_FALSE(view.start);
    EXPECT_TRUE(view.stop);
    test.Stop();
    EXPECT_TRUE(view.start);
    EXPECT_TRUE(view.stop);
    EXPECT_EQ(rig.Sent(Link::kStopSelfTest), 2);
}

struct StopCase {
    const char* name;
    std::function<bool(const SelfTestRig&, const SelfTest&)> when;
    int lampQueries;  // -1: any
    const char* list;
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name;
}

class StopTest : public SelfTestRun, public ::testing::WithParamInterface<StopCase> {};

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
    EXPECT_EQ(view.statuses.back(), SelfTest::kCompleteText);
    EXPECT_EQ(test.Record().outcome, SelfTestRecord::Outcome::Stopped);
    EXPECT_EQ(rig.Sent(Link::kStopSelfTest), 2);
    EXPECT_FALSE(view.startDuringRun);
    EXPECT_TRUE(view.start);
    EXPECT_TRUE(view.stop);
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
                                                    -1, "23:TPS out of self test range\r\n"}),
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

TEST(SelfTestReport, HoldsTheDateTheCodesTheOutcomeAndTheTimeline) {
    SelfTestRecord record;
    record.startedAt = QDateTime(QDate(2024, 3, 9), QTime(14, 5, 7));
    record.outcome = SelfTestRecord::Outcome::Completed;
    record.codes = {{23, QStringLiteral("TPS out of self test range")}, {12, QString()}};
    record.timeline = {{true, 0, 0.512, QStringLiteral("flash")},
                       {false, 0.512, 2.0049, QStringLiteral("digit 1")},
                       {true, 2.5169, 1.5, QStringLiteral("not a flash")},
                       {false, 4.0169, 0.25, QString()}};
    EXPECT_EQ(SelfTestReportText(record).toStdString(),
              "Quarn Dash self test report\n"
              "Date and time: 2024-03-09 14:05:07\n"
              "\n"
              "Trouble codes\n"
              "   23: TPS out of self test range\n"
              "   12: (no meaning in the code table)\n"
              "\n"
              "Result: complete; the lamp stayed dark for more than 6 s after the last code.\n"
              "\n"
              "Lamp timeline, seconds from the first flash\n"
              "     Start  Lamp    Length  Reading\n"
              "     0.000  lit      0.512  flash\n"
              "     0.512  dark     2.005  digit 1\n"
              "     2.517  lit      1.500  not a flash\n"
              "     4.017  dark     0.250\n");
}

}  // namespace
}  // namespace quarn::test
