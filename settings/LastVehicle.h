#pragma once

#include <QString>

#include <optional>

#include "decode/VehicleData.h"
#include "settings/VehicleFile.h"

namespace quarn {

// The vehicle file whose car was in use when the program last ended,
// remembered for the user (not in quarnom.ini, which holds only the port):
// "vehicle/file" in quarn-dash/quarn-dash.ini under the user's configuration
// folder ($XDG_CONFIG_HOME, ~/.config by default).
QString UserSettingsPath();

// The remembered file; empty when none.
QString RememberedVehicleFile();
// Remembers path; an empty path forgets.
void RememberVehicleFile(const QString& path);

// The car of the remembered file, when there is one and it still loads.
struct LoadedVehicle {
    QString path;
    VehicleFile car;
};
std::optional<LoadedVehicle> ReadRememberedVehicle();

// At the start: puts the remembered car in use and returns its file, so
// what else the file holds (its alarm limits) comes from the same reading.
// Nothing (and the defaults stay) when there is none or it no longer loads.
std::optional<LoadedVehicle> RestoreRememberedVehicle(VehicleData& vehicle);

// Whether vehicle holds exactly the numbers of car.
bool SameNumbers(const VehicleData& vehicle, const VehicleFile& car);

}  // namespace quarn
