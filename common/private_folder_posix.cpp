// Private folders with mkdtemp, which makes the folder with mode 0700 and
// fails rather than reuse a name.
#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "SystemText.h"
#include "private_folder.h"

namespace teebasket {

namespace fs = std::filesystem;

std::string MakePrivateFolder(const fs::path& parent, const std::string& prefix, fs::path& folder) {
    const std::string pattern = (parent.empty() ? fs::path(".") : parent) / (prefix + "XXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        return ErrorNumberText(errno);
    }
    folder = fs::path(name.data());
    return {};
}

void RemovePrivateFolder(const fs::path& folder) {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

}  // namespace teebasket
