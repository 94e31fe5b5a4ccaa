// The engine's own state during a run, and the steps shared by the listing
// crawl and the detail extraction. Internal to the harvest engine.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "CuttingRules.h"
#include "HarvestRun.h"
#include "OutputTransaction.h"
#include "StopFlag.h"

namespace teebasket::detail {

// The run fails for `failure`, or for the failure it has already, which is
// the one named: its ending is Failed.
void EndWithFailure(HarvestReport& report, RunFailure failure);

// One prefecture's courses as its listing pages list them, in page order:
// the identifiers and the names their cards show (code-page-932 bytes).
struct PrefectureListing {
    std::vector<std::string> ids;
    std::vector<std::string> names;
};

// Everything a run step needs, passed down explicitly.
struct RunState {
    RunState(const HarvestRequest& request, CrawlPace& pace, HarvestObserver& observer,
             HarvestReport& report, StopFlag& stop, OutputTransaction& output)
        : request(request),
          pace(pace),
          observer(observer),
          report(report),
          stop(stop),
          output(output) {}

    const HarvestRequest& request;
    CrawlPace& pace;
    HarvestObserver& observer;
    HarvestReport& report;
    StopFlag& stop;
    OutputTransaction& output;
    // The run's downloads, over connections kept open from one page to the
    // next; closed when the run ends.
    FetchSession fetcher;
    bool downloadFailed = false;       // some page could not be connected to
    int connectionFailuresInARow = 0;  // pages in a row that could not be connected to
    bool portalGaveUp = false;         // that count reached kConnectionFailuresThatEndARun
    // The listings read before the crawl (ListSelectionAhead), by slug; the
    // crawl takes each instead of asking for its pages again.
    std::unordered_map<std::string, PrefectureListing> listedAhead;
    // What the code-page-932 CSV does not hold of the courses this run wrote
    // (their prefecture, identifier, time, fetch state and position; the
    // values themselves left out), by detail URL, for the history of runs.
    std::unordered_map<std::string, CourseEntry> writtenFacts;
};

// What came of asking for one page.
struct PageRead {
    enum class Outcome {
        Page,       // the page is in `page`
        NoPage,     // no page after the attempts (an error status, a failed transfer)
        Stopped,    // a stop ended the download or a wait; nothing was read
        RunFailed,  // the scratch file could not be written or read: the report's failure says why
    };
    Outcome outcome = Outcome::NoPage;
    PageText page;     // raw bytes of the page
    FetchResult last;  // the last attempt's result
    int attempts = 0;
};

// Downloads `url` into the run's scratch file, trying again after a transient
// failure as the settings' RetryPolicy says, and starts the pause of `pause`
// that must pass before the run's next request. The page is read and its
// line written while the pause runs. A scratch file that cannot be written or
// read becomes the run's failure (which also stops the run).
PageRead ReadPage(RunState& state, const std::string& url, std::chrono::milliseconds pause);

// Waits until the pause after the previous page is over, or a stop is
// requested. Returns false when a stop was requested.
bool WaitOutPause(RunState& state);

// Adds `read` (an Outcome::NoPage) to the report's page failures, and counts
// it towards the portal having stopped answering; a page that answered
// starts that count again.
void NotePageFailure(RunState& state, PageKind kind, const std::string& subject,
                     const std::string& url, const PageRead& read);
void NotePageAnswered(RunState& state);

// Writes one course to the partial file, as the run's format writes it. A
// failed write becomes the run's failure and stops the run.
bool WriteCourse(RunState& state, const CourseEntry& entry);

// Records the run's failure (the first one counts) and stops the run.
void FailRun(RunState& state, RunFailure failure);

// Whether the history of runs wants the facts of each course written
// (RunState::writtenFacts): the run is kept, and its file does not hold them.
bool HistoryNeedsWrittenFacts(const HarvestRequest& request);

// At the end of a run whose file was put in place: keeps the file's courses
// in the history of runs and says so in the report (history, historyEntry,
// historyProblem). Never changes the run's ending or files, never throws.
void KeepInHistory(RunState& state);

}  // namespace teebasket::detail

namespace teebasket {

// Crawls each prefecture of the selection in order, after ProgressStart.
void HarvestPrefectures(detail::RunState& state);

// Reads the listing pages of the selection's prefectures, in order, before
// the crawl, until every course of `wanted` (detail URLs) is among those
// listed, and keeps them for the crawl. Returns the detail URLs listed; or
// nothing when a listing page could not be read, a prefecture listed more
// courses than a run takes, or a stop came, before that was known.
std::optional<std::unordered_set<std::string>> ListSelectionAhead(
    detail::RunState& state, const std::vector<std::string>& wanted);

// Reads the listing pages of one prefecture (page 1, then each next page that
// the page before links to) and then extracts each of their courses.
void CrawlPrefecture(detail::RunState& state, const std::string& slug);

// Downloads one course's detail page, appends its line to the output file and
// then pauses. A page without a name takes `cardName` (code-page-932 bytes,
// the name its listing card shows). A page that cannot be read gives a
// PageFailure and the earlier file's row for the same page, or else a row of
// only the card's name and the page's URL. A download given up for a stop
// writes no line.
void ExtractCourseDetail(detail::RunState& state, const std::string& courseId,
                         const std::string& cardName);

}  // namespace teebasket
