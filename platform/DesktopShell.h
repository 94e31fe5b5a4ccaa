// DesktopShell: the question sound, the flash of a window's taskbar button
// and the opening of a file with the program registered for its type, as
// the desktop offers them. One implementation file per platform: Win32 on
// Windows, Qt's portable calls elsewhere.
#pragma once

#include <QString>

class QWidget;

namespace teebasket {

// The system's question sound.
void PlayQuestionSound();

// Flashes `window`'s taskbar button until the window is activated.
void FlashUntilActivated(QWidget* window);

// Opens the file `path` with the program registered for its type; false
// when the desktop could not hand it to any program.
bool OpenWithShell(const QString& path);

}  // namespace teebasket
