#pragma once

#include <QColor>

#include <array>

#include "link/LinkStatus.h"

class QLabel;
class QStatusBar;
class QWidget;

namespace quarn {

class ComStatLamp;

// The link's status as the dashboard shows it: the five panels of the status
// bar (activity, link, frame rate, and the notice that takes panels 4 and 5)
// and the link lamp. The bar also holds the alarm panel, which the alarms
// fill.
class DashStatus final : public LinkStatus {
public:
    static constexpr int kPanels = 5;

    // Fills bar with the panels and puts the lamp on ground.
    void Build(QStatusBar* bar, QWidget* ground);

    void SetPanelText(int panel, const QString& text) override;
    QString PanelText(int panel) const override;
    void SetComStat(std::int16_t code) override;
    void ShowLinkNotice(const QString& text) override;
    // Whether the alarm panel holds an alarm: panels 4 and 5 hold only link
    // notices, so while none shows an alarm takes their room and reads whole.
    void SetAlarmShowing(bool showing);

    QColor lampColour() const;
    QWidget* lamp() const;
    QLabel* alarmPanel() const { return m_alarmPanel; }

private:
    void ArrangeNoticePanels();

    std::array<QLabel*, kPanels> m_panels{};
    bool m_alarmShowing = false;
    QLabel* m_alarmPanel = nullptr;
    ComStatLamp* m_lamp = nullptr;
};

}  // namespace quarn
