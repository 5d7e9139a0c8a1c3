#include "dyno/DynoInput.h"

namespace quarn {

bool DynoInput::Consistent() const {
    const std::size_t n = Record.size();
    return Seconds.size() == n && Rpm.size() == n && TpsVolts.size() == n && Mph.size() == n &&
           BapPressure.size() == n && ActF.size() == n && VssPeriod.size() == n &&
           VssPeriodPrev.size() == n && AccelInterval.size() == n;
}

void DynoInput::Reserve(std::size_t n) {
    Record.reserve(n);
    Seconds.reserve(n);
    Rpm.reserve(n);
    TpsVolts.reserve(n);
    Mph.reserve(n);
    BapPressure.reserve(n);
    ActF.reserve(n);
    VssPeriod.reserve(n);
    VssPeriodPrev.reserve(n);
    AccelInterval.reserve(n);
}

void DynoInput::Append(double record, double seconds, const ChannelRecord& rec) {
    Record.push_back(record);
    Seconds.push_back(seconds);
    Rpm.push_back(rec.Rpm);
    TpsVolts.push_back(rec.TpsVolts);
    Mph.push_back(rec.Mph);
    BapPressure.push_back(rec.BapPressure);
    ActF.push_back(rec.ActF);
    VssPeriod.push_back(static_cast<float>(rec.VssPeriod));
    VssPeriodPrev.push_back(static_cast<float>(rec.VssPeriodPrev));
    AccelInterval.push_back(static_cast<float>(rec.AccelInterval));
}

DynoInput FromRecords(const std::vector<ChannelRecord>& records,
                      const std::vector<double>& seconds, double firstRecord,
                      double secondsPerRecord) {
    DynoInput in;
    in.Reserve(records.size());
    double t = 0;
    for (std::size_t n = 0; n < records.size(); ++n) {
        if (n < seconds.size())
            t = seconds[n];
        else if (n > 0)
            t += secondsPerRecord;
        in.Append(firstRecord + static_cast<double>(n), t, records[n]);
    }
    return in;
}

}  // namespace quarn
