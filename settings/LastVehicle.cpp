#include "settings/LastVehicle.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace quarn {
namespace {

constexpr char kKey[] = "vehicle/file";

}  // namespace

QString UserSettingsPath() {
    // Read at every call, so the folder follows $XDG_CONFIG_HOME.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("quarn-dash/quarn-dash.ini"));
}

QString RememberedVehicleFile() {
    const QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    return settings.value(QLatin1String(kKey)).toString();
}

void RememberVehicleFile(const QString& path) {
    QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    if (settings.value(QLatin1String(kKey)).toString() == path) return;
    if (path.isEmpty())
        settings.remove(QLatin1String(kKey));
    else
        settings.setValue(QLatin1String(kKey), path);
}

std::optional<LoadedVehicle> ReadRememberedVehicle() {
    LoadedVehicle loaded{RememberedVehicleFile(), {}};
    if (loaded.path.isEmpty()) return std::nullopt;
    QString error;
    if (!ReadVehicleFile(loaded.path, loaded.car, error)) return std::nullopt;
    return loaded;
}

std::optional<LoadedVehicle> RestoreRememberedVehicle(VehicleData& vehicle) {
    std::optional<LoadedVehicle> loaded = ReadRememberedVehicle();
    if (!loaded) return std::nullopt;
    // The file's numbers passed the same checks as the boxes.
    VehicleData car;
    if (!car.SetWeight(VehicleNumberText(loaded->car.weight).toStdString()) ||
        !car.SetInjSize(VehicleNumberText(loaded->car.injsize).toStdString()) ||
        !car.SetNumCyl(VehicleNumberText(loaded->car.numcyl).toStdString()) ||
        !car.SetCdA(VehicleNumberText(loaded->car.cda).toStdString()) ||
        !car.SetCrr(VehicleNumberText(loaded->car.crr).toStdString()))
        return std::nullopt;
    vehicle = car;
    return loaded;
}

bool SameNumbers(const VehicleData& vehicle, const VehicleFile& car) {
    return vehicle.weight() == car.weight && vehicle.injsize() == car.injsize &&
           vehicle.numcyl() == car.numcyl && vehicle.cda() == car.cda && vehicle.crr() == car.crr;
}

}  // namespace quarn
