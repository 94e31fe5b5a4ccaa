#include "OutputFiles.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "file_stream.h"
#include "path_text.h"
#include "whole_file.h"

namespace teebasket::cli {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const fs::path& path) {
    return "\"" + PathText(path) + "\"";
}

std::string ErrnoText() {
    return std::error_code(errno, std::generic_category()).message();
}

// Writes `bytes` to `file`, hands them to the disk and closes it. Returns ""
// or the reason.
std::string Finish(std::FILE* file, const std::string& bytes) {
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                         std::fflush(file) == 0 && SyncFileStream(file);
    std::string reason = written ? std::string() : ErrnoText();
    if (std::fclose(file) != 0 && written) {
        reason = ErrnoText();
    }
    return reason;
}

// The output file's permissions go to the file that replaces it.
void TakePermissions(const fs::path& from, const fs::path& to) {
    std::error_code error;
    const fs::file_status status = fs::status(from, error);
    if (!error && fs::is_regular_file(status)) {
        fs::permissions(to, status.permissions(), error);
    }
}

// `path` with `suffix` added to its file name.
fs::path WithSuffix(fs::path path, const char* suffix) {
    path += suffix;
    return path;
}

// A symbolic link as output stays a link: its target is the file written.
fs::path FollowLink(const fs::path& output) {
    std::error_code error;
    if (!fs::is_symlink(output, error)) {
        return output;
    }
    fs::path target = fs::weakly_canonical(output, error);
    return error ? output : target;
}

std::string RenameOver(const fs::path& from, const fs::path& to) {
    TakePermissions(to, from);
    if (std::string problem = MoveFileInPlace(from, to); !problem.empty()) {
        return "cannot put " + Quoted(from) + " in place of " + Quoted(to) + ": " + problem;
    }
    return {};
}

}  // namespace

FileEnding ChooseEnding(const RunFacts& facts) {
    if (facts.failed) {
        // What was written stays for --resume; a new run's file without a
        // course line is worth nothing.
        return facts.resumed || facts.rowsWritten > 0 ? FileEnding::KeepPartial
                                                      : FileEnding::LeaveAsBefore;
    }
    if (facts.resumed && facts.earlierHadCourses && !facts.earlierNamesThisRun) {
        return facts.everyListingRead ? FileEnding::AnotherSelection
                                      : FileEnding::SelectionUndecided;
    }
    if (facts.rowsWritten + facts.coursesKept > 0) {
        return facts.resumed ? FileEnding::ComposeOutput : FileEnding::ReplaceOutput;
    }
    return FileEnding::LeaveAsBefore;
}

std::string WriteCsvFile(const fs::path& path, const std::vector<std::string>& courseLines) {
    std::string bytes = CsvHeaderLine() + "\r\n";
    for (const std::string& line : courseLines) {
        bytes += line;
        bytes += "\r\n";
    }
    std::FILE* file = OpenFileStream(path, FileOpenMode::CreateOrTruncate);
    if (file == nullptr) {
        return "cannot create " + Quoted(path) + ": " + ErrnoText();
    }
    if (std::string problem = Finish(file, bytes); !problem.empty()) {
        std::error_code ignored;
        fs::remove(path, ignored);
        return "cannot write " + Quoted(path) + ": " + problem;
    }
    return {};
}

OutputFiles::OutputFiles(fs::path output)
    : output_(FollowLink(output)),
      partial_(WithSuffix(output_, ".partial")),
      composed_(WithSuffix(output_, ".partial.new")) {}

void OutputFiles::RemoveLeftoverComposed() const {
    std::error_code ignored;
    fs::remove(composed_, ignored);
}

std::string OutputFiles::PrepareToAdd(const EarlierFile& earlier, bool earlierIsPartial) {
    if (!earlierIsPartial) {
        std::vector<std::string> lines;
        lines.reserve(earlier.lines.size());
        for (const EarlierLine& line : earlier.lines) {
            lines.push_back(line.bytes);
        }
        return WriteCsvFile(partial_, lines);
    }
    partialSizeBefore_ = earlier.size;
    if (earlier.endsWithLineEnd) {
        return {};
    }
    std::FILE* file = OpenFileStream(partial_, FileOpenMode::Append);
    if (file == nullptr) {
        return "cannot add to " + Quoted(partial_) + ": " + ErrnoText();
    }
    if (std::string problem = Finish(file, "\r\n"); !problem.empty()) {
        LeaveAsBefore();
        return "cannot add to " + Quoted(partial_) + ": " + problem;
    }
    return {};
}

std::string OutputFiles::ReplaceOutput() const {
    return RenameOver(partial_, output_);
}

std::string OutputFiles::ComposeOutput(const std::vector<std::string>& courseLines) const {
    if (std::string problem = WriteCsvFile(composed_, courseLines); !problem.empty()) {
        return problem;
    }
    if (std::string problem = RenameOver(composed_, output_); !problem.empty()) {
        RemoveLeftoverComposed();
        return problem;
    }
    std::error_code ignored;
    fs::remove(partial_, ignored);
    return {};
}

void OutputFiles::LeaveAsBefore() const {
    std::error_code ignored;
    if (partialSizeBefore_) {
        fs::resize_file(partial_, *partialSizeBefore_, ignored);
    } else {
        fs::remove(partial_, ignored);
    }
}

}  // namespace teebasket::cli
