#include "RunHistory.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <set>
#include <system_error>
#include <thread>

#include "FileLock.h"
#include "JournalCodec.h"
#include "Prefectures.h"
#include "path_text.h"
#include "whole_file.h"

namespace teebasket::history {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

namespace {

constexpr const char* kFolderName = "history";
constexpr const char* kIndexName = "index.jsonl";
constexpr const char* kLockName = "history.lock";
constexpr const char* kRecordsExtension = ".jsonl";
// An index of 24 short lines is a few kilobytes; anything near this is not
// one of ours.
constexpr std::uintmax_t kMaxIndexBytes = 4u << 20;
// How long a run waits for another process that is changing the history.
constexpr auto kLockPatience = std::chrono::seconds(10);
constexpr auto kLockRetry = std::chrono::milliseconds(20);

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A run's id as KeepRun makes it: "YYYYMMDD-HHMMSS-" and the selection, of
// digits, '-' and '_' only, so that it names a file in the history folder
// and nothing else.
bool IsRunId(std::string_view id) {
    if (id.size() < 17 || id.size() > 200 || id[8] != '-' || id[15] != '-') {
        return false;
    }
    return std::all_of(id.begin(), id.end(),
                       [](char c) { return IsDigit(c) || c == '-' || c == '_'; });
}

fs::path RecordsPathOf(const fs::path& folder, std::string_view id) {
    return folder / (std::string(id) + kRecordsExtension);
}

bool IsRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(fs::symlink_status(path, error));
}

bool IsSelection(const std::vector<int>& codes) {
    return !codes.empty() && std::is_sorted(codes.begin(), codes.end()) &&
           std::adjacent_find(codes.begin(), codes.end()) == codes.end() && codes.front() >= 1 &&
           codes.back() <= kPrefectureCount;
}

std::vector<int> SortedCodes(std::vector<int> codes) {
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    return codes;
}

template <typename Value>
bool Take(const Json& object, const char* key, Value& value) {
    const auto found = object.find(key);
    if (found == object.end()) {
        return false;
    }
    if constexpr (std::is_same_v<Value, std::string>) {
        if (!found->is_string()) {
            return false;
        }
    } else if constexpr (std::is_same_v<Value, std::size_t>) {
        if (!found->is_number_unsigned()) {
            return false;
        }
    } else {
        if (!found->is_array() || !std::all_of(found->begin(), found->end(), [](const Json& code) {
                return code.is_number_integer();
            })) {
            return false;
        }
    }
    value = found->get<Value>();
    return true;
}

// One index line as a run of `folder`; nothing when the line is damaged.
std::optional<RunEntry> EntryOfLine(std::string_view line, const fs::path& folder) {
    const Json object = Json::parse(line, nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        return std::nullopt;
    }
    RunEntry entry;
    std::string output;
    const bool whole =
        Take(object, "id", entry.id) && Take(object, "finished_at", entry.finishedAt) &&
        Take(object, "prefectures", entry.prefectures) && Take(object, "courses", entry.courses) &&
        Take(object, "failed", entry.failed) && Take(object, "output", output) &&
        Take(object, "format", entry.format);
    if (!whole || !IsRunId(entry.id) || !IsSelection(entry.prefectures) ||
        entry.failed > entry.courses || !ParseOutputFormat(entry.format) || output.empty()) {
        return std::nullopt;
    }
    entry.output = PathFromUtf8(output);
    entry.records = RecordsPathOf(folder, entry.id);
    return entry;
}

std::string IndexLine(const RunEntry& entry) {
    OrderedJson object;
    object["id"] = entry.id;
    object["finished_at"] = entry.finishedAt;
    object["prefectures"] = entry.prefectures;
    object["courses"] = entry.courses;
    object["failed"] = entry.failed;
    object["output"] = PathText(entry.output);
    object["format"] = entry.format;
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// The index's runs in the order they finished (oldest first), those whose
// records file is gone left out. `readable` says whether the index was read
// (or is not there yet), so that what it does not name is known.
std::vector<RunEntry> IndexedRuns(const fs::path& folder, bool* readable = nullptr) {
    const WholeFileRead index =
        ReadWholeFile(folder / kIndexName, kMaxIndexBytes, LinkRule::NoFollow);
    if (readable != nullptr) {
        *readable = index.status == WholeFileRead::Status::Read ||
                    index.status == WholeFileRead::Status::Missing;
    }
    std::vector<RunEntry> runs;
    if (index.status != WholeFileRead::Status::Read) {
        return runs;
    }
    std::set<std::string> ids;
    std::string_view rest = index.bytes;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        std::optional<RunEntry> entry = EntryOfLine(line, folder);
        if (entry && ids.insert(entry->id).second && IsRegularFile(entry->records)) {
            runs.push_back(std::move(*entry));
        }
    }
    return runs;
}

// "20261209-145000" and "2026-12-09T14:50:00" of `when`, in local time.
bool LocalStamps(std::time_t when, std::string& compact, std::string& readable) {
    const std::string iso = IsoLocalTime(when);  // 2026-12-09T14:50:00+09:00
    if (iso.size() < 19) {
        return false;
    }
    readable = iso.substr(0, 19);
    compact = readable.substr(0, 4) + readable.substr(5, 2) + readable.substr(8, 2) + "-" +
              readable.substr(11, 2) + readable.substr(14, 2) + readable.substr(17, 2);
    return true;
}

// The number of a run's id after `base`: 1 for the base itself, N for
// "base_N", 0 for another id.
int NumberAfter(std::string_view id, std::string_view base) {
    if (!id.starts_with(base)) {
        return 0;
    }
    const std::string_view rest = id.substr(base.size());
    if (rest.empty()) {
        return 1;
    }
    if (rest.size() < 2 || rest.size() > 6 || rest[0] != '_' ||
        !std::all_of(rest.begin() + 1, rest.end(), IsDigit)) {
        return 0;
    }
    return std::stoi(std::string(rest.substr(1)));
}

// "20261209-145000-13-14"; when runs of the same second and selection are
// kept already, "_2", "_3"... after the highest of theirs, so that an id
// pruned a moment ago never comes back while a later one is kept.
std::string UniqueId(const std::string& stamp, const std::vector<int>& codes,
                     const std::vector<RunEntry>& runs, const fs::path& folder) {
    std::string base = stamp;
    for (const int code : codes) {
        base += "-" + std::to_string(code);
    }
    int highest = 0;
    for (const RunEntry& run : runs) {
        highest = std::max(highest, NumberAfter(run.id, base));
    }
    const auto idNumbered = [&base](int n) {
        return n <= 1 ? base : base + "_" + std::to_string(n);
    };
    int n = highest + 1;
    for (std::error_code error;
         fs::exists(fs::symlink_status(RecordsPathOf(folder, idNumbered(n)), error)); ++n) {
    }
    return idNumbered(n);
}

std::string RecordsBytes(const std::vector<CourseEntry>& entries) {
    const JournalCodec& codec = JournalCodecFor(OutputFormat::Jsonl);
    std::string bytes = codec.Preamble();
    for (const CourseEntry& entry : entries) {
        bytes += codec.Line(entry);
        bytes += codec.LineEnd();
    }
    return bytes;
}

std::size_t FailedCourses(const std::vector<CourseEntry>& entries) {
    return static_cast<std::size_t>(std::count_if(
        entries.begin(), entries.end(),
        [](const CourseEntry& entry) { return entry.fetchStatus == CourseFetch::Failed; }));
}

std::string ReplaceProblem(const char* what, const WholeFileReplace& replace) {
    return std::string("the history's ") + what + " cannot be written: " + replace.systemError;
}

// Waits for the folder's lock, at most kLockPatience.
std::string TakeLock(const fs::path& folder, std::optional<FileLock>& lock) {
    const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
    for (;;) {
        lock.emplace(folder / kLockName);
        switch (lock->state()) {
            case FileLock::State::Held:
                return {};
            case FileLock::State::HeldElsewhere:
                if (std::chrono::steady_clock::now() >= deadline) {
                    return "another run kept changing the history";
                }
                lock.reset();
                std::this_thread::sleep_for(kLockRetry);
                break;
            case FileLock::State::NotAFile:
                return "the history's lock file is not a file";
            case FileLock::State::Failed:
                return "the history's lock file cannot be made: " +
                       std::error_code(lock->systemError(), std::generic_category()).message();
        }
    }
}

void RemoveQuietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

// Records files that no kept run names: those of runs pruned, and of a run
// whose index line never came (a process ended between the two writes).
void RemoveUnnamedRecords(const fs::path& folder, const std::vector<RunEntry>& kept) {
    std::error_code error;
    std::vector<fs::path> unnamed;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        const std::string name = PathText(path.filename());
        if (!name.ends_with(kRecordsExtension)) {
            continue;
        }
        const std::string id =
            name.substr(0, name.size() - std::string_view(kRecordsExtension).size());
        const bool named = std::any_of(kept.begin(), kept.end(),
                                       [&id](const RunEntry& run) { return run.id == id; });
        if (IsRunId(id) && !named) {
            unnamed.push_back(path);
        }
    }
    for (const fs::path& path : unnamed) {
        RemoveQuietly(path);
    }
}

}  // namespace

