// Covers the QSerialPort implementation against a real pseudo-terminal: rates
// reaching the device, bytes both ways, the 1000-byte receive buffer, stale
// input, errors for missing, busy and closed ports, a device that vanishes
// while open, and the Qt yield waiting without spinning.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <functional>
#include <thread>

#include "link/Clock.h"
#include "link/PtyPair.h"
#include "link/QtSerialPort.h"

namespace quarn::test {
namespace {

using namespace std::chrono_literals;

constexpr int kPort = 5;

// Counts socket notifier activations, the events a vanished device floods.
class SocketEventCounter : public QObject {
public:
    SocketEventCounter() { QCoreApplication::instance()->installEventFilter(this); }
    ~SocketEventCounter() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::SockAct) ++count;
        return QObject::eventFilter(watched, event);
    }
    int count = 0;
};

class QtSerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_pty.Valid());
        qputenv("QUARN_COM5", QByteArray::fromStdString(m_pty.SlavePath()));
        m_port.SetCommPort(kPort);
        m_port.SetSettings(QStringLiteral("115200,n,8,1"));
    }
    void TearDown() override {
        m_port.Close();
        qunsetenv("QUARN_COM5");
        qunsetenv("QUARN_COM6");
    }

    // Serves the event loop until done() holds; the bound only keeps a broken
    // build from hanging the suite.
    bool YieldUntil(const std::function<bool()>& done) {
        const auto giveUp = m_clock.Now() + 5s;
        while (!done() && m_clock.Now() < giveUp) m_yielder.Yield(QtYielder::kMaxBlock);
        return done();
    }
    void YieldFor(int times) {
        for (int i = 0; i < times; ++i) m_yielder.Yield(QtYielder::kMaxBlock);
    }

    PtyPair m_pty;
    QtSerialPort m_port;
    QtYielder m_yielder;
    SystemClock m_clock;
};

TEST_F(QtSerialPortTest, EveryLadderRateReachesTheDeviceInEitherParityCase) {
    const std::vector<std::pair<const char*, speed_t>> cases = {
        {"9600,n,8,1", B9600},   {"19200,N,8,1", B19200}, {"19200,n,8,1", B19200},
        {"38400,N,8,1", B38400}, {"57600,n,8,1", B57600}, {"115200,N,8,1", B115200},
    };
    m_port.SetDTREnable(true);
    m_port.SetRTSEnable(true);
    for (const auto& [settings, speed] : cases) {
        m_port.Close();
        m_port.SetSettings(QString::fromLatin1(settings));
        m_port.Open();
        ASSERT_TRUE(m_port.IsOpen());
        EXPECT_EQ(m_pty.SlaveSpeed(), speed) << settings;
        EXPECT_EQ(m_port.Settings(), QLatin1String(settings));
    }
}

TEST_F(QtSerialPortTest, ByteGoesOutAtOnceAndAllWaitingBytesComeBack) {
    m_port.Open();
    m_port.Output('f');
    EXPECT_EQ(m_pty.Read(2000), "f");

    std::string reply;
    for (int i = 0; i < 45; ++i) reply += static_cast<char>(0x80 + i);
    m_pty.Write(reply);
    ASSERT_TRUE(YieldUntil([&] { return m_port.InBufferCount() == 45; }));
    const ByteBuffer got = m_port.Input();
    EXPECT_EQ(std::string(got.begin(), got.end()), reply);
    EXPECT_TRUE(m_port.Input().empty());
    EXPECT_EQ(m_port.InBufferCount(), 0);
}

// A program held up (a slow disk under the log) runs no event loop while the
// answer comes in: the answer is counted and read all the same, instead of
// being taken for one that never came.
TEST_F(QtSerialPortTest, BytesThatCameWhileNoEventLoopRanAreCountedAndRead) {
    m_port.Open();
    const std::string answer(38, '\x5a');
    m_pty.Write(answer);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(m_port.InBufferCount(), 38);
    const ByteBuffer got = m_port.Input();
    EXPECT_EQ(std::string(got.begin(), got.end()), answer);
    EXPECT_EQ(m_port.InBufferCount(), 0);
}

TEST_F(QtSerialPortTest, ReceiveBufferHoldsAThousandBytesAndLosesNone) {
    m_port.Open();
    std::string sent;
    for (int i = 0; i < 1500; ++i) sent += static_cast<char>(i % 251);
    m_pty.Write(sent);

    ASSERT_TRUE(
        YieldUntil([&] { return m_port.InBufferCount() == SerialPort::kReceiveBufferBytes; }));
    ByteBuffer got = m_port.Input();
    EXPECT_EQ(got.size(), 1000u);
    ASSERT_TRUE(YieldUntil([&] { return m_port.InBufferCount() == 500; }));
    const ByteBuffer rest = m_port.Input();
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_EQ(std::string(got.begin(), got.end()), sent);
}

