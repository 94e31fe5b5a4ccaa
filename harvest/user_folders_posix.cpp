// The user's folders from the environment and the account database.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "user_folders.h"

namespace teebasket {

namespace fs = std::filesystem;

fs::path HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* account = ::getpwuid(::getuid());
        account != nullptr && account->pw_dir != nullptr) {
        return account->pw_dir;
    }
    return "/";
}

fs::path UserConfigFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
        return xdg;
    }
    return HomeFolder() / ".config";
}

const char* ProgramSettingsFolderName() {
    return "teebasket";
}

bool IsWritableFolder(const fs::path& folder) {
    std::error_code error;
    return !folder.empty() && fs::is_directory(folder, error) &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool IsSystemProgramFolder(const fs::path& folder) {
    std::error_code error;
    const fs::path real = fs::weakly_canonical(folder, error);
    auto part = real.begin();
    if (error || part == real.end() || *part != "/" || ++part == real.end()) {
        return false;
    }
    return *part == "usr" || *part == "bin" || *part == "sbin" || *part == "opt";
}

}  // namespace teebasket
