// quarn-log: looks into log files without the dashboard, for people and
// for scripts. Each subcommand lives in its own file (Cmd*.cpp); this one
// reads the command line and hands it over.

#include <cstdio>
#include <cstring>
#include <string>

#include "Version.h"
#include "settings/VehicleFile.h"
#include "tools/QuarnLog.h"
#include "tools/ReportCommand.h"

namespace quarn {
int RunFuelCommand(const cli::Args& args, const VehicleData& vehicle);
}

namespace quarn::cli {
namespace {

// Every subcommand takes these.
const std::vector<std::string> kCommonValues = {"vehicle", "rate"};
const std::vector<std::string> kCommonFlags = {"json"};

const Command kCommands[] = {
    {"info", {}, {}, "info LOG...",
     "record counts, damage, warm-up records, the main channels' ranges, and from\n"
     "the sidecar the start time, the duration and the markers",
     RunInfo},
    {"export", {"format", "range", "o", "separator"}, {"decimal-comma"},
     "export [--format csv|csv-units|msl|mlg] [--range A:B] [-o FILE] LOG",
     "the records in a format (csv, the default, on standard output without -o);\n"
     "csv-units takes --separator ';' and --decimal-comma. With several logs, -o\n"
     "names a folder",
     RunExport},
    {"stats", {"range"}, {}, "stats [--range A:B] LOG...",
     "per-channel statistics over the records past the warm-up", RunStats},
    {"events", {"min-seconds", "range", "peak"}, {}, "events EXPR [--min-seconds T] [--peak CH] LOG...",
     "the stretches where the formula EXPR holds for at least T seconds", RunEvents},
    {"heatmap", {"x", "y", "z", "filter"}, {}, "heatmap --x CH --y CH --z CH [--filter EXPR] LOG...",
     "the mean of Z in cells of X by Y, as the viewer's Copy gives it; a filter\n"
     "is a formula as the viewer's \"Only where\" takes it (CH>V among them),\n"
     "and may be given more than once: all must hold",
     RunHeatmap},
    {"pulls", {}, {}, "pulls LOG...",
     "the wide-open-throttle pulls with their facts, and the refused pieces with\n"
     "their reasons",
     RunPulls},
    {"dyno", {"pull", "humidity"}, {"corrected"},
     "dyno --pull N [--corrected] [--humidity H] LOG...",
     "the power and torque curve of pull N as CSV, then its peaks", RunDyno},
    {"report", {"o", "gears"}, {}, "report LOG -o FILE.pdf|FILE.html [--gears N]",
     "a drive report: distance, fuel, acceleration times, gears, pulls, channels\n"
     "and events, as PDF or HTML",
     RunReportCommand},
    {"fuel", {"transfer", "units", "injector", "cylinders", "fuel", "target", "lag", "wot", "clamp"},
     {"smooth"},
     "fuel LOG... --transfer FILE [--units kg/h|lb/min] [--injector SLOPE[,OFFSET[,BP,LOW]][,bank]]\n"
     "       [--cylinders N] [--fuel gasoline|e10|e85|STOICH] [--target AFR] [--lag MS|auto]\n"
     "       [--wot VOLTS] [--clamp PERCENT] [--smooth]",
     "what to change in the MAF transfer: per row of the table, the open-loop\n"
     "(wideband) and closed-loop (injector pulse) corrections and the suggested airflow",
     RunFuelCommand},
};

void PrintHelp(std::FILE* to) {
    std::fprintf(to, "Usage: quarn-log COMMAND [OPTIONS] LOG...\n\nCommands:\n");
    for (const Command& c : kCommands) {
        std::fprintf(to, "  %s\n", c.usage);
        std::string help = c.help;
        std::size_t at = 0;
        while (at <= help.size()) {
            const std::size_t end = std::min(help.find('\n', at), help.size());
            std::fprintf(to, "      %s\n", help.substr(at, end - at).c_str());
            at = end + 1;
        }
    }
    std::fprintf(to,
                 "\nOptions for every command:\n"
                 "  --vehicle FILE.vf  convert with the car of this vehicle file instead of\n"
                 "                the default car (3500 lb, 36 lb/hr injectors, 8 cylinders)\n"
                 "  --json        machine-readable output: one JSON object per log, one a line\n"
                 "  --rate HZ     records per second for records the sidecar does not time\n"
                 "                (default: the link's top rate)\n"
                 "  -h, --help    show this text\n"
                 "  --version     show the version\n"
                 "\n"
                 "Write an export with -o FILE, never with \"> FILE\": the shell empties the\n"
                 "file before quarn-log starts, so \"> LOG\" destroys the log itself.\n"
                 "\n"
                 "Exit status:\n"
                 "  0 ok; 1 a log cannot be read or holds damaged records or trailing bytes,\n"
                 "  or the output could not be written; 2 a usage error.\n"
                 "\n"
                 "Examples:\n"
                 "  quarn-log info --json drive.qz0\n"
                 "  quarn-log export --format mlg -o drive.mlg drive.qz0\n"
                 "  quarn-log export drive.qz0 --format csv-units --separator ';' --decimal-comma -o drive.csv\n"
                 "  quarn-log stats --range 1000:5000 drive.qz0\n"
                 "  quarn-log events 'RPM > 5000 and TPS > 4' --min-seconds 1 drive.qz0\n"
                 "  quarn-log heatmap --x RPM --y MAF --z WideO2 --filter 'ECT>160' drive.qz0\n"
                 "  quarn-log pulls drive.qz0\n"
                 "  quarn-log dyno --pull 2 --corrected --humidity 40 drive.qz0\n"
                 "  quarn-log report drive.qz0 -o drive.pdf\n"
                 "  quarn-log fuel drive.qz0 --transfer maf.tsv --lag auto\n");
}

bool Contains(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

// Reads options anywhere among the file names; "--" ends the options.
bool ParseArgs(const Command& command, int argc, char** argv, Args& args, std::string& why) {
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        std::string word = argv[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            args.positional.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = word.substr(word[1] == '-' ? 2 : 1);
        std::string value;
        const std::size_t eq = name.find('=');
        const bool inlineValue = eq != std::string::npos;
        if (inlineValue) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const bool takesValue = Contains(kCommonValues, name) || Contains(command.valueOptions, name);
        const bool isFlag = Contains(kCommonFlags, name) || Contains(command.flagOptions, name);
        if (!takesValue && !isFlag) {
            why = std::string(command.name) + ": unknown option " + word;
            return false;
        }
        if (isFlag) {
            if (inlineValue) {
                why = word + ": takes no value";
                return false;
            }
            args.flags.insert(name);
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                why = word + ": needs a value";
                return false;
            }
            value = argv[++i];
        }
        args.values[name].push_back(value);
    }
    return true;
}

bool LoadVehicle(const std::string& path, VehicleData& vehicle) {
    VehicleFile car;
    QString error;
    if (!ReadVehicleFile(QString::fromLocal8Bit(path.c_str()), car, error)) {
        Complain(path + ": " + error.toStdString());
        return false;
    }
    // The file's numbers passed the same checks as the setters make.
    vehicle.SetWeight(VehicleNumberText(car.weight).toStdString());
    vehicle.SetInjSize(VehicleNumberText(car.injsize).toStdString());
    vehicle.SetNumCyl(VehicleNumberText(car.numcyl).toStdString());
    vehicle.SetCdA(VehicleNumberText(car.cda).toStdString());
    vehicle.SetCrr(VehicleNumberText(car.crr).toStdString());
    return true;
}

}  // namespace
}  // namespace quarn::cli

int main(int argc, char** argv) {
    using namespace quarn::cli;
    if (argc >= 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
        PrintHelp(stdout);
        return kExitOk;
    }
    if (argc >= 2 && !std::strcmp(argv[1], "--version")) {
        std::printf("quarn-log %s\n", quarn::kVersionText);
        return kExitOk;
    }
    if (argc < 2) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (!std::strcmp(argv[1], c.name)) command = &c;
    if (!command) return Usage(std::string("unknown command \"") + argv[1] + "\"");
    Args args;
    std::string why;
    if (!ParseArgs(*command, argc, argv, args, why)) return Usage(why);
    quarn::VehicleData vehicle;
    if (args.values.count("vehicle") && !LoadVehicle(args.Value("vehicle"), vehicle))
        return kExitBadInput;
    return command->run(args, vehicle);
}
