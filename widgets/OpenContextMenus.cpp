#include "widgets/OpenContextMenus.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QContextMenuEvent>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSlider>

namespace quarn {
namespace {

// The value "Scroll here" moves to: the slider centred on pos, as the scroll
// bar's own menu places it.
int ValueAt(QScrollBar* bar, QPoint pos) {
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.subControls = QStyle::SC_All;
    opt.orientation = bar->orientation();
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    opt.upsideDown = bar->orientation() == Qt::Horizontal
                         ? bar->invertedAppearance() != (bar->layoutDirection() == Qt::RightToLeft)
                         : bar->invertedAppearance();
    if (bar->orientation() == Qt::Horizontal) opt.state |= QStyle::State_Horizontal;
    QStyle* style = bar->style();
    const QRect groove = style->subControlRect(QStyle::CC_ScrollBar, &opt,
                                               QStyle::SC_ScrollBarGroove, bar);
    const QRect slider = style->subControlRect(QStyle::CC_ScrollBar, &opt,
                                               QStyle::SC_ScrollBarSlider, bar);
    const bool horizontal = bar->orientation() == Qt::Horizontal;
    const int length = horizontal ? slider.width() : slider.height();
    const int from = horizontal ? groove.x() : groove.y();
    const int to = (horizontal ? groove.right() : groove.bottom()) - length + 1;
    const int at = (horizontal ? pos.x() : pos.y()) - length / 2;
    return QStyle::sliderValueFromPosition(bar->minimum(), bar->maximum(), at - from, to - from,
                                           opt.upsideDown);
}

void PopUpScrollBarMenu(QScrollBar* bar, QContextMenuEvent* event) {
    const bool horizontal = bar->orientation() == Qt::Horizontal;
    auto* menu = new QMenu(bar);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QPointer<QScrollBar> guard(bar);
    const auto add = [&](const char* text, std::function<void()> action) {
        QObject::connect(menu->addAction(QScrollBar::tr(text)), &QAction::triggered, bar,
                         [guard, action = std::move(action)] {
                             if (guard) action();
                         });
    };
    const auto step = [bar](QAbstractSlider::SliderAction action) {
        return [bar, action] { bar->triggerAction(action); };
    };
    const QPoint pos = event->pos();
    add("Scroll here", [bar, pos] { bar->setValue(ValueAt(bar, pos)); });
    menu->addSeparator();
    add(horizontal ? "Left edge" : "Top", step(QAbstractSlider::SliderToMinimum));
    add(horizontal ? "Right edge" : "Bottom", step(QAbstractSlider::SliderToMaximum));
    menu->addSeparator();
    add(horizontal ? "Page left" : "Page up", step(QAbstractSlider::SliderPageStepSub));
    add(horizontal ? "Page right" : "Page down", step(QAbstractSlider::SliderPageStepAdd));
    menu->addSeparator();
    add(horizontal ? "Scroll left" : "Scroll up", step(QAbstractSlider::SliderSingleStepSub));
    add(horizontal ? "Scroll right" : "Scroll down", step(QAbstractSlider::SliderSingleStepAdd));
    menu->popup(event->globalPos());
}

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

// Where a menu opens: at the mouse, or, from the keyboard, over the middle
// of the widget.
QPoint MenuPosition(QWidget* widget, QContextMenuEvent* event) {
    return event->reason() == QContextMenuEvent::Mouse
               ? event->globalPos()
               : widget->mapToGlobal(QPoint(widget->width() / 2, widget->height() / 2));
}

// The line edit's standard menu, going with widget.
QMenu* StandardEditMenu(QLineEdit* edit, QWidget* owner) {
    QMenu* menu = edit->createStandardContextMenu();
    if (!menu) return nullptr;
    menu->setParent(owner, menu->windowFlags());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    return menu;
}

bool PopUpLineEditMenu(QLineEdit* edit, QContextMenuEvent* event) {
    QMenu* menu = StandardEditMenu(edit, edit);
    if (!menu) return false;
    menu->popup(event->globalPos());  // where the line edit's own opens
    return true;
}

bool PopUpSpinBoxMenu(QAbstractSpinBox* spin, QContextMenuEvent* event) {
    auto* edit = spin->findChild<QLineEdit*>();
    if (!edit) return false;
    QMenu* menu = StandardEditMenu(edit, spin);
    if (!menu) return false;
    // Select All selects the number, not a prefix or suffix around it.
    if (auto* selectAll = menu->findChild<QAction*>(QStringLiteral("select-all"))) {
        selectAll->disconnect();
        QObject::connect(selectAll, &QAction::triggered, spin, &QAbstractSpinBox::selectAll);
    }
    menu->addSeparator();
    const QPointer<QAbstractSpinBox> target(spin);
    QAction* up = menu->addAction(QAbstractSpinBox::tr("&Step up"));
    up->setEnabled(CanStep(spin, 1));
    QObject::connect(up, &QAction::triggered, spin, [target] {
        if (target) target->stepBy(1);
    });
    QAction* down = menu->addAction(QAbstractSpinBox::tr("Step &down"));
    down->setEnabled(CanStep(spin, -1));
    QObject::connect(down, &QAction::triggered, spin, [target] {
        if (target) target->stepBy(-1);
    });
    menu->popup(MenuPosition(spin, event));
    return true;
}

class OpenContextMenus final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ContextMenu) return false;
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        // A widget that asked for its own menu keeps it.
        if (!widget || widget->contextMenuPolicy() != Qt::DefaultContextMenu) return false;
        if (auto* bar = qobject_cast<QScrollBar*>(watched)) {
            PopUpScrollBarMenu(bar, menuEvent);
        } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(watched)) {
            if (!PopUpSpinBoxMenu(spin, menuEvent)) return false;
        } else if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
            // A spin box's own editor hands the event on to the box.
            if (qobject_cast<QAbstractSpinBox*>(edit->parent())) return false;
            if (!PopUpLineEditMenu(edit, menuEvent)) return false;
        } else {
            return false;
        }
        event->accept();
        return true;
    }
};

}  // namespace

void InstallOpenContextMenus(QObject* application) {
    static const QString kName = QStringLiteral("quarn_open_context_menus");
    if (!application ||
        application->findChild<QObject*>(kName, Qt::FindDirectChildrenOnly))
        return;
    auto* filter = new OpenContextMenus(application);
    filter->setObjectName(kName);
    application->installEventFilter(filter);
}

}  // namespace quarn
