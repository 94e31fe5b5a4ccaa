#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include "DesktopShell.h"

namespace teebasket {

void PlayQuestionSound() {
    QApplication::beep();
}

void FlashUntilActivated(QWidget* window) {
    QApplication::alert(window, 0);  // 0: until the window is activated
}

bool OpenWithShell(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace teebasket
