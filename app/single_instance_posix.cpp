// The single-instance lock on Linux and other POSIX systems: flock on a file
// in a folder that only the user can write.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

#include "Zererav.h"

namespace teebasket {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLockFileName = "Zide_Darere.lock";

std::string ErrnoText() {
    return std::error_code(errno, std::generic_category()).message();
}

// An absolute path from the environment variable `name`, or empty.
fs::path PathFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value != '/') {
        return {};
    }
    return value;
}

// Why `folder` is not a private folder of this user, or "" when it is: it
// must be a folder itself (not a symbolic link), owned by this user, and
// writable by no one else, so that no other user can plant or replace the
// lock file in it.
std::string PrivateFolderProblem(const fs::path& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return folder.string() + ": " + ErrnoText();
    }
    if (!S_ISDIR(info.st_mode)) {
        return folder.string() + " is not a folder";
    }
    if (info.st_uid != ::geteuid()) {
        return folder.string() + " belongs to another user";
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return folder.string() + " can be written by other users";
    }
    return {};
}

// `folder` created with mode 0700 when missing (its parents as needed), then
// judged by PrivateFolderProblem.
std::string MakePrivateFolder(const fs::path& folder) {
    std::error_code ignored;
    fs::create_directories(folder.parent_path(), ignored);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return "cannot create " + folder.string() + ": " + ErrnoText();
    }
    return PrivateFolderProblem(folder);
}

fs::path UserCacheFolder() {
    const fs::path cache = PathFromEnvironment("XDG_CACHE_HOME");
    if (!cache.empty()) {
        return cache;
    }
    const fs::path home = PathFromEnvironment("HOME");
    return home.empty() ? fs::path() : home / ".cache";
}

}  // namespace

fs::path SingleInstanceLockFolder(std::string& problem) {
    std::string problems;
    const auto note = [&problems](const std::string& text) {
        problems += (problems.empty() ? "" : "; ") + text;
    };
    if (const fs::path runtime = PathFromEnvironment("XDG_RUNTIME_DIR"); !runtime.empty()) {
        const std::string why = PrivateFolderProblem(runtime);
        if (why.empty()) {
            return runtime;
        }
        note(why);
    }
    fs::path temporary = PathFromEnvironment("TMPDIR");
    if (temporary.empty()) {
        temporary = "/tmp";
    }
    const fs::path shared = temporary / ("teebasket-" + std::to_string(::geteuid()));
    const std::string sharedProblem = MakePrivateFolder(shared);
    if (sharedProblem.empty()) {
        return shared;
    }
    note(sharedProblem);
    // Someone else holds that name in the shared folder; the user's own cache
    // folder is out of other users' reach.
    if (const fs::path cache = UserCacheFolder(); !cache.empty()) {
        const fs::path own = cache / "teebasket";
        const std::string why = MakePrivateFolder(own);
        if (why.empty()) {
            return own;
        }
        note(why);
    }
    problem = "no private folder for the single-instance lock (" + problems + ")";
    return {};
}

TSingleInstanceLock::TSingleInstanceLock() {
    const fs::path folder = SingleInstanceLockFolder(problem_);
    if (folder.empty()) {
        return;
    }
    const fs::path path = folder / kLockFileName;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        problem_ = "cannot open " + path.string() + ": " + ErrnoText();
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool elsewhere = errno == EWOULDBLOCK;
        problem_ = elsewhere ? std::string() : "cannot lock " + path.string() + ": " + ErrnoText();
        ::close(fd);
        state_ = elsewhere ? State::HeldElsewhere : State::Unavailable;
        return;
    }
    // The holder's process id, for the user who wonders which process runs.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
    }
    handle_ = fd;
    state_ = State::Held;
}

TSingleInstanceLock::~TSingleInstanceLock() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));  // releases the lock
    }
}

}  // namespace teebasket
