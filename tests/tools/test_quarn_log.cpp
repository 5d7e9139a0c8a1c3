// quarn-log on real files: the CSV export against hand-computed values and
// against the conversion itself, the info summary, and bad input.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "TestUtil.h"
#include "decode/Conversion.h"
#include "decode/Frame.h"
#include "logging/LogExport.h"
#include "logging/LogFormat.h"

namespace quarn {
namespace {

using test::BinPath;
using test::RunCommand;
using test::TempDir;

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string cell;
    std::istringstream in(s);
    while (std::getline(in, cell, sep)) out.push_back(cell);
    return out;
}

std::string QuarnLog(const std::string& args) {
    std::string command = BinPath("quarn-log");
    return command.append(" ").append(args);
}

class QuarnLogTest : public ::testing::Test {
protected:
    void Append(const ByteBuffer& rx) { ASSERT_TRUE(WriteRecordAt(path, ++records, rx)); }
    void AppendFrame(const RawFrame& raw) {
        const FrameBytes f = EncodeFrame(raw);
        Append(ByteBuffer(f.begin(), f.end()));
    }

    TempDir dir;
    std::string path = dir.File("drive.qz0");
    std::int64_t records = 0;
};

TEST_F(QuarnLogTest, ExportMatchesHandComputedValues) {
    RawFrame a;
    a.analog[0] = 1023;  // MafRaw: 5 V
    a.timer[5] = 46080;  // VssPeriod: 9 mph, a sixth of it on the first frame
    AppendFrame(a);
    RawFrame b = a;
    b.timer[0] = 4606;  // RpmPeriod
    b.timer[2] = 1000;  // InjOnTime
    FrameBytes bad = EncodeFrame(b);
    bad[kChecksumIndex] ^= 0xFF;
    Append(ByteBuffer(bad.begin(), bad.end()));

    const test::CommandResult r = RunCommand(QuarnLog("export " + path));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = Split(r.out, '\n');
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], CsvHeader());
    const auto header = Split(lines[0], ',');
    ASSERT_EQ(header.size(), 39u);

    auto col = [&](const std::vector<std::string>& row, const char* name) {
        const auto it = std::find(header.begin(), header.end(), name);
        return row.at(static_cast<std::size_t>(it - header.begin()));
    };
    const auto r1 = Split(lines[1], ',');
    ASSERT_EQ(r1.size(), 39u);
    EXPECT_EQ(col(r1, "record"), "1");
    EXPECT_EQ(col(r1, "bad_checksum"), "0");
    EXPECT_EQ(col(r1, "RpmPeriod"), "0");  // the word as decoded, not the 1 it becomes
    EXPECT_EQ(col(r1, "Rpm"), "0");
    EXPECT_EQ(col(r1, "MafVolts"), "5");
    EXPECT_EQ(col(r1, "EctF"), "254");
    EXPECT_NEAR(std::stod(col(r1, "Mph")), 1.49940504, 1e-6);
    EXPECT_EQ(col(r1, "BapPressure"), "30.97696");

    // The second record fails its checksum and is converted all the same.
    const auto r2 = Split(lines[2], ',');
    EXPECT_EQ(col(r2, "record"), "2");
    EXPECT_EQ(col(r2, "bad_checksum"), "1");
    EXPECT_EQ(col(r2, "InjOnTime"), "1000");
    EXPECT_NEAR(std::stod(col(r2, "InjDuty")), 2.71385, 1e-4);
    EXPECT_NEAR(std::stod(col(r2, "Mph")), 2 * 1.49940504, 1e-5);
}

TEST_F(QuarnLogTest, FloatColumnsRoundTripExactly) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> analog(0, 1023), timer(1, 65535);
    for (int i = 0; i < 200; ++i) {
        RawFrame raw;
        for (auto& w : raw.analog) w = static_cast<std::uint16_t>(analog(rng));
        for (auto& w : raw.timer) w = static_cast<std::uint16_t>(timer(rng));
        AppendFrame(raw);
    }
    const test::CommandResult r = RunCommand(QuarnLog("export " + path));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = Split(r.out, '\n');
    ASSERT_EQ(lines.size(), 201u);

    // The same records converted here must give bit-identical floats.
    LogReader reader;
    ASSERT_TRUE(reader.Open(path));
    std::size_t line = 1;
    ScanLog(
        reader,
        [&](std::int64_t, bool, const ChannelRecord&, const ChannelRecord& rec) {
            const auto cells = Split(lines[line++], ',');
            const float* f = &rec.Mph;
            for (std::size_t c = 21; c < 39; ++c, ++f) {
                const float parsed = std::strtof(cells[c].c_str(), nullptr);
                ASSERT_EQ(std::memcmp(&parsed, f, sizeof parsed), 0) << cells[c];
            }
        },
        nullptr);
}

