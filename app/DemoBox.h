#pragma once

#include <QProcess>
#include <QString>

namespace quarn {

// The simulated logger box of the demo: quarn-boxsim started beside the
// dashboard on a pseudo-terminal, every port number mapped to it, and port 1
// saved, so the needles move without any hardware. The simulator ends with
// the dashboard, however the dashboard ends.
class DemoBox {
public:
    // Starts the simulator found next to this program with extra arguments.
    // Returns false with a message in error when it cannot be started.
    bool Start(const QStringList& arguments, QString* error);
    QString device() const { return m_device; }

private:
    QProcess m_process;
    QString m_device;
};

}  // namespace quarn
