// The owner and permission checks of an output path on Windows: a link is
// the user's own to follow, and a file is read-only by its attribute.
#include <windows.h>

#include "output_target.h"

namespace teebasket {

bool LinkMayBeFollowed(const std::filesystem::path&) {
    return true;
}

bool FileMayBeReplaced(const std::filesystem::path& file) {
    const DWORD attributes = ::GetFileAttributesW(file.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

}  // namespace teebasket
