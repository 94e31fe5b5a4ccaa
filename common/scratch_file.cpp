#include "scratch_file.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

#include "SystemText.h"
#include "file_stream.h"
#include "path_text.h"

namespace teebasket {
namespace {

namespace fs = std::filesystem;

constexpr int kNameAttempts = 16;

std::string TemporarySuffix(std::mt19937& random) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string suffix = ".part-";
    for (int i = 0; i < 12; ++i) {
        suffix += kHex[random() % 16];
    }
    return suffix;
}

}  // namespace

ScratchWriter::ScratchWriter(fs::path scratchPath) : scratchPath_(std::move(scratchPath)) {}

ScratchWriter::~ScratchWriter() {
    file_.reset();
    if (!committed_ && !temporaryPath_.empty()) {
        std::error_code ec;
        fs::remove(temporaryPath_, ec);
    }
}

bool ScratchWriter::Open(std::string& error) {
    if (scratchPath_.empty() || !scratchPath_.has_filename()) {
        error = "no scratch file name given";
        return false;
    }
    std::mt19937 random(std::random_device{}());
    if (TakeOverScratchFile(random)) {
        return true;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        fs::path candidate = scratchPath_;
        candidate += TemporarySuffix(random);
        errno = 0;
        file_.reset(OpenFileStream(candidate, FileOpenMode::CreateNew));
        if (file_) {
            temporaryPath_ = std::move(candidate);
            return true;
        }
        if (errno != EEXIST) {
            lastErrno_ = errno;
            error = "cannot create a file beside " + PathText(scratchPath_) + ": " +
                    ErrorNumberText(errno);
            return false;
        }
    }
    error = "cannot find a free temporary name beside " + PathText(scratchPath_);
    return false;
}

// Moves the scratch file aside under a fresh temporary name and opens it to be
// written over. False when there is no regular scratch file or it cannot be
// moved or opened; a file moved but not opened is removed with the writer.
bool ScratchWriter::TakeOverScratchFile(std::mt19937& random) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(scratchPath_, ec);
    if (ec || !fs::is_regular_file(status)) {
        return false;
    }
    const std::uintmax_t size = fs::file_size(scratchPath_, ec);
    if (ec) {
        return false;
    }
    fs::path candidate = scratchPath_;
    candidate += TemporarySuffix(random);
    if (fs::exists(fs::symlink_status(candidate, ec))) {
        return false;
    }
    fs::rename(scratchPath_, candidate, ec);
    if (ec) {
        return false;
    }
    temporaryPath_ = std::move(candidate);
    file_.reset(OpenFileStream(temporaryPath_, FileOpenMode::OverwriteExisting));
    if (!file_) {
        fs::remove(temporaryPath_, ec);
        temporaryPath_.clear();
        return false;
    }
    earlierBytes_ = size;
    return true;
}

bool ScratchWriter::Write(const char* data, std::size_t size) {
    if (!file_ || std::fwrite(data, 1, size, file_.get()) != size) {
        lastErrno_ = errno;
        return false;
    }
    written_ += size;
    return true;
}

bool ScratchWriter::Commit(std::string& error) {
    if (!file_) {
        error = "the scratch file was not opened";
        return false;
    }
    const bool flushed = std::fflush(file_.get()) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(file_.release()) == 0;
    if (!flushed || !closed) {
        lastErrno_ = flushed ? errno : flushError;
        error = "cannot write " + PathText(temporaryPath_) + ": " +
                ErrorNumberText(flushed ? errno : flushError);
        return false;
    }
    std::error_code ec;
    if (earlierBytes_ > written_) {
        // The earlier page was longer: its tail goes.
        fs::resize_file(temporaryPath_, written_, ec);
        if (ec) {
            lastErrno_ = ec.value();
            error = "cannot write " + PathText(temporaryPath_) + ": " + ec.message();
            return false;
        }
    }
    fs::rename(temporaryPath_, scratchPath_, ec);
    if (ec) {
        lastErrno_ = ec.value();
        error = "cannot replace " + PathText(scratchPath_) + ": " + ec.message();
        return false;
    }
    committed_ = true;
    return true;
}

void RemoveScratchFile(const fs::path& scratchPath) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(scratchPath, ec);
    if (fs::is_regular_file(status) || fs::is_symlink(status)) {
        fs::remove(scratchPath, ec);
    }
}

}  // namespace teebasket
