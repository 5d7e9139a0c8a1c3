// Covers the whole link end to end: ConnectLink over QSerialPort and a real
// pseudo-terminal against quarn-boxsim, from every starting rate of the box
// and with a box limited to 19200 (skipped when the simulator is not built),
// and a port whose device does not exist.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

#include "decode/Frame.h"
#include "link/Link.h"
#include "link/LinkFakes.h"
#include "link/QtSerialPort.h"

namespace quarn::test {
namespace {

constexpr int kPort = 7;
const QString kSimulator = QStringLiteral(QUARN_BIN_DIR "/quarn-boxsim");

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class BoxSimLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        link.SetComPort(kPort);
    }

    void TearDown() override {
        port.Close();
        if (m_sim.state() != QProcess::NotRunning) {
            m_sim.terminate();
            if (!m_sim.waitForFinished(3000)) m_sim.kill();
            m_sim.waitForFinished(3000);
        }
        qunsetenv("QUARN_COM7");
    }

    // Starts the simulator behind a stable link in the temporary folder and
    // points port 7 at it. Skips the test when the simulator is not built.
    void StartSimulator(QStringList args) {
        if (!QFileInfo::exists(kSimulator))
            GTEST_SKIP() << "quarn-boxsim not built at " << kSimulator.toStdString();
        const QString device = m_dir.filePath(QStringLiteral("box"));
        args << QStringLiteral("--link") << device;
        m_sim.start(kSimulator, args);
        ASSERT_TRUE(m_sim.waitForStarted(5000));
        while (!m_sim.canReadLine())
            ASSERT_TRUE(m_sim.waitForReadyRead(5000)) << "no device line from quarn-boxsim";
        const QString slave = QString::fromLocal8Bit(m_sim.readLine()).trimmed();
        ASSERT_TRUE(QFileInfo::exists(slave)) << slave.toStdString();
        qputenv("QUARN_COM7", QFile::encodeName(device));
    }

    // Serves the event loop until done() holds; the bound only keeps a broken
    // build from hanging the suite.
    bool YieldUntil(const std::function<bool()>& done) {
        const auto giveUp = clock.Now() + std::chrono::seconds(5);
        while (!done() && clock.Now() < giveUp) yielder.Yield(QtYielder::kMaxBlock);
        return done();
    }

    void ExpectOneGoodFrame() {
        link.RequestFrame();
        ASSERT_TRUE(YieldUntil([&] { return port.InBufferCount() >= kFrameBytes; }));
        link.ReadInput();
        ASSERT_GE(link.RxBuf().size(), std::size_t(kFrameBytes));
        EXPECT_EQ(FrameChecksum(std::span(link.RxBuf()).first(kChecksumIndex)),
                  link.RxBuf()[kChecksumIndex]);
    }

    QByteArray SettingsBytes() const {
        QFile f(m_dir.filePath(QStringLiteral("quarnom.ini")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir m_dir;
    QProcess m_sim;
    SystemClock clock;
    QtYielder yielder;
    QtSerialPort port;
    RecordingStatus status;
    RecordingAlerts alerts;
    Link link{port, clock, yielder, status, alerts, m_dir.filePath(QStringLiteral("quarnom.ini"))};
};

// One connection through a real pseudo-terminal: every rate of the ladder is
// set on the line on the way. The start rates one by one, and the exact bytes,
// are ConnectLinkTest's, on the fake box.
TEST_F(BoxSimLinkTest, ConnectsAt115200FromAMidLadderRateAndExchangesFrames) {
    constexpr int kStartRate = 57600;
    StartSimulator(
        {QStringLiteral("--start-rate"), QString::number(kStartRate), QStringLiteral("--pace")});
    if (IsSkipped() || HasFatalFailure()) return;

    const double cpuBefore = CpuSeconds();
    const auto start = clock.Now();
    link.ConnectLink();
    const double seconds = std::chrono::duration<double>(clock.Now() - start).count();
    std::printf("[ INFO     ] ConnectLink from %d: %.3f s, %.3f s CPU\n", kStartRate, seconds,
                CpuSeconds() - cpuBefore);

    EXPECT_EQ(status.PanelText(2), QStringLiteral("Ready @ 115200"));
    EXPECT_EQ(status.lamp, LinkStatus::kLampGreen);
    EXPECT_TRUE(alerts.log.empty());
    ExpectOneGoodFrame();
}

TEST_F(BoxSimLinkTest, BoxLimitedTo19200EndsReadyAt19200) {
    StartSimulator({QStringLiteral("--start-rate"), QStringLiteral("57600"),
                    QStringLiteral("--max-rate"), QStringLiteral("19200")});
    if (IsSkipped() || HasFatalFailure()) return;

    link.ConnectLink();
    EXPECT_EQ(status.PanelText(2), QStringLiteral("Ready @ 19200"));
    EXPECT_EQ(link.CurBaud(), QStringLiteral("19200"));
    ExpectOneGoodFrame();
}

TEST_F(BoxSimLinkTest, MissingDeviceTakesTheFatalPath) {
    qputenv("QUARN_COM7", QFile::encodeName(m_dir.filePath(QStringLiteral("no-such-tty"))));
    ASSERT_TRUE(WriteSettings(kPort, m_dir.filePath(QStringLiteral("quarnom.ini"))));

    link.ConnectLink();
    EXPECT_EQ(
        alerts.log,
        (std::vector<std::string>{
            "critical:System Configuration Error|Serial Port Error.  Please reconfigure.", "end"}));
    EXPECT_EQ(SettingsBytes(), QByteArray(" 0 \r\n"));
}

}  // namespace
}  // namespace quarn::test
