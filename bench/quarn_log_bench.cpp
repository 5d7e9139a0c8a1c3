// quarn-log on a 1,000,000-record drive (the simulator's engine model, with
// a sidecar and pulls): the time of each export to a file and of pulls,
// dyno, stats and heatmap, against the targets. Prints one line each.
//     quarn_log_bench BIN_DIR

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/DriveLog.h"
#include "TestUtil.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: quarn_log_bench BIN_DIR\n");
        return 2;
    }
    const std::string tool = std::string(argv[1]) + "/quarn-log ";
    quarn::test::TempDir dir;
    const std::string log = dir.File("hour.qz0");
    quarn::test::WriteDriveLog(log, 1000000, 0.004, true, {{1000, "a"}, {500000, "b"}});

    struct Case {
        const char* what;
        std::string args;
        double targetSeconds;
    };
    const Case cases[] = {
        {"export csv", "export -o " + dir.File("x.csv") + " " + log, 1.5},
        {"export csv-units", "export --format csv-units -o " + dir.File("u.csv") + " " + log, 1.5},
        {"export msl", "export --format msl -o " + dir.File("x.msl") + " " + log, 1.5},
        {"export mlg", "export --format mlg -o " + dir.File("x.mlg") + " " + log, 1.5},
        {"pulls", "pulls " + log, 0.5},
        {"dyno", "dyno --pull 1 " + log, 0.5},
        {"stats", "stats " + log, 0.5},
        {"heatmap", "heatmap --x RPM --y MAF --z WideO2 " + log, 0.5},
    };
    // Opening the log (read, decode, convert, sidecar) is part of every
    // command's time; it is measured alone too, as info.
    std::printf("quarn-log on 1,000,000 records (target in brackets):\n");
    int failed = 0;
    for (const Case& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system((tool + c.args + " >/dev/null").c_str());
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const bool over = s > c.targetSeconds;
        failed += over || status != 0;
        std::printf("  %-18s %6.3f s  (%.1f s)%s%s\n", c.what, s, c.targetSeconds,
                    over ? "  OVER" : "", status ? "  FAILED" : "");
    }
    return failed ? 1 : 0;
}
