// CliOutcome: how a run of teebasket-cli ends: its exit code and the one
// line (Japanese, then English) that says so on standard error.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "OutputFiles.h"
#include "Unithread.h"

namespace teebasket::cli {

enum ExitCode : int {
    kExitRowsWritten = 0,   // at least one course line was written
    kExitNothingFound = 1,  // the run wrote no course line
    kExitStopped = 2,       // stopped by Ctrl-C (or SIGTERM); the lines written stay
    kExitPagesNotRead = 3,  // rows written, but some pages could not be read
    kExitUnreachable = 9,   // nothing written, and the portal could not be reached
    kExitUsage = 64,  // bad command line or settings, or a file --resume cannot take (EX_USAGE)
    kExitCannotWrite = 73,  // the output file could not be created or written (EX_CANTCREAT)
};

// What the run left behind, as far as the exit code is concerned.
struct RunOutcome {
    int resultCode = 0;          // the engine's ResultCode
    bool stoppedByUser = false;  // a stop signal arrived during the run
    std::string failure;         // the engine's UTF-8 reason when the run could not work
    int rowsWritten = 0;
    std::string lastFetchFailure;  // UTF-8 reason of the last unreachable download
    std::vector<PageFailure> pageFailures;
    std::filesystem::path outputPath;
    std::filesystem::path partialPath;
    // How the files were left, and for a resumed run what it continued.
    FileEnding ending = FileEnding::ReplaceOutput;
    bool resumed = false;
    std::filesystem::path earlierPath;  // the file the resumed run continued
    int earlierCourses = 0;             // its course lines
    int coursesKept = 0;
    int linesInFile = 0;  // course lines of the finished file (ComposeOutput)
};

// A failure to write outranks a refused earlier file, that outranks a stop, a
// stop outranks an unreachable portal, and that outranks pages that could not
// be read: a prefecture whose listing could not be read has not been found
// empty.
ExitCode ExitCodeFor(const RunOutcome& outcome);

// The closing line for `outcome` (UTF-8, without a line end).
std::string OutcomeMessage(const RunOutcome& outcome);

// The line that names one page that could not be read: its course
// identifier or prefecture, its URL and the reason (UTF-8, without a line
// end).
std::string PageFailureLine(const PageFailure& failure);

// The line for a bad command line or bad settings (UTF-8, without a line end).
std::string UsageErrorMessage(const std::string& detail);

// The line for a failure to prepare the run (UTF-8, without a line end).
std::string CannotWriteMessage(const std::string& detail);

// The line for an earlier file that --resume cannot continue (UTF-8, without
// a line end).
std::string CannotResumeMessage(const std::string& detail);

// The line that says what --resume continues, or that there is nothing to
// continue (UTF-8, without a line end). `keepable` of `courses` lines hold
// page facts.
std::string ResumingMessage(const std::filesystem::path& earlier, int courses, int keepable);
std::string NothingToResumeMessage(const std::filesystem::path& output,
                                   const std::filesystem::path& partial);

// The line for a run without --resume that replaces an earlier run's partial
// file (UTF-8, without a line end).
std::string PartialReplacedMessage(const std::filesystem::path& partial);

// The line for a second Ctrl-C, which leaves the partial file as a kill would
// (UTF-8, without a line end).
std::string StoppedAtOnceMessage(const std::filesystem::path& partial);

}  // namespace teebasket::cli
