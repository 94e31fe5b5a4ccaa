// Whole-file reading and atomic replacement with POSIX calls: open, read,
// fsync, rename, and an fsync of the folder so the rename itself lasts.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>

#include "SystemText.h"
#include "whole_file.h"

namespace teebasket {

namespace fs = std::filesystem;

namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int Get() const { return fd_; }
    // Closes now and reports the result (a delayed write error shows here).
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

// Makes a rename in `folder` last; a failure leaves a complete file of either
// version, so it is not reported.
void SyncFolder(const fs::path& folder) {
    FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.Get() >= 0) {
        ::fsync(folderFd.Get());
    }
}

// A name for the temporary file beside `target`, unique within the process
// (the pid makes it unique between processes; O_EXCL catches the rest).
fs::path TemporarySibling(const fs::path& target, int attempt) {
    static std::atomic<unsigned> counter{0};
    const std::string name = "." + target.filename().string() + ".tmp" +
                             std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                             std::to_string(attempt);
    return target.parent_path() / name;
}

WholeFileReplace Failure(WholeFileReplace::Status status, int error) {
    return {status, ErrorNumberText(error), std::error_code(error, std::generic_category())};
}

}  // namespace

WholeFileRead ReadWholeFile(const fs::path& path, std::uintmax_t maximumBytes, LinkRule links) {
    WholeFileRead result;
    auto failed = [&result](int error) {
        result.status = WholeFileRead::Status::Failed;
        result.systemError = ErrorNumberText(error);
        result.error = std::error_code(error, std::generic_category());
        return result;
    };
    // O_NONBLOCK: a pipe at the name must not hold the open until a writer
    // comes; it is of no effect on a regular file.
    const int noFollow = links == LinkRule::NoFollow ? O_NOFOLLOW : 0;
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | noFollow));
    if (fd.Get() < 0) {
        if (errno == ENOENT) {
            result.status = WholeFileRead::Status::Missing;
            return result;
        }
        if (errno == ELOOP && noFollow != 0) {
            result.status = WholeFileRead::Status::IsLink;
            return result;
        }
        return failed(errno);
    }
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0) {
        return failed(errno);
    }
    if (S_ISDIR(status.st_mode)) {
        result.status = WholeFileRead::Status::IsFolder;
        return result;
    }
    if (!S_ISREG(status.st_mode)) {
        result.status = WholeFileRead::Status::NotRegular;
        return result;
    }
    if (static_cast<std::uintmax_t>(status.st_size) > maximumBytes) {
        result.status = WholeFileRead::Status::TooLarge;
        return result;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(fd.Get(), buffer, sizeof buffer);
        if (count == 0) {
            result.status = WholeFileRead::Status::Read;
            return result;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return failed(errno);
        }
        result.bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

WholeFileReplace ReplaceWholeFile(const fs::path& target, std::string_view bytes) {
    using Status = WholeFileReplace::Status;
    std::optional<mode_t> mode;
    if (struct stat status{}; ::stat(target.c_str(), &status) == 0) {
        mode = status.st_mode;
    }
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    fs::path temporary;
    int rawFd = -1;
    for (int attempt = 0; attempt < 100 && rawFd < 0; ++attempt) {
        temporary = TemporarySibling(target, attempt);
        rawFd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (rawFd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (rawFd < 0) {
        const int error = errno;
        if (error == ENOENT) {
            return Failure(Status::FolderMissing, error);
        }
        if (error == ENOTDIR) {
            return Failure(Status::NotAFolder, error);
        }
        return Failure(Status::CannotCreate, error);
    }
    FileDescriptor fd(rawFd);
    auto fail = [&temporary](Status status) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return Failure(status, error);
    };
    if (mode && ::fchmod(fd.Get(), *mode & 07777) != 0) {
        return fail(Status::CannotKeepPermissions);
    }
    if (!WriteAll(fd.Get(), bytes) || ::fsync(fd.Get()) != 0 || fd.Close() != 0) {
        return fail(Status::WriteFailed);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        return fail(Status::CannotReplace);
    }
    SyncFolder(folder);
    return {Status::Replaced, {}, {}};
}

std::error_code MoveFileInPlace(const fs::path& from, const fs::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return std::error_code(errno, std::generic_category());
    }
    SyncFolder(to.parent_path().empty() ? fs::path(".") : to.parent_path());
    return {};
}

}  // namespace teebasket
