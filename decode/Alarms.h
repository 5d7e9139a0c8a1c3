#pragma once

#include <QString>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "decode/GaugeFeed.h"

namespace quarn {

// How bad a value is against its limits.
enum class AlarmLevel : std::uint8_t { None, Warn, Danger };
// Which side of the range it left.
enum class AlarmSide : std::uint8_t { None, Low, High };

// The four optional limits of one channel; an empty limit is off. A value
// alarms when it goes above a high limit or below a low one.
struct AlarmLimits {
    std::optional<double> warnLow;
    std::optional<double> warnHigh;
    std::optional<double> dangerLow;
    std::optional<double> dangerHigh;

    bool operator==(const AlarmLimits&) const = default;
};

enum class LimitKind : std::uint8_t { WarnLow, WarnHigh, DangerLow, DangerHigh };
inline constexpr std::array<LimitKind, 4> kLimitKinds{LimitKind::WarnLow, LimitKind::WarnHigh,
                                                      LimitKind::DangerLow, LimitKind::DangerHigh};
std::optional<double>& LimitOf(AlarmLimits& limits, LimitKind kind);
const std::optional<double>& LimitOf(const AlarmLimits& limits, LimitKind kind);

// Why these limits cannot be used together, in one sentence; empty when
// they can. A warn limit must not lie beyond its danger limit (a warning
// comes first), and every low limit must lie below every high limit.
QString LimitsProblem(const AlarmLimits& limits);

// A dashboard channel that can alarm: the dial it shows on, its key in the
// vehicle file, its name and unit in the status bar, the decimals it is
// told with, how far back past a limit it must come before the alarm ends,
// and its default limits (from the dial's red and yellow bands where it has
// them).
struct AlarmChannel {
    Gauge gauge;
    const char* key;
    const char* label;
    const char* unit;
    int decimals;
    double hysteresis;
    AlarmLimits defaults;
};

inline constexpr int kAlarmChannels = 15;
const std::array<AlarmChannel, kAlarmChannels>& AlarmChannels();
// The channel of a dial; -1 for a dial that has none (the TPS tool's).
int AlarmChannelIndex(Gauge gauge);

using AlarmLimitSet = std::array<AlarmLimits, kAlarmChannels>;
AlarmLimitSet DefaultAlarmLimits();

// One value against its limits, with hysteresis: an alarm starts when the
// value passes a limit and ends only once it is back by the hysteresis, so
// a value sitting on a limit does not chatter. NaN changes nothing.
class AlarmWatch {
public:
    // True when the level or the side changed.
    bool Update(double value, const AlarmLimits& limits, double hysteresis);
    AlarmLevel level() const { return m_level; }
    AlarmSide side() const { return m_side; }
    void Reset() {
        m_level = AlarmLevel::None;
        m_side = AlarmSide::None;
    }

private:
    AlarmLevel m_level = AlarmLevel::None;
    AlarmSide m_side = AlarmSide::None;
};

// A change of one needle's alarm.
struct AlarmEvent {
    int channel = 0;
    int needle = 0;  // 1: the right-hand needle of a two-needle dial
    AlarmLevel level = AlarmLevel::None;
    AlarmLevel before = AlarmLevel::None;
    AlarmSide side = AlarmSide::None;
    double value = 0;

    // A new alarm, or a warning that became a danger: worth a sound and a
    // marker in the log.
    bool Rising() const { return level > before; }
};

// "ECT 236 °F HIGH", "EGT R 1650 °F HIGH", "BAP 24.1 "Hg LOW".
QString AlarmText(const AlarmEvent& event);

// The alarms of every dashboard needle against one set of limits.
class AlarmBoard {
public:
    AlarmBoard() : m_limits(DefaultAlarmLimits()) {}

    const AlarmLimitSet& limits() const { return m_limits; }
    // New limits count from the next value of each needle.
    void SetLimits(const AlarmLimitSet& limits) { m_limits = limits; }

    // The value of one needle; an event when its alarm changed.
    std::optional<AlarmEvent> Check(Gauge gauge, int needle, double value);
    // The worst level of a dial's needles.
    AlarmLevel Level(Gauge gauge) const;
    // The alarms now on, worst first, latest first among equals.
    std::vector<AlarmEvent> Active() const;
    // Every alarm off, without events.
    void Reset();

private:
    AlarmLimitSet m_limits;
    std::array<std::array<AlarmWatch, 2>, kAlarmChannels> m_watch{};
    std::array<std::array<AlarmEvent, 2>, kAlarmChannels> m_last{};
    std::array<std::array<std::uint64_t, 2>, kAlarmChannels> m_order{};
    std::uint64_t m_count = 0;
};

// The highest and lowest value since the last reset; NaN before the first.
struct PeakHold {
    double high = std::numeric_limits<double>::quiet_NaN();
    double low = std::numeric_limits<double>::quiet_NaN();

    // True when either held value moved. NaN values are not held.
    bool Add(double value) {
        if (std::isnan(value)) return false;
        bool moved = false;
        if (!(value <= high)) {
            high = value;
            moved = true;
        }
        if (!(value >= low)) {
            low = value;
            moved = true;
        }
        return moved;
    }
    bool Empty() const { return std::isnan(high); }
    void Reset() { *this = PeakHold{}; }
};

}  // namespace quarn
