// JournalFile: the file a run writes its lines into as they come (the
// partial file of any format, or standard output), which never ends in a torn
// line.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>

namespace teebasket {

// How the file of a run is opened.
enum class OutputOpening {
    CreateNew,       // a new file; fails when anything (a link too) has the name
    AppendExisting,  // an existing regular file, added to at its end; never through a link
};

struct OutputOptions {
    OutputOpening opening = OutputOpening::CreateNew;
    // Hand each line to the disk (fsync) before the next one, so that even a
    // power loss keeps every whole line.
    bool syncEachLine = false;
};

// Each line is written whole and flushed at once, so a finished row survives
// whatever happens next; a write that fails cuts the file back to the end of
// its last whole line, so the file never ends in a torn row. Safe to use from
// two threads (the run, and a process that must end at once).
class JournalFile {
  public:
    JournalFile() = default;
    ~JournalFile();
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    // Opens `path` as `options` say. Returns the system's error number, or 0.
    int Open(const std::filesystem::path& path, OutputOptions options);

    // Writes to a copy of the process's standard output instead of a file;
    // lines are flushed as they come and nothing is ever cut back. Returns
    // the system's error number, or 0.
    int OpenStandardOutput();

    bool IsOpen() const;

    // Writes `line` (bytes as they are, code page 932 for the CSV) and
    // `lineEnd`. Returns the system's error number, or 0; after a failure the
    // file is closed at its last whole line and every later write fails.
    int WriteLine(std::string_view line, std::string_view lineEnd = "\r\n");

    // Writes `bytes` as they are, for a preamble that is whole already (a
    // header line with its line end). Same failure handling as WriteLine.
    int WriteWhole(std::string_view bytes);

    // Closes the file. Returns the system's error number when its last bytes
    // could not be written (the file then ends at its last whole line), or 0.
    // Closing a file that is not open does nothing.
    int Close();

    // For a process that is about to end at once: lets a line being written
    // finish (waiting at most `patience`), then leaves the file ending at its
    // last whole line. Every later write fails.
    void FinishForExit(std::chrono::milliseconds patience);

    // The length of the file up to the end of its last whole line.
    std::uint64_t WholeLineBytes() const { return wholeBytes_.load(); }

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    int Write(std::string_view first, std::string_view second);
    void CloseAndCutBack();
    void CutBack() const;

    mutable std::mutex mutex_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::filesystem::path path_;
    std::atomic<std::uint64_t> wholeBytes_{0};
    bool syncEachLine_ = false;
};

}  // namespace teebasket
