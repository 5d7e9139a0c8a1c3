#pragma once

#include <QWidget>

#include <array>
#include <functional>

#include "decode/Alarms.h"
#include "widgets/ScreenRoom.h"

class QLabel;
class QLineEdit;

namespace quarn {

// The alarm limits of every dashboard dial: warn low, warn high, danger low
// and danger high, each a number or empty for off. A box counts once its
// edit is finished (Enter or the focus leaving it). A text that is not a
// number, or a limit that cannot stand with the others of its dial (a warn
// limit beyond its danger limit, a low limit above a high one), is refused
// at its box as the session properties refuse a vehicle value: red frame,
// a hint beside the row and in the tooltip, and the last valid limit stays
// in force. The limits are kept with the car in its vehicle file (Session
// Properties, Save).
//
// One window for the whole run: closing it only hides it.
class LimitsWindow : public QWidget {
    Q_OBJECT
public:
    // Room: see FitToRoom; the screen's by default.
    explicit LimitsWindow(const AlarmLimitSet& inForce, QWidget* parent = nullptr,
                          QSize room = ScreenRoom());
    ~LimitsWindow() override;

    // Puts limits in the boxes (after a vehicle file was loaded), clearing
    // any refusal.
    void ShowLimits(const AlarmLimitSet& limits);
    const AlarmLimitSet& limits() const { return m_limits; }

    // Runs with the new set each time a box's limit is accepted.
    std::function<void(const AlarmLimitSet&)> onChanged;

    QLineEdit* box(int channel, LimitKind kind) const;
    QLabel* hint(int channel) const { return m_hints.at(static_cast<std::size_t>(channel)); }
    bool refused(int channel, LimitKind kind) const;
    // Puts a box's text in force, or refuses it.
    void ApplyBox(int channel, LimitKind kind);
    // Every dial back to the limits of its bands.
    void RestoreDefaults();

private:
    static std::size_t Index(int channel, LimitKind kind) {
        return static_cast<std::size_t>(channel) * kLimitKinds.size() +
               static_cast<std::size_t>(kind);
    }
    void ShowRowHint(int channel);

    AlarmLimitSet m_limits;
    std::array<QLineEdit*, kAlarmChannels * 4> m_boxes{};
    std::array<QString, kAlarmChannels * 4> m_refusals{};
    std::array<QLabel*, kAlarmChannels> m_hints{};
};

}  // namespace quarn
