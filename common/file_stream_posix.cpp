// C streams with POSIX calls; a path is its bytes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file_stream.h"

namespace teebasket {

namespace {

// Opens an existing regular file to add to it. O_NONBLOCK keeps a pipe in
// the file's place from holding the open until a reader comes; it is of no
// effect on the regular file that is then written.
std::FILE* OpenToAppend(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = errno;
        ::close(fd);
        errno = S_ISREG(status.st_mode) ? error : EINVAL;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, O_WRONLY | O_APPEND);
    std::FILE* file = ::fdopen(fd, "ab");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

}  // namespace

std::FILE* OpenFileStream(const std::filesystem::path& path, FileOpenMode mode) {
    switch (mode) {
        case FileOpenMode::CreateNew:
            // "x" is O_EXCL, which also refuses a link of any kind at the name.
            return std::fopen(path.c_str(), "wbxe");
        case FileOpenMode::AppendExisting:
            return OpenToAppend(path);
        case FileOpenMode::OverwriteExisting:
            break;
    }
    return std::fopen(path.c_str(), "r+be");
}

std::FILE* OpenStandardOutputStream() {
    const int fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

bool SeekToEnd(std::FILE* file, std::uint64_t& offset) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return false;
    }
    const off_t end = ::ftello(file);
    offset = static_cast<std::uint64_t>(end);
    return end >= 0;
}

bool SyncFileStream(std::FILE* file) {
    return ::fsync(::fileno(file)) == 0 || errno == EINVAL || errno == EROFS;
}

}  // namespace teebasket
