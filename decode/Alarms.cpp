#include "decode/Alarms.h"

#include <algorithm>

namespace quarn {
namespace {

constexpr std::optional<double> kOff = std::nullopt;

// The defaults follow the bands of the dials: a yellow band starts a
// warning, a red band a danger. The wideband's yellow band starts at 13 AFR,
// below stoichiometric, so a warning there would sound at every cruise: only
// its red (lean) band alarms.
const std::array<AlarmChannel, kAlarmChannels> kChannels{{
    {Gauge::Tach, "rpm", "RPM", "rpm", 0, 100, {kOff, 6000, kOff, 7000}},
    {Gauge::Speedo, "mph", "MPH", "mph", 0, 2, {}},
    {Gauge::TPS, "tps", "TPS", "V", 2, 0.05, {}},
    {Gauge::Advance, "advance", "Advance", "\u00b0", 0, 1, {}},
    {Gauge::MAF, "maf", "MAF", "V", 2, 0.05, {kOff, kOff, kOff, 4.78}},
    {Gauge::DutyCycle, "injduty", "Inj Duty", "%", 0, 2, {kOff, 80, kOff, 90}},
    {Gauge::INJPW, "injpw", "Inj PW", "ms", 1, 1, {}},
    {Gauge::BAP, "bap", "BAP", "\"Hg", 1, 0.2, {}},
    {Gauge::ACT, "act", "ACT", "\u00b0F", 0, 3, {kOff, 200, kOff, 230}},
    {Gauge::ECT, "ect", "ECT", "\u00b0F", 0, 3, {kOff, 200, kOff, 230}},
    {Gauge::MPG, "mpg", "MPG", "mpg", 1, 1, {}},
    {Gauge::HEGO, "hego", "HEGO", "V", 2, 0.02, {}},
    {Gauge::WideBand, "wideo2", "WideO2", "AFR", 1, 0.2, {kOff, kOff, kOff, 16}},
    {Gauge::Boost, "boost", "Boost", "psi", 1, 0.3, {}},
    {Gauge::EGT, "egt", "EGT", "\u00b0F", 0, 20, {}},
}};

// Gauge -> channel, by the enum's value.
const std::array<int, 16> kIndexOfGauge = [] {
    std::array<int, 16> index{};
    index.fill(-1);
    for (int i = 0; i < kAlarmChannels; ++i)
        index[static_cast<std::size_t>(kChannels[static_cast<std::size_t>(i)].gauge)] = i;
    return index;
}();

bool Before(const std::optional<double>& a, const std::optional<double>& b) {
    return !a || !b || *a < *b;
}

}  // namespace

std::optional<double>& LimitOf(AlarmLimits& limits, LimitKind kind) {
    switch (kind) {
        case LimitKind::WarnLow:
            return limits.warnLow;
        case LimitKind::WarnHigh:
            return limits.warnHigh;
        case LimitKind::DangerLow:
            return limits.dangerLow;
        case LimitKind::DangerHigh:
            break;
    }
    return limits.dangerHigh;
}

const std::optional<double>& LimitOf(const AlarmLimits& limits, LimitKind kind) {
    return LimitOf(const_cast<AlarmLimits&>(limits), kind);
}

QString LimitsProblem(const AlarmLimits& l) {
    if (l.warnHigh && l.dangerHigh && *l.warnHigh > *l.dangerHigh)
        return QStringLiteral("The high warning lies above the high danger limit.");
    if (l.warnLow && l.dangerLow && *l.warnLow < *l.dangerLow)
        return QStringLiteral("The low warning lies below the low danger limit.");
    for (const auto* low : {&l.warnLow, &l.dangerLow})
        for (const auto* high : {&l.warnHigh, &l.dangerHigh})
            if (!Before(*low, *high))
                return QStringLiteral("A low limit lies at or above a high limit.");
    return {};
}

const std::array<AlarmChannel, kAlarmChannels>& AlarmChannels() {
    return kChannels;
}

int AlarmChannelIndex(Gauge gauge) {
    const auto i = static_cast<std::size_t>(gauge);
    return i < kIndexOfGauge.size() ? kIndexOfGauge[i] : -1;
}

AlarmLimitSet DefaultAlarmLimits() {
    AlarmLimitSet set;
    for (std::size_t i = 0; i < set.size(); ++i) set[i] = kChannels[i].defaults;
    return set;
}

bool AlarmWatch::Update(double v, const AlarmLimits& l, double hysteresis) {
    if (std::isnan(v)) return false;
    // A limit already passed holds until the value is back by the hysteresis.
    const auto holds = [&](AlarmSide side, AlarmLevel level) {
        return m_side == side && m_level >= level ? hysteresis : 0.0;
    };
    const auto above = [&](const std::optional<double>& limit, AlarmLevel level) {
        return limit && v > *limit - holds(AlarmSide::High, level);
    };
    const auto below = [&](const std::optional<double>& limit, AlarmLevel level) {
        return limit && v < *limit + holds(AlarmSide::Low, level);
    };
    AlarmLevel high = AlarmLevel::None;
    if (above(l.dangerHigh, AlarmLevel::Danger))
        high = AlarmLevel::Danger;
    else if (above(l.warnHigh, AlarmLevel::Warn))
        high = AlarmLevel::Warn;
    AlarmLevel low = AlarmLevel::None;
    if (below(l.dangerLow, AlarmLevel::Danger))
        low = AlarmLevel::Danger;
    else if (below(l.warnLow, AlarmLevel::Warn))
        low = AlarmLevel::Warn;

    AlarmLevel level = AlarmLevel::None;
    AlarmSide side = AlarmSide::None;
    if (high != AlarmLevel::None && high >= low) {
        level = high;
        side = AlarmSide::High;
    } else if (low != AlarmLevel::None) {
        level = low;
        side = AlarmSide::Low;
    }
    if (level == m_level && side == m_side) return false;
    m_level = level;
    m_side = side;
    return true;
}

QString AlarmText(const AlarmEvent& event) {
    if (event.channel < 0 || event.channel >= kAlarmChannels) return {};
    const AlarmChannel& c = kChannels[static_cast<std::size_t>(event.channel)];
    QString text = QString::fromUtf8(c.label);
    if (c.gauge == Gauge::EGT || c.gauge == Gauge::HEGO)
        text += event.needle == 1 ? QStringLiteral(" R") : QStringLiteral(" L");
    text += u' ' + QString::number(event.value, 'f', c.decimals);
    if (*c.unit) {
        const QString unit = QString::fromUtf8(c.unit);
        // A degree sign sits on the number; other units stand apart.
        if (unit != QStringLiteral("\u00b0")) text += u' ';
        text += unit;
    }
    if (event.side == AlarmSide::High) text += QStringLiteral(" HIGH");
    if (event.side == AlarmSide::Low) text += QStringLiteral(" LOW");
    return text;
}

std::optional<AlarmEvent> AlarmBoard::Check(Gauge gauge, int needle, double value) {
    const int c = AlarmChannelIndex(gauge);
    if (c < 0 || needle < 0 || needle > 1) return std::nullopt;
    const auto ci = static_cast<std::size_t>(c);
    const auto ni = static_cast<std::size_t>(needle);
    AlarmWatch& watch = m_watch[ci][ni];
    const AlarmLevel before = watch.level();
    if (!watch.Update(value, m_limits[ci], kChannels[ci].hysteresis)) return std::nullopt;
    AlarmEvent event{c, needle, watch.level(), before, watch.side(), value};
    // The value told is the one that started the alarm, or made it worse.
    if (event.Rising() || event.level == AlarmLevel::None) {
        m_last[ci][ni] = event;
        m_order[ci][ni] = ++m_count;
    } else {
        m_last[ci][ni].level = event.level;
        m_last[ci][ni].side = event.side;
    }
    return event;
}

AlarmLevel AlarmBoard::Level(Gauge gauge) const {
    const int c = AlarmChannelIndex(gauge);
    if (c < 0) return AlarmLevel::None;
    const auto& w = m_watch[static_cast<std::size_t>(c)];
    return std::max(w[0].level(), w[1].level());
}

std::vector<AlarmEvent> AlarmBoard::Active() const {
    std::vector<std::pair<std::uint64_t, AlarmEvent>> on;
    for (std::size_t c = 0; c < m_watch.size(); ++c)
        for (std::size_t n = 0; n < 2; ++n)
            if (m_watch[c][n].level() != AlarmLevel::None) on.emplace_back(m_order[c][n], m_last[c][n]);
    std::sort(on.begin(), on.end(), [](const auto& a, const auto& b) {
        if (a.second.level != b.second.level) return a.second.level > b.second.level;
        return a.first > b.first;
    });
    std::vector<AlarmEvent> events;
    events.reserve(on.size());
    for (const auto& e : on) events.push_back(e.second);
    return events;
}

void AlarmBoard::Reset() {
    for (auto& needles : m_watch)
        for (AlarmWatch& w : needles) w.Reset();
}

}  // namespace quarn
