// FileStream: C streams on files named by std::filesystem paths, the part
// that differs between the platforms (file_stream_posix.cpp,
// file_stream_windows.cpp): a Windows path is UTF-16 and takes the wide
// calls, so that names outside the ANSI code page work.
#pragma once

#include <cstdio>
#include <filesystem>

namespace teebasket {

enum class FileOpenMode {
    CreateOrTruncate,  // "wb"
    CreateNew,         // "wbx": fails with EEXIST when the file is there
    Append,            // "ab"
};

// Opens `path` for writing in binary mode; null with errno set on failure.
std::FILE* OpenFileStream(const std::filesystem::path& path, FileOpenMode mode);

// Hands what `file` has flushed to the disk. A file that cannot be synced by
// its nature (a pipe, a device) counts as synced.
bool SyncFileStream(std::FILE* file);

}  // namespace teebasket
