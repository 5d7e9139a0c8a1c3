#include "widgets/OpenDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>

#include <utility>

namespace quarn {

QMessageBox* OpenMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                         const QString& text) {
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

QMessageBox* OpenQuestion(QWidget* parent, const QString& title, const QString& text,
                          std::function<void()> onYes) {
    auto* box = new QMessageBox(QMessageBox::Question, title, text,
                                QMessageBox::Yes | QMessageBox::No, parent);
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // The box as the connection's context: deleted with parent, it takes
    // the continuation along.
    QObject::connect(box, &QMessageBox::finished, box, [box, onYes = std::move(onYes)](int) {
        if (box->clickedButton() == box->button(QMessageBox::Yes)) onYes();
    });
    box->open();
    return box;
}

QMessageBox* OpenChoice(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                        const QString& text, QMessageBox::StandardButtons buttons,
                        QMessageBox::StandardButton defaultButton,
                        std::function<void(QMessageBox::StandardButton)> then) {
    auto* box = new QMessageBox(icon, title, text, buttons, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setDefaultButton(defaultButton);
    QObject::connect(box, &QMessageBox::finished, parent, [parent, box, then = std::move(then)] {
        const QMessageBox::StandardButton button = box->standardButton(box->clickedButton());
        QMetaObject::invokeMethod(parent, [then, button] { then(button); }, Qt::QueuedConnection);
    });
    box->open();
    return box;
}

void OpenSaveDialog(QWidget* parent, const QString& title, const QString& suggested,
                    const QString& filter, std::function<void(const QString& path)> onChosen) {
    OpenSaveDialog(parent, title, suggested, filter,
                   [onChosen = std::move(onChosen)](const QString& path, const QString&) {
                       onChosen(path);
                   });
}

void OpenSaveDialog(QWidget* parent, const QString& title, const QString& suggested,
                    const QString& filter,
                    std::function<void(const QString& path, const QString& chosenFilter)> onChosen) {
    auto* dialog = new QFileDialog(parent, title, QFileInfo(suggested).path(), filter);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    // The dialog's own overwrite question runs a nested loop; ours is opened.
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->selectFile(suggested);
    QPointer<QWidget> owner = parent;
    QObject::connect(
        dialog, &QFileDialog::fileSelected, dialog,
        [owner, dialog, title, onChosen = std::move(onChosen)](const QString& path) {
            if (path.isEmpty() || !owner) return;
            // Read now: the question below outlives the dialog.
            const QString chosenFilter = dialog->selectedNameFilter();
            if (!QFileInfo::exists(path)) {
                onChosen(path, chosenFilter);
                return;
            }
            OpenQuestion(owner, title,
                         QStringLiteral("%1 already exists.\nDo you want to replace it?")
                             .arg(QDir::toNativeSeparators(path)),
                         [onChosen, path, chosenFilter] { onChosen(path, chosenFilter); });
        });
    dialog->open();
}

}  // namespace quarn
