#pragma once

#include <QPointer>

namespace quarn {

// Shows the window held in slot, made by make() first when the slot is empty
// (never made yet, or closed and deleted), and brings it to the front.
template <class Window, class Make>
Window* ShowOnce(QPointer<Window>& slot, Make make) {
    if (!slot) slot = make();
    slot->show();
    slot->raise();
    return slot;
}

}  // namespace quarn
