// HarvestRun: one run of the harvest engine, in three parts.
//
// - HarvestRequest: what the caller asks (the prefectures, the output file,
//   the settings, whether the courses of an earlier file are kept).
// - The engine's own state, private to HarvestRun: the downloads, the output
//   file transaction, the pacing.
// - HarvestReport: what the run reports (counters, page failures, the run's
//   failure, how it ended and what became of the files), which observers
//   read inside their calls and callers read after the run.
//
// The output file's vocabulary (OutputRequest, RunEnding, FileOutcome,
// ResumeStart) is the output component's (OutputFiles.h).
//
// A front end never writes the engine's state: it asks for a stop, or for the
// process's immediate end, through HarvestRun's calls.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HarvestConfig.h"
#include "HarvestFailure.h"
#include "OutputFiles.h"
#include "Prefectures.h"
#include "RunHistory.h"
#include "Unicommon.h"

namespace teebasket {

// Pauses after each download; production values are fixed, tests pass zero.
struct PausePolicy {
    std::chrono::milliseconds afterListing{1000};
    std::chrono::milliseconds afterDetail{300};
};

// How often a page is asked for when the portal answers "try again later"
// (HTTP 408, 425, 429, 500, 502, 503, 504) or the transfer fails on the way
// (a refused or reset connection, a time-out, a body cut short). Production
// values are fixed, tests shorten them.
struct RetryPolicy {
    int attempts = 3;  // in all, the first one included
    // The wait before the second attempt, before the third, and so on (the
    // last one repeats), unless the answer says Retry-After.
    std::vector<std::chrono::milliseconds> waits{std::chrono::seconds(2), std::chrono::seconds(6)};
    std::chrono::milliseconds retryAfterCap{std::chrono::seconds(120)};
};

// After this many pages in a row that could not be connected to (after their
// attempts), the portal is taken to have stopped answering and the run ends.
inline constexpr int kConnectionFailuresThatEndARun = 5;

struct HarvestSettings {
    PortalSettings portal;
    PausePolicy pauses;
    RetryPolicy retries;
    FetchOptions fetch;  // time-outs and limits; the trusted certificate is portal.caCertificate
};

struct HarvestRequest {
    Selection selection;
    HarvestSettings settings;
    OutputRequest output;
    std::filesystem::path scratchPath;  // the scratch file, e.g. "tmp.dat" in the data folder
    // The history of runs (history::HistoryFolderIn of the data folder) that
    // keeps the run when it puts a file in place; empty keeps nothing.
    std::filesystem::path historyFolder;
};

// Whether the run was kept in the history of runs.
enum class HistoryKeeping {
    NotAsked,  // no history folder was given, or the run put no file in place
    Kept,      // HarvestReport::historyEntry is the run
    NotKept,   // the history could not take the run: HarvestReport::historyProblem
};

// What outlives one run: the agent sequence, and the earliest time of the
// next request, so that a run started at once after another still keeps the
// pause after that run's last page. One object lives as long as the program.
struct CrawlPace {
    UserAgentGenerator agents;
    std::chrono::steady_clock::time_point nextRequestAt{};
};

// A page that is about to be asked for again.
struct PendingRetry {
    int retry = 0;                      // 1 before the second attempt, 2 before the third, ...
    std::chrono::milliseconds wait{0};  // before it is asked for
    std::string url;
};

// The files' part (OutputFileReport: the output and partial paths, the
// resume start, what became of the files) is the file transaction's own,
// which it fills in place.
struct HarvestReport : OutputFileReport {
    // Progress, set before each observer call.
    int prefectureCount = 0;
    int courseTotal = 0;
    int courseIndex = 0;
    std::string currentPrefecture;          // code-page-932 bytes
    int rowsWritten = 0;                    // course lines this run has written
    int coursesKept = 0;                    // courses that kept their earlier line
    int pagesWithoutName = 0;               // course pages read that gave no name
    std::vector<PageFailure> pageFailures;  // in the order they happened
    PendingRetry retry;                     // set before RetryWaiting

    // The end, set before RunEnded.
    RunEnding ending = RunEnding::Finished;
    RunFailure failure;  // when ending is Failed
    // The reason of the last page that could not be connected to, for an
    // Unreachable or PortalStoppedAnswering ending.
    PageFailure lastConnectionFailure;
    bool everyListingRead = false;  // no listing page failed and no stop came

    // The history of runs, set before RunEnded. It never changes the run's
    // ending or its files.
    HistoryKeeping history = HistoryKeeping::NotAsked;
    std::optional<history::RunEntry> historyEntry;  // when Kept
    std::string historyProblem;                     // when NotKept (UTF-8, one line)
};

// The four calls through which a run reports to its caller. Each is made on
// the harvest thread; the window turns each into a blocking call on its
// user-interface thread.
class HarvestObserver {
  public:
    virtual ~HarvestObserver() = default;
    // Once, after the header line is written and prefectureCount is set.
    virtual void ProgressStart(const HarvestReport& report) = 0;
    // Once per prefecture, after currentPrefecture is set, before its crawl.
    virtual void ProgressStep(const HarvestReport& report) = 0;
    // Before each course, and once for a prefecture with no course (or
    // stopped before its courses), showing 0 of 0.
    virtual void StatusUpdate(const HarvestReport& report) = 0;
    // Before the wait of a page that is asked for again (report.retry). An
    // observer that does not show retries leaves it as it is.
    virtual void RetryWaiting(const HarvestReport& /*report*/) {}
    // Last call of every run, after the files are in place and the scratch
    // file is gone.
    virtual void RunEnded(const HarvestReport& report) = 0;
};

// One run. Made for one request, executed once.
class HarvestRun {
  public:
    HarvestRun(HarvestRequest request, CrawlPace& pace);
    ~HarvestRun();
    HarvestRun(const HarvestRun&) = delete;
    HarvestRun& operator=(const HarvestRun&) = delete;

    // The body of the run: begins the output file, harvests the selection,
    // puts the file in place (or keeps the earlier one, as the ending asks),
    // deletes the scratch file and ends with RunEnded. Never throws.
    void Execute(HarvestObserver& observer);

    // From any thread, at any time: the run stops at its next step, a pause
    // or a wait ends, and a download in progress is given up.
    void RequestStop();
    bool StopRequested() const;

    // From any thread: true from construction until the run is over (its
    // files in place, just before RunEnded).
    bool Running() const;

    // From any thread, for a process that is about to end at once (a second
    // Ctrl-C): lets a line being written finish (waiting at most `patience`),
    // then leaves the partial file ending at its last whole line, kept for a
    // run that continues it.
    void FinishForExit(std::chrono::milliseconds patience);

    const HarvestRequest& Request() const;
    // The partial file ("OUTPUT.partial" beside the output, a link's target
    // followed), known from the start; safe from any thread.
    const std::filesystem::path& PartialPath() const;
    // Read inside the observer's calls and after Execute.
    const HarvestReport& Report() const;

  private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
};

}  // namespace teebasket
