// The single-instance lock on Windows: the named mutex "Zide_Darere". The
// name has no namespace prefix, so it lives in the local namespace of the
// user's logon session: an instance of another session is not blocked.
#include <windows.h>

#include <string>

#include "Zererav.h"
#include "window_internal.h"

namespace teebasket {
namespace {

// Whether `window` is a main window of the program: a visible top-level Qt
// window (class "Qt…") with the main window's title, of another process.
bool IsRunningMainWindow(HWND window) {
    if (!::IsWindowVisible(window) || ::GetWindow(window, GW_OWNER) != nullptr) {
        return false;
    }
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId()) {
        return false;
    }
    wchar_t className[64] = {};
    if (::GetClassNameW(window, className, 64) < 2 || className[0] != L'Q' ||
        className[1] != L't') {
        return false;
    }
    const std::wstring title = window::kTitle.toStdWString();
    std::wstring text(title.size() + 2, L'\0');
    const int length = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    return length >= 0 && text.substr(0, static_cast<std::size_t>(length)) == title;
}

BOOL CALLBACK FindRunningMainWindow(HWND window, LPARAM found) {
    if (IsRunningMainWindow(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;  // found: stop
    }
    return TRUE;
}

}  // namespace

TSingleInstanceLock::TSingleInstanceLock() {
    ::SetLastError(0);
    HANDLE mutex = ::CreateMutexA(nullptr, TRUE, "Zide_Darere");
    // Any error, ERROR_ALREADY_EXISTS above all, means another instance.
    if (::GetLastError() != 0) {
        if (mutex != nullptr) {
            ::CloseHandle(mutex);
        }
        state_ = State::HeldElsewhere;
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(mutex);
    state_ = State::Held;
}

TSingleInstanceLock::~TSingleInstanceLock() {
    if (state_ == State::Held) {
        HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
        ::ReleaseMutex(mutex);
        ::CloseHandle(mutex);
    }
}

void BringRunningInstanceToFront() {
    HWND window = nullptr;
    ::EnumWindows(FindRunningMainWindow, reinterpret_cast<LPARAM>(&window));
    if (window == nullptr) {
        return;  // still starting, or ending
    }
    if (::IsIconic(window)) {
        ::ShowWindow(window, SW_RESTORE);
    }
    // A program the user just started may hand the foreground on.
    ::SetForegroundWindow(window);
}

}  // namespace teebasket
