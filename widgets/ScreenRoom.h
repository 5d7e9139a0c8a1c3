#pragma once

#include <QSize>

class QWidget;

namespace quarn {

// The room a window opening now has for its content: the free area of the
// primary screen (without the desktop's panels) less a window frame and title
// bar. An invalid size when there is no screen.
QSize ScreenRoom();

// What a window shows as its content: page itself when room holds the page's
// smallest size (its fixed size, or what its layout insists on), else a
// scroll area around it that is no bigger than room, so that a screen smaller
// than the window was made for (a car computer's 800 x 480) still reaches every
// control. An invalid room holds anything.
QWidget* FitToRoom(QWidget* page, QSize room);

// Makes page window's only content, fitted to room as above. A page of a
// fixed size makes a window of that size, as before, where room holds it;
// where it does not, the window opens as large as room allows.
void SetPage(QWidget& window, QWidget* page, QSize room);

}  // namespace quarn
