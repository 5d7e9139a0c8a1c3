#include "link/SerialPort.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <utility>

namespace quarn {

std::optional<LineSettings> ParseLineSettings(const QString& text) {
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4) return std::nullopt;

    LineSettings s;
    bool ok = false;
    s.baud = fields[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0) return std::nullopt;

    const QString parity = fields[1].trimmed().toLower();
    if (parity == QLatin1String("n"))
        s.parity = Parity::None;
    else if (parity == QLatin1String("e"))
        s.parity = Parity::Even;
    else if (parity == QLatin1String("o"))
        s.parity = Parity::Odd;
    else if (parity == QLatin1String("m"))
        s.parity = Parity::Mark;
    else if (parity == QLatin1String("s"))
        s.parity = Parity::Space;
    else
        return std::nullopt;

    s.dataBits = fields[2].trimmed().toInt(&ok);
    if (!ok || s.dataBits < 5 || s.dataBits > 8) return std::nullopt;

    const QString stop = fields[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = StopBits::One;
    else if (stop == QLatin1String("1.5"))
        s.stopBits = StopBits::OneAndHalf;
    else if (stop == QLatin1String("2"))
        s.stopBits = StopBits::Two;
    else
        return std::nullopt;
    return s;
}

PortResolution ResolvePort(int port, const PortBindingLookup& binding) {
    if (port < kFirstPortNumber || port > kLastPortNumber) return {};

    const QString fromEnv =
        qEnvironmentVariable(qPrintable(QStringLiteral("QUARN_COM%1").arg(port)));
    if (!fromEnv.isEmpty()) return {fromEnv, PortSource::Environment};

    if (binding) {
        const QString bound = binding(port);
        if (!bound.isEmpty()) return {bound, PortSource::Binding};
    }

    // A USB adapter is what a laptop in a car has; a built-in UART is the
    // fallback so that port 1 still means something on a desktop.
    const QString usb = QStringLiteral("/dev/ttyUSB%1").arg(port - 1);
    if (QFileInfo::exists(usb)) return {usb, PortSource::Rule};
    return {QStringLiteral("/dev/ttyS%1").arg(port - 1), PortSource::Rule};
}

QString PortDevice(int port, const PortBindingLookup& binding) {
    return ResolvePort(port, binding).device;
}

QString StableDeviceName(const QString& node, const QString& folder) {
    if (node.isEmpty()) return {};
    const QDir dir(folder);
    const QFileInfo info(node);
    if (QFileInfo(info.absolutePath()).canonicalFilePath() == dir.canonicalPath() &&
        !dir.canonicalPath().isEmpty())
        return node;
    const QString target = info.canonicalFilePath();
    if (target.isEmpty()) return {};
    // The entries are links to device nodes, which only QDir::System lists.
    const auto entries =
        dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries)
        if (entry.canonicalFilePath() == target) return entry.absoluteFilePath();
    return {};
}

}  // namespace quarn
