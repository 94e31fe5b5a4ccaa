// OutputFiles: the output file of teebasket-cli and the files beside it, so
// that a run never leaves a worse file in place of a good one.
//
// Rows go to "<output>.partial", each line on the disk before the next
// course. A run that ends or is stopped with rows puts its file in place of
// the output with one rename; a run that finds nothing, cannot reach the
// portal, or is refused leaves the output file as it was. A killed run leaves
// the partial file, every whole row in it, for --resume. A resumed run writes
// its finished file, the courses in listing order, as "<output>.partial.new"
// and renames that.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ResumeFile.h"

namespace teebasket::cli {

// How the files end after a run.
enum class FileEnding {
    ReplaceOutput,  // the partial file becomes the output file
    ComposeOutput,  // a resumed run's finished file becomes the output file
    KeepPartial,    // the output file stays; the partial file stays for --resume
    LeaveAsBefore,  // both files as before the run: there is nothing to put in place
    // As LeaveAsBefore, for the earlier file of a resumed run names none of
    // this run's courses: it is of another selection or portal.
    AnotherSelection,
    // As LeaveAsBefore, for none of the earlier file's courses has been
    // listed yet, and the run did not read every listing page to be sure.
    SelectionUndecided,
};

// What the ending depends on.
struct RunFacts {
    bool resumed = false;
    bool failed = false;  // the run could not write a file (HarvestRun::failure)
    int rowsWritten = 0;
    int coursesKept = 0;
    bool everyListingRead = false;  // not stopped by the user, and no listing page failed
    bool earlierHadCourses = false;
    bool earlierNamesThisRun = false;
};

FileEnding ChooseEnding(const RunFacts& facts);

class OutputFiles {
  public:
    explicit OutputFiles(std::filesystem::path output);

    const std::filesystem::path& Output() const { return output_; }
    const std::filesystem::path& Partial() const { return partial_; }
    const std::filesystem::path& Composed() const { return composed_; }

    // Removes a finished file that an earlier resumed run was killed before
    // it could put in place (its partial file still holds every line).
    void RemoveLeftoverComposed() const;

    // Makes the partial file ready for a resumed run to add to: the partial
    // file of `earlier` as it is, after a torn last line has been given its
    // line end (so that it stays a torn line of its own), or else a new one
    // holding the header line and `earlier`'s course lines. Returns "" or a
    // UTF-8 reason.
    std::string PrepareToAdd(const EarlierFile& earlier, bool earlierIsPartial);

    // Puts the partial file in place of the output file. Returns "" or a
    // UTF-8 reason (the partial file then stays).
    std::string ReplaceOutput() const;

    // Writes `courseLines` (code-page-932 bytes) after the header line as
    // the finished file, puts it in place of the output file and removes the
    // partial file. Returns "" or a UTF-8 reason (the partial file then
    // stays).
    std::string ComposeOutput(const std::vector<std::string>& courseLines) const;

    // Leaves the files as they were before the run: the partial file cut
    // back to its length before a resumed run added to it, or removed when
    // the run made it.
    void LeaveAsBefore() const;

  private:
    std::filesystem::path output_;
    std::filesystem::path partial_;
    std::filesystem::path composed_;
    std::optional<std::uintmax_t> partialSizeBefore_;  // set when a run adds to a partial file
};

// Writes the header line and `courseLines`, each with CR LF, as the whole
// file `path`, and hands it to the disk. Returns "" or a UTF-8 reason (the
// file is then removed).
std::string WriteCsvFile(const std::filesystem::path& path,
                         const std::vector<std::string>& courseLines);

}  // namespace teebasket::cli