// A hinted wait for 38 bytes: the event loop is not woken for the first 20,
// yet they are counted and read; the 38th wakes it. A write ends the hint.
TEST_F(QtSerialPortTest, AHintedWaitWakesOnlyForTheWholeAnswerAndLosesNothing) {
    m_port.Open();
    SocketEventCounter events;
    m_port.WakeWhenWaiting(38);
    m_pty.Write(std::string(20, 'a'));
    ASSERT_TRUE(YieldUntil([&] { return m_port.InBufferCount() == 20; }));
    YieldFor(3);
    EXPECT_EQ(events.count, 0);

    m_pty.Write(std::string(18, 'b'));
    ASSERT_TRUE(YieldUntil([&] { return events.count > 0; }));
    EXPECT_EQ(m_port.InBufferCount(), 38);
    ByteBuffer got = m_port.Input();
    EXPECT_EQ(std::string(got.begin(), got.end()), std::string(20, 'a') + std::string(18, 'b'));

    // A partial answer is read whole too (the time-out's discard).
    m_port.WakeWhenWaiting(38);
    m_pty.Write("partial");
    ASSERT_TRUE(YieldUntil([&] { return m_port.InBufferCount() == 7; }));
    got = m_port.Input();
    EXPECT_EQ(std::string(got.begin(), got.end()), "partial");
    EXPECT_EQ(m_port.InBufferCount(), 0);

    // After a command any reply wakes the loop at once.
    m_port.WakeWhenWaiting(38);
    m_port.Output('h');
    EXPECT_EQ(m_pty.Read(2000), "h");
    events.count = 0;
    m_pty.Write("0");
    ASSERT_TRUE(YieldUntil([&] { return events.count > 0; }));
    EXPECT_EQ(m_port.InBufferCount(), 1);
}

TEST_F(QtSerialPortTest, StaleInputIsDiscardedOnOpen) {
    m_pty.Write("stale bytes from before");
    m_port.Open();
    YieldFor(10);
    EXPECT_EQ(m_port.InBufferCount(), 0);

    m_pty.Write("x");
    EXPECT_TRUE(YieldUntil([&] { return m_port.InBufferCount() == 1; }));
}

TEST_F(QtSerialPortTest, ClosedMissingBusyAndInvalidPortsThrow) {
    EXPECT_THROW(m_port.InBufferCount(), SerialPortError);
    EXPECT_THROW(m_port.Input(), SerialPortError);
    EXPECT_THROW(m_port.Output('a'), SerialPortError);

    m_port.Open();
    QtSerialPort second;
    second.SetCommPort(kPort);
    EXPECT_THROW(second.Open(), SerialPortError);
    EXPECT_TRUE(m_port.IsOpen());

    qputenv("QUARN_COM6", "/nonexistent/ttyQuarn");
    for (int number : {6, 0, -1, 17}) {
        m_port.SetCommPort(number);
        EXPECT_THROW(m_port.Open(), SerialPortError) << number;
        EXPECT_FALSE(m_port.IsOpen());
    }
    EXPECT_THROW(m_port.SetSettings(QStringLiteral("fast,n,8,1")), SerialPortError);
    EXPECT_EQ(m_port.Settings(), QStringLiteral("115200,n,8,1"));
}

// The error names the device and says in plain words why it failed; the
// system's own texts alone make a regular file and a missing adapter look
// alike to the user.
TEST_F(QtSerialPortTest, OpenFailuresNameTheDeviceAndTheReason) {
    auto openError = [](QtSerialPort& port, int number) -> std::string {
        port.SetCommPort(number);
        try {
            port.Open();
        } catch (const SerialPortError& error) {
            return error.what();
        }
        return "opened";
    };
    auto has = [](const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos ? ::testing::AssertionSuccess()
                                                    : ::testing::AssertionFailure() << text;
    };
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain"));
    ASSERT_TRUE(QFile(plain).open(QIODevice::WriteOnly));
    for (const auto& [device, reason] : std::vector<std::pair<QString, std::string>>{
             {dir.filePath(QStringLiteral("missing")), "the device does not exist"},
             {plain, "it is not a serial device"},
             {QStringLiteral("/dev/null"), "it is not a serial device"},
             {dir.path(), "it is a folder, not a serial device"}}) {
        qputenv("QUARN_COM6", QFile::encodeName(device));
        EXPECT_TRUE(has(openError(m_port, 6), device.toStdString() + "): " + reason));
    }
    EXPECT_EQ(openError(m_port, 99), "Serial port 99 does not exist: port numbers run from 1 to 16");
    EXPECT_EQ(openError(m_port, -1), "Serial port -1 does not exist: port numbers run from 1 to 16");
    m_port.SetCommPort(kPort);
    m_port.Open();
    QtSerialPort second;
    EXPECT_TRUE(has(openError(second, kPort), "in use by another program"));
}

