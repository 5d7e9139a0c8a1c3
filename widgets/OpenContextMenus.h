#pragma once

class QObject;

namespace quarn {

// The right-click menus of Qt's scroll bars and spin boxes are run with
// QMenu::exec(), a nested event loop that holds the monitoring loop, and the
// recording, for as long as the menu is open. Once installed, this opens the
// same menus with popup() and carries out the chosen entry when it is
// triggered. Installed once, on the application object; later calls do
// nothing.
void InstallOpenContextMenus(QObject* application);

}  // namespace quarn
