#include "app/DashAlerts.h"

#include "widgets/OpenDialogs.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace quarn {

DashAlerts::DashAlerts(QWidget* owner, std::function<void()> release)
    : m_owner(owner), m_release(std::move(release)) {}

void DashAlerts::ShowCritical(const QString& title, const QString& text) {
    m_failed = true;
    QMessageBox::critical(m_owner, title, text);
}

void DashAlerts::ShowSettingsNotSaved(const QString& text) {
    // The program goes on after this one, and a nested loop would hold the
    // monitoring loop until the box closed: opened, not run.
    OpenMessage(m_owner, QMessageBox::Warning, QCoreApplication::applicationName(), text);
}

void DashAlerts::EndProgram() {
    if (m_release) m_release();
    std::fflush(nullptr);
    // The call may come from deep inside nested event handlers (a wait inside
    // the monitoring loop inside the start-up); unwinding them would run code
    // that expects the windows to exist. Nothing is left to save.
    std::_Exit(m_failed ? EXIT_FAILURE : EXIT_SUCCESS);
}

}  // namespace quarn
