#pragma once

#include <memory>

#include "link/SerialPort.h"

class QSerialPort;

namespace quarn {

// The serial port on QSerialPort: no flow control, line settings from the
// settings text, a receive buffer of kReceiveBufferBytes. Received bytes reach
// the buffer while the Qt event loop runs (Yielder::Yield does that);
// InBufferCount and Input see those the line holds too, so that a program
// that has not yielded for a while still finds everything that arrived.
//
// A device that goes away while open (an unplugged USB adapter, a closed
// pseudo-terminal master) makes QSerialPort report read errors on every pass of
// the event loop. The first read, write or resource error closes the port from
// the event loop; the next InBufferCount, Input or Output throws
// SerialPortError with the reason, and IsOpen() is false from the error on.
class QtSerialPort final : public SerialPort {
public:
    // binding: the user's port bindings, asked at every SetCommPort.
    explicit QtSerialPort(PortBindingLookup binding = {});
    ~QtSerialPort() override;

    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;

    void SetCommPort(int port) override;
    int CommPort() const override { return m_commPort; }
    QString Device() const override { return m_device; }
    void SetDevice(const QString& device) override { m_device = device; }
    void SetSettings(const QString& text) override;
    QString Settings() const override { return m_settingsText; }
    void Open() override;
    void Close() override;
    bool IsOpen() const override;
    void SetDTREnable(bool on) override;
    void SetRTSEnable(bool on) override;
    int InBufferCount() override;
    ByteBuffer Input() override;
    void Output(char byte) override;
    void WakeWhenWaiting(int bytes) override;

private:
    void OnPortError(int error);
    void CloseAfterFault();
    void ThrowUnlessUsable(const char* operation);
    QString PortLabel() const;
    int BytesNotYetTaken() const;
    void SetMinimumRead(int bytes);

    std::unique_ptr<QSerialPort> m_port;
    PortBindingLookup m_binding;
    int m_commPort = 0;
    // Resolved from the number once, by SetCommPort.
    QString m_device;
    QString m_settingsText;
    LineSettings m_settings;
    bool m_dtr = false;
    bool m_rts = false;
    bool m_closing = false;
    // The line's minimum read count (VMIN) as set by WakeWhenWaiting; 0, the
    // usual value, while no wait is hinted.
    int m_minimumRead = 0;
    // Why the open device failed; empty while it works.
    QString m_fault;
};

}  // namespace quarn
