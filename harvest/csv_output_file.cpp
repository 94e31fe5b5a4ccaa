// CsvOutputFile: the run's CSV file, which never ends in a torn row.
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

#include "Unithread.h"
#include "file_stream.h"
#include "path_text.h"

namespace teebasket {
namespace {

std::string ErrnoText(int error) {
    return error != 0 ? std::string(std::strerror(error)) : std::string("write error");
}

// Takes `mutex` when it comes free within `patience`. Polls, for
// ThreadSanitizer cannot follow std::timed_mutex.
bool TryLockFor(std::mutex& mutex, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!mutex.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
    file_ = OpenFileStream(path,
                           options.append ? FileOpenMode::Append : FileOpenMode::CreateOrTruncate);
    if (file_ == nullptr) {
        error = PathText(path) + ": " + ErrnoText(errno);
        return false;
    }
    if (options.append) {
        // A failed write cuts the file back to here at the earliest, so the
        // lines that were there stay whatever happens.
        std::uint64_t end = 0;
        if (!SeekToEnd(file_, end)) {
            error = PathText(path) + ": " + ErrnoText(errno);
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
                         (!syncEachLine_ || SyncFileStream(file_));
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
