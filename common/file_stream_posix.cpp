// C streams with POSIX calls; a path is its bytes.
#include <unistd.h>

#include <cerrno>

#include "file_stream.h"

namespace teebasket {

namespace {

const char* ModeText(FileOpenMode mode) {
    switch (mode) {
        case FileOpenMode::CreateNew:
            return "wbx";
        case FileOpenMode::Append:
            return "ab";
        case FileOpenMode::OverwriteExisting:
            return "r+b";
        case FileOpenMode::CreateOrTruncate:
            break;
    }
    return "wb";
}

}  // namespace

std::FILE* OpenFileStream(const std::filesystem::path& path, FileOpenMode mode) {
    return std::fopen(path.c_str(), ModeText(mode));
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
