#include "app/DashAlerts.h"

#include "widgets/OpenDialogs.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace quarn {

namespace {

// The message before the program ends: application-modal, since nothing else
// may go on while the user reads it.
QMessageBox* OpenCritical(QWidget* owner, QMessageBox::Icon icon, const QString& title,
                          const QString& text, const QString& detail) {
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    if (!detail.isEmpty()) box->setDetailedText(detail);
    box->open();
    return box;
}

}  // namespace

DashAlerts::DashAlerts(QWidget* owner, std::function<void()> release)
    : m_owner(owner), m_release(std::move(release)) {}

void DashAlerts::ShowCritical(const QString& title, const QString& text, const QString& detail) {
    std::fprintf(stderr, "%s: %s %s\n", qPrintable(title), qPrintable(text), qPrintable(detail));
    std::fflush(stderr);
    m_failed = true;
    // A second failure while the first message is up (a handler nested in
    // its wait) adds nothing the user needs.
    if (m_critical) return;
    m_critical = OpenCritical(m_owner, QMessageBox::Critical, title, text, detail);
}

void DashAlerts::ShowSettingsNotSaved(const QString& text) {
    // The program goes on after this one, and a nested loop would hold the
    // monitoring loop until the box closed: opened, not run.
    OpenMessage(m_owner, QMessageBox::Warning, QCoreApplication::applicationName(), text);
}

void DashAlerts::EndProgram() {
    // The message box is application-modal: while the user reads it, only
    // timers and repaints run here, and the port (already failed) is left
    // alone. The box closing, or going with its owner, ends the wait.
    while (m_critical && m_critical->isVisible())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (m_failed && m_stayOpen && m_stayOpen()) {
        m_failed = false;
        return;
    }
    if (m_release) m_release();
    std::fflush(nullptr);
    // The call may come from deep inside nested event handlers (a wait inside
    // the monitoring loop inside the start-up); unwinding them would run code
    // that expects the windows to exist. Nothing is left to save.
    std::_Exit(m_failed ? EXIT_FAILURE : EXIT_SUCCESS);
}

}  // namespace quarn
