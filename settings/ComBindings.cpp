#include "settings/ComBindings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <array>

#include "link/Link.h"
#include "link/SerialPort.h"
#include "settings/LastVehicle.h"

namespace quarn {
namespace {

constexpr char kMaxRateKey[] = "serial/maxRate";

QString BindingKey(int port) {
    return QStringLiteral("serial/com%1").arg(port);
}

bool ValidDevice(const QString& device) {
    return QDir::isAbsolutePath(device) && !device.contains(QLatin1Char('\n'));
}

bool ValidRate(int rate) {
    return std::find(Link::kRates.begin(), Link::kRates.end(), rate) != Link::kRates.end();
}

// Whether the file is one Qt cannot parse whole: a section header left open,
// or binary garbage. QSettings says so only to the first reader of the file
// in a process (later ones get its cached contents with no error), so the
// file is looked at here.
bool Damaged(const QSettings& settings) {
    if (settings.status() == QSettings::FormatError) return true;
    QFile file(settings.fileName());
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = file.readAll();
    if (text.contains('\0')) return true;
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.startsWith('[') && !t.endsWith(']')) return true;
    }
    return false;
}

std::optional<int> ParseRate(const QVariant& value) {
    bool ok = false;
    const int rate = value.toString().trimmed().toInt(&ok);
    if (!ok || !ValidRate(rate)) return std::nullopt;
    return rate;
}

// Opens the file for a change. Qt writes a damaged file back whole, with
// whatever it made of the damage: the serial values in it, ignored until now,
// must not come to life with the user's new choice.
void ForgetDamagedSerialValues(QSettings& settings) {
    if (Damaged(settings)) settings.remove(QStringLiteral("serial"));
}

}  // namespace

QString BoundDevice(int port) {
    if (port < kFirstPortNumber || port > kLastPortNumber) return {};
    const QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    // A file that does not parse may hold anything under the key.
    if (settings.status() != QSettings::NoError || Damaged(settings)) return {};
    const QString device = settings.value(BindingKey(port)).toString();
    return ValidDevice(device) ? device : QString();
}

void BindDevice(int port, const QString& device) {
    if (port < kFirstPortNumber || port > kLastPortNumber) return;
    QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    ForgetDamagedSerialValues(settings);
    if (device.isEmpty())
        settings.remove(BindingKey(port));
    else
        settings.setValue(BindingKey(port), device);
}

std::optional<int> RememberedMaxRate() {
    const QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    if (settings.status() != QSettings::NoError || Damaged(settings)) return std::nullopt;
    return ParseRate(settings.value(QLatin1String(kMaxRateKey)));
}

void RememberMaxRate(int rate) {
    if (!ValidRate(rate)) return;
    QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    ForgetDamagedSerialValues(settings);
    if (ParseRate(settings.value(QLatin1String(kMaxRateKey))) == rate) return;
    settings.setValue(QLatin1String(kMaxRateKey), rate);
}

QString UserSerialSettingsProblem() {
    const QString path = QDir::toNativeSeparators(UserSettingsPath());
    const QSettings settings(UserSettingsPath(), QSettings::IniFormat);
    if (Damaged(settings))
        return QStringLiteral("The settings file \"%1\" is damaged. Its serial port bindings "
                              "and link rate are ignored; choosing them again in the setup "
                              "dialog writes the file anew.")
            .arg(path);
    if (settings.status() != QSettings::NoError)
        return QStringLiteral("The settings file \"%1\" could not be read.").arg(path);
    QStringList wrong;
    for (int port = kFirstPortNumber; port <= kLastPortNumber; ++port) {
        const QVariant value = settings.value(BindingKey(port));
        if (value.isValid() && !ValidDevice(value.toString())) wrong << BindingKey(port);
    }
    const QVariant rate = settings.value(QLatin1String(kMaxRateKey));
    if (rate.isValid() && !ParseRate(rate)) wrong << QString::fromLatin1(kMaxRateKey);
    if (wrong.isEmpty()) return {};
    return QStringLiteral("The settings file \"%1\" holds values that make no sense (%2). "
                          "They are ignored.")
        .arg(path, wrong.join(QStringLiteral(", ")));
}

}  // namespace quarn
