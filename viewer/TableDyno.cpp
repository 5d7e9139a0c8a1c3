#include "viewer/TableDyno.h"

#include <algorithm>

#include "viewer/LogTable.h"

namespace quarn {

DynoInput DynoInputOf(const LogTable& t) {
    DynoInput input;
    if (t.Rows() == 0) return input;
    // The dyno's columns by the names the viewer gives its channels, without
    // the rows of damaged frames: a pull runs on across them.
    const std::vector<std::size_t>& damaged = t.DamagedRows();
    std::vector<std::size_t> rows;
    rows.reserve(t.Rows() - std::min(t.Rows(), damaged.size()));
    for (std::size_t i = 0, d = 0; i < t.Rows(); ++i) {
        if (d < damaged.size() && damaged[d] == i) {
            ++d;
            continue;
        }
        rows.push_back(i);
    }
    auto column = [&](const char* name) {
        const std::vector<float>& all = t.Column(ViewerChannelId(QString::fromLatin1(name)));
        std::vector<float> kept(rows.size());
        for (std::size_t k = 0; k < rows.size(); ++k) kept[k] = all[rows[k]];
        return kept;
    };
    input.Record.resize(rows.size());
    input.Seconds.resize(rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        input.Record[k] = static_cast<double>(t.Records()[rows[k]]);
        input.Seconds[k] = t.SecondsAt(rows[k]);
    }
    input.Rpm = column("RPM");
    input.TpsVolts = column("TPS");
    input.Mph = column("MPH");
    input.BapPressure = column("BAP");
    input.ActF = column("ACT");
    input.VssPeriod = column("VssPeriod");
    input.VssPeriodPrev = column("VssPeriodPrev");
    input.AccelInterval = column("AccelInterval");
    input.warmUp = static_cast<std::size_t>(
        std::lower_bound(rows.begin(), rows.end(), t.WarmUpRows()) - rows.begin());
    return input;
}

}  // namespace quarn
