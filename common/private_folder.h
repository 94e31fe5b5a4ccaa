// PrivateFolder: a new folder that only this user can enter, made beside a
// file that is about to be written (private_folder_posix.cpp,
// private_folder_windows.cpp). A writer that opens its file by name and
// follows symbolic links (a library's fopen) is safe inside it: nobody else
// can put a link there, and the folder is new, so nothing is in it yet. The
// folder lies in the target's own folder, so that the finished file reaches
// its place with one rename on the same file system.
#pragma once

//
// A process that is killed leaves its folder behind. So a process holds its
// folder for as long as it works in it (an flock on the folder itself, which
// the system drops when the process ends, however it ends), and the next one
// removes the folders of its prefix that nobody holds. The holder takes its
// hold before it writes anything and checks that the folder it holds is
// still the one at the name, and a remover removes only a folder it holds
// itself: so a folder in use is never removed.
#include <cstdint>
#include <filesystem>
#include <string>

namespace teebasket {

// A hold on a private folder, released when it is destroyed. Windows: no
// hold (abandoned folders are not removed there).
class FolderHold {
  public:
    FolderHold() = default;
    ~FolderHold();
    FolderHold(FolderHold&& other) noexcept;
    FolderHold& operator=(FolderHold&& other) noexcept;
    FolderHold(const FolderHold&) = delete;
    FolderHold& operator=(const FolderHold&) = delete;

  private:
    friend std::string MakePrivateFolder(const std::filesystem::path&, const std::string&,
                                         std::filesystem::path&, FolderHold&);
    std::intptr_t handle_ = -1;  // the folder's descriptor
};

// Makes a new folder in `parent` named `prefix` and random characters (six,
// mkdtemp's, with mode 0700, on POSIX; a name that did not exist on Windows),
// and holds it in `hold`. Returns "" and the folder, or the reason (UTF-8) it
// could not be made.
std::string MakePrivateFolder(const std::filesystem::path& parent, const std::string& prefix,
                              std::filesystem::path& folder, FolderHold& hold);

// Removes the folders in `parent` named `prefix` and six characters that are
// this user's and that no process holds: those of processes that were killed
// while they worked in them. Errors are ignored. Does nothing on Windows.
void RemoveAbandonedPrivateFolders(const std::filesystem::path& parent, const std::string& prefix);

// Removes `folder` and everything in it; errors are ignored (what is left is
// a private folder of the user's own).
void RemovePrivateFolder(const std::filesystem::path& folder);

}  // namespace teebasket
