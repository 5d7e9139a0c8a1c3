#include "widgets/EditMenus.h"

#include <QAbstractSpinBox>
#include <QContextMenuEvent>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QSpinBox>

namespace quarn {
namespace {

// Whether the box can step that way, as the box's own menu tells it.
bool CanStep(const QAbstractSpinBox* box, int steps) {
    if (box->isReadOnly()) return false;
    if (box->wrapping()) return true;
    if (const auto* s = qobject_cast<const QSpinBox*>(box))
        return steps > 0 ? s->value() < s->maximum() : s->value() > s->minimum();
    if (const auto* d = qobject_cast<const QDoubleSpinBox*>(box))
        return steps > 0 ? d->value() < d->maximum() : d->value() > d->minimum();
    return true;
}

QMenu* SpinBoxMenu(QAbstractSpinBox* box) {
    auto* edit = box->findChild<QLineEdit*>();
    if (!edit) return nullptr;
    QMenu* menu = edit->createStandardContextMenu();
    // Select All leaves out the prefix and suffix, as the box's own does.
    const QString selectAll = QLineEdit::tr("Select All");
    for (QAction* a : menu->actions())
        if (a->text().remove(QLatin1Char('&')).startsWith(selectAll))
            QObject::connect(a, &QAction::triggered, box, &QAbstractSpinBox::selectAll);
    menu->addSeparator();
    const QPointer<QAbstractSpinBox> target(box);
    QAction* up = menu->addAction(QAbstractSpinBox::tr("&Step up"), box, [target] {
        if (target) target->stepBy(1);
    });
    up->setEnabled(CanStep(box, 1));
    QAction* down = menu->addAction(QAbstractSpinBox::tr("Step &down"), box, [target] {
        if (target) target->stepBy(-1);
    });
    down->setEnabled(CanStep(box, -1));
    return menu;
}

class PopupEditMenus final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ContextMenu) return false;
        // A box given a menu of its own keeps it.
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->contextMenuPolicy() != Qt::DefaultContextMenu) return false;
        QMenu* menu = nullptr;
        if (auto* box = qobject_cast<QAbstractSpinBox*>(watched)) {
            menu = SpinBoxMenu(box);
        } else if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
            // A spin box's own editor hands the event to the box.
            if (qobject_cast<QAbstractSpinBox*>(edit->parent())) return false;
            menu = edit->createStandardContextMenu();
        }
        if (!menu) return false;
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
};

// One filter for the whole program: it keeps no state.
PopupEditMenus* Filter() {
    static auto* filter = new PopupEditMenus;
    return filter;
}

}  // namespace

void UsePopupEditMenus(QWidget* window) {
    for (QAbstractSpinBox* box : window->findChildren<QAbstractSpinBox*>())
        box->installEventFilter(Filter());
    for (QLineEdit* edit : window->findChildren<QLineEdit*>()) edit->installEventFilter(Filter());
}

void UsePopupEditMenusFor(QObject* watched) {
    watched->installEventFilter(Filter());
}

}  // namespace quarn
