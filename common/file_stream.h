// FileStream: C streams on files named by std::filesystem paths, the part
// that differs between the platforms (file_stream_posix.cpp,
// file_stream_windows.cpp): a Windows path is UTF-16 and takes the wide
// calls, so that names outside the ANSI code page work.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace teebasket {

enum class FileOpenMode {
    CreateNew,  // a new file: fails with EEXIST when anything has the name, a link too
    // An existing regular file, written at its end: fails with ELOOP (a link),
    // ENOENT, or EINVAL (a pipe, a device, a folder) without waiting on a pipe.
    AppendExisting,
    OverwriteExisting,  // "r+b": written from its start, not cut; fails when it is missing
};

// Opens `path` for writing in binary mode; null with errno set on failure.
std::FILE* OpenFileStream(const std::filesystem::path& path, FileOpenMode mode);

// A stream of its own on the process's standard output (a duplicate of its
// descriptor, binary on Windows), so that closing it leaves standard output
// open. Null with errno set on failure.
std::FILE* OpenStandardOutputStream();

// Moves to the end of `file` and gives its offset there, the file's size;
// false with errno set when it cannot be told.
bool SeekToEnd(std::FILE* file, std::uint64_t& offset);

// Hands what `file` has flushed to the disk. A file that cannot be synced by
// its nature (a pipe, a device) counts as synced.
bool SyncFileStream(std::FILE* file);

}  // namespace teebasket
