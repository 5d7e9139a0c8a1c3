#pragma once

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>

namespace quarn::test {

// Sends a right click to box. True when the event came back while the menu
// was open, i.e. no loop ran inside it; a loop that did run is ended by
// closing the menu from a timer, so the test fails instead of hanging.
inline bool MenuOpensWithoutALoop(QWidget* box, QMenu** opened = nullptr) {
    bool inside = true;
    bool heldOpen = false;
    QTimer::singleShot(0, [&] {
        if (!inside) return;
        heldOpen = true;
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    });
    const QPoint at(box->width() / 2, box->height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, box->mapToGlobal(at));
    QApplication::sendEvent(box, &event);
    inside = false;
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QApplication::processEvents();
    if (opened) *opened = menu;
    return !heldOpen && menu && menu->isVisible();
}

}  // namespace quarn::test
