#include "about/Browser.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace quarn {
namespace {

// A program given by name is looked up on PATH; one given with a path must
// be an executable file.
QString Executable(const QString& program) {
    if (program.isEmpty()) return {};
    if (!program.contains(u'/')) return QStandardPaths::findExecutable(program);
    const QFileInfo info(program);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
}

}  // namespace

QString DesktopBrowser::Find() const {
    if (QString p = Executable(QStringLiteral("xdg-open")); !p.isEmpty()) return p;
    // BROWSER may list several programs separated by colons; only a plain
    // program is used here, not a command line with "%s" in it.
    const QString listed = qEnvironmentVariable("BROWSER").section(u':', 0, 0).trimmed();
    if (!listed.contains(u' ')) {
        if (QString p = Executable(listed); !p.isEmpty()) return p;
    }
    return Executable(QStringLiteral("x-www-browser"));
}

bool DesktopBrowser::Launch(const QString& program, const QString& address) {
    return QProcess::startDetached(program, {address});
}

}  // namespace quarn
