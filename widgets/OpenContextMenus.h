#pragma once

class QObject;

namespace quarn {

// Qt runs the right-click menus of its line edits, spin boxes and scroll bars
// with QMenu::exec(), a nested event loop that holds the monitoring loop, and
// the recording, below it on the stack for as long as the menu is open. Once
// installed, this opens the same menus with popup() and carries out the
// chosen entry when it is triggered: the standard edit actions on a line
// edit; those, Step up and Step down on a spin box; the scroll bar's own
// entries on a scroll bar. A widget given a context menu policy of its own
// keeps its menu.
//
// Installed once, on the application object, so every box of every window,
// made now or later (an item's editor, a file dialog's name), has exactly
// one such handler; later calls do nothing.
void InstallOpenContextMenus(QObject* application);

}  // namespace quarn
