// Private folders with mkdtemp, which makes the folder with mode 0700 and
// fails rather than reuse a name; held with an flock on the folder's own
// descriptor.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "SystemText.h"
#include "private_folder.h"

namespace teebasket {

namespace fs = std::filesystem;

namespace {

constexpr int kAttempts = 8;
constexpr std::size_t kRandomCharacters = 6;  // mkdtemp's XXXXXX

int OpenFolder(const fs::path& folder) {
    return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Whether the folder open on `fd` is the one named `folder`.
bool StillNamed(int fd, const fs::path& folder) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::lstat(folder.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

enum class Hold { Taken, TakenElsewhere, Unsupported };

// A file system without flock on folders (some network ones) gives no hold:
// its folders are then never removed as abandoned.
Hold TryHold(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return Hold::Taken;
    }
    return errno == EWOULDBLOCK ? Hold::TakenElsewhere : Hold::Unsupported;
}

}  // namespace

FolderHold::~FolderHold() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
    }
}

FolderHold::FolderHold(FolderHold&& other) noexcept : handle_(other.handle_) {
    other.handle_ = -1;
}

FolderHold& FolderHold::operator=(FolderHold&& other) noexcept {
    if (this != &other) {
        if (handle_ >= 0) {
            ::close(static_cast<int>(handle_));
        }
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

std::string MakePrivateFolder(const fs::path& parent, const std::string& prefix, fs::path& folder,
                              FolderHold& hold) {
    const std::string pattern = (parent.empty() ? fs::path(".") : parent) / (prefix + "XXXXXX");
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()) == nullptr) {
            return ErrorNumberText(errno);
        }
        const fs::path made(name.data());
        const int fd = OpenFolder(made);
        if (fd < 0 && errno != ENOENT) {
            const int error = errno;
            std::error_code ignored;
            fs::remove(made, ignored);
            return ErrorNumberText(error);
        }
        if (fd < 0) {
            continue;  // removed by a remover that came before the hold
        }
        // A remover that came between mkdtemp and the hold has the folder, or
        // has removed it: it is not ours, and another name is tried.
        const Hold taken = TryHold(fd);
        if (taken == Hold::Unsupported) {
            ::close(fd);
            folder = made;
            return {};
        }
        if (taken == Hold::Taken && StillNamed(fd, made)) {
            FolderHold madeHold;
            madeHold.handle_ = fd;
            hold = std::move(madeHold);
            folder = made;
            return {};
        }
        ::close(fd);
    }
    return ErrorNumberText(EEXIST);
}

void RemovePrivateFolder(const fs::path& folder) {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

// The names of the folders in `parent` that may be private folders of
// `prefix`, read before any is removed.
std::vector<fs::path> Candidates(const fs::path& parent, const std::string& prefix) {
    std::vector<fs::path> candidates;
    std::error_code error;
    for (fs::directory_iterator entry(parent.empty() ? fs::path(".") : parent, error);
         !error && entry != fs::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.starts_with(prefix) && name.size() == prefix.size() + kRandomCharacters) {
            candidates.push_back(entry->path());
        }
    }
    return candidates;
}

void RemoveAbandonedPrivateFolders(const fs::path& parent, const std::string& prefix) {
    for (const fs::path& folder : Candidates(parent, prefix)) {
        const int fd = OpenFolder(folder);
        if (fd < 0) {
            continue;  // a link or anything else with the name is not ours
        }
        struct stat status {};
        if (::fstat(fd, &status) == 0 && status.st_uid == ::geteuid() &&
            TryHold(fd) == Hold::Taken && StillNamed(fd, folder)) {
            RemovePrivateFolder(folder);
        }
        ::close(fd);
    }
}

}  // namespace teebasket
