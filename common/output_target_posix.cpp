// The owner and permission checks of an output path with lstat, stat and
// faccessat.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "output_target.h"

namespace teebasket {

bool LinkMayBeFollowed(const std::filesystem::path& link) {
    struct stat linkStatus {};
    if (::lstat(link.c_str(), &linkStatus) != 0) {
        return true;  // gone: what follows it finds nothing
    }
    const std::filesystem::path folder = link.has_parent_path() ? link.parent_path() : ".";
    struct stat folderStatus {};
    if (::stat(folder.c_str(), &folderStatus) != 0) {
        return false;
    }
    const bool shared =
        (folderStatus.st_mode & S_ISVTX) != 0 && (folderStatus.st_mode & S_IWOTH) != 0;
    const uid_t user = ::geteuid();
    return !shared || linkStatus.st_uid == user || linkStatus.st_uid == folderStatus.st_uid;
}

bool FileMayBeReplaced(const std::filesystem::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        return true;  // gone: a new file takes the name
    }
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return false;
    }
    return ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0 ||
           (errno != EACCES && errno != EPERM && errno != EROFS);
}

}  // namespace teebasket
