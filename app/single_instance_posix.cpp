// The single-instance lock on Linux and other POSIX systems: flock on a file
// in a folder that only the user can write.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "SystemText.h"
#include "Zererav.h"

namespace teebasket {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLockFileName = "Zide_Darere.lock";

// Why `folder` is not a private folder of this user, or "" when it is: it
// must be a folder itself (not a symbolic link), owned by this user, and
// writable by no one else, so that no other user can plant or replace the
// lock file in it.
std::string PrivateFolderProblem(const fs::path& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return folder.string() + ": " + ErrorNumberText(errno);
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
        return "cannot create " + folder.string() + ": " + ErrorNumberText(errno);
    }
    return PrivateFolderProblem(folder);
}

// The user's home folder as the user database has it, or empty.
fs::path HomeFromUserDatabase() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || entry.pw_dir == nullptr || entry.pw_dir[0] != '/') {
        return {};
    }
    return entry.pw_dir;
}

// True when the lock file in `folder` exists and another process holds it.
bool HeldIn(const fs::path& folder) {
    const int fd = ::open((folder / kLockFileName).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // and with it the lock, when this took it
    return held;
}

}  // namespace

SingleInstanceLockPlaces UserLockPlaces() {
    SingleInstanceLockPlaces places;
    places.shared = fs::path("/tmp") / ("teebasket-" + std::to_string(::geteuid()));
    if (const fs::path home = HomeFromUserDatabase(); !home.empty()) {
        places.own = home / ".cache" / "teebasket";
    }
    return places;
}

fs::path SingleInstanceLockFolder(const SingleInstanceLockPlaces& places, std::string& problem) {
    const std::string sharedProblem = MakePrivateFolder(places.shared);
    if (sharedProblem.empty()) {
        return places.shared;
    }
    // Someone else holds that name in the shared folder; the user's own
    // cache folder is out of other users' reach.
    std::string ownProblem = "no home folder";
    if (!places.own.empty()) {
        ownProblem = MakePrivateFolder(places.own);
        if (ownProblem.empty()) {
            return places.own;
        }
    }
    problem = "no private folder for the single-instance lock (" + sharedProblem + "; " +
              ownProblem + ")";
    return {};
}

fs::path SingleInstanceLockFolder(std::string& problem) {
    return SingleInstanceLockFolder(UserLockPlaces(), problem);
}

TSingleInstanceLock::TSingleInstanceLock() : TSingleInstanceLock(UserLockPlaces()) {}

TSingleInstanceLock::TSingleInstanceLock(const SingleInstanceLockPlaces& places) {
    const fs::path folder = SingleInstanceLockFolder(places, problem_);
    if (folder.empty()) {
        return;
    }
    const fs::path path = folder / kLockFileName;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        problem_ = "cannot open " + path.string() + ": " + ErrorNumberText(errno);
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool elsewhere = errno == EWOULDBLOCK;
        problem_ = elsewhere ? std::string()
                             : "cannot lock " + path.string() + ": " + ErrorNumberText(errno);
        ::close(fd);
        state_ = elsewhere ? State::HeldElsewhere : State::Unavailable;
        return;
    }
    // An instance that started while another user held the shared name took
    // its lock in the user's own folder, and runs on after that name is free.
    if (folder == places.shared && !places.own.empty() &&
        PrivateFolderProblem(places.own).empty() && HeldIn(places.own)) {
        ::close(fd);
        state_ = State::HeldElsewhere;
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

void BringRunningInstanceToFront() {}

TSingleInstanceLock::~TSingleInstanceLock() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));  // releases the lock
    }
}

}  // namespace teebasket