TEST_F(QuarnLogTest, DamagedFileIsExportedAsFarAsPossibleAndReported) {
    AppendFrame(RawFrame{});
    RecordBytes broken = EncodeRecord(ByteBuffer(38, 0));
    broken[0] = 7;  // dimension count
    std::vector<std::uint8_t> bytes = test::ReadBytes(path);
    bytes.insert(bytes.end(), broken.begin(), broken.end());
    const RecordBytes shortRec = EncodeRecord(ByteBuffer(12, 0));
    bytes.insert(bytes.end(), shortRec.begin(), shortRec.end());
    const FrameBytes good = EncodeFrame(RawFrame{});
    const RecordBytes last = EncodeRecord(ByteBuffer(good.begin(), good.end()));
    bytes.insert(bytes.end(), last.begin(), last.end());
    bytes.resize(bytes.size() + 5, 0);
    test::WriteBytes(path, bytes);

    const test::CommandResult exp = RunCommand(QuarnLog("export " + path));
    EXPECT_EQ(exp.exitCode, 1);
    const auto lines = Split(exp.out, '\n');
    ASSERT_EQ(lines.size(), 3u);  // header, record 1, record 4
    EXPECT_EQ(Split(lines[2], ',')[0], "4");
    EXPECT_NE(exp.err.find(path + ": record 2: malformed"), std::string::npos) << exp.err;
    EXPECT_NE(exp.err.find(path + ": record 3: holds 12 frame bytes"), std::string::npos);
    EXPECT_NE(exp.err.find("5 bytes after record 4"), std::string::npos);

    const test::CommandResult info = RunCommand(QuarnLog("info " + path));
    EXPECT_EQ(info.exitCode, 1);
    EXPECT_NE(info.out.find("records: 4\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("bad checksum: 0\n"), std::string::npos);
    EXPECT_NE(info.out.find("malformed records: 1\n"), std::string::npos);
    EXPECT_NE(info.out.find("short records: 1\n"), std::string::npos);
    EXPECT_NE(info.out.find("trailing bytes: 5\n"), std::string::npos);
}

// The first frames carry the running averages' start-up values (500, 1000,
// ... rpm on the way to 3000): they are counted apart, never in a range.
TEST_F(QuarnLogTest, InfoSummarisesACleanLogLeavingOutTheWarmUp) {
    RawFrame raw;
    raw.timer[0] = 4606;  // about 3000 rpm once the average fills
    for (int i = 0; i < 20; ++i) AppendFrame(raw);
    FrameBytes bad = EncodeFrame(raw);
    bad[kChecksumIndex] ^= 1;
    Append(ByteBuffer(bad.begin(), bad.end()));

    const test::CommandResult r = RunCommand(QuarnLog("info " + path));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("records: 21\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("bad checksum: 1\n"), std::string::npos);
    EXPECT_NE(r.out.find("warming up: 15\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("range: Rpm 3000.11..3000.11"), std::string::npos) << r.out;
}

TEST_F(QuarnLogTest, InfoOfALogStillWarmingUpHasNoRange) {
    RawFrame raw;
    raw.timer[0] = 4606;
    for (int i = 0; i < 10; ++i) AppendFrame(raw);
    const test::CommandResult r = RunCommand(QuarnLog("info " + path));
    EXPECT_NE(r.out.find("warming up: 10\nrange: no frames\n"), std::string::npos) << r.out;
}

// A frame failing its checksum is counted, but its garbage words must not
// widen the channel ranges.
TEST_F(QuarnLogTest, InfoRangesCoverOnlyFramesThatPassTheirChecksum) {
    RawFrame raw;
    raw.analog[2] = 500;  // EctRaw
    for (int i = 0; i < 20; ++i) AppendFrame(raw);
    const test::CommandResult clean = RunCommand(QuarnLog("info " + path));
    const auto ect = [](const std::string& out) {
        const auto at = out.find(" EctF ");
        return at == std::string::npos ? out : out.substr(at, out.find(' ', at + 6) - at);
    };
    RawFrame wild = raw;
    wild.analog[2] = 1023;
    FrameBytes bad = EncodeFrame(wild);
    bad[kChecksumIndex] ^= 1;
    Append(ByteBuffer(bad.begin(), bad.end()));
    const test::CommandResult r = RunCommand(QuarnLog("info " + path));
    EXPECT_NE(r.out.find("bad checksum: 1\n"), std::string::npos) << r.out;
    EXPECT_EQ(ect(r.out), ect(clean.out)) << r.out;
}

// The export converts with the default car unless given a vehicle file: the
// wheel power scales with the car's weight. The columns stay as they are.
TEST_F(QuarnLogTest, VehicleFileSetsTheCarOfTheExport) {
    RawFrame raw;
    raw.timer[0] = 4606;   // RpmPeriod
    raw.timer[5] = 20000;  // VssPeriod
    raw.timer[6] = 30000;  // VssPeriodPrev: speeding up
    raw.timer[7] = 1000;   // AccelInterval
    for (int i = 0; i < 3; ++i) AppendFrame(raw);
    const std::string vf = dir.File("light.vf");
    std::ofstream(vf) << "weight=1750\ninjsize=36\nnumcyl=8\n";

    const test::CommandResult plain = RunCommand(QuarnLog("export " + path));
    const test::CommandResult light = RunCommand(QuarnLog("export --vehicle " + vf + " " + path));
    ASSERT_EQ(light.exitCode, 0) << light.err;
    const auto plainLines = Split(plain.out, '\n');
    const auto lightLines = Split(light.out, '\n');
    ASSERT_EQ(lightLines.size(), 4u);
    EXPECT_EQ(lightLines[0], CsvHeader());
    const double rwhpPlain = std::stod(Split(plainLines[3], ',').at(37));
    const double rwhpLight = std::stod(Split(lightLines[3], ',').at(37));
    ASSERT_GT(rwhpPlain, 0);
    EXPECT_NEAR(rwhpLight / rwhpPlain, 0.5, 1e-5);

    const test::CommandResult badCar =
        RunCommand(QuarnLog("export --vehicle " + dir.File("none.vf") + " " + path));
    EXPECT_EQ(badCar.exitCode, 1);
    EXPECT_TRUE(badCar.out.empty());
}

// A named pipe would hold the tool forever; anything but a regular file is
// refused at once. Nor is the export ever written onto its own log.
TEST_F(QuarnLogTest, RefusesWhatIsNotARegularFileAndItsOwnLogAsOutput) {
    const std::string fifo = dir.File("pipe.qz0");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const char* command : {"info ", "export "}) {
        const test::CommandResult r = RunCommand("timeout 20 " + QuarnLog(command + fifo));
        EXPECT_EQ(r.exitCode, 1) << command;
        EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
    }
    const test::CommandResult folder = RunCommand(QuarnLog("info " + dir.path().string()));
    EXPECT_EQ(folder.exitCode, 1);

    AppendFrame(RawFrame{});
    const auto before = test::ReadBytes(path);
    const test::CommandResult self = RunCommand(QuarnLog("export " + path + " >>" + path));
    EXPECT_EQ(self.exitCode, 1);
    EXPECT_EQ(test::ReadBytes(path), before);
}

TEST(QuarnLogCli, UsageAndUnreadableFiles) {
    TempDir dir;
    EXPECT_EQ(RunCommand(QuarnLog("--help")).exitCode, 0);
    EXPECT_EQ(RunCommand(QuarnLog("")).exitCode, 2);
    EXPECT_EQ(RunCommand(QuarnLog("frobnicate x")).exitCode, 2);

    const test::CommandResult missing = RunCommand(QuarnLog("export " + dir.File("nope.qz0")));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_NE(missing.err.find("nope.qz0"), std::string::npos);

    const std::string empty = dir.File("empty.qz0");
    test::WriteBytes(empty, {});
    const test::CommandResult r = RunCommand(QuarnLog("export " + empty));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string(CsvHeader()) + "\n");
    EXPECT_EQ(RunCommand(QuarnLog("info " + empty)).exitCode, 0);
}

}  // namespace
}  // namespace quarn
