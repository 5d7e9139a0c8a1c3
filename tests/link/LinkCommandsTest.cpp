// Covers the command exchange on a fake port and clock: reply matching from
// the second byte, the lamp query, taking all waiting bytes, errors passed to
// the caller, and waits measured on the monotonic clock.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "link/Link.h"
#include "link/LinkFakes.h"

namespace quarn::test {
namespace {

class LinkCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        link.SetComPort(1);
        port.SetCommPort(1);
        port.Open();
    }

    void SetReply(std::string_view bytes) { link.RxBuf().assign(bytes.begin(), bytes.end()); }

    FakeClock clock;
    FakeYielder yielder{clock};
    FakeSerialPort port;
    RecordingStatus status;
    RecordingAlerts alerts;
    Link link{port, clock, yielder, status, alerts, QStringLiteral("/nonexistent/quarnom.ini")};
};

struct ReplyCase {
    std::string reply;
    const char* text;
    bool expected;
};

class ReplyContainsTest : public LinkCommandsTest,
                          public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyContainsTest, MatchesFromTheSecondByteCaseSensitively) {
    SetReply(GetParam().reply);
    EXPECT_EQ(link.ReplyContains(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplyContainsTest,
    ::testing::Values(ReplyCase{"COK", "OK", true}, ReplyCase{"OK", "OK", false},
                      ReplyCase{"cok", "OK", false}, ReplyCase{"bQuarn-IV", "Quarn", true},
                      ReplyCase{"Quarn-IV", "Quarn", false}, ReplyCase{"xxQuarn", "Quarn", true},
                      ReplyCase{"bquarn", "Quarn", false}, ReplyCase{"h0", "0", true},
                      ReplyCase{"h1", "0", false}, ReplyCase{"0", "0", false},
                      ReplyCase{"", "0", false}, ReplyCase{std::string("\0OK", 3), "OK", true},
                      ReplyCase{std::string("e\0OK", 4), "OK", true}, ReplyCase{"eOK", "", false}));

using Lamp = Link::Lamp;

struct LampCase {
    const char* name;
    const char* stale;  // waiting before the query was sent
    std::vector<std::pair<std::chrono::milliseconds, const char*>> answers;  // delay, bytes
    Lamp lamp;
    std::chrono::milliseconds took;  // until the query returned
};

void PrintTo(const LampCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadLampStateTest : public LinkCommandsTest,
                          public ::testing::WithParamInterface<LampCase> {};

// Each query waits for its own answer, however late within 0.1 s (the fake
// yield moves the clock 10 ms at a time). It used to
// read whatever had come after 10 ms, so a late answer read as "dark" and
// then answered the next query.
TEST_P(ReadLampStateTest, WaitsForItsOwnAnswer) {
    const LampCase& c = GetParam();
    port.Feed(c.stale);
    port.onWrite = [&](char byte, int) {
        if (byte != 'h') return;
        for (const auto& [delay, bytes] : c.answers) port.FeedAt(clock, clock.Now() + delay, bytes);
    };
    EXPECT_EQ(link.ReadLampState(), c.lamp);
    EXPECT_EQ(port.writes, std::vector<std::string>{"h@9600"});
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(clock.Elapsed()), c.took);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ReadLampStateTest,
    ::testing::Values(
        LampCase{"Lit", "", {{0ms, "h0"}}, Lamp::Lit, 10ms},
        LampCase{"Dark", "", {{0ms, "h1"}}, Lamp::Dark, 10ms},
        LampCase{"LateAnswer", "", {{30ms, "h0"}}, Lamp::Lit, 30ms},
        LampCase{"AnswerInTwoPieces", "", {{5ms, "h"}, {25ms, "1"}}, Lamp::Dark, 30ms},
        LampCase{"NoAnswer", "", {}, Lamp::Unknown, 100ms},
        LampCase{"TooLate", "", {{101ms, "h0"}}, Lamp::Unknown, 100ms},
        LampCase{"NoEcho", "", {{0ms, "0"}}, Lamp::Unknown, 100ms},
        LampCase{"StaleAnswerIsDropped", "h0", {{15ms, "h1"}}, Lamp::Dark, 20ms},
        LampCase{"LaterOfTwoTogether", "", {{3ms, "h1h0"}}, Lamp::Lit, 10ms},
        // A late answer to the last query, then the echo of this one's: its
        // state is waited for.
        LampCase{"LateOneThenOwnEcho", "", {{2ms, "h1h"}, {15ms, "0"}}, Lamp::Lit, 20ms}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkCommandsTest, ReadInputTakesEverythingWaitingThenNothing) {
    std::string bytes;
    for (int i = 0; i < 45; ++i) bytes += static_cast<char>(0xC0 + i);
    port.Feed(bytes);

    link.ReadInput();
    ASSERT_EQ(link.RxBuf().size(), 45u);
    EXPECT_EQ(link.RxBuf()[0], 0xC0);
    EXPECT_EQ(link.RxBuf()[44], 0xC0 + 44);
    EXPECT_EQ(port.InBufferCount(), 0);

    link.ReadInput();
    EXPECT_TRUE(link.RxBuf().empty());
}

struct WaitCase {
    double seconds;
    std::chrono::nanoseconds elapsed;
    int yields;
};

class WaitSecondsTest : public LinkCommandsTest, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(WaitSecondsTest, WaitsExactlyOnTheMonotonicClockInShortYields) {
    link.WaitSeconds(GetParam().seconds);
    EXPECT_EQ(clock.Elapsed(), GetParam().elapsed);
    EXPECT_EQ(yielder.yields, GetParam().yields);
}

INSTANTIATE_TEST_SUITE_P(
    Durations, WaitSecondsTest,
    ::testing::Values(WaitCase{0.1, 100ms, 10}, WaitCase{0.01, 10ms, 1}, WaitCase{0.015, 15ms, 2},
                      WaitCase{2, 2s, 200}, WaitCase{0, 0ns, 0}, WaitCase{-1, 0ns, 0},
                      WaitCase{std::numeric_limits<double>::quiet_NaN(), 0ns, 0}));

TEST(RoundSecondsHalfEvenTest, HalvesGoToEven) {
    const std::vector<std::pair<double, std::int32_t>> cases = {
        {0.0, 0},         {0.5, 0},         {1.5, 2},         {2.5, 2},
        {2.4999, 2},      {2.5001, 3},      {3.7, 4},         {43200.5, 43200},
        {43201.5, 43202}, {86399.5, 86400}, {86399.4, 86399}, {std::nan(""), 0}};
    for (const auto& [seconds, expected] : cases)
        EXPECT_EQ(RoundSecondsHalfEven(seconds), expected) << seconds;
}

}  // namespace
}  // namespace quarn::test
