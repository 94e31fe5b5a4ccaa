// RunHistory: the runs that put a file in place, kept in the data folder so
// that a later look (the results window, `teebasket-cli history`, a run that
// compares with the previous one of the same selection) finds them.
//
// The history folder ("history" in the data folder, beside golf.ini) holds
// one records file per run, "ID.jsonl" (the run's courses as JSON Lines, the
// fetch state included, read back by the output reader), and "index.jsonl",
// one JSON object per run in the order the runs finished. Only the newest
// kKeptRuns runs are kept; older ones lose their records file and their
// index line.
//
// Two processes may finish runs at the same time: every change happens under
// the folder's lock ("history.lock"), and the index is replaced whole (a new
// file put in place of the old one), so a reader sees the old index or the
// new one, never half of either. Reading never fails: a damaged index line,
// or an entry whose records file is gone, is left out.
//
// Texts are UTF-8; course values in CourseEntry stay code-page-932 bytes.
#pragma once

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OutputFormat.h"

namespace teebasket::history {

// How many runs the history keeps.
inline constexpr std::size_t kKeptRuns = 24;

struct RunEntry {
    std::string id;                 // unique, sortable by time: "20261209-145000-13-14"
    std::string finishedAt;         // local time "2026-12-09T14:50:00"
    std::vector<int> prefectures;   // JIS X 0401 codes, ascending
    std::size_t courses = 0;        // rows in the output
    std::size_t failed = 0;         // courses 取得できず
    std::filesystem::path output;   // the output file the run put in place (absolute)
    std::string format;             // the --format name: csv, csv-utf8, jsonl, xlsx
    std::filesystem::path records;  // this run's records, JSON Lines (取得状況 included)
};

// The history folder of the data folder (where golf.ini lives).
std::filesystem::path HistoryFolderIn(const std::filesystem::path& dataFolder);

// The kept runs, newest first; a damaged index or entry is skipped, never
// fatal. A missing folder has no runs.
std::vector<RunEntry> ListRuns(const std::filesystem::path& historyFolder);

// The newest run of exactly this selection (JIS codes, any order), older
// than the run `olderThanId` when it is given: the runs after it in `runs`
// (newest first), or, when it is not among them, those with a smaller id.
std::optional<RunEntry> PreviousRunOf(const std::vector<RunEntry>& runs,
                                      const std::vector<int>& prefectures,
                                      std::string_view olderThanId = {});

// A run to keep: when it finished, what it chose, where its file is, and the
// courses of that file.
struct FinishedRun {
    std::time_t finishedAt = 0;
    std::vector<int> prefectures;  // JIS X 0401 codes
    std::filesystem::path output;  // absolute
    OutputFormat format = OutputFormat::Csv;
    std::vector<CourseEntry> entries;
};

struct KeepResult {
    std::optional<RunEntry> entry;  // the kept run; nothing when it could not be kept
    std::string problem;            // why not (UTF-8, one line)
};

// Adds `run` to the history in `historyFolder` (created when missing): its
// records file, then its index line; then removes the runs beyond `keep`,
// newest kept, and records files that no index line names. Waits a few
// seconds at most for another process that holds the folder's lock. A
// failure leaves the index as it was.
KeepResult KeepRun(const std::filesystem::path& historyFolder, const FinishedRun& run,
                   std::size_t keep = kKeptRuns);

// The selection as a person reads it (UTF-8): "全国" for every prefecture,
// otherwise a region's name (関東) for each whole region and the names of
// the other prefectures, in code order, joined by "、".
std::string SelectionText(const std::vector<int>& prefectures);

}  // namespace teebasket::history
