#pragma once

#include <QString>

namespace quarn {

// The folder the program works in when started from the desktop entry. The
// desktop starts programs in the home folder, and quarnom.ini and logs named
// without a folder (the default "c:\test.qz0" among them) would land there.
// $XDG_DATA_HOME/quarn-dash, ~/.local/share/quarn-dash by default; read at
// every call, so it follows the environment.
QString UserWorkFolder();

// Makes the folder when it is missing and changes into it. Returns false
// with a message in error when either fails; the working folder is then the
// one it was.
bool EnterUserWorkFolder(QString* error);

}  // namespace quarn
