// The scratch file's writer: a download goes into a temporary file in the
// scratch file's folder and replaces the scratch file only when it is
// complete, so a reader never sees half a page or an earlier page.
//
// The temporary file is the previous scratch file, moved aside and written
// over, when there is one: a run replaces its scratch file with every page,
// and a file made and dropped per page costs the file system far more
// (freeing and, on some disks, discarding its blocks) than the page's bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

namespace teebasket {

class ScratchWriter {
  public:
    explicit ScratchWriter(std::filesystem::path scratchPath);
    // Removes the temporary file unless Commit succeeded.
    ~ScratchWriter();
    ScratchWriter(const ScratchWriter&) = delete;
    ScratchWriter& operator=(const ScratchWriter&) = delete;

    // Makes the temporary file under a fresh name: the scratch file moved
    // there when it is a regular file (from then on there is no scratch
    // file), otherwise a new file. Returns false and fills `error` (UTF-8)
    // when it cannot.
    bool Open(std::string& error);

    // Appends `size` bytes as they are. Returns false on a write error.
    bool Write(const char* data, std::size_t size);

    // Cuts the temporary file to the bytes written, closes it and renames it
    // over the scratch file.
    bool Commit(std::string& error);

    // The system's error number of the last failure (0 when it had none).
    int LastErrno() const { return lastErrno_; }

  private:
    bool TakeOverScratchFile(std::mt19937& random);

    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::filesystem::path scratchPath_;
    std::filesystem::path temporaryPath_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::uintmax_t earlierBytes_ = 0;  // the size of a scratch file taken over
    std::uintmax_t written_ = 0;
    bool committed_ = false;
    int lastErrno_ = 0;
};

// Removes the scratch file if it is a file (never a folder). Errors are
// ignored: a file that cannot be removed is reported by the next write.
void RemoveScratchFile(const std::filesystem::path& scratchPath);

}  // namespace teebasket
