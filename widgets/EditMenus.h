#pragma once

class QObject;
class QWidget;

namespace quarn {

// Qt opens the right-button menu of a line edit or a spin box with exec(),
// a loop of its own that holds the monitoring loop below it on the stack for
// as long as the menu is open. These give such boxes the same menu (the
// standard edit actions, and Step up and Step down on a spin box) opened
// with popup(), so frames keep coming while it is open.

// Every QLineEdit and QAbstractSpinBox inside window now.
void UsePopupEditMenus(QWidget* window);
// Every such box whose events pass through watched, now or later (an item
// editor made on demand, a file dialog): the application, in the program.
void UsePopupEditMenusFor(QObject* watched);

}  // namespace quarn
