// quarn-log pulls and dyno: the wide-open-throttle pulls of a log and the
// power curve of one, computed as the viewer's Dyno tab computes them.

#include <QJsonArray>

#include <charconv>

#include "dyno/DynoCurve.h"
#include "dyno/Pulls.h"
#include "tools/QuarnLog.h"
#include "viewer/LogTable.h"
#include "viewer/TableDyno.h"

namespace quarn::cli {
namespace {

DynoVehicle DynoCar(const VehicleData& vehicle) {
    return DynoVehicle{vehicle.weight(), vehicle.cda(), vehicle.crr()};
}

QJsonObject PullJson(const Pull& p, double startSeconds) {
    return QJsonObject{{"number", p.number},
                       {"usable", p.usable},
                       {"firstRecord", p.firstRecord},
                       {"lastRecord", p.lastRecord},
                       {"start", startSeconds},
                       {"seconds", p.seconds},
                       {"startRpm", p.startRpm},
                       {"endRpm", p.endRpm},
                       {"minMph", p.minMph},
                       {"maxMph", p.maxMph},
                       {"note", QString::fromStdString(p.note)}};
}

std::string Fixed(double v, int decimals) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

}  // namespace

int RunPulls(const Args& args, const VehicleData& vehicle) {
    if (args.positional.empty()) return Usage("pulls: name at least one log");
    const auto one = [&](const std::string& file, const LogTable& table) {
        const DynoInput input = DynoInputOf(table);
        const PullScan scan = FindPulls(input);
        if (args.Json()) {
            QJsonArray pulls;
            for (const Pull& p : scan.pulls) pulls.append(PullJson(p, input.Seconds[p.first]));
            PrintJson(QJsonObject{{"file", QString::fromStdString(file)},
                                  {"usable", static_cast<double>(scan.UsableCount())},
                                  {"problem", QString::fromStdString(scan.problem)},
                                  {"pulls", pulls}});
        } else {
            if (args.positional.size() > 1) std::printf("file: %s\n", file.c_str());
            std::printf("pull\tusable\tfirst record\tlast record\tstart (s)\tseconds\tstart rpm\t"
                        "end rpm\tmin mph\tmax mph\tnote\n");
            for (const Pull& p : scan.pulls)
                std::printf("%d\t%s\t%.0f\t%.0f\t%.3f\t%.2f\t%.0f\t%.0f\t%.1f\t%.1f\t%s\n", p.number,
                            p.usable ? "yes" : "no", p.firstRecord, p.lastRecord,
                            input.Seconds[p.first], p.seconds, p.startRpm, p.endRpm, p.minMph,
                            p.maxMph, p.note.c_str());
            if (!scan.problem.empty()) std::printf("# %s\n", scan.problem.c_str());
        }
        return kExitOk;
    };
    return ForEachTable(args.positional, args, vehicle, one);
}

int RunDyno(const Args& args, const VehicleData& vehicle) {
    if (args.positional.empty()) return Usage("dyno: name at least one log");
    double number = 0;
    if (!ParseNumber(args.Value("pull"), number) || number < 1 || number != std::floor(number))
        return Usage("dyno: --pull N names a pull by its number, from 1 (see quarn-log pulls)");
    DynoOptions options;
    if (args.Has("humidity") && (!ParseNumber(args.Value("humidity"), options.humidityPercent) ||
                                 options.humidityPercent < 0 || options.humidityPercent > 100))
        return Usage("dyno: --humidity takes a relative humidity from 0 to 100 (percent)");
    const bool corrected = args.Has("corrected");
    const DynoVehicle car = DynoCar(vehicle);
    if (const std::string problem = VehicleProblem(car); !problem.empty()) {
        Complain(problem);
        return kExitBadInput;
    }

    const auto one = [&](const std::string& file, const LogTable& table) {
        const DynoInput input = DynoInputOf(table);
        const PullScan scan = FindPulls(input);
        const Pull* pull = nullptr;
        for (const Pull& p : scan.pulls)
            if (p.number == static_cast<int>(number)) pull = &p;
        if (!pull) return Usage(file + ": no pull " + args.Value("pull") + " in the log");
        if (!pull->usable)
            return Usage(file + ": pull " + args.Value("pull") + " was refused: " + pull->note);
        const DynoCurve curve = ComputeCurve(input, *pull, car, options);
        if (!curve.Ok()) {
            Complain(file + ": " + curve.problem);
            return kExitBadInput;
        }
        const double cf = corrected ? curve.correctionFactor : 1;
        if (args.Json()) {
            QJsonArray points;
            for (const CurvePoint& p : curve.points)
                points.append(QJsonArray{p.rpm, p.hp * cf, p.torque * cf});
            auto peak = [&](const CurvePeak& k) {
                return QJsonObject{{"rpm", k.rpm}, {"value", k.value * cf}, {"atEnd", k.atEnd}};
            };
            PrintJson(QJsonObject{{"file", QString::fromStdString(file)},
                                  {"pull", pull->number},
                                  {"corrected", corrected},
                                  {"correctionFactor", curve.correctionFactor},
                                  {"humidityPercent", curve.humidityPercent},
                                  {"bapInHg", curve.bapInHg},
                                  {"actF", curve.actF},
                                  {"points", points},
                                  {"peakHp", peak(curve.peakHp)},
                                  {"peakTorque", peak(curve.peakTorque)}});
        } else {
            const char* prefix = corrected ? "SAE corrected " : "";
            std::string out = std::string("RPM,") + prefix + "power (hp)," + prefix + "torque (lb-ft)\n";
            for (const CurvePoint& p : curve.points)
                out += Fixed(p.rpm, 0) + "," + Fixed(p.hp * cf, 1) + "," + Fixed(p.torque * cf, 1) + "\n";
            // The peaks after a blank line, as the chart labels them.
            auto peak = [&](const char* what, const CurvePeak& k) {
                out += std::string(what) + "," + Fixed(k.value * cf, 1) + "," + Fixed(k.rpm, 0) +
                       (k.atEnd ? ",still rising at the end of the pull\n" : ",\n");
            };
            out += "\nPeak,Value,RPM,Note\n";
            peak(corrected ? "SAE corrected power (hp)" : "Power (hp)", curve.peakHp);
            peak(corrected ? "SAE corrected torque (lb-ft)" : "Torque (lb-ft)", curve.peakTorque);
            std::fputs(out.c_str(), stdout);
        }
        return kExitOk;
    };
    return ForEachTable(args.positional, args, vehicle, one);
}

}  // namespace quarn::cli
