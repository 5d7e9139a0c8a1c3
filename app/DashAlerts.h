#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>

#include "link/LinkStatus.h"

namespace quarn {

// The link's messages as message boxes over the dashboard, and the end of the
// program: the port is released and the process ends at once, wherever the
// nested handlers stand. No box runs a nested modal loop: each is opened and
// the caller goes on.
class DashAlerts final : public LinkAlerts {
public:
    DashAlerts(QWidget* owner, std::function<void()> release);

    // Also writes the message and the detail to standard error, as one line.
    void ShowCritical(const QString& title, const QString& text, const QString& detail) override;
    void ShowSettingsNotSaved(const QString& text) override;
    // Waits, serving window events, until the critical message is closed.
    // After a failure, returns instead of ending when stayOpen says so.
    void EndProgram() override;
    // Asked after a failure: true keeps the program running (windows that
    // need no box are open), having stopped what needed it.
    void SetStayOpen(std::function<bool()> stayOpen) { m_stayOpen = std::move(stayOpen); }

    // The critical message while it is open.
    QMessageBox* criticalBox() const { return m_critical; }

private:
    QPointer<QWidget> m_owner;
    std::function<void()> m_release;
    std::function<bool()> m_stayOpen;
    bool m_failed = false;
    QPointer<QMessageBox> m_critical;
};

}  // namespace quarn
