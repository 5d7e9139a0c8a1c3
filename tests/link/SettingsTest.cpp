// Covers the settings file byte for byte (what each content reads as and what
// is left on disk), files that cannot be written, the mapping of port numbers
// to devices, and line settings texts.

#include <gtest/gtest.h>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "link/SerialPort.h"
#include "link/Settings.h"

namespace quarn {
namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString Path() const { return m_dir.filePath(QStringLiteral("quarnom.ini")); }
    void Put(const QByteArray& bytes) const {
        QFile f(Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray Contents() const {
        QFile f(Path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir m_dir;
};

struct ReadCase {
    const char* name;
    std::optional<QByteArray> content;  // nothing: no file
    std::int16_t port;
    bool rewritten;
};

class ReadSettingsTest : public SettingsFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadSettingsTest, ReadsThePortOrZeroAndRewritesZeroOnFailure) {
    const ReadCase& c = GetParam();
    if (c.content) Put(*c.content);

    bool rewriteFailed = false;
    EXPECT_EQ(ReadSettings(Path(), &rewriteFailed), c.port);
    EXPECT_FALSE(rewriteFailed);
    EXPECT_EQ(Contents(), c.rewritten ? QByteArray(" 0 \r\n") : *c.content);
}

INSTANTIATE_TEST_SUITE_P(
    Contents, ReadSettingsTest,
    ::testing::Values(ReadCase{"Missing", std::nullopt, 0, true},
                      ReadCase{"AsWritten", QByteArray(" 2 \r\n"), 2, false},
                      ReadCase{"BareDigit", QByteArray("2"), 2, false},
                      ReadCase{"Empty", QByteArray(""), 0, true},
                      ReadCase{"Letters", QByteArray("abc"), 0, true},
                      ReadCase{"TooLarge", QByteArray("70000"), 0, true},
                      ReadCase{"Negative", QByteArray("-5 \r\n"), -5, false},
                      ReadCase{"Smallest", QByteArray("-32768"), -32768, false},
                      ReadCase{"Largest", QByteArray("32767\n"), 32767, false},
                      ReadCase{"JustTooLarge", QByteArray("32768"), 0, true},
                      ReadCase{"CommaEndsTheItem", QByteArray("3,9600\r\n"), 3, false},
                      ReadCase{"LeadingTabsAndSpaces", QByteArray(" \t 4\n"), 4, false},
                      ReadCase{"OnlyTheFirstLine", QByteArray("1\r\n2\r\n"), 1, false},
                      ReadCase{"EmptyFirstLine", QByteArray("\r\n5\r\n"), 0, true},
                      ReadCase{"TrailingLetters", QByteArray("2x"), 0, true},
                      ReadCase{"Fraction", QByteArray("2.5"), 0, true},
                      ReadCase{"Blank", QByteArray("   \r\n"), 0, true},
                      ReadCase{"Binary", QByteArray("\0\x01\xff", 3), 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFileTest, WriteLaysOutSignDigitsSpaceCrLf) {
    const std::vector<std::pair<std::int16_t, QByteArray>> cases = {
        {3, QByteArray("\x20\x33\x20\x0D\x0A")},
        {0, QByteArray(" 0 \r\n")},
        {16, QByteArray(" 16 \r\n")},
        {-5, QByteArray("-5 \r\n")},
        {32767, QByteArray(" 32767 \r\n")},
        {-32768, QByteArray("-32768 \r\n")},
    };
    Put(QByteArray(100, 'x'));  // writing replaces the whole file
    for (const auto& [port, bytes] : cases) {
        ASSERT_TRUE(WriteSettings(port, Path()));
        EXPECT_EQ(Contents(), bytes) << port;
        EXPECT_EQ(ReadSettings(Path()), port);
    }
}

// The new file is renamed into place: the old one is never rewritten in
// place, so a second name for it (a hard link) still holds the old port.
TEST_F(SettingsFileTest, WritingReplacesTheFileRatherThanRewritingIt) {
    ASSERT_TRUE(WriteSettings(3, Path()));
    const QString second = m_dir.filePath(QStringLiteral("old.ini"));
    ASSERT_EQ(::link(QFile::encodeName(Path()).constData(), QFile::encodeName(second).constData()), 0);
    ASSERT_TRUE(WriteSettings(4, Path()));
    EXPECT_EQ(ReadSettings(Path()), 4);
    EXPECT_EQ(ReadSettings(second), 3);
    // Nothing is left beside it.
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), 2);
}

TEST_F(SettingsFileTest, UnwritableLocationReportsFailureWithoutCrashing) {
    // A missing folder and a folder in the file's place stop even root, whom
    // a read-only folder would not.
    for (const QString& path :
         {m_dir.filePath(QStringLiteral("missing/quarnom.ini")), m_dir.path()}) {
        EXPECT_FALSE(WriteSettings(3, path)) << path.toStdString();
        bool rewriteFailed = false;
        EXPECT_EQ(ReadSettings(path, &rewriteFailed), 0);
        EXPECT_TRUE(rewriteFailed) << path.toStdString();
    }
}

TEST(PortDeviceTest, EnvironmentThenUsbAdapterThenBuiltInPortForOneToSixteenOnly) {
    qputenv("QUARN_COM2", "/dev/pts/42");
    qputenv("QUARN_COM3", "");  // set but empty counts as unset
    qputenv("QUARN_COM0", "/dev/pts/1");
    qputenv("QUARN_COM17", "/dev/pts/1");

    EXPECT_EQ(PortDevice(2), QStringLiteral("/dev/pts/42"));
    for (int port : {1, 3, 16}) {
        const QString usb = QStringLiteral("/dev/ttyUSB%1").arg(port - 1);
        const QString expected =
            QFileInfo::exists(usb) ? usb : QStringLiteral("/dev/ttyS%1").arg(port - 1);
        EXPECT_EQ(PortDevice(port), expected) << port;
    }
    for (int port : {0, -1, -32768, 17, 32767}) EXPECT_TRUE(PortDevice(port).isEmpty()) << port;

    for (const char* name : {"QUARN_COM0", "QUARN_COM2", "QUARN_COM3", "QUARN_COM17"})
        qunsetenv(name);
}

// The user's binding comes between the variable and the old rule; the
// stable name of a node is the by-id entry leading to it.
TEST(PortDeviceTest, BindingBetweenEnvironmentAndRuleAndStableNamesOfNodes) {
    const PortBindingLookup bound = [](int port) {
        return port == 4 ? QStringLiteral("/dev/bound") : QString();
    };
    qputenv("QUARN_COM5", "/dev/pts/42");
    EXPECT_EQ(ResolvePort(4, bound).device, QStringLiteral("/dev/bound"));
    EXPECT_EQ(ResolvePort(4, bound).source, PortSource::Binding);
    EXPECT_EQ(ResolvePort(5, bound).source, PortSource::Environment);
    EXPECT_EQ(ResolvePort(6, bound).source, PortSource::Rule);
    EXPECT_EQ(ResolvePort(17, bound).source, PortSource::None);
    qputenv("QUARN_COM4", "/dev/pts/43");
    EXPECT_EQ(PortDevice(4, bound), QStringLiteral("/dev/pts/43"));
    qunsetenv("QUARN_COM4");
    qunsetenv("QUARN_COM5");
    EXPECT_EQ(ResolvePort(4).source, PortSource::Rule);

    QTemporaryDir dir;
    const QString node = dir.filePath(QStringLiteral("ttyUSB3"));
    const QString byId = dir.filePath(QStringLiteral("by-id"));
    ASSERT_TRUE(QFile(node).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("by-id")));
    const QString stable = byId + QStringLiteral("/usb-FTDI_FT232R_A1B2C3-if00-port0");
    ASSERT_TRUE(QFile::link(QStringLiteral("../ttyUSB3"), stable));
    EXPECT_EQ(StableDeviceName(node, byId), stable);
    EXPECT_EQ(StableDeviceName(stable, byId), stable);
    EXPECT_TRUE(StableDeviceName(dir.filePath(QStringLiteral("ttyS0")), byId).isEmpty());
    EXPECT_TRUE(StableDeviceName(node, dir.filePath(QStringLiteral("none"))).isEmpty());
}

TEST(LineSettingsTest, ParsesRateParityInEitherCaseDataAndStopBits) {
    const LineSettings eightNoneOne{19200, Parity::None, 8, StopBits::One};
    EXPECT_EQ(ParseLineSettings(QStringLiteral("19200,N,8,1")), eightNoneOne);
    EXPECT_EQ(ParseLineSettings(QStringLiteral("19200,n,8,1")), eightNoneOne);
    EXPECT_EQ(ParseLineSettings(QStringLiteral(" 115200 , e , 7 , 2 ")),
              (LineSettings{115200, Parity::Even, 7, StopBits::Two}));

    for (const char* bad : {"", "9600", "9600,n,8,1,1", "abc,n,8,1", "0,n,8,1", "-9600,n,8,1",
                            "9600,x,8,1", "9600,,8,1", "9600,n,9,1", "9600,n,4,1", "9600,n,8,3"})
        EXPECT_FALSE(ParseLineSettings(QString::fromLatin1(bad))) << bad;
}

}  // namespace
}  // namespace quarn
