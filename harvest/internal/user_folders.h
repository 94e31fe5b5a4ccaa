// UserFolders: the user's home and settings folders and whether a folder can
// be written, the parts of HarvestConfig that differ between the platforms
// (user_folders_posix.cpp, user_folders_windows.cpp).
#pragma once

#include <filesystem>

namespace teebasket {

// The home folder that a leading "~/" in a settings value names: $HOME or
// the account's home folder on Linux, %USERPROFILE% on Windows (a HOME set
// there by a Unix-like shell is not a Windows path).
std::filesystem::path HomeFolder();

// The folder under which the program keeps a folder of its own settings:
// $XDG_CONFIG_HOME or ~/.config on Linux (as Qt's QStandardPaths reports
// it), %APPDATA% on Windows.
std::filesystem::path UserConfigFolder();

// The name of the program's own settings folder under UserConfigFolder:
// "teebasket" on Linux (as Qt names it), "Teebasket" on Windows.
const char* ProgramSettingsFolderName();

// Whether the program can create files in `folder`.
bool IsWritableFolder(const std::filesystem::path& folder);

// A folder of the system's programs, shared by every user and writable only
// by an administrator, so never the data folder, not even for a program run
// as root or as administrator: /usr, /bin, /sbin, /opt and below on Linux;
// Program Files and the Windows folder on Windows, and there also the user's
// own programs folder of per-user installers (%LOCALAPPDATA%\Programs).
bool IsSystemProgramFolder(const std::filesystem::path& folder);

}  // namespace teebasket
