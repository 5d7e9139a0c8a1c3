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

// The open message box, if any.
inline QMessageBox* OpenMessageBox() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    return nullptr;
}

// Runs action; returns the message box it opened, if any (the first one),
// and closes it. The windows open their boxes without a nested event loop,
// so the box is still open when action returns.
inline std::optional<CaughtMessage> CatchMessage(const std::function<void()>& action) {
    action();
    QCoreApplication::processEvents();
    QMessageBox* box = OpenMessageBox();
    if (!box) return std::nullopt;
    CaughtMessage caught{box->windowTitle(), box->text(), box->icon()};
    box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return caught;
}

}  // namespace quarn::test
