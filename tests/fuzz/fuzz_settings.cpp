// Fuzzes the settings file reader with any file contents: it returns the
// number the file holds or 0, and after a 0 for a bad file the file holds 0.

#include <unistd.h>

#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdlib>

#include "link/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QString path =
        QStringLiteral("/tmp/quarn-fuzz-settings-%1.ini").arg(::getpid());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const std::int16_t port = quarn::ReadSettings(path);
    if (port == 0 && quarn::ReadSettings(path) != 0) std::abort();
    // What is written reads back the same.
    quarn::WriteSettings(port, path);
    if (quarn::ReadSettings(path) != port) std::abort();
    return 0;
}
