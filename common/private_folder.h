// PrivateFolder: a new folder that only this user can enter, made beside a
// file that is about to be written (private_folder_posix.cpp,
// private_folder_windows.cpp). A writer that opens its file by name and
// follows symbolic links (a library's fopen) is safe inside it: nobody else
// can put a link there, and the folder is new, so nothing is in it yet. The
// folder lies in the target's own folder, so that the finished file reaches
// its place with one rename on the same file system.
#pragma once

#include <filesystem>
#include <string>

namespace teebasket {

// Makes a new folder in `parent` named `prefix` and random characters, with
// mode 0700 (mkdtemp) on POSIX and a name that did not exist on Windows.
// Returns "" and the folder, or the reason (UTF-8) it could not be made.
std::string MakePrivateFolder(const std::filesystem::path& parent, const std::string& prefix,
                              std::filesystem::path& folder);

// Removes `folder` and everything in it; errors are ignored (what is left is
// a private folder of the user's own).
void RemovePrivateFolder(const std::filesystem::path& folder);

}  // namespace teebasket
