// The single-instance lock on Windows: the named mutex "Zide_Darere". The
// name has no namespace prefix, so it lives in the local namespace of the
// user's logon session: an instance of another session is not blocked.
#include <windows.h>

#include "Zererav.h"

namespace teebasket {

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

}  // namespace teebasket
