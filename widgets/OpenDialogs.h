#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace quarn {

// Message boxes and file dialogs that are opened, never run in a nested
// event loop: a nested loop inside a handler would hold the monitoring loop
// further down the stack, and with it the frames and the recording, until
// the user closed the box. Each is a child of parent (so it goes when parent
// goes, its continuation with it), window-modal to it and deleted once
// closed.

// A box with an OK button. Returns it, already open.
QMessageBox* OpenMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                         const QString& text);

// A question with Yes and No; onYes runs after Yes, nothing after No.
QMessageBox* OpenQuestion(QWidget* parent, const QString& title, const QString& text,
                          std::function<void()> onYes);

// A box with the given buttons; then runs with the button clicked
// (QMessageBox::NoButton when the box was closed otherwise), queued after the
// box has gone, so that it may start a long operation. Nothing runs when
// parent goes first.
QMessageBox* OpenChoice(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                        const QString& text, QMessageBox::StandardButtons buttons,
                        QMessageBox::StandardButton defaultButton,
                        std::function<void(QMessageBox::StandardButton)> then);

// The save dialog: starts at suggested and runs onChosen with the file the
// user picked. A file that exists is only passed on after the user said to
// replace it, in a question opened the same way.
void OpenSaveDialog(QWidget* parent, const QString& title, const QString& suggested,
                    const QString& filter, std::function<void(const QString& path)> onChosen);
// The same, also passing on the name filter the user had chosen (one of
// filter's, split at ";;"), for a save whose format follows it.
void OpenSaveDialog(QWidget* parent, const QString& title, const QString& suggested,
                    const QString& filter,
                    std::function<void(const QString& path, const QString& chosenFilter)> onChosen);

}  // namespace quarn
