// OutputFiles: the file a run writes and what became of it. The output
// request, how a run ended, what became of the files at the output path, what
// a resumed run started from, and the report of the files that the file
// transaction (OutputTransaction.h) fills and the engine's report copies.
#pragma once

#include <filesystem>

#include "EarlierSelection.h"
#include "OutputFormat.h"

namespace teebasket {

// The file a run writes, and how.
struct OutputRequest {
    std::filesystem::path path;  // the output file as the user named it; unused for standard output
    OutputFormat format = OutputFormat::Csv;
    // Write the lines to the process's standard output as they come, with no
    // partial file, lock or put-in-place; a stopped run's lines are there too.
    bool toStandardOutput = false;
    // Keep the courses of an earlier file: the partial file of an
    // interrupted run, or else the output file itself; only the others are
    // asked for.
    bool resume = false;
    // A run that writes no course line, where no file was at the path,
    // leaves a file of the header line (the window's way); otherwise none.
    bool headerFileWhenEmpty = false;
    // Hand each line to the disk before the next course.
    bool syncEachLine = true;
};

// How a run ended.
enum class RunEnding {
    Finished,                // every prefecture was walked and some course has its line
    Stopped,                 // the caller asked for a stop
    PortalStoppedAnswering,  // pages in a row could not be connected to; some course has its line
    NothingFound,            // no course line, and the portal answered
    Unreachable,             // no course line, and the portal could not be reached
    Failed,                  // the run could not do its work: its RunFailure says why
};

// What became of the files at the output path.
enum class FileOutcome {
    NotTouched,          // the run ended before it began its file (a failure at the start)
    NewFileInPlace,      // the run's file took the output's place
    ResumedFileInPlace,  // the kept and the new courses, in listing order, took the output's place
    HeaderOnlyFile,      // no course line, no earlier file: a file of the header line (the window)
    PartialKept,     // the earlier file at the path is untouched; the rows are in the partial file
    LeftAsBefore,    // the output path as before the run; the partial file gone or as it was
    StandardOutput,  // the lines went to standard output
};

// What a run that keeps the courses of an earlier file started from.
struct ResumeStart {
    bool resumed = false;      // there was a file to continue
    bool fromPartial = false;  // the partial file of an interrupted run, not the output file
    std::filesystem::path earlierPath;
    int earlierCourses = 0;  // its readable course lines
    int keepable = 0;        // those that hold a page that was read
    // The earlier courses outside the run's selection, for which the run was
    // refused (RunFailureKind::EarlierFileOtherSelection).
    CoursesOutside outside;
};

// What the file transaction tells of the files: the part of the engine's
// report (HarvestReport) that the transaction fills, which front ends read.
struct OutputFileReport {
    // Known once the run has begun its file (before ProgressStart).
    std::filesystem::path outputPath;               // the file written (a link's target)
    OutputFormat outputFormat = OutputFormat::Csv;  // the format written, for the wording
    std::filesystem::path partialPath;              // OUTPUT.partial
    ResumeStart resume;
    bool partialReplaced = false;  // a partial file of an interrupted run was replaced
    bool nothingToResume = false;  // resume was asked for, but there was no file

    // Known at the end.
    FileOutcome files = FileOutcome::NotTouched;
    int linesInFile = 0;  // course lines of the file put in place
};

// What the file transaction needs to know of a run at its end.
struct RunEndFacts {
    RunEnding ending = RunEnding::Finished;
    int rowsWritten = 0;            // course lines this run wrote
    int coursesKept = 0;            // courses that kept their earlier line
    bool everyListingRead = false;  // no listing page failed and no stop came
};

// The partial file of a run into `output`: "OUTPUT.partial" beside it, or
// beside the regular file its links end at.
std::filesystem::path PartialPathOf(const std::filesystem::path& output);

// The file whose lock makes a run the only one into `output`:
// "OUTPUT.lock", beside the partial file.
std::filesystem::path LockPathOf(const std::filesystem::path& output);

}  // namespace teebasket
