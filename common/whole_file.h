// WholeFile: reading a small file whole and replacing a file atomically, the
// two operations that differ between the platforms (whole_file_posix.cpp,
// whole_file_windows.cpp). Paths are std::filesystem paths, so names outside
// ASCII work on Windows too.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace teebasket {

struct WholeFileRead {
    enum class Status { Read, Missing, IsFolder, IsLink, NotRegular, TooLarge, Failed };
    Status status = Status::Failed;
    std::string bytes;        // the file's bytes when Read
    std::string systemError;  // the system's reason (UTF-8) when Failed
    std::error_code error;    // the system's error when Failed
};

enum class LinkRule {
    Follow,    // a symbolic link is read as the file it names
    NoFollow,  // a symbolic link (or reparse point) at the name is IsLink
};

// Reads `path` whole when it is a regular file of at most `maximumBytes`.
// A missing file, or a missing folder on its way, is Missing. A pipe in the
// file's place is NotRegular at once, never waited on.
WholeFileRead ReadWholeFile(const std::filesystem::path& path, std::uintmax_t maximumBytes,
                            LinkRule links = LinkRule::Follow);

struct WholeFileReplace {
    enum class Status {
        Replaced,
        FolderMissing,          // the folder of the file does not exist
        NotAFolder,             // the folder of the file is something else
        CannotCreate,           // no new file can be made in the folder
        CannotKeepPermissions,  // the old file's permissions cannot be carried over
        WriteFailed,
        CannotReplace,  // the new file is written but cannot take the old one's place
    };
    Status status = Status::WriteFailed;
    std::string systemError;  // the system's reason (UTF-8) unless Replaced
    std::error_code error;    // the system's error unless Replaced
};

// Writes `bytes` to a new file beside `target`, flushed to the disk, and puts
// it in place of `target` in one step, so that a reader sees either the old
// file or the new one and a failure leaves the old one. The new file keeps
// the old one's permissions; a new `target` gets the defaults. On failure the
// temporary file is gone.
WholeFileReplace ReplaceWholeFile(const std::filesystem::path& target, std::string_view bytes);

// Puts the finished file `from` in the place of `to` in one step, `to` being
// replaced when it exists, and hands the change to the disk: rename and an
// fsync of the folder on Linux, MoveFileExW with MOVEFILE_REPLACE_EXISTING and
// MOVEFILE_WRITE_THROUGH on Windows. Returns the system's error, or none; on
// failure both files stay as they were.
std::error_code MoveFileInPlace(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace teebasket
