// The desktop's sound, taskbar flash and file opening with Win32 calls.
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <QDir>
#include <QWidget>
#include <string>

#include "DesktopShell.h"

namespace teebasket {

void PlayQuestionSound() {
    ::MessageBeep(MB_ICONQUESTION);
}

void FlashUntilActivated(QWidget* window) {
    if (window == nullptr) {
        return;
    }
    FLASHWINFO flash{};
    flash.cbSize = sizeof flash;
    flash.hwnd = reinterpret_cast<HWND>(window->window()->winId());
    // The button flashes until the window comes to the foreground.
    flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
    flash.uCount = 0;
    flash.dwTimeout = 0;
    ::FlashWindowEx(&flash);
}

bool OpenWithShell(const QString& path) {
    const std::wstring file = QDir::toNativeSeparators(path).toStdWString();
    // ShellExecuteW reports success with a value above 32.
    const HINSTANCE result =
        ::ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace teebasket
