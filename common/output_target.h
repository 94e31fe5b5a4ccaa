// OutputTarget: what stands at the path a file is about to be written to, and
// whether it may be replaced (output_target.cpp, with the checks that differ
// between the platforms in output_target_posix.cpp and
// output_target_windows.cpp).
//
// A file that is written whole and then renamed over its path would replace
// whatever has the name: a device, a pipe, a folder's entry, a link. So the
// path is looked at first. Only a regular file, or nothing, is written. A link
// is followed, link by link, to the regular file it ends at; never when it is
// a link of another user in a shared sticky folder (the kernel's
// protected_symlinks rule, applied whatever the kernel's setting), and never
// to nothing or round in a loop. The links are read, not opened, so the
// kernel itself would not apply its rule: this does.
#pragma once

#include <filesystem>
#include <system_error>

namespace teebasket {

struct OutputTarget {
    enum class Status {
        Nothing,        // nothing has the name: a new file goes there
        RegularFile,    // a regular file that this user may replace
        NotRegular,     // a device, pipe, socket or folder, or a link to one
        BrokenLink,     // a link to nothing, or a loop of links (error: ENOENT or ELOOP)
        UntrustedLink,  // a link of another user in a shared sticky folder (at: the link)
        ReadOnly,       // a regular file that this user may not write, or that no one may
    };
    Status status = Status::Nothing;
    // Where the file is written: the path itself, or the regular file its
    // links end at. The path itself when the status refuses it.
    std::filesystem::path file;
    // Where the look ended: the file, or the link or the thing refused.
    std::filesystem::path at;
    std::error_code error;

    bool Writable() const { return status == Status::Nothing || status == Status::RegularFile; }
};

// Looks at `path` without opening anything there.
OutputTarget LookAtOutput(const std::filesystem::path& path);

// Whether the link `link` may be followed: false for a link in a sticky,
// world-writable folder that belongs neither to this user nor to the folder's
// owner. Always true on Windows.
bool LinkMayBeFollowed(const std::filesystem::path& link);

// Whether the regular file `file` may be replaced: false when this user may
// not write it, or when it grants writing to no one (which binds root too).
bool FileMayBeReplaced(const std::filesystem::path& file);

}  // namespace teebasket
