#pragma once

#include <QWidget>

#include <array>

class QRadioButton;
class QLabel;
class QPushButton;

namespace quarn {

class Link;
class LinkStatus;

// The serial port setup: port Com1 to Com4 and the highest link rate. Apply
// saves the port, sets the highest rate for this run, hides the dialog and
// asks the monitoring loop to reconnect. The dialog does not show the current
// settings: it starts at Com1 and 115200 and keeps the user's choice while it
// exists; its close button destroys it without applying.
class ComSetup : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPorts = 4;
    static constexpr std::array<int, 5> kRates{9600, 19200, 38400, 57600, 115200};

    ComSetup(Link& link, LinkStatus& status, QWidget* parent = nullptr);

    void ApplyCom_Click();

    QRadioButton* portButton(int port) const { return m_ports.at(port - 1); }
    QRadioButton* rateButton(int index) const { return m_rates.at(index); }
    QPushButton* applyButton() const { return m_apply; }

signals:
    // The choice was applied and a reconnect asked for.
    void applied();

private:
    void ShowDevice();

    Link& m_link;
    LinkStatus& m_status;
    std::array<QRadioButton*, kPorts> m_ports{};
    std::array<QRadioButton*, kRates.size()> m_rates{};
    QPushButton* m_apply = nullptr;
    QLabel* m_device = nullptr;
};

}  // namespace quarn
