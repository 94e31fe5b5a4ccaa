#include "scratch_file.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

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
            error = "cannot create a file beside " + PathText(scratchPath_) + ": " +
                    std::strerror(errno);
            return false;
        }
    }
    error = "cannot find a free temporary name beside " + PathText(scratchPath_);
    return false;
}

bool ScratchWriter::Write(const char* data, std::size_t size) {
    return file_ && std::fwrite(data, 1, size, file_.get()) == size;
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
        error = "cannot write " + PathText(temporaryPath_) + ": " +
                std::strerror(flushed ? errno : flushError);
        return false;
    }
    std::error_code ec;
    fs::rename(temporaryPath_, scratchPath_, ec);
    if (ec) {
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
