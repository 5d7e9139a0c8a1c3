#pragma once

#include <QString>

#include <vector>

#include "link/SerialPort.h"

namespace quarn {

// A serial device present on this machine, as the setup dialog lists it.
struct SerialDeviceInfo {
    QString node;  // /dev/ttyUSB0
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString stableName;  // its name in /dev/serial/by-id, empty when none
};

// The serial devices present (USB adapters, ACM modems, built-in ports whose
// node exists), by node name. Stable names are looked up in byIdFolder.
std::vector<SerialDeviceInfo> ListSerialDevices(
    const QString& byIdFolder = QString::fromLatin1(kSerialByIdFolder));

}  // namespace quarn
