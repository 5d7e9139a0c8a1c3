#pragma once

#include <QWidget>

#include <array>
#include <functional>
#include <vector>

#include "link/SerialDevices.h"

class QRadioButton;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace quarn {

class Link;
class LinkStatus;

// The serial port setup: port Com1 to Com4 and the highest link rate. Apply
// saves the port, sets the highest rate (remembered for the next start in the
// per-user settings), hides the dialog and asks the monitoring loop to
// reconnect. The dialog does not show the current settings: it starts at Com1
// and 115200 and keeps the user's choice while it exists; its close button
// destroys it without applying.
//
// Beside them, the serial devices present, with maker, serial number and
// stable name. Binding one binds it to the chosen Com number at once, in the
// per-user settings; a line below says which device the chosen number leads
// to and why (QUARN_COM<N>, the binding, or the ttyUSB/ttyS rule).
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
    QTreeWidget* deviceList() const { return m_devices; }
    QPushButton* bindButton() const { return m_bind; }
    QPushButton* unbindButton() const { return m_unbind; }
    QLabel* sourceLabel() const { return m_source; }

    // Binds the device of the selected row to the chosen Com number: its
    // stable name when it has one, else its node.
    void Bind_Click();
    void Unbind_Click();
    // Lists the devices present again.
    void RefreshDevices();

    // The devices present; tests replace it.
    std::function<std::vector<SerialDeviceInfo>()> listDevices = [] { return ListSerialDevices(); };

signals:
    // The choice was applied and a reconnect asked for.
    void applied();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowDevice();
    int ChosenPort() const;

    Link& m_link;
    LinkStatus& m_status;
    std::array<QRadioButton*, kPorts> m_ports{};
    std::array<QRadioButton*, kRates.size()> m_rates{};
    QPushButton* m_apply = nullptr;
    QLabel* m_device = nullptr;
    QTreeWidget* m_devices = nullptr;
    QPushButton* m_bind = nullptr;
    QPushButton* m_unbind = nullptr;
    QLabel* m_source = nullptr;
};

}  // namespace quarn
