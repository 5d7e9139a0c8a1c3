// Fuzzes the per-user settings file (the serial bindings, the remembered
// car and the View menu's choices) with any contents: what is read back is
// always a usable binding and a rate on the box's ladder, and a choice the
// user makes afterwards sticks, however damaged the file was.

#include <unistd.h>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "link/Link.h"
#include "link/SerialPort.h"
#include "settings/ComBindings.h"
#include "settings/LastVehicle.h"
#include "settings/UserChoices.h"

namespace {

QString g_home;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_home = QStringLiteral("/tmp/quarn-fuzz-user-%1").arg(::getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qputenv("XDG_CONFIG_HOME", g_home.toLocal8Bit());
    const QString path = quarn::UserSettingsPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        // QSettings reads a file again only when its time or size changed
        // since it last read it: each input gets a time of its own.
        static qint64 run = 0;
        file.setFileTime(QDateTime::fromSecsSinceEpoch(1'000'000'000 + ++run),
                         QFileDevice::FileModificationTime);
    }

    for (int port = quarn::kFirstPortNumber; port <= quarn::kLastPortNumber; ++port) {
        const QString device = quarn::BoundDevice(port);
        if (!device.isEmpty() && (!QDir::isAbsolutePath(device) || device.contains(QLatin1Char('\n'))))
            std::abort();
    }
    const auto& rates = quarn::Link::kRates;
    if (const std::optional<int> rate = quarn::RememberedMaxRate())
        if (std::find(rates.begin(), rates.end(), *rate) == rates.end()) std::abort();
    (void)quarn::UserSerialSettingsProblem();
    (void)quarn::RememberedVehicleFile();
    (void)quarn::RememberedChoice(quarn::kNightChoice);

    const QString device = QStringLiteral("/dev/serial/by-id/usb-fuzz-if00-port0");
    quarn::BindDevice(3, device);
    if (quarn::BoundDevice(3) != device) std::abort();
    quarn::RememberMaxRate(57600);
    if (quarn::RememberedMaxRate() != 57600) std::abort();
    quarn::RememberChoice(quarn::kMuteChoice, true);
    if (!quarn::RememberedChoice(quarn::kMuteChoice)) std::abort();
    quarn::RememberVehicleFile(QStringLiteral("/home/user/mustang.vf"));
    if (quarn::RememberedVehicleFile() != QStringLiteral("/home/user/mustang.vf")) std::abort();
    return 0;
}
