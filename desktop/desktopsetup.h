#pragma once
// What the running program tells the desktop, and what it takes from it:
// its version and desktop file name, Qt's own texts in Japanese, and the
// installed data folder.

#include <QString>

class QCoreApplication;

// Version, desktop file name, and Qt's own Japanese translation (context
// menus, standard buttons) when it is installed.
void SetUpDesktop(QCoreApplication& app);

// The program's data folder ("pelmora" under share/): beside the executable
// as ../share/pelmora (the build tree and an installed tree alike), else in
// the desktop's data folders. Empty when neither has it.
QString DataFolder();
