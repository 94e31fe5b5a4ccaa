// C streams with the C runtime's wide calls. The runtime's fopen knows no
// "x" (exclusive creation), so a new file is made with _wopen and _O_EXCL.
#include <windows.h>
// after windows.h
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "file_stream.h"

namespace teebasket {

std::FILE* OpenFileStream(const std::filesystem::path& path, FileOpenMode mode) {
    if (mode == FileOpenMode::CreateNew) {
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
    const wchar_t* modeText = mode == FileOpenMode::Append              ? L"ab"
                              : mode == FileOpenMode::OverwriteExisting ? L"r+b"
                                                                        : L"wb";
    return ::_wfopen(path.c_str(), modeText);
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
