#pragma once

#include <QString>

#include <optional>

namespace quarn {

// The user's serial choices, kept in the per-user settings file
// (UserSettingsPath()) beside the remembered car, never in quarnom.ini:
//
//   [serial]
//   com1=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0
//   maxRate=57600
//
// "com<N>" binds port number N to a device; "maxRate" is the highest link
// rate last applied in the setup dialog. A file Qt cannot parse, a binding
// that is no absolute path and a rate off the box's ladder are ignored.

// The device bound to port number `port`; empty when none.
QString BoundDevice(int port);
// Binds `port` to device; an empty device removes the binding.
void BindDevice(int port, const QString& device);

std::optional<int> RememberedMaxRate();
void RememberMaxRate(int rate);

// What is wrong with the serial part of the settings file, in the user's
// words; empty when nothing is (a missing file is fine).
QString UserSerialSettingsProblem();

}  // namespace quarn
