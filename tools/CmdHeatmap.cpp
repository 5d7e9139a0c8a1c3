// quarn-log heatmap: the mean of one channel in cells of two others, the
// table the viewer's heat map tab copies.

#include <QJsonArray>

#include <cmath>
#include <limits>

#include "tools/QuarnLog.h"
#include "viewer/HeatMap.h"
#include "viewer/LogTable.h"
#include "viewer/MathColumns.h"

namespace quarn::cli {
namespace {

// The cells the tab shows for a channel before the user changes the step:
// the default step over what the log holds once warmed up, rounded as the
// step box shows it, from a multiple of it.
std::vector<double> TabEdges(const LogTable& table, int channel) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    const std::vector<float>& column = table.Column(channel);
    for (std::size_t r = table.WarmUpRows(); r < column.size(); ++r)
        if (std::isfinite(column[r])) lo = std::min<double>(lo, column[r]), hi = std::max<double>(hi, column[r]);
    if (!(hi >= lo)) lo = hi = 0;
    const std::vector<double> defaults = DefaultHeatEdges(channel, lo, hi);
    const double step = defaults.size() >= 2 ? defaults[1] - defaults[0] : 1;
    const int decimals = step >= 10 ? 0 : step >= 1 ? 1 : 3;
    const double scale = std::pow(10, decimals);
    return StepHeatEdges(lo, hi, std::max(std::round(step * scale) / scale, 1e-9));
}

}  // namespace

int RunHeatmap(const Args& args, const VehicleData& vehicle) {
    if (args.positional.empty()) return Usage("heatmap: name at least one log");
    int axes[3];
    const char* names[3] = {"x", "y", "z"};
    for (int a = 0; a < 3; ++a) {
        if (!args.Has(names[a])) return Usage(std::string("heatmap: --") + names[a] + " CH is needed");
        axes[a] = ViewerChannelId(QString::fromStdString(args.Value(names[a])));
        if (axes[a] < 0) return Usage("heatmap: no channel \"" + args.Value(names[a]) + "\"");
    }
    // The viewer's "Only where" formulas; the older "CH>V" forms are such
    // formulas too. Several must all hold.
    std::vector<QString> channelNames;
    for (const ViewerChannel& c : ViewerChannels()) channelNames.push_back(c.name);
    QStringList where;
    if (const auto it = args.values.find("filter"); it != args.values.end())
        for (const std::string& text : it->second) {
            const QString formula = QString::fromStdString(text);
            const Expression e = Expression::Compile(formula, channelNames);
            if (!e.Ok())
                return Usage("heatmap: --filter " + text + ": " + ErrorText(e.Error()).toStdString());
            where << QStringLiteral("(%1)").arg(formula);
        }
    const QString condition = where.join(QStringLiteral(" and "));

    const auto& channels = ViewerChannels();
    const auto one = [&](const std::string& file, const LogTable& table) {
        ExpressionError error;
        const std::vector<float> holds = EvaluateCondition(table, condition, &error);
        if (error.Failed()) return Usage("heatmap: --filter: " + ErrorText(error).toStdString());
        const HeatMapResult map =
            ComputeHeatMap(table, axes[0], axes[1], axes[2], TabEdges(table, axes[0]),
                           TabEdges(table, axes[1]), holds, 0, table.Rows());
        if (args.Json()) {
            QJsonArray xEdges, yEdges, mean, count;
            for (double e : map.xEdges) xEdges.append(e);
            for (double e : map.yEdges) yEdges.append(e);
            for (std::size_t c = 0; c < map.count.size(); ++c) {
                mean.append(map.count[c] ? QJsonValue(map.mean[c]) : QJsonValue());
                count.append(static_cast<double>(map.count[c]));
            }
            PrintJson(QJsonObject{{"file", QString::fromStdString(file)},
                                  {"x", channels[static_cast<std::size_t>(axes[0])].name},
                                  {"y", channels[static_cast<std::size_t>(axes[1])].name},
                                  {"z", channels[static_cast<std::size_t>(axes[2])].name},
                                  {"xEdges", xEdges},
                                  {"yEdges", yEdges},
                                  {"mean", mean},
                                  {"count", count},
                                  {"warmingUp", static_cast<double>(map.warmingUp)}});
        } else {
            if (args.positional.size() > 1) std::printf("file: %s\n", file.c_str());
            const QString text =
                HeatMapTsv(map, channels[static_cast<std::size_t>(axes[0])].name,
                           channels[static_cast<std::size_t>(axes[1])].name,
                           channels[static_cast<std::size_t>(axes[2])].name);
            std::fputs(text.toUtf8().constData(), stdout);
            if (!text.endsWith('\n')) std::fputc('\n', stdout);
        }
        return kExitOk;
    };
    return ForEachTable(args.positional, args, vehicle, one);
}

}  // namespace quarn::cli
