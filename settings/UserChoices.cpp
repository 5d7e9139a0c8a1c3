#include "settings/UserChoices.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include "settings/LastVehicle.h"
#include "settings/VehicleLimitKeys.h"

namespace quarn {

bool RememberedChoice(const char* key, bool fallback) {
    const QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    return settings.value(QLatin1String(key), fallback).toBool();
}

void RememberChoice(const char* key, bool on) {
    QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    settings.setValue(QLatin1String(key), on);
}

std::optional<AlarmLimitSet> RememberedLimits() {
    const QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    const QString text = settings.value(QStringLiteral("alarms/limits")).toString();
    if (text.isEmpty()) return std::nullopt;
    // The lines a vehicle file holds, read as it reads them: a bad line
    // leaves its channel at the defaults.
    VehicleFile read;
    QStringList seen;
    const QStringList lines = text.split(u'\n');
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        const qsizetype eq = line.indexOf(u'=');
        if (line.isEmpty() || line.startsWith(u'#') || eq < 0) continue;
        ReadLimitKey(line.left(eq).trimmed(), line.mid(eq + 1).trimmed(), n + 1, seen, read);
    }
    return read.limits;
}

void RememberLimits(const AlarmLimitSet& limits) {
    QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("alarms/limits"), QString::fromUtf8(FormatLimitKeys(limits)));
}

QString DefaultDatalogDirectory() {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty()) documents = QDir::homePath();
    return QDir(documents).filePath(QStringLiteral("Quarn Logs"));
}

DataloggingChoices RememberedDataloggingChoices() {
    const QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    DataloggingChoices c;
    const int start = settings.value(QStringLiteral("datalog/start"), 0).toInt();
    if (start >= 0 && start <= static_cast<int>(DataloggingChoices::Start::Keyboard))
        c.start = static_cast<DataloggingChoices::Start>(start);
    // No trigger input reaches the program: a stored choice of it starts
    // nothing, and says so by reading as manual.
    if (c.start == DataloggingChoices::Start::TriggerInput) c.start = DataloggingChoices::Start::Manual;
    c.reconnect = settings.value(QStringLiteral("datalog/reconnect"), true).toBool();
    c.directory = settings.value(QStringLiteral("datalog/directory")).toString();
    if (c.directory.trimmed().isEmpty()) c.directory = DefaultDatalogDirectory();
    bool ok = false;
    const int rate = settings.value(QStringLiteral("datalog/max-rate"), 0).toInt(&ok);
    c.maxRate = ok && rate > 0 ? rate : 0;
    return c;
}

void RememberDataloggingChoices(const DataloggingChoices& c) {
    QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("datalog/start"), static_cast<int>(c.start));
    settings.setValue(QStringLiteral("datalog/reconnect"), c.reconnect);
    settings.setValue(QStringLiteral("datalog/directory"), c.directory);
    settings.setValue(QStringLiteral("datalog/max-rate"), c.maxRate);
}

}  // namespace quarn
