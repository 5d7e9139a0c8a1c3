#include "link/SerialDevices.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace quarn {

std::vector<SerialDeviceInfo> ListSerialDevices(const QString& byIdFolder) {
    std::vector<SerialDeviceInfo> devices;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        const QString node = port.systemLocation();
        // Qt also names ports whose node a container or a missing driver
        // left out; nothing could open those.
        if (!QFileInfo::exists(node)) continue;
        devices.push_back({node, port.description(), port.manufacturer(), port.serialNumber(),
                           StableDeviceName(node, byIdFolder)});
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) { return a.node < b.node; });
    return devices;
}

}  // namespace quarn
