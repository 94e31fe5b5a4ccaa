// Paths are byte strings here: nothing to convert.
#include "path_text.h"

namespace teebasket {

std::string PathText(const std::filesystem::path& path) {
    return path.string();
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::string(utf8));
}

}  // namespace teebasket