TEST_F(QtSerialPortTest, VanishedDeviceClosesThePortInsteadOfFlooding) {
    // The device is reached through a name that goes away with it, as an
    // adapter's node does: the freed pseudo-terminal number may be handed to
    // another test's terminal at once.
    QTemporaryDir dir;
    const QString node = dir.filePath(QStringLiteral("ttyUSB-vanishing"));
    ASSERT_TRUE(QFile::link(QString::fromStdString(m_pty.SlavePath()), node));
    qputenv("QUARN_COM5", node.toLocal8Bit());
    m_port.SetCommPort(kPort);  // the number is resolved here
    m_port.Open();
    SocketEventCounter counter;
    m_pty.CloseMaster();
    QFile::remove(node);

    // Nothing calls the port: the failure is noticed by the event loop alone.
    ASSERT_TRUE(YieldUntil([&] { return !m_port.IsOpen(); }));
    std::printf("[ INFO     ] socket events until the port closed itself: %d\n", counter.count);

    // The port reads as closed from the first error on; the close itself runs
    // on the next pass of the event loop, which may still deliver one event.
    YieldFor(1);
    counter.count = 0;
    YieldFor(20);
    EXPECT_EQ(counter.count, 0);

    EXPECT_THROW(m_port.InBufferCount(), SerialPortError);
    EXPECT_THROW(m_port.Input(), SerialPortError);
    EXPECT_THROW(m_port.Output('f'), SerialPortError);
    EXPECT_THROW(m_port.Open(), SerialPortError);
}

// The number is resolved when it is set, not at every open: once the device
// has gone, the number's rule may lead to another device that opens (a
// built-in ttyS0 in place of an unplugged ttyUSB0), and talking to that one
// would never bring the box back.
TEST_F(QtSerialPortTest, TheDeviceIsResolvedOnceAndNeverSwitchedToAnother) {
    QTemporaryDir dir;
    const QString node = dir.filePath(QStringLiteral("ttyUSB-unplugged"));
    ASSERT_TRUE(QFile::link(QString::fromStdString(m_pty.SlavePath()), node));
    qputenv("QUARN_COM5", node.toLocal8Bit());
    m_port.SetCommPort(kPort);
    m_port.Open();
    m_port.Close();

    PtyPair other;
    ASSERT_TRUE(other.Valid());
    qputenv("QUARN_COM5", QByteArray::fromStdString(other.SlavePath()));
    QFile::remove(node);
    EXPECT_EQ(m_port.Device(), node);
    try {
        m_port.Open();
        ADD_FAILURE() << "opened " << m_port.Device().toStdString();
    } catch (const SerialPortError& error) {
        EXPECT_NE(std::string(error.what()).find("does not exist"), std::string::npos)
            << error.what();
    }
}

// The port asks the bindings it was given at every SetCommPort, so a binding
// chosen in the setup holds from the next connection on; the variable still
// wins.
TEST_F(QtSerialPortTest, TheBindingsGivenToThePortResolveItsNumber) {
    QString bound = QString::fromStdString(m_pty.SlavePath());
    QtSerialPort port([&bound](int number) { return number == 6 ? bound : QString(); });
    port.SetCommPort(6);
    EXPECT_EQ(port.Device(), bound);
    port.Open();
    EXPECT_TRUE(port.IsOpen());
    port.Close();

    bound = QStringLiteral("/dev/quarn-rebound");
    port.SetCommPort(6);
    EXPECT_EQ(port.Device(), bound);
    qputenv("QUARN_COM6", "/dev/quarn-from-environment");
    port.SetCommPort(6);
    EXPECT_EQ(port.Device(), QStringLiteral("/dev/quarn-from-environment"));
    port.SetCommPort(7);
    EXPECT_NE(port.Device(), bound);
}

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST(QtYielderTest, WaitSecondsServesEventsNestedAndNeverEndsEarly) {
    SystemClock clock;
    QtYielder yielder;
    bool served = false;
    QTimer::singleShot(50, [&] { served = true; });

    const double cpuBefore = CpuSeconds();
    const auto start = clock.Now();
    WaitSeconds(clock, yielder, 5.0);
    const double wall = std::chrono::duration<double>(clock.Now() - start).count();
    const double cpu = CpuSeconds() - cpuBefore;

    EXPECT_TRUE(served);
    EXPECT_GE(wall, 5.0);
    std::printf("[ INFO     ] WaitSeconds(5): %.3f s wall, %.3f s CPU (%.2f %% of a core)\n", wall,
                cpu, 100.0 * cpu / wall);
}

}  // namespace
}  // namespace quarn::test
