// The scratch file's writer: a download goes into a fresh temporary file in
// the scratch file's folder and replaces the scratch file only when it is
// complete, so a reader never sees half a page or an earlier page.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace teebasket {

class ScratchWriter {
  public:
    explicit ScratchWriter(std::filesystem::path scratchPath);
    // Removes the temporary file unless Commit succeeded.
    ~ScratchWriter();
    ScratchWriter(const ScratchWriter&) = delete;
    ScratchWriter& operator=(const ScratchWriter&) = delete;

    // Creates the temporary file (exclusively, under a fresh name). Returns
    // false and fills `error` (UTF-8) when it cannot.
    bool Open(std::string& error);

    // Appends `size` bytes as they are. Returns false on a write error.
    bool Write(const char* data, std::size_t size);

    // Closes the temporary file and renames it over the scratch file.
    bool Commit(std::string& error);

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::filesystem::path scratchPath_;
    std::filesystem::path temporaryPath_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    bool committed_ = false;
};

// Removes the scratch file if it is a file (never a folder). Errors are
// ignored: a file that cannot be removed is reported by the next write.
void RemoveScratchFile(const std::filesystem::path& scratchPath);

}  // namespace teebasket
