#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

#include "link/LinkStatus.h"

namespace quarn {

// The link's messages as message boxes over the dashboard, and the end of the
// program: the port is released and the process ends at once, wherever the
// nested handlers stand.
class DashAlerts final : public LinkAlerts {
public:
    DashAlerts(QWidget* owner, std::function<void()> release);

    void ShowCritical(const QString& title, const QString& text) override;
    void ShowSettingsNotSaved(const QString& text) override;
    [[noreturn]] void EndProgram() override;

private:
    QPointer<QWidget> m_owner;
    std::function<void()> m_release;
    bool m_failed = false;
};

}  // namespace quarn
