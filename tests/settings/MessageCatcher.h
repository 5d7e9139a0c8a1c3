#pragma once

// Catches the message box a window puts up while a test drives it: records
// its title, text and icon and closes it, so the modal box does not wait for
// a user who is not there.

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>
#include <optional>

namespace quarn::test {

struct CaughtMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Runs action; returns the message box it showed, if any (the first one).
inline std::optional<CaughtMessage> CatchMessage(const std::function<void()>& action) {
    std::optional<CaughtMessage> caught;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (!caught) caught = CaughtMessage{box->windowTitle(), box->text(), box->icon()};
        box->close();
    });
    poll.start();
    action();
    return caught;
}

}  // namespace quarn::test
