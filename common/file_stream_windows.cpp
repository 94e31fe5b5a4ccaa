// C streams with the C runtime's wide calls. The runtime's fopen knows no
// "x" (exclusive creation), so a new file is made with _wopen and _O_EXCL,
// and a file to add to is opened with CreateFileW to refuse reparse points.
#include <windows.h>
// after windows.h
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "file_stream.h"

namespace teebasket {

namespace {

// Opens an existing regular file to add to it: never a reparse point (a
// link or junction), a folder, a pipe or a device.
std::FILE* OpenToAppend(const std::filesystem::path& path) {
    HANDLE handle = ::CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool regular = ::GetFileInformationByHandle(handle, &information) != 0 &&
                         (information.dwFileAttributes &
                          (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
                         ::GetFileType(handle) == FILE_TYPE_DISK;
    if (!regular) {
        ::CloseHandle(handle);
        errno = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? ELOOP : EINVAL;
        return nullptr;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_APPEND | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = ::_fdopen(fd, "ab");
    if (file == nullptr) {
        const int error = errno;
        ::_close(fd);
        errno = error;
    }
    return file;
}

}  // namespace

std::FILE* OpenFileStream(const std::filesystem::path& path, FileOpenMode mode) {
    if (mode == FileOpenMode::CreateNew) {
        // _O_EXCL is CREATE_NEW, which fails on any name that exists, a
        // reparse point too.
        const int fd = ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                                _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            return nullptr;
        }
        std::FILE* file = ::_fdopen(fd, "wb");
        if (file == nullptr) {
            const int error = errno;
            ::_close(fd);
            ::_wunlink(path.c_str());
            errno = error;
        }
        return file;
    }
    if (mode == FileOpenMode::AppendExisting) {
        return OpenToAppend(path);
    }
    return ::_wfopen(path.c_str(), L"r+b");
}

std::FILE* OpenStandardOutputStream() {
    const int fd = ::_dup(1);
    if (fd < 0) {
        return nullptr;
    }
    ::_setmode(fd, _O_BINARY);
    std::FILE* file = ::_fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        ::_close(fd);
        errno = error;
    }
    return file;
}

bool SeekToEnd(std::FILE* file, std::uint64_t& offset) {
    if (::_fseeki64(file, 0, SEEK_END) != 0) {
        return false;
    }
    const long long end = ::_ftelli64(file);
    offset = static_cast<std::uint64_t>(end);
    return end >= 0;
}

// _commit is FlushFileBuffers; a pipe or a console has nothing to hand over.
bool SyncFileStream(std::FILE* file) {
    const int fd = ::_fileno(file);
    return ::_commit(fd) == 0 ||
           ::GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))) != FILE_TYPE_DISK;
}

}  // namespace teebasket
