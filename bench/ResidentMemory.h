#pragma once

#include <QByteArray>
#include <QFile>

namespace quarn::bench {

// The process's resident memory (VmRSS) in MB; 0 when it cannot be read.
inline double ResidentMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

}  // namespace quarn::bench
