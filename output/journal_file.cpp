// JournalFile: the file a run writes its lines into, which never ends in a
// torn line.
#include "JournalFile.h"

#include <cerrno>
#include <system_error>

#include "SystemText.h"
#include "file_stream.h"

namespace teebasket {
namespace {

// errno after a failed call, never 0: some failures (a short fwrite) leave it
// unset.
int ErrnoOrIo() {
    return errno != 0 ? errno : EIO;
}

}  // namespace

JournalFile::~JournalFile() {
    Close();
}

int JournalFile::Open(const std::filesystem::path& path, OutputOptions options) {
    const std::lock_guard lock(mutex_);
    file_.reset();
    path_ = path;
    wholeBytes_ = 0;
    syncEachLine_ = options.syncEachLine;
    errno = 0;
    const bool append = options.opening == OutputOpening::AppendExisting;
    file_.reset(
        OpenFileStream(path, append ? FileOpenMode::AppendExisting : FileOpenMode::CreateNew));
    if (!file_) {
        return ErrnoOrIo();
    }
    if (append) {
        // A failed write cuts the file back to here at the earliest, so the
        // lines that were there stay whatever happens.
        std::uint64_t end = 0;
        if (!SeekToEnd(file_.get(), end)) {
            const int error = ErrnoOrIo();
            file_.reset();
            return error;
        }
        wholeBytes_ = end;
    }
    return 0;
}

int JournalFile::OpenStandardOutput() {
    const std::lock_guard lock(mutex_);
    file_.reset(OpenStandardOutputStream());
    path_.clear();
    wholeBytes_ = 0;
    syncEachLine_ = false;
    return file_ ? 0 : ErrnoOrIo();
}

bool JournalFile::IsOpen() const {
    const std::lock_guard lock(mutex_);
    return file_ != nullptr;
}

int JournalFile::WriteLine(std::string_view line, std::string_view lineEnd) {
    return Write(line, lineEnd);
}

int JournalFile::WriteWhole(std::string_view bytes) {
    return Write(bytes, {});
}

int JournalFile::Write(std::string_view first, std::string_view second) {
    const std::lock_guard lock(mutex_);
    if (!file_) {
        return EBADF;
    }
    errno = 0;
    std::FILE* file = file_.get();
    // An empty piece is not handed to fwrite: its data() may be null.
    const auto put = [file](std::string_view bytes) {
        return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    };
    const bool written = put(first) && put(second) && std::fflush(file) == 0 &&
                         (!syncEachLine_ || SyncFileStream(file));
    if (!written) {
        const int error = ErrnoOrIo();
        CloseAndCutBack();
        return error;
    }
    wholeBytes_ += first.size() + second.size();
    return 0;
}

int JournalFile::Close() {
    const std::lock_guard lock(mutex_);
    if (!file_) {
        return 0;
    }
    errno = 0;
    if (std::fclose(file_.release()) != 0) {
        const int error = ErrnoOrIo();
        CutBack();
        return error;
    }
    return 0;
}

void JournalFile::FinishForExit(std::chrono::milliseconds patience) {
    if (TryLockFor(mutex_, patience)) {
        const std::lock_guard lock(mutex_, std::adopt_lock);
        if (file_) {
            CloseAndCutBack();
        }
        return;
    }
    // A write that does not end (a stalled disk): cut the file back all the
    // same, for the process is about to end. path_ is set only by Open,
    // before any write.
    CutBack();
}

// Closing may write buffered bytes of the torn line, so the file is cut back
// after it is closed.
void JournalFile::CloseAndCutBack() {
    file_.reset();
    CutBack();
}

// A file that is not a regular file (a pipe, a device) cannot be cut, and is
// left as it is.
void JournalFile::CutBack() const {
    if (path_.empty()) {
        return;
    }
    std::error_code ignored;
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(path_, ignored))) {
        std::filesystem::resize_file(path_, wholeBytes_, ignored);
    }
}

}  // namespace teebasket
