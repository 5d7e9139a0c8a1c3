// quarn-log fuel: the fuel analysis of the Log Viewer's Fuel tab, for scripts.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuel/FuelReport.h"
#include "tools/QuarnLog.h"
#include "logging/LogExport.h"

namespace quarn {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;
constexpr int kExitUsage = 2;

bool Number(const char* text, double& v) {
    char* end = nullptr;
    v = std::strtod(text, &end);
    return end != text && *end == '\0';
}

// SLOPE[,OFFSET[,BREAKPOINT,LOWSLOPE]][,bank]
bool ParseInjector(const std::string& text, InjectorData& inj) {
    std::stringstream ss(text);
    std::string item;
    std::vector<double> nums;
    while (std::getline(ss, item, ',')) {
        if (item == "bank") { inj.bankFire = true; continue; }
        if (item == "seq") { inj.bankFire = false; continue; }
        double v = 0;
        if (!Number(item.c_str(), v) || v < 0) return false;
        nums.push_back(v);
    }
    if (nums.empty() || nums.size() == 3 || nums.size() > 4 || !(nums[0] > 0)) return false;
    inj.slopeLbHr = nums[0];
    if (nums.size() >= 2) inj.offsetMs = nums[1];
    if (nums.size() == 4) {
        inj.breakpointMs = nums[2];
        inj.lowSlopeLbHr = nums[3];
    }
    return true;
}

bool ParseFuel(const std::string& text, FuelSetup& s) {
    if (text == "gasoline") s.fuel = FuelKind::Gasoline;
    else if (text == "e10") s.fuel = FuelKind::E10;
    else if (text == "e85") s.fuel = FuelKind::E85;
    else if (Number(text.c_str(), s.customStoich) && s.customStoich > 1) s.fuel = FuelKind::Custom;
    else return false;
    return true;
}

bool ReadLog(const char* file, const VehicleData& vehicle, double rate, FuelLog& log) {
    LogReader reader;
    std::string error;
    if (!reader.Open(file, &error)) {
        std::fprintf(stderr, "quarn-log: cannot open %s\n", error.c_str());
        return false;
    }
    log.name = file;
    ScanRun run;
    bool warm = false;
    auto visit = [&](std::int64_t record, bool, const ChannelRecord&, const ChannelRecord& rec) {
        if (!warm && run.conversion.WarmingUp()) ++log.warmUp;
        else warm = true;
        log.Append(static_cast<double>(record - 1) / rate, rec);
    };
    std::int64_t problems = 0;
    auto problem = [&](std::int64_t, const std::string&) { ++problems; };
    ScanLogFrom(reader, run, visit, problem, nullptr, vehicle);
    if (problems)
        std::fprintf(stderr, "quarn-log: %s: %lld damaged records skipped\n", file,
                     static_cast<long long>(problems));
    return true;
}

}  // namespace

int FuelCommand(int argc, char** argv, const VehicleData& vehicle) {
    FuelSetup setup;
    setup.injector.slopeLbHr = vehicle.injsize();
    setup.injector.cylinders = static_cast<int>(vehicle.numcyl());
    std::vector<const char*> files;
    std::string transferFile;
    AirflowUnit unit = AirflowUnit::KgPerHour;
    bool json = false, autoLag = false;
    double rate = 100;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        double d = 0;
        bool ok = true;
        if (a == "--json") json = true;
        else if (a == "--smooth") setup.smooth = true;
        else if (a == "--transfer") ok = value(transferFile);
        else if (a == "--units") {
            ok = value(v) && (v == "kg/h" || v == "lb/min");
            unit = v == "lb/min" ? AirflowUnit::LbPerMin : AirflowUnit::KgPerHour;
        } else if (a == "--injector") ok = value(v) && ParseInjector(v, setup.injector);
        else if (a == "--cylinders") {
            ok = value(v) && Number(v.c_str(), d) && d >= 1 && d <= 64 && d == static_cast<int>(d);
            setup.injector.cylinders = static_cast<int>(d);
        } else if (a == "--fuel") ok = value(v) && ParseFuel(v, setup);
        else if (a == "--target") ok = value(v) && Number(v.c_str(), setup.target.afr) && setup.target.afr > 1;
        else if (a == "--lag") {
            ok = value(v) && (v == "auto" || (Number(v.c_str(), setup.lagMs) && setup.lagMs >= 0));
            autoLag = v == "auto";
        } else if (a == "--wot") ok = value(v) && Number(v.c_str(), setup.wotTpsVolts);
        else if (a == "--rate") ok = value(v) && Number(v.c_str(), rate) && rate > 0;
        else if (a == "--clamp") ok = value(v) && Number(v.c_str(), setup.clampPercent) && setup.clampPercent >= 0;
        else if (a.rfind("--", 0) == 0) {
            std::fprintf(stderr, "quarn-log: fuel: unknown option %s\n", a.c_str());
            return kExitUsage;
        } else files.push_back(argv[i]);
        if (!ok) {
            std::fprintf(stderr, "quarn-log: fuel: bad or missing value for %s\n", a.c_str());
            return kExitUsage;
        }
    }
    if (files.empty() || transferFile.empty()) {
        std::fprintf(stderr, "quarn-log: fuel needs at least one LOG and --transfer FILE\n");
        return kExitUsage;
    }
    std::ifstream in(transferFile, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "quarn-log: cannot read %s\n", transferFile.c_str());
        return kExitBadInput;
    }
    std::stringstream text;
    text << in.rdbuf();
    MafTransfer transfer;
    std::string error;
    if (!ParseTransfer(text.str(), unit, transfer, &error)) {
        std::fprintf(stderr, "quarn-log: %s: %s\n", transferFile.c_str(), error.c_str());
        return kExitBadInput;
    }
    std::vector<FuelLog> logs(files.size());
    for (std::size_t k = 0; k < files.size(); ++k)
        if (!ReadLog(files[k], vehicle, rate, logs[k])) return kExitBadInput;
    if (autoLag) {
        const LagEstimate e = EstimateWidebandLag(logs, setup);
        if (e.ms) setup.lagMs = *e.ms;
        std::fprintf(stderr, "quarn-log: wideband lag %s: %.0f ms\n",
                     e.ms ? "from the tip-ins" : "not found, kept", setup.lagMs);
    }
    const FuelResult r = AnalyseFuel(logs, transfer, setup);
    std::fputs(json ? FuelJson(r).c_str() : FuelTableText(r).c_str(), stdout);
    return kExitOk;
}

// The subcommand table's way in: the parsed options laid out again as the
// words FuelCommand reads.
int RunFuelCommand(const cli::Args& args, const VehicleData& vehicle) {
    std::vector<std::string> words;
    for (const auto& [name, values] : args.values)
        if (name != "vehicle")
            for (const std::string& value : values) {
                words.push_back("--" + name);
                words.push_back(value);
            }
    for (const std::string& flag : args.flags) words.push_back("--" + flag);
    for (const std::string& file : args.positional) words.push_back(file);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    return FuelCommand(static_cast<int>(argv.size()), argv.data(), vehicle);
}

}  // namespace quarn
