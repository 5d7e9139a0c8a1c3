// quarn-log stats: per-channel statistics, as the viewer computes them.

#include <QJsonArray>

#include "analysis/Statistics.h"
#include "tools/QuarnLog.h"
#include "viewer/LogColumns.h"
#include "viewer/LogTable.h"

namespace quarn::cli {

int RunStats(const Args& args, const VehicleData& vehicle) {
    if (args.positional.empty()) return Usage("stats: name at least one log");
    const auto one = [&](const std::string& file, const LogTable& table) {
        RecordRange range;
        if (int status = kExitOk; !RangeOption(args, table, range, status)) return status;
        const RowSpan rows = RowsOf(table, range);
        const LogColumns columns(table);
        const std::vector<ChannelStatistics> stats =
            Statistics(columns.Set(), RowRange{rows.first, rows.last});
        if (args.Json()) {
            QJsonArray channels;
            for (const ChannelStatistics& s : stats)
                channels.append(QJsonObject{{"name", s.name},
                                            {"unit", s.unit},
                                            {"count", static_cast<double>(s.count)},
                                            {"min", s.min},
                                            {"max", s.max},
                                            {"mean", s.mean},
                                            {"timeMean", s.timeMean},
                                            {"stdDev", s.stdDev},
                                            {"seconds", s.seconds}});
            PrintJson(QJsonObject{{"file", QString::fromStdString(file)},
                                  {"rows", static_cast<double>(rows.last - rows.first)},
                                  {"channels", channels}});
        } else {
            if (args.positional.size() > 1) std::printf("file: %s\n", file.c_str());
            std::fputs(StatisticsText(stats).toUtf8().constData(), stdout);
            if (args.positional.size() > 1) std::printf("\n");
        }
        return kExitOk;
    };
    return ForEachTable(args.positional, args, vehicle, one);
}

}  // namespace quarn::cli
