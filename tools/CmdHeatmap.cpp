// quarn-log heatmap: the mean of one channel in cells of two others, the
// table the viewer's heat map tab copies.

#include <QJsonArray>

#include <cmath>
#include <limits>

#include "tools/QuarnLog.h"
#include "viewer/HeatMap.h"
#include "viewer/LogTable.h"

namespace quarn::cli {
namespace {

constexpr int kMaxCells = 64;

// "CH>V", "CH<V", "CH>=V", "CH<=V".
bool ParseFilter(const std::string& text, HeatFilter& filter) {
    const std::size_t at = text.find_first_of("<>");
    if (at == std::string::npos || at == 0) return false;
    const bool orEqual = at + 1 < text.size() && text[at + 1] == '=';
    const bool above = text[at] == '>';
    filter.op = above ? (orEqual ? HeatFilter::Op::AtLeast : HeatFilter::Op::Above)
                      : (orEqual ? HeatFilter::Op::AtMost : HeatFilter::Op::Below);
    QString name = QString::fromStdString(text.substr(0, at)).trimmed();
    filter.channel = ViewerChannelId(name);
    std::string value = QString::fromStdString(text.substr(at + (orEqual ? 2 : 1))).trimmed().toStdString();
    return filter.channel >= 0 && ParseNumber(value, filter.value);
}

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
    double step = defaults.size() >= 2 ? defaults[1] - defaults[0] : 1;
    const int decimals = step >= 10 ? 0 : step >= 1 ? 1 : 3;
    const double scale = std::pow(10, decimals);
    step = std::max(std::round(step * scale) / scale, 1e-9);
    while ((hi - lo) / step > kMaxCells) step *= 2;
    const double start = std::floor(lo / step) * step;
    std::vector<double> edges;
    for (int k = 0;; ++k) {
        const double e = start + k * step;
        edges.push_back(e);
        if (e > hi && edges.size() >= 2) break;
    }
    return edges;
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
    std::vector<HeatFilter> filters;
    if (const auto it = args.values.find("filter"); it != args.values.end())
        for (const std::string& text : it->second) {
            HeatFilter filter;
            if (!ParseFilter(text, filter))
                return Usage("heatmap: --filter " + text + ": expected CH>V, CH<V, CH>=V or CH<=V");
            filters.push_back(filter);
        }

    int exit = kExitOk;
    const auto& channels = ViewerChannels();
    for (const std::string& file : args.positional) {
        bool damaged = false;
        const auto table = OpenTable(file, vehicle, FrameRateOption(args), damaged);
        if (!table) {
            exit = std::max(exit, kExitBadInput);
            continue;
        }
        const HeatMapResult map =
            ComputeHeatMap(*table, axes[0], axes[1], axes[2], TabEdges(*table, axes[0]),
                           TabEdges(*table, axes[1]), filters, 0, table->Rows());
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
        if (damaged) exit = std::max(exit, kExitBadInput);
    }
    return exit;
}

}  // namespace quarn::cli
