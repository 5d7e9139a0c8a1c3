// quarn-dash's command line, through the built program: --help and
// --version print without a screen, and values it cannot use are refused at
// once with a message and a failing exit rather than run with.

#include <gtest/gtest.h>

#include <fstream>
#include <filesystem>
#include <string>

#include "TestUtil.h"
#include "Version.h"

namespace quarn {
namespace {

// Runs quarn-dash in a folder of its own with a fresh user configuration;
// screen says which window system it may reach (empty: none at all). The
// timeout ends a program that would run on.
test::CommandResult RunDash(const std::string& args, const std::string& screen,
                           const test::TempDir& dir = test::TempDir()) {
    std::string line = "cd " + dir.path().string() + " && env -u DISPLAY -u WAYLAND_DISPLAY";
    line += screen.empty() ? " -u QT_QPA_PLATFORM" : " QT_QPA_PLATFORM=" + screen;
    line += " XDG_CONFIG_HOME=" + dir.path().string() + " timeout 20 " +
            test::BinPath("quarn-dash") + " " + args;
    return test::RunCommand(line);
}

TEST(ProgramOptions, HelpAndVersionNeedNoScreen) {
    const test::CommandResult help = RunDash("--help", "");
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_NE(help.out.find("--quit-after <seconds>"), std::string::npos) << help.out;
    const test::CommandResult version = RunDash("--version", "");
    EXPECT_EQ(version.exitCode, 0) << version.err;
    EXPECT_NE(version.out.find(kVersionText), std::string::npos) << version.out;
}

TEST(ProgramOptions, ValuesItCannotUseAreRefusedAtOnce) {
    const std::pair<const char*, const char*> cases[] = {
        {"--quit-after -5", "--quit-after takes a number of seconds above 0"},
        {"--quit-after 0", "--quit-after takes"},
        {"--quit-after soon", "--quit-after takes"},
        {"--quit-after inf", "--quit-after takes"},
        {"--quit-after 1e12", "--quit-after takes"},
        {"--scopes 11", "--scopes takes a whole number from 0 to 10"},
        {"--scopes two", "--scopes takes"},
        {"--view ' '", "--view takes the name of the log file"},
        {"--no-such-option", "Unknown option 'no-such-option'"},
    };
    for (const auto& [args, says] : cases) {
        // With a screen, so a value taken as it came would start the program.
        const test::CommandResult r = RunDash(args, "offscreen");
        EXPECT_EQ(r.exitCode, 1) << args;
        EXPECT_NE(r.err.find(std::string("quarn-dash: ") + says), std::string::npos)
            << args << ": " << r.err;
    }
    // And without one, before any window system is needed.
    const test::CommandResult r = RunDash("--quit-after -5", "");
    EXPECT_EQ(r.exitCode, 1) << r.err;
}

// At home, with the port of the car's adapter saved: the log is plotted at
// once, nothing tries the port, and the saved port stays.
TEST(ProgramOptions, ViewPlotsTheLogWithoutTheBoxAndKeepsTheSavedPort) {
    test::TempDir dir;
    {
        std::ofstream ini(dir.File("quarnom.ini"), std::ios::binary);
        ini << " 3 \r\n";
        // 500 records of a quiet frame: header (1, 38, 0), 38 zero bytes
        // (checksum 0 included) and the zero fill.
        std::ofstream log(dir.File("drive.qz0"), std::ios::binary);
        for (int i = 0; i < 500; ++i) {
            char rec[48] = {1, 0, 38};
            log.write(rec, sizeof rec);
        }
    }
    const test::CommandResult r =
        RunDash("--view drive.qz0", "offscreen QUARN_VIEW_TIMING=1 QUARN_COM3=/nonexistent", dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("view_plotted_seconds="), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Serial Port Error"), std::string::npos) << r.err;
    std::ifstream ini(dir.File("quarnom.ini"), std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(ini)), {});
    EXPECT_EQ(saved, " 3 \r\n");
}

// The desktop entry starts the program with --user-folder, so that the
// settings file the demo saves (as any start saves the port) lands in the
// per-user data folder, made with its missing parents, not in the folder the
// program was started in.
TEST(ProgramOptions, UserFolderTakesTheSettingsFileOutOfTheStartFolder) {
    test::TempDir data;
    const std::string line = "cd " + data.path().string() +
                             " && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen" +
                             " XDG_CONFIG_HOME=" + data.File("config") +
                             " XDG_DATA_HOME=" + data.File("share/new") + " timeout 20 " +
                             test::BinPath("quarn-dash") + " --user-folder --demo --quit-after 1";
    const test::CommandResult r = test::RunCommand(line);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(data.path() / "share/new/quarn-dash/quarnom.ini")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(data.path() / "quarnom.ini"));
}

// A folder that cannot be made (a file stands in its place) is said on
// standard error; the program runs on where it was started.
TEST(ProgramOptions, UserFolderThatCannotBeMadeLeavesTheStartFolder) {
    test::TempDir data;
    test::WriteBytes(data.File("quarn-dash"), {'x'});
    const std::string line = "cd " + data.path().string() +
                             " && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen" +
                             " XDG_CONFIG_HOME=" + data.File("config") +
                             " XDG_DATA_HOME=" + data.path().string() + " timeout 20 " +
                             test::BinPath("quarn-dash") + " --user-folder --demo --quit-after 1";
    const test::CommandResult r = test::RunCommand(line);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("quarn-dash: cannot make the folder " + data.File("quarn-dash")),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(std::filesystem::exists(data.path() / "quarnom.ini")) << r.err;
}

}  // namespace
}  // namespace quarn
