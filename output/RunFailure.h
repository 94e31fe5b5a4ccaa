// RunFailure: why a run could not do its work, as data: what happened and to
// what (a path, the system's error number, a detail to quote). The output
// transaction and the engine return it; the window and teebasket-cli put it
// into words.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace teebasket {

// Why a run could not do its work. For OutputNotARegularFile, the detail is
// where the output's links end (UTF-8) when it is a link, and the error is
// ENOENT or ELOOP for a link that leads nowhere.
enum class RunFailureKind {
    None,
    InvalidPortalSetting,    // detail: the problem of the [Portal] hosts
    NoScratchLocation,       // no folder for the scratch file was given
    OutputInUse,             // another run writes the same output (path: the output)
    NotARegularFile,         // a link, pipe or folder stands where a file of the run goes (path)
    OutputNotARegularFile,   // the output is not a regular file, nor a link to one (path)
    OutputLinkNotFollowed,   // the output is another user's link in a sticky shared folder (path)
    OutputReadOnly,          // the output is a read-only file (path: the file)
    OutputNotCreated,        // the output or its partial file could not be created (path, errno)
    OutputNotWritten,        // a line could not be written (path, errno)
    NoSpace,                 // the disk or the quota is full (path, errno)
    OutputNotPutInPlace,     // the finished file could not take the output's place (path, errno)
    ScratchFile,             // the scratch file could not be written or read (path, errno)
    EarlierFileUnreadable,   // resume: the earlier file cannot be read (path, errno)
    EarlierFileTooLarge,     // resume: larger than any file the program writes (path)
    EarlierFileForeign,      // resume: no header line, or not the program's (path)
    EarlierFileOtherPortal,  // resume: its courses are of another booking host (path, detail: host)
    // resume: some of its courses lie outside the run's selection (path;
    // which and how many: ResumeStart::outside)
    EarlierFileOtherSelection,
    Unexpected,  // an unexpected error (detail: its text)
};

struct RunFailure {
    RunFailureKind kind = RunFailureKind::None;
    std::filesystem::path path;
    std::error_code error;  // the system's error, when there is one
    std::string detail;     // UTF-8 data for the front end to quote; no wording

    explicit operator bool() const { return kind != RunFailureKind::None; }
};

// The failure of `kind` at `path` with the system's error `error`; a full
// disk or quota, or a file over its size limit, makes it NoSpace.
RunFailure FileFailure(RunFailureKind kind, const std::filesystem::path& path,
                       std::error_code error = {});

}  // namespace teebasket
