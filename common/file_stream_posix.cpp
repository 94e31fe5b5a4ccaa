// C streams with POSIX calls; a path is its bytes.
#include <unistd.h>

#include <cerrno>

#include "file_stream.h"

namespace teebasket {

std::FILE* OpenFileStream(const std::filesystem::path& path, FileOpenMode mode) {
    const char* modeText = mode == FileOpenMode::CreateNew ? "wbx"
                           : mode == FileOpenMode::Append  ? "ab"
                                                           : "wb";
    return std::fopen(path.c_str(), modeText);
}

bool SyncFileStream(std::FILE* file) {
    return ::fsync(::fileno(file)) == 0 || errno == EINVAL || errno == EROFS;
}

}  // namespace teebasket
