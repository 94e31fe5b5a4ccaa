// CsvOutputFile: the run's CSV file, which never ends in a torn row.
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "Unithread.h"

namespace teebasket {
namespace {

std::FILE* OpenForWriting(const std::filesystem::path& path, bool append) {
#ifdef _WIN32
    return _wfopen(path.c_str(), append ? L"ab" : L"wb");
#else
    return std::fopen(path.c_str(), append ? "ab" : "wb");
#endif
}

// Hands what the stream has flushed to the disk. A file that cannot be
// synced by its nature (a pipe, a device) counts as synced.
bool SyncToDisk(std::FILE* file) {
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return ::fsync(::fileno(file)) == 0 || errno == EINVAL || errno == EROFS;
#endif
}

// The size of the file that `file` appends to; false when it cannot be told.
bool EndOffset(std::FILE* file, std::uint64_t& offset) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return false;
    }
#ifdef _WIN32
    const long long end = _ftelli64(file);
#else
    const off_t end = ::ftello(file);
#endif
    offset = static_cast<std::uint64_t>(end);
    return end >= 0;
}

std::string ErrnoText(int error) {
    return error != 0 ? std::string(std::strerror(error)) : std::string("write error");
}

// Tries `mutex` until it is taken or `limit` has passed. (A polling loop
// rather than std::timed_mutex, whose timed wait ThreadSanitizer cannot
// follow.)
bool TryLockFor(std::mutex& mutex, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!mutex.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

CsvOutputFile::~CsvOutputFile() {
    std::string ignored;
    Close(ignored);
}

bool CsvOutputFile::Open(const std::filesystem::path& path, std::string& error,
                         OutputOptions options) {
    const std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    path_ = path;
    wholeBytes_ = 0;
    finished_ = false;
    syncEachLine_ = options.syncEachLine;
    errno = 0;
    file_ = OpenForWriting(path, options.append);
    if (file_ == nullptr) {
        error = path.string() + ": " + ErrnoText(errno);
        return false;
    }
    if (options.append) {
        // A failed write cuts the file back to here at the earliest, so the
        // lines that were there stay whatever happens.
        std::uint64_t end = 0;
        if (!EndOffset(file_, end)) {
            error = path.string() + ": " + ErrnoText(errno);
            std::fclose(file_);
            file_ = nullptr;
            return false;
        }
        wholeBytes_ = end;
    }
    return true;
}

bool CsvOutputFile::IsOpen() const {
    const std::lock_guard lock(mutex_);
    return file_ != nullptr;
}

bool CsvOutputFile::WriteLine(std::string_view line, std::string& error) {
    const std::lock_guard lock(mutex_);
    if (file_ == nullptr) {
        error = finished_ ? "the file was closed at its last whole line" : "the file is not open";
        return false;
    }
    errno = 0;
    const bool written = std::fwrite(line.data(), 1, line.size(), file_) == line.size() &&
                         std::fwrite("\r\n", 1, 2, file_) == 2 && std::fflush(file_) == 0 &&
                         (!syncEachLine_ || SyncToDisk(file_));
    if (!written) {
        error = ErrnoText(errno);
        CloseAndCutBack();
        return false;
    }
    wholeBytes_ += line.size() + 2;
    return true;
}

bool CsvOutputFile::Close(std::string& error) {
    const std::lock_guard lock(mutex_);
    if (file_ == nullptr) {
        return true;
    }
    errno = 0;
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) {
        error = ErrnoText(errno);
        CutBack();
        return false;
    }
    return true;
}

void CsvOutputFile::FinishForExit(std::chrono::milliseconds patience) {
    if (TryLockFor(mutex_, patience)) {
        const std::lock_guard lock(mutex_, std::adopt_lock);
        if (file_ != nullptr) {
            CloseAndCutBack();
        }
        finished_ = true;
        return;
    }
    // A write that does not end (a stalled disk): cut the file back all the
    // same, for the process is about to end. path_ is set only by Open,
    // before any write.
    CutBack();
}

// Closing may write buffered bytes of the torn line, so the file is cut back
// after it is closed.
void CsvOutputFile::CloseAndCutBack() {
    std::fclose(file_);
    file_ = nullptr;
    finished_ = true;
    CutBack();
}

// A file that is not a regular file (a pipe, a device) cannot be cut, and is
// left as it is.
void CsvOutputFile::CutBack() const {
    std::error_code ignored;
    if (std::filesystem::is_regular_file(path_, ignored)) {
        std::filesystem::resize_file(path_, wholeBytes_, ignored);
    }
}

}  // namespace teebasket
