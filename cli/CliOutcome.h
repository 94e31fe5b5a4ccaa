// CliOutcome: how a run of teebasket-cli ends: its exit code, and the lines
// that say so on standard error (Japanese, then English): the outcome, then a
// line with the precise reason when there is one.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "RunOutcome.h"
#include "Unithread.h"

namespace teebasket::cli {

enum ExitCode : int {
    kExitRowsWritten = 0,   // at least one course line was written, every page read
    kExitNothingFound = 1,  // the run wrote no course line
    kExitStopped = 2,       // stopped by Ctrl-C (or SIGTERM)
    kExitPagesNotRead = 3,  // some pages could not be read
    kExitUnreachable = 9,   // the portal could not be reached, or stopped answering
    kExitUsage = 64,  // bad command line or settings, or a file --resume cannot take (EX_USAGE)
    kExitUnexpected = 70,   // an unexpected error inside the program (EX_SOFTWARE)
    kExitCannotWrite = 73,  // the output file could not be created or written (EX_CANTCREAT)
    kExitOutputInUse = 75,  // another run writes the same output file (EX_TEMPFAIL)
};

// The exit code of each kind of outcome, and of each failure. Pages that
// could not be read give their own code whether or not rows were written: a
// prefecture whose listing could not be read has not been found empty.
ExitCode ExitCodeFor(const RunOutcome& outcome);
ExitCode ExitCodeFor(const HarvestReport& report);  // of OutcomeOf(report)

// The closing lines for `report` (UTF-8, each without a line end).
std::vector<std::string> OutcomeLines(const HarvestReport& report);

// The warning that the run, its file in place, was not kept in the history
// of runs, with the reason (UTF-8, without a line end); empty when there is
// nothing to warn of. Said even with --quiet.
std::string HistoryWarning(const HarvestReport& report);

// The line that names one page that could not be read: its course
// identifier or prefecture, its URL and the reason (UTF-8, without a line
// end). Text from the page is printed with its control characters escaped.
std::string PageFailureLine(const PageFailure& failure);

// The precise reason of a failure: "日本語 / English" (UTF-8, one line).
std::string RunFailureReason(const RunFailure& failure);
std::string PageFailureReason(const PageFailure& failure);

// The line for a bad command line or bad settings, naming the mistake in
// each language (UTF-8, without a line end).
std::string UsageErrorMessage(const UsageProblem& problem);

// The line for a failure to prepare the run (UTF-8, without a line end).
std::string CannotWriteMessage(const std::string& detail);

// The notes said when the run has begun its file: what --resume continues,
// that there is nothing to continue, or that a partial file is replaced
// (UTF-8, each without a line end; none when there is nothing to say).
std::vector<std::string> StartNotes(const HarvestReport& report, bool quiet);

// The line for a second Ctrl-C, which leaves the partial file as a kill would
// (UTF-8, without a line end).
std::string StoppedAtOnceMessage(const std::filesystem::path& partial);

}  // namespace teebasket::cli
