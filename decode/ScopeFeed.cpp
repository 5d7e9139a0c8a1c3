#include "decode/ScopeFeed.h"

namespace quarn {
namespace {

// The record's field for each entry of kScopeChannelNames, in the same order.
constexpr std::array<float ChannelRecord::*, kScopeChannelNames.size()> kScopeChannelFields{
    &ChannelRecord::Rpm,        &ChannelRecord::Mph,      &ChannelRecord::HegoL,
    &ChannelRecord::HegoR,      &ChannelRecord::InjDuty,  &ChannelRecord::Rwhp,
    &ChannelRecord::Rwtq,       &ChannelRecord::MafVolts, &ChannelRecord::TpsVolts,
    &ChannelRecord::WideO2,     &ChannelRecord::EgtR,     &ChannelRecord::EgtL,
    &ChannelRecord::EctF,       &ChannelRecord::ActF,     &ChannelRecord::BoostLevel,
    &ChannelRecord::AdvanceDeg,
};

}  // namespace

int ScopeChannelIndex(QStringView name) {
    for (std::size_t i = 0; i < kScopeChannelNames.size(); ++i) {
        if (name.compare(kScopeChannelNames[i], Qt::CaseSensitive) == 0) return static_cast<int>(i);
    }
    return -1;
}

float ScopeChannelValue(const ChannelRecord& rec, int index) {
    if (index < 0 || index >= static_cast<int>(kScopeChannelFields.size())) return 0;
    return rec.*kScopeChannelFields[static_cast<std::size_t>(index)];
}

float ScopeChannelValue(const ChannelRecord& rec, QStringView name) {
    return ScopeChannelValue(rec, ScopeChannelIndex(name));
}

double ScopeTime(double timeOfDay, std::int32_t startSeconds) {
    const double x = timeOfDay - static_cast<double>(startSeconds);
    return x < -kSecondsPerDay / 2 ? x + kSecondsPerDay : x;
}

}  // namespace quarn
