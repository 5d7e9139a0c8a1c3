#include "viewer/TableDyno.h"

#include "viewer/LogTable.h"

namespace quarn {

DynoInput DynoInputOf(const LogTable& t) {
    DynoInput input;
    if (t.Rows() == 0) return input;
    auto column = [&](const char* name) -> const std::vector<float>& {
        return t.Column(ViewerChannelId(QString::fromLatin1(name)));
    };
    input.Record.assign(t.Records().begin(), t.Records().end());
    input.Seconds.resize(t.Rows());
    for (std::size_t i = 0; i < t.Rows(); ++i) input.Seconds[i] = t.SecondsAt(i);
    input.Rpm = column("RPM");
    input.TpsVolts = column("TPS");
    input.Mph = column("MPH");
    input.BapPressure = column("BAP");
    input.ActF = column("ACT");
    input.VssPeriod = column("VssPeriod");
    input.VssPeriodPrev = column("VssPeriodPrev");
    input.AccelInterval = column("AccelInterval");
    input.warmUp = t.WarmUpRows();
    return input;
}

}  // namespace quarn