fs::path HistoryFolderIn(const fs::path& dataFolder) {
    return dataFolder / kFolderName;
}

std::vector<RunEntry> ListRuns(const fs::path& historyFolder) {
    std::vector<RunEntry> runs = IndexedRuns(historyFolder);
    std::reverse(runs.begin(), runs.end());
    return runs;
}

std::optional<RunEntry> PreviousRunOf(const std::vector<RunEntry>& runs,
                                      const std::vector<int>& prefectures,
                                      std::string_view olderThanId) {
    const std::vector<int> wanted = SortedCodes(prefectures);
    auto from = runs.begin();
    bool byId = false;
    if (!olderThanId.empty()) {
        from = std::find_if(runs.begin(), runs.end(),
                            [olderThanId](const RunEntry& run) { return run.id == olderThanId; });
        byId = from == runs.end();
        from = byId ? runs.begin() : std::next(from);
    }
    for (auto it = from; it != runs.end(); ++it) {
        if (byId && it->id >= olderThanId) {
            continue;
        }
        if (it->prefectures == wanted) {
            return *it;
        }
    }
    return std::nullopt;
}

KeepResult KeepRun(const fs::path& historyFolder, const FinishedRun& run, std::size_t keep) {
    KeepResult result;
    const std::vector<int> codes = SortedCodes(run.prefectures);
    std::string stamp;
    RunEntry entry;
    if (!IsSelection(codes) || !LocalStamps(run.finishedAt, stamp, entry.finishedAt)) {
        result.problem = "the run has no selection or time to keep";
        return result;
    }
    std::error_code error;
    fs::create_directories(historyFolder, error);
    if (error) {
        result.problem = "the history folder \"" + PathText(historyFolder) +
                         "\" cannot be made: " + error.message();
        return result;
    }
    std::optional<FileLock> lock;
    if (result.problem = TakeLock(historyFolder, lock); !result.problem.empty()) {
        return result;
    }
    bool indexReadable = false;
    std::vector<RunEntry> runs = IndexedRuns(historyFolder, &indexReadable);

    entry.id = UniqueId(stamp, codes, runs, historyFolder);
    entry.prefectures = codes;
    entry.courses = run.entries.size();
    entry.failed = FailedCourses(run.entries);
    entry.output = run.output;
    entry.format = std::string(OutputFormatName(run.format));
    entry.records = RecordsPathOf(historyFolder, entry.id);
    if (const WholeFileReplace written = ReplaceWholeFile(entry.records, RecordsBytes(run.entries));
        written.status != WholeFileReplace::Status::Replaced) {
        result.problem = ReplaceProblem("records", written);
        return result;
    }

    runs.push_back(entry);
    const std::size_t dropped = runs.size() > keep ? runs.size() - keep : 0;
    std::vector<RunEntry> pruned(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(dropped));
    runs.erase(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(dropped));
    std::string index;
    for (const RunEntry& kept : runs) {
        index += IndexLine(kept);
    }
    if (const WholeFileReplace written = ReplaceWholeFile(historyFolder / kIndexName, index);
        written.status != WholeFileReplace::Status::Replaced) {
        RemoveQuietly(entry.records);
        result.problem = ReplaceProblem("index", written);
        return result;
    }
    for (const RunEntry& old : pruned) {
        RemoveQuietly(old.records);
    }
    if (indexReadable) {
        RemoveUnnamedRecords(historyFolder, runs);
    }
    if (!runs.empty()) {
        result.entry = entry;
    }
    return result;
}

std::string SelectionText(const std::vector<int>& prefectures) {
    const std::vector<int> codes = SortedCodes(prefectures);
    if (codes.size() == static_cast<std::size_t>(kPrefectureCount) && IsSelection(codes)) {
        return "全国";
    }
    const auto chosen = [&codes](int row) {
        return std::binary_search(codes.begin(), codes.end(), row + 1);
    };
    std::string text;
    const auto add = [&text](std::string_view name) {
        text += text.empty() ? "" : "、";
        text += name;
    };
    for (const PrefectureRegion& region : PrefectureRegions) {
        bool whole = true;
        for (int row = region.firstRow; row <= region.lastRow; ++row) {
            whole = whole && chosen(row);
        }
        if (whole) {
            add(region.displayName);
            continue;
        }
        for (int row = region.firstRow; row <= region.lastRow; ++row) {
            if (chosen(row)) {
                add(PrefectureTable[static_cast<std::size_t>(row)].displayName);
            }
        }
    }
    return text;
}

}  // namespace teebasket::history
