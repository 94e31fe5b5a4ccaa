// OutputTransaction: the output file transaction of a run, shared by every
// front end: the lock, the partial file, resuming an earlier file and putting
// the finished file in place. The harvest engine drives it; it reports what
// became of the files (OutputFileReport) and returns its failures.
//
// The partial file is written in the run's format when the format can be
// added to line by line (the CSVs, JSON Lines), and as JSON Lines for a
// workbook, which is written from it when the run puts its file in place.
//
// Rows go to "OUTPUT.partial", each line whole on the disk before the next
// course. At the end the partial file takes the output's place with one
// rename, or a resumed run's finished file ("OUTPUT.partial.new", the
// courses in listing order) does, but only when that loses nothing: a run
// that is stopped keeps an earlier file at the output path untouched and its
// own rows in the partial file for a run that continues it; a run that finds
// nothing, or cannot reach the portal, leaves the output path as it was; a
// resume whose earlier file holds courses outside the run's selection is
// refused before anything is touched, for finishing it would drop them.
// "OUTPUT.lock" keeps a second run off the same output for as long as the
// first lives. The partial and finished files are created new, never through
// a link; a link, a pipe or a folder in their place is a failure that touches
// nothing. The output itself is a regular file or nothing (OutputTarget): a
// device, pipe, socket or folder there, a link to one or to nothing, another
// user's link in a shared sticky folder, and a read-only file are refused
// before anything is touched. An output that is a link to a regular file stays
// a link: its target is written, and the lock and partial file sit beside the
// target.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "EarlierFile.h"
#include "EarlierSelection.h"
#include "FileLock.h"
#include "JournalCodec.h"
#include "JournalFile.h"
#include "OutputFiles.h"
#include "RunFailure.h"

namespace teebasket::detail {

// The portal's course pages, as the lines of an earlier file name them.
struct CoursePages {
    std::string bookingHost;      // host or host:port: the detail of EarlierFileOtherPortal
    std::string detailUrlPrefix;  // a detail page's address without the course identifier
};

// Which earlier file a run that keeps earlier courses continues.
enum class ResumedFrom {
    Nothing,      // a new run
    PartialFile,  // the partial file of an interrupted run
    OutputFile,   // the file at the output path
};

// What decides, at a run's end, what becomes of its files.
struct FileOutcomeFacts {
    RunEnding ending = RunEnding::Finished;
    bool earlierFile = false;  // a regular file was at the output path when the run began
    int rowsWritten = 0;       // course lines the run wrote
    int coursesKept = 0;       // courses that kept their line of the file continued
    ResumedFrom resumedFrom = ResumedFrom::Nothing;
    bool toStandardOutput = false;
    bool headerFileWhenEmpty = false;  // the window's way with a run without a course
};

// What becomes of the files. The output path takes the run's file only when
// that loses nothing: a finished run's file always (its failed pages hold the
// earlier rows); a stopped run's rows (or those of a run whose portal stopped
// answering) only where no file was, or when they continue that very file,
// else they stay in the partial file for a run that continues it; a run
// without a course leaves the path as it was, but for the header-only file
// that the window asks for where nothing was. A failed run keeps a partial
// file only when it holds something to continue.
FileOutcome ChooseFileOutcome(const FileOutcomeFacts& facts);

class OutputTransaction {
  public:
    OutputTransaction(const OutputRequest& request, CoursePages pages);
    OutputTransaction(const OutputTransaction&) = delete;
    // A run to standard output has no partial file and no lock: lines go out
    // as they come, and what went out stays.
    OutputTransaction& operator=(const OutputTransaction&) = delete;

    // Reads the run's listing pages ahead of the crawl, as far as needed to
    // list the courses of the given detail URLs; the URLs listed, or nothing
    // when that could not be known (ListSelectionAhead).
    using ListingLookup = std::function<std::optional<std::unordered_set<std::string>>(
        const std::vector<std::string>& wanted)>;

    // Before Begin: a run that resumes is refused, touching nothing, when
    // the earlier file holds courses outside `selectedRows`; `lookup` places
    // the courses whose rows name no prefecture, and is called only within
    // Begin.
    void RefuseCoursesOutside(std::vector<int> selectedRows, ListingLookup lookup);

    // Takes the output's lock, readies the partial file (a new one; or, to
    // resume, the earlier partial file, or a copy of the output's course
    // lines) and opens it to add lines. Sets the file facts of `report`. A
    // failure touches nothing at the output path.
    RunFailure Begin(OutputFileReport& report);

    const std::filesystem::path& PartialPath() const { return partial_; }

    // Writes one course into the partial file, as the run's format writes
    // it. Returns the system's error number, or 0.
    int WriteCourse(const CourseEntry& entry);

    // The courses kept from the earlier file; null unless the run resumes.
    ResumePlan* Plan() { return plan_ ? &*plan_ : nullptr; }

    // The row that the file at the output path, or the partial file a resume
    // continues, holds for the course page at `detailUrl`, with page facts;
    // null when there is none.
    const CourseEntry* EarlierRow(const std::string& detailUrl) const {
        return earlierRows_.Find(detailUrl);
    }

    // Closes the partial file and leaves the files as the run's ending asks;
    // sets report.files and report.linesInFile. A failure to close the
    // partial file or to put the file in place is returned (the run's ending
    // becomes Failed) and keeps the partial file.
    RunFailure Finish(const RunEndFacts& end, OutputFileReport& report);

    // Lets another run have the output: called when the run is over, for the
    // run object may outlive it (a window keeps it for its report).
    void ReleaseLock() { lock_.reset(); }

    // For a process about to end at once: the partial file ends at its last
    // whole line and stays for a run that continues it.
    void FinishForExit(std::chrono::milliseconds patience) { journal_.FinishForExit(patience); }

  private:
    RunFailure BeginStandardOutput();
    RunFailure CheckSideFiles();
    RunFailure StartResume(OutputFileReport& report);
    RunFailure CheckEarlierSelection(OutputFileReport& report);
    RunFailure StartAfresh(OutputFileReport& report);
    void TakeEarlierRows(const OutputFileReport& report);
    RunFailure OpenJournal(OutputOpening opening);
    RunFailure OutputStillWritable() const;
    FileOutcomeFacts OutcomeFacts(const RunEndFacts& end, const OutputFileReport& report) const;
    RunFailure PutPartialFileInPlace(const RunEndFacts& end, OutputFileReport& report);
    RunFailure Compose(const RunEndFacts& end, OutputFileReport& report);
    RunFailure PutWorkbookInPlace(const std::vector<std::string>& lines);
    std::string FileBytes(const std::vector<std::string>& lines) const;
    void LeaveAsBefore();

    OutputRequest request_;
    CoursePages pages_;
    const JournalCodec& codec_;  // the partial file's lines
    std::filesystem::path output_;
    std::filesystem::path partial_;
    std::filesystem::path composed_;
    std::optional<FileLock> lock_;
    bool earlierExisted_ = false;
    JournalFile journal_;
    EarlierFile earlier_;
    std::optional<ResumePlan> plan_;
    EarlierRows earlierRows_;
    std::optional<std::vector<int>> selectedRows_;  // set when the earlier file is checked
    ListingLookup listingLookup_;
    std::optional<std::uintmax_t> partialSizeBefore_;  // set when a run adds to a partial file
};

}  // namespace teebasket::detail
