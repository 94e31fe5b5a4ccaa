// FileLock with open, flock and a check that the locked file is still the
// one at the name (the holder removes it on release).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "FileLock.h"

namespace teebasket {

namespace {

constexpr int kAttempts = 8;

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

FileLock::FileLock(std::filesystem::path path) : path_(std::move(path)) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const int fd =
            ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0) {
            systemError_ = errno;
            state_ = errno == ELOOP || errno == EISDIR ? State::NotAFile : State::Failed;
            return;
        }
        struct stat locked {};
        if (::fstat(fd, &locked) != 0 || !S_ISREG(locked.st_mode)) {
            systemError_ = errno;
            ::close(fd);
            state_ = State::NotAFile;
            return;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            systemError_ = errno;
            ::close(fd);
            state_ = systemError_ == EWOULDBLOCK ? State::HeldElsewhere : State::Failed;
            return;
        }
        // The holder before us may have removed the file between our open and
        // our flock: then the name is free again, or another file has it.
        struct stat named {};
        if (::lstat(path_.c_str(), &named) == 0 && SameFile(locked, named)) {
            handle_ = fd;
            state_ = State::Held;
            return;
        }
        ::close(fd);
    }
    state_ = State::HeldElsewhere;
}

FileLock::~FileLock() {
    if (state_ == State::Held) {
        // Removed while still locked, so that no one can lock the old file
        // after us and take it for the one at the name.
        ::unlink(path_.c_str());
        ::close(static_cast<int>(handle_));
    }
}

}  // namespace teebasket
