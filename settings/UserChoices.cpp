#include "settings/UserChoices.h"

#include <QSettings>

#include "settings/LastVehicle.h"

namespace quarn {

bool RememberedChoice(const char* key, bool fallback) {
    const QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    return settings.value(QLatin1String(key), fallback).toBool();
}

void RememberChoice(const char* key, bool on) {
    QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    settings.setValue(QLatin1String(key), on);
}

}  // namespace quarn
