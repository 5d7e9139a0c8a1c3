#pragma once

// Runs quarn-boxsim for a test: started behind a stable link in a folder of
// the test's, its first output line (the device) read, and ended with the
// test. Needs a QCoreApplication.

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace quarn::test {

class SimProcess {
public:
    static QString Program() { return QStringLiteral(QUARN_BIN_DIR "/quarn-boxsim"); }
    static bool Built() { return QFileInfo::exists(Program()); }

    ~SimProcess() { Stop(); }

    // Starts the simulator with args plus "--link linkPath". Returns false
    // when it does not start or report its device within a few seconds.
    bool Start(QStringList args, const QString& linkPath) {
        args << QStringLiteral("--link") << linkPath;
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(Program(), args);
        if (!m_process.waitForStarted(5000)) return false;
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(5000)) return false;
        m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return QFileInfo::exists(m_device);
    }

    // Ends the simulator and returns what it printed on standard error
    // (its counters).
    QString Stop() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000)) m_process.kill();
            m_process.waitForFinished(3000);
        }
        return QString::fromLocal8Bit(m_process.readAllStandardError());
    }

    const QString& device() const { return m_device; }
    qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
    QString m_device;
};

}  // namespace quarn::test
