// quarn-log events: the stretches of a log where a formula holds.

#include <QJsonArray>

#include <cmath>

#include "analysis/Events.h"
#include "analysis/Expression.h"
#include "tools/QuarnLog.h"
#include "viewer/LogColumns.h"
#include "viewer/LogTable.h"

namespace quarn::cli {

int RunEvents(const Args& args, const VehicleData& vehicle) {
    if (args.positional.size() < 2) return Usage("events: give a formula, then at least one log");
    const QString text = QString::fromStdString(args.positional.front());
    double minSeconds = 0;
    if (args.Has("min-seconds") &&
        (!ParseNumber(args.Value("min-seconds"), minSeconds) || minSeconds < 0))
        return Usage("events: --min-seconds takes a number of seconds, 0 or more");
    const int peak = args.Has("peak") ? ViewerChannelId(QString::fromStdString(args.Value("peak"))) : -1;
    if (args.Has("peak") && peak < 0) return Usage("events: no channel \"" + args.Value("peak") + "\"");

    const auto one = [&](const std::string& file, const LogTable& table) {
        RecordRange range;
        if (int status = kExitOk; !RangeOption(args, table, range, status)) return status;
        const LogColumns columns(table);
        const Expression expression = Expression::Compile(text, columns.Set().names);
        if (!expression.Ok())
            return Usage("events: " + expression.Error().message.toStdString() + " (at character " +
                         std::to_string(expression.Error().position + 1) + ")");
        const std::vector<float> condition = expression.Evaluate(columns.Set());
        const RowSpan rows = RowsOf(table, range);
        const std::span<const float> values =
            peak >= 0 ? std::span<const float>(table.Column(peak)) : std::span<const float>();
        const std::vector<EventStretch> events = FindEvents(
            condition, columns.Set().seconds, minSeconds, values, RowRange{rows.first, rows.last});
        const auto& records = table.Records();
        if (args.Json()) {
            QJsonArray list;
            for (const EventStretch& e : events) {
                QJsonObject o{{"firstRecord", static_cast<double>(records[e.firstRow])},
                              {"lastRecord", static_cast<double>(records[e.lastRow])},
                              {"start", e.start},
                              {"seconds", e.duration}};
                if (peak >= 0 && !std::isnan(e.peak)) {
                    o["peak"] = e.peak;
                    o["min"] = e.min;
                }
                list.append(o);
            }
            PrintJson(QJsonObject{{"file", QString::fromStdString(file)},
                                  {"expression", text},
                                  {"events", list}});
        } else {
            if (args.positional.size() > 2) std::printf("file: %s\n", file.c_str());
            std::printf("first record\tlast record\tstart (s)\tduration (s)%s\n",
                        peak >= 0 ? "\tpeak\tmin" : "");
            for (const EventStretch& e : events) {
                std::printf("%lld\t%lld\t%.3f\t%.3f", static_cast<long long>(records[e.firstRow]),
                            static_cast<long long>(records[e.lastRow]), e.start, e.duration);
                if (peak >= 0) std::printf("\t%.6g\t%.6g", e.peak, e.min);
                std::printf("\n");
            }
        }
        return kExitOk;
    };
    return ForEachTable(std::span(args.positional).subspan(1), args, vehicle, one);
}

}  // namespace quarn::cli
