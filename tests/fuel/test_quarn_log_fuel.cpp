// quarn-log fuel on a simulated log: the table for scripts, and a bad
// transfer table refused with its line.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "TestUtil.h"
#include "logging/LogFormat.h"
#include "tests/fuel/FuelDrives.h"

namespace quarn {
namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun QuarnLogFuel(const std::string& args) {
    ToolRun r;
    const std::string command = test::BinPath("quarn-log") + " fuel " + args + " 2>&1";
    std::FILE* p = ::popen(command.c_str(), "r");
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    r.status = WEXITSTATUS(::pclose(p));
    return r;
}

TEST(QuarnLogFuel, PrintsTheCorrectionsOfASimulatedLog) {
    test::TempDir dir;
    const std::string log = (dir.path() / "drive.qz0").string();
    const std::string table = (dir.path() / "maf.tsv").string();
    const test::ErrorCurve error{{1.2, 0}, {2.0, 6}, {3.0, -4}};
    EngineModel model;
    model.SetFuelling({error, 12.0, 0.15});
    // Fifteen minutes at 100 records a second: warm for the last third.
    for (std::int64_t n = 1; n <= 90000; ++n) {
        const FrameBytes f = EncodeFrame(model.Sample(static_cast<double>(n - 1) * 0.01));
        ASSERT_TRUE(WriteRecordAt(log, n, ByteBuffer(f.begin(), f.end())));
    }
    {
        std::ofstream out(table);
        for (const auto& [v, kgh] : EngineModel::ComputerMafTable(error)) out << v << '\t' << kgh << '\n';
    }
    const ToolRun r = QuarnLogFuel(log + " --transfer " + table + " --rate 100");
    ASSERT_EQ(r.status, 0) << r.out;
    std::istringstream lines(r.out);
    std::string line;
    bool found = false;
    while (std::getline(lines, line)) {
        if (line.rfind(" 3.500", 0) != 0) continue;
        found = true;
        // The last two columns: the change in percent and the suggestion.
        std::istringstream cols(line.substr(line.rfind('|') + 1));
        std::string conf;
        double change = 0;
        cols >> conf >> change;
        EXPECT_NEAR(change, test::KnownCorrection(error, 3.5) * 100, 1.0) << line;
    }
    EXPECT_TRUE(found) << r.out;
    EXPECT_NE(QuarnLogFuel(log + " --transfer " + table + " --json").out.find("\"suggested\""),
              std::string::npos);

    {
        std::ofstream out(table);
        out << "0.5\t10\n1.0 kg/h\n";
    }
    const ToolRun bad = QuarnLogFuel(log + " --transfer " + table);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("line 2"), std::string::npos) << bad.out;
    EXPECT_EQ(QuarnLogFuel(log).status, 2) << "no transfer table";
}

}  // namespace
}  // namespace quarn
