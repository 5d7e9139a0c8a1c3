#include "app/DemoBox.h"

#include <QCoreApplication>
#include <QDir>

#include <signal.h>
#include <sys/prctl.h>

#include "link/SerialPort.h"
#include "link/Settings.h"

namespace quarn {
namespace {

constexpr int kStartTimeoutMs = 5000;

}  // namespace

bool DemoBox::Start(const QStringList& arguments, QString* error) {
    const QString program =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quarn-boxsim"));
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    // The simulator's counters and messages go to our terminal.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The dashboard may end with _Exit from deep inside a handler: let the
    // kernel end the simulator then.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start();
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        *error = QStringLiteral("Cannot start %1: %2").arg(program, m_process.errorString());
        return false;
    }
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(kStartTimeoutMs)) {
            *error = QStringLiteral("%1 did not report its device").arg(program);
            m_process.kill();
            return false;
        }
    }
    m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    for (int port = kFirstPortNumber; port <= kLastPortNumber; ++port)
        qputenv(QStringLiteral("QUARN_COM%1").arg(port).toLatin1(), m_device.toLocal8Bit());
    // Without the file the dashboard simply asks for the port.
    if (!WriteSettings(1))
        qWarning("quarn-dash: cannot save port 1 in %s", qPrintable(QDir::currentPath()));
    return true;
}

}  // namespace quarn
