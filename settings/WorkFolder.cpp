#include "settings/WorkFolder.h"

#include <QDir>
#include <QStandardPaths>

namespace quarn {

QString UserWorkFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("quarn-dash"));
}

bool EnterUserWorkFolder(QString* error) {
    const QString folder = UserWorkFolder();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot make the folder %1").arg(folder);
        return false;
    }
    if (!QDir::setCurrent(folder)) {
        *error = QStringLiteral("cannot work in the folder %1").arg(folder);
        return false;
    }
    return true;
}

}  // namespace quarn
