// FileLock with a file opened without sharing and deleted when closed: a
// second open fails with a sharing violation for as long as the first lives.
#include <windows.h>

#include "FileLock.h"

namespace teebasket {

FileLock::FileLock(std::filesystem::path path) : path_(std::move(path)) {
    HANDLE handle = ::CreateFileW(
        path_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        systemError_ = static_cast<int>(error);
        state_ = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED
                     ? State::HeldElsewhere
                     : State::Failed;
        return;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileInformationByHandle(handle, &information) == 0 ||
        (information.dwFileAttributes &
         (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        ::CloseHandle(handle);
        state_ = State::NotAFile;
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    state_ = State::Held;
}

FileLock::~FileLock() {
    if (state_ == State::Held) {
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
}

}  // namespace teebasket
