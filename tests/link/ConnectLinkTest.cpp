// Covers ConnectLink on a fake clock against a modelled box: the exact bytes
// and rates of the resets, the rate search and the step up, the status texts
// and lamp codes, the failure without a box, and the serial port error path.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "link/Link.h"
#include "link/LinkFakes.h"

namespace quarn::test {
namespace {

using Strings = std::vector<std::string>;

const Strings kFirstReset = {"a@115200", "a@19200", "a@38400", "a@57600", "a@115200"};

Strings Concat(std::initializer_list<Strings> parts) {
    Strings out;
    for (const Strings& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

class ConnectLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        link.SetComPort(1);
    }

    QString SettingsPath() const { return m_dir.filePath(QStringLiteral("quarnom.ini")); }
    QByteArray SettingsBytes() const {
        QFile f(SettingsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir m_dir;
    FakeClock clock;
    FakeYielder yielder{clock};
    FakeSerialPort port;
    RecordingStatus status;
    RecordingAlerts alerts;
    Link link{port, clock, yielder, status, alerts, SettingsPath()};
};

TEST_F(ConnectLinkTest, FullNegotiationTo115200SendsEveryByteAtItsRate) {
    FakeBox box(port, 57600);
    link.ConnectLink();

    // The search first makes sure the box answers at all, at 9600.
    const Strings search = {"b@9600",  "e@9600",   "c@9600",  "b@19200", "e@19200",
                            "c@19200", "b@38400",  "e@38400", "c@38400", "b@57600",
                            "e@57600", "c@57600",  "b@115200", "e@115200"};
    const Strings upshift = {"c@9600", "c@19200", "c@38400", "c@57600"};
    const Strings verify = {"b@115200", "e@115200"};
    EXPECT_EQ(port.writes, Concat({kFirstReset, search, kFirstReset, upshift, verify}));

    // Resets use upper-case parity, steps lower case; the port is configured
    // for 115200 before the first reset, so the first "a" goes out at 115200.
    const Strings reset = {"19200,N,8,1", "38400,N,8,1", "57600,N,8,1", "115200,N,8,1",
                           "9600,n,8,1"};
    const Strings steps = {"19200,n,8,1", "38400,n,8,1", "57600,n,8,1", "115200,n,8,1"};
    EXPECT_EQ(port.opens, Concat({{"115200,N,8,1"},
                                  reset,
                                  steps,
                                  {"115200,n,8,1"},
                                  reset,
                                  {"115200,n,8,1"},
                                  {"9600,n,8,1"},
                                  steps}));

    EXPECT_EQ(status.PanelText(2), QStringLiteral("Ready @ 115200"));
    EXPECT_EQ(link.CurBaud(), QStringLiteral("115200"));
    EXPECT_EQ(box.rate, 115200);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(port.dtr && port.rts);
    EXPECT_TRUE(alerts.log.empty());
    // 30 command waits of 0.1 s and nothing else takes time.
    EXPECT_EQ(clock.Elapsed(), 3000ms);
}

TEST_F(ConnectLinkTest, StatusTextsAndLampCodesComeInOrder) {
    FakeBox box(port, 9600);
    link.ConnectLink();

    const Strings resetBlink = {"lamp=2", "lamp=0", "lamp=2", "lamp=0", "lamp=2"};
    EXPECT_EQ(status.log,
              Concat({{"panel1=Initializing", "panel2=Resetting", "lamp=0"},
                      resetBlink,
                      {"panel2=Connecting", "lamp=0"},
                      resetBlink,
                      {"lamp=2", "panel2=Connected", "panel2=Ready @ 115200", "lamp=1"}}));
}

class BoxStartRateTest : public ConnectLinkTest, public ::testing::WithParamInterface<int> {};

TEST_P(BoxStartRateTest, OneResetReachesTheBoxAndTheLinkEndsAtTheTop) {
    FakeBox box(port, GetParam());
    link.ConnectLink();

    EXPECT_EQ(status.PanelText(2), QStringLiteral("Ready @ 115200"));
    EXPECT_EQ(status.lamp, LinkStatus::kLampGreen);
    // The first reset brings the box down from wherever it was (a box already
    // at 9600 hears nothing and needs nothing); the second one from 115200.
    const std::vector<int> expected =
        GetParam() == 9600 ? std::vector<int>{115200} : std::vector<int>{GetParam(), 115200};
    EXPECT_EQ(box.resetsHeardAt, expected);
}

INSTANTIATE_TEST_SUITE_P(EveryRate, BoxStartRateTest,
                         ::testing::Values(9600, 19200, 38400, 57600, 115200));

struct RateLimitCase {
    const char* name;
    const char* maxBaud;
    int boxTopRate;
    const char* ready;
};

class RateLimitTest : public ConnectLinkTest,
                      public ::testing::WithParamInterface<RateLimitCase> {};

TEST_P(RateLimitTest, EndsAtTheHighestRateBothAllow) {
    const RateLimitCase& c = GetParam();
    FakeBox box(port, 38400);
    box.topRate = c.boxTopRate;
    link.SetMaxBaud(QString::fromLatin1(c.maxBaud));
    link.ConnectLink();

    EXPECT_EQ(status.PanelText(2), QStringLiteral("Ready @ ") + QLatin1String(c.ready));
    EXPECT_EQ(link.CurBaud(), QLatin1String(c.ready));
    EXPECT_EQ(box.rate, QString::fromLatin1(c.ready).toInt());
    EXPECT_EQ(status.lamp, LinkStatus::kLampGreen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RateLimitTest,
    ::testing::Values(RateLimitCase{"MaxBaud57600", "57600", 115200, "57600"},
                      RateLimitCase{"BoxStopsAt19200", "115200", 19200, "19200"},
                      RateLimitCase{"BoxStopsAt9600", "115200", 9600, "9600"},
                      RateLimitCase{"BoxLimitBelowMaxBaud", "57600", 38400, "38400"},
                      // A rate that is not on the ladder allows every step below it.
                      RateLimitCase{"MaxBaudOffLadder", "40000", 115200, "57600"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectLinkTest, MaxBaud9600SendsNoStepUpAndNoSearchVerification) {
    FakeBox box(port, 115200);
    link.SetMaxBaud(QStringLiteral("9600"));
    link.ConnectLink();

    // The search leaves the port at 9600, where the second reset then starts.
    const Strings secondReset = {"a@9600", "a@19200", "a@38400", "a@57600", "a@115200"};
    EXPECT_EQ(port.writes, Concat({kFirstReset, secondReset, {"b@9600", "e@9600"}}));
    EXPECT_EQ(status.PanelText(2), QStringLiteral("Ready @ 9600"));
}

TEST_F(ConnectLinkTest, BoxThatStopsAt19200IsSteppedBackToIt) {
    FakeBox box(port, 9600);
    box.topRate = 19200;
    link.ConnectLink();

    // The search fails at 38400 and leaves the port there, so the second reset
    // starts at 38400; then one step up and the final verification at 19200.
    const Strings search = {"b@9600", "e@9600", "c@9600", "b@19200", "e@19200", "c@19200",
                            "b@38400"};
    const Strings secondReset = {"a@38400", "a@19200", "a@38400", "a@57600", "a@115200"};
    EXPECT_EQ(port.writes,
              Concat({kFirstReset, search, secondReset, {"c@9600", "b@19200", "e@19200"}}));
    EXPECT_EQ(status.PanelText(2), QStringLiteral("Ready @ 19200"));
}

TEST_F(ConnectLinkTest, SilentBoxEndsInComRetryWithARedLampAndNoMessage) {
    FakeBox box(port, 9600);
    box.present = false;
    link.ConnectLink();

    EXPECT_EQ(status.PanelText(2), QStringLiteral("COM Retry"));
    EXPECT_EQ(status.lamp, LinkStatus::kLampRed);
    EXPECT_EQ(link.CurBaud(), QStringLiteral("9600"));
    EXPECT_TRUE(alerts.log.empty());
    EXPECT_TRUE(port.IsOpen());
    // Five reset waits and a version request at 9600: a box that does not
    // answer at the base rate is not searched further.
    EXPECT_EQ(clock.Elapsed(), 600ms);
    EXPECT_EQ(port.writes, Concat({kFirstReset, {"b@9600"}}));
}

// A box that fell silent (while monitoring at 115200) and answers again while
// a reconnect is under way: once the rate search had failed its first step
// against the silent box, the box came back in time for the final check at
// 9600, and the link stayed at 9600 for good.
TEST_F(ConnectLinkTest, ABoxBackFromSilenceMidConnectionIsNotTakenForA9600Box) {
    FakeBox box(port, 9600);
    link.ConnectLink();
    ASSERT_EQ(status.PanelText(2), QStringLiteral("Ready @ 115200"));

    box.present = false;
    bool askedVersion = false;
    port.onWrite = [&, chained = port.onWrite](char byte, int baud) {
        // Back from the first reset after a version request of this attempt.
        if (byte == 'b') askedVersion = true;
        if (byte == 'a' && askedVersion) box.present = true;
        chained(byte, baud);
    };
    status.log.clear();
    // As the monitoring loop does: again while the attempt ends in "COM Retry".
    link.ConnectLink();
    for (int attempt = 0; attempt < 3 && status.PanelText(2) == QStringLiteral("COM Retry");
         ++attempt)
        link.ConnectLink();

    EXPECT_EQ(std::count(status.log.begin(), status.log.end(), "panel2=Ready @ 9600"), 0);
    EXPECT_EQ(status.PanelText(2), QStringLiteral("Ready @ 115200"));
    EXPECT_EQ(status.notice, "");
}

TEST_F(ConnectLinkTest, AReconnectBelowTheEarlierRateIsToldUntilARetryGetsItBack) {
    FakeBox box(port, 9600);
    link.ConnectLink();
    EXPECT_EQ(status.notice, "");

    box.topRate = 9600;  // say, a box still busy with something else
    link.ConnectLink();
    EXPECT_EQ(status.PanelText(2), QStringLiteral("Ready @ 9600"));
    EXPECT_EQ(status.notice, "Link at 9600 (was 115200) - click COM Status to retry");
    link.ConnectLink();  // the retry lands low again: still told
    EXPECT_EQ(status.notice, "Link at 9600 (was 115200) - click COM Status to retry");

    box.topRate = 115200;
    link.ConnectLink();
    EXPECT_EQ(status.PanelText(2), QStringLiteral("Ready @ 115200"));
    EXPECT_EQ(status.notice, "");

    // A rate limit the user chose is no loss.
    link.SetMaxBaud(QStringLiteral("38400"));
    link.ConnectLink();
    EXPECT_EQ(status.PanelText(2), QStringLiteral("Ready @ 38400"));
    EXPECT_EQ(status.notice, "");
}

// A handler nested in a reconnect's wait while the port is closed for the
// rate change (a Stop click, the monitoring loop taking its turn) touches the
// port: that is no serial port error, and the reconnect goes on. A port that
// is closed for any other reason still is one.
TEST_F(ConnectLinkTest, TouchingThePortWhileAReconnectHasItClosedIsNoSerialError) {
    FakeBox box(port, 9600);
    link.ConnectLink();
    ASSERT_EQ(status.PanelText(2), QStringLiteral("Ready @ 115200"));

    int touches = 0;
    yielder.onYield = [&] {
        if (port.IsOpen()) return;
        ++touches;
        link.RequestFrame();
        EXPECT_EQ(link.InBufferCount(), 0);
        link.ReadInput();
        EXPECT_TRUE(link.RxBuf().empty());
        EXPECT_EQ(link.ReadLampState(), Link::Lamp::Unknown);
        link.StopSelfTestCmd();
    };
    link.ConnectLink();
    EXPECT_GT(touches, 0);
    EXPECT_TRUE(alerts.log.empty());
    EXPECT_EQ(status.PanelText(2), QStringLiteral("Ready @ 115200"));

    yielder.onYield = nullptr;
    port.Close();
    EXPECT_THROW(link.RequestFrame(), SerialPortError);
    EXPECT_THROW(link.InBufferCount(), SerialPortError);
}

// A click on "COM Status" while a reconnect runs starts a second connection
// nested in the first one's wait. Once it is done, the box and the port are
// where it left them; the first one, carrying on from its own step, used to
// fail its next verification there and settle lower.
TEST_F(ConnectLinkTest, AConnectionNestedInAnotherLeavesItsOwnOutcome) {
    FakeBox box(port, 9600);
    for (std::size_t clickAt : {3u, 8u, 12u, 20u, 26u}) {
        SCOPED_TRACE(clickAt);
        const std::size_t start = port.writes.size();
        bool clicked = false;
        yielder.onYield = [&] {
            if (clicked || port.writes.size() < start + clickAt) return;
            clicked = true;
            link.ConnectLink();
        };
        link.ConnectLink();
        EXPECT_TRUE(clicked);
        EXPECT_EQ(status.PanelText(2).toStdString(), "Ready @ 115200");
        EXPECT_EQ(box.rate, 115200);
        EXPECT_EQ(port.Settings().toStdString(), "115200,n,8,1");
    }
    EXPECT_TRUE(alerts.log.empty());
}

struct PortErrorCase {
    const char* name;
    int comPort;
    bool openFails;
    int failWritesAfter;
};

class SerialPortErrorTest : public ConnectLinkTest,
                            public ::testing::WithParamInterface<PortErrorCase> {};

TEST_P(SerialPortErrorTest, ShowsTheMessageThenResetsTheSavedPortThenEnds) {
    const PortErrorCase& c = GetParam();
    ASSERT_TRUE(WriteSettings(3, SettingsPath()));
    FakeBox box(port, 9600);
    port.openFails = c.openFails;
    port.failWritesAfter = c.failWritesAfter;
    link.SetComPort(static_cast<std::int16_t>(c.comPort));

    QByteArray fileAtMessage;
    QByteArray fileAtEnd;
    alerts.onCritical = [&] { fileAtMessage = SettingsBytes(); };
    alerts.onEnd = [&] { fileAtEnd = SettingsBytes(); };
    link.ConnectLink();

    EXPECT_EQ(
        alerts.log,
        Strings({"critical:System Configuration Error|Serial Port Error.  Please reconfigure.",
                 "end"}));
    // The port's own reason goes along as the message's detail.
    ASSERT_EQ(alerts.details.size(), 1u);
    EXPECT_EQ(alerts.details[0], c.failWritesAfter >= 0 ? "write failed" : "cannot open");
    EXPECT_EQ(fileAtMessage, QByteArray(" 3 \r\n"));
    EXPECT_EQ(fileAtEnd, QByteArray(" 0 \r\n"));
    EXPECT_NE(status.PanelText(2), QStringLiteral("COM Retry"));
}

INSTANTIATE_TEST_SUITE_P(Cases, SerialPortErrorTest,
                         ::testing::Values(PortErrorCase{"PortZero", 0, false, -1},
                                           PortErrorCase{"NegativePort", -2, false, -1},
                                           PortErrorCase{"PortBeyondMapping", 17, false, -1},
                                           PortErrorCase{"MissingDevice", 2, true, -1},
                                           PortErrorCase{"DeviceLostDuringSearch", 1, false, 7}),
                         [](const auto& info) { return std::string(info.param.name); });

// An adapter that comes back but will not open is waited for with its
// reason on show, not as "unplugged" for ever; the reason goes once it opens.
TEST_F(ConnectLinkTest, AnAdapterBackButNotOpenedIsAwaitedWithTheReason) {
    FakeBox box(port, 9600);
    port.device = m_dir.filePath(QStringLiteral("ttyUSB0"));
    QFile node(port.device);
    ASSERT_TRUE(node.open(QIODevice::WriteOnly));
    node.close();
    link.ConnectLink();
    ASSERT_TRUE(status.PanelText(2).startsWith(QStringLiteral("Ready")));
    const Link::UnplugWatch watch(link);

    ASSERT_TRUE(QFile::remove(port.device));
    ASSERT_TRUE(link.NoticeUnplug());
    EXPECT_EQ(status.notice, Link::kUnpluggedNotice);

    ASSERT_TRUE(node.open(QIODevice::WriteOnly));  // back, but it will not open
    node.close();
    port.openFails = true;
    for (int attempt = 0; attempt < 2; ++attempt) {
        ASSERT_TRUE(link.WaitForAdapter([] { return true; }));
        link.ConnectLink();
        EXPECT_TRUE(link.AdapterUnplugged());
        EXPECT_NE(status.notice.find("cannot open"), std::string::npos) << status.notice;
        EXPECT_EQ(status.PanelText(2).toStdString(), Link::kOpenFailedPanel);
    }
    ASSERT_TRUE(link.WaitForAdapter([] { return true; }));
    EXPECT_NE(status.notice.find("cannot open"), std::string::npos) << "cleared while waiting";

    port.openFails = false;
    link.ConnectLink();
    EXPECT_FALSE(link.AdapterUnplugged());
    EXPECT_TRUE(status.notice.empty()) << status.notice;
    EXPECT_TRUE(alerts.log.empty());
}

TEST_F(ConnectLinkTest, UnwritableSettingsFileIsToldOnceAndTheValueKept) {
    Link lost(port, clock, yielder, status, alerts,
              m_dir.filePath(QStringLiteral("no/such/dir/quarnom.ini")));
    lost.SetComPort(2);

    EXPECT_FALSE(lost.WriteSettings(2));
    EXPECT_FALSE(lost.WriteSettings(3));
    EXPECT_EQ(lost.ReadSettings(), 0);
    EXPECT_EQ(lost.ComPort(), 2);
    ASSERT_EQ(alerts.log.size(), 1u);
    EXPECT_EQ(alerts.log[0].rfind("notSaved:", 0), 0u);
}

}  // namespace
}  // namespace quarn::test
