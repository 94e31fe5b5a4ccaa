// CliOutcome: how a run of teebasket-cli ends: its exit code and the one
// line (Japanese, then English) that says so on standard error.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "Unithread.h"

namespace teebasket::cli {

enum ExitCode : int {
    kExitRowsWritten = 0,   // at least one course line was written
    kExitNothingFound = 1,  // the run wrote no course line
    kExitStopped = 2,       // stopped by Ctrl-C (or SIGTERM); the lines written stay
    kExitPagesNotRead = 3,  // rows written, but some pages could not be read
    kExitUnreachable = 9,   // nothing written, and the portal could not be reached
    kExitUsage = 64,        // bad command line or settings (EX_USAGE)
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
};

// A failure to write outranks a stop, a stop outranks an unreachable portal,
// and that outranks pages that could not be read: a prefecture whose listing
// could not be read has not been found empty.
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

}  // namespace teebasket::cli
