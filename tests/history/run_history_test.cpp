// The history of runs on real folders: keeping, pruning to the newest runs,
// a damaged index, two writers at once, the previous run of a selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <numeric>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "OutputReader.h"
#include "RunHistory.h"
#include "TestSupport.h"

namespace teebasket::history {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// 2026-12-09T04:45:02Z.
constexpr std::time_t kNoon = 1796791502;

CourseEntry Course(const std::string& id, CourseFetch fetch) {
    CourseEntry entry;
    entry.record[kColumnName] = "course " + id;
    entry.record[kColumnAddress] = "address " + id;
    entry.record[kColumnDetailUrl] = "https://127.0.0.1:48443/doc/course/" + id + "/";
    entry.prefecture = "東京都";
    entry.courseId = id;
    entry.fetchStatus = fetch;
    if (fetch == CourseFetch::Failed) {
        entry.record[kColumnAddress].clear();
        entry.record[kColumnState].clear();
    }
    return entry;
}

FinishedRun FinishedRunOf(std::vector<int> prefectures, std::time_t when = kNoon) {
    FinishedRun run;
    run.finishedAt = when;
    run.prefectures = std::move(prefectures);
    run.output = "/data/ゴルフ場一覧.csv";
    run.entries = {Course("101", CourseFetch::Fetched), Course("102", CourseFetch::Kept),
                   Course("103", CourseFetch::Failed)};
    return run;
}

std::vector<std::string> Ids(const std::vector<RunEntry>& runs) {
    std::vector<std::string> ids;
    for (const RunEntry& run : runs) {
        ids.push_back(run.id);
    }
    return ids;
}

TEST(RunHistory, KeepsTheRunsRecordsAndItsIndexLine) {
    TempDir data;
    const fs::path folder = HistoryFolderIn(data.path());
    EXPECT_TRUE(ListRuns(folder).empty());  // no folder yet

    const KeepResult kept = KeepRun(folder, FinishedRunOf({14, 13}));
    ASSERT_TRUE(kept.entry) << kept.problem;
    const std::vector<RunEntry> runs = ListRuns(folder);
    ASSERT_EQ(runs.size(), 1u);
    const RunEntry& run = runs.front();
    EXPECT_EQ(run.id, kept.entry->id);
    EXPECT_TRUE(run.id.ends_with("-13-14")) << run.id;
    EXPECT_EQ(run.finishedAt.size(), 19u);
    EXPECT_EQ(run.prefectures, (std::vector<int>{13, 14}));
    EXPECT_EQ(run.courses, 3u);
    EXPECT_EQ(run.failed, 1u);
    EXPECT_EQ(run.format, "csv");
    EXPECT_EQ(run.output, fs::path("/data/ゴルフ場一覧.csv"));
    EXPECT_EQ(run.records, folder / (run.id + ".jsonl"));

    // The records read back through the output reader, fetch states and all.
    std::vector<CourseEntry> entries;
    std::string error;
    OutputFormat format = OutputFormat::Csv;
    ASSERT_TRUE(ReadOutputFile(run.records, entries, error, &format)) << error;
    EXPECT_EQ(format, OutputFormat::Jsonl);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].fetchStatus, CourseFetch::Kept);
    EXPECT_EQ(entries[2].fetchStatus, CourseFetch::Failed);
    EXPECT_EQ(entries[0].courseId, "101");
}

TEST(RunHistory, KeepsTheNewest24AndRemovesTheOlderFiles) {
    TempDir data;
    const fs::path folder = HistoryFolderIn(data.path());
    std::vector<std::string> ids;
    for (int i = 0; i < 26; ++i) {
        // Every run in the same second: ids stay unique all the same.
        const KeepResult kept = KeepRun(folder, FinishedRunOf({13}));
        ASSERT_TRUE(kept.entry) << kept.problem;
        ids.push_back(kept.entry->id);
    }
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());

    const std::vector<RunEntry> runs = ListRuns(folder);
    ASSERT_EQ(runs.size(), kKeptRuns);
    std::vector<std::string> newestFirst(ids.rbegin(), ids.rbegin() + kKeptRuns);
    EXPECT_EQ(Ids(runs), newestFirst);
    EXPECT_FALSE(fs::exists(folder / (ids[0] + ".jsonl")));
    EXPECT_FALSE(fs::exists(folder / (ids[1] + ".jsonl")));
    // 24 records files and the index; the lock is gone with its holder.
    EXPECT_EQ(test::ListFolder(folder).size(), kKeptRuns + 1);
}

TEST(RunHistory, DamagedIndexLinesAndLostRecordsAreSkippedAndDroppedOnTheNextRun) {
    TempDir data;
    const fs::path folder = HistoryFolderIn(data.path());
    const KeepResult first = KeepRun(folder, FinishedRunOf({13}, kNoon - 60));
    const KeepResult lost = KeepRun(folder, FinishedRunOf({27}, kNoon - 30));
    ASSERT_TRUE(first.entry && lost.entry);
    fs::remove(lost.entry->records);
    const std::string goodLines = ReadFileBytes(folder / "index.jsonl");
    // A records file that no line names, and a file of someone else's.
    WriteFileBytes(folder / "20200101-000000-1.jsonl", "{}\n");
    WriteFileBytes(folder / "notes.jsonl", "mine\n");
    WriteFileBytes(folder / "index.jsonl",
                   goodLines + "not json at all\n" +
                       R"({"id":"../../etc/passwd","finished_at":"x","prefectures":[1],)"
                       R"("courses":1,"failed":0,"output":"/o.csv","format":"csv"})" +
                       "\n" +
                       R"({"id":"20261209-000000-1","finished_at":"x","prefectures":[99],)"
                       R"("courses":1,"failed":0,"output":"/o.csv","format":"csv"})" +
                       "\n" + R"({"id":"20261209-000000-2","courses":"many"})" + "\n" +
                       "{\"id\":\"20261209-0000");  // torn by a crash

    EXPECT_EQ(Ids(ListRuns(folder)), std::vector<std::string>{first.entry->id});

    const KeepResult next = KeepRun(folder, FinishedRunOf({13}));
    ASSERT_TRUE(next.entry) << next.problem;
    EXPECT_EQ(Ids(ListRuns(folder)), (std::vector<std::string>{next.entry->id, first.entry->id}));
    const std::string index = ReadFileBytes(folder / "index.jsonl");
    EXPECT_EQ(std::count(index.begin(), index.end(), '\n'), 2);
    EXPECT_FALSE(fs::exists(folder / "20200101-000000-1.jsonl"));
    EXPECT_TRUE(fs::exists(folder / "notes.jsonl"));
}

TEST(RunHistory, TwoWritersAtOnceLoseNoRun) {
    TempDir data;
    const fs::path folder = HistoryFolderIn(data.path());
    constexpr int kEach = 12;
    std::vector<std::string> problems;
    std::mutex problemsMutex;
    const auto writer = [&](int code) {
        for (int i = 0; i < kEach; ++i) {
            const KeepResult kept = KeepRun(folder, FinishedRunOf({code}), 100);
            if (!kept.entry) {
                const std::lock_guard lock(problemsMutex);
                problems.push_back(kept.problem);
            }
        }
    };
    std::thread one(writer, 13);
    std::thread two(writer, 14);
    one.join();
    two.join();
    EXPECT_TRUE(problems.empty()) << problems.front();
    const std::vector<RunEntry> runs = ListRuns(folder);
    EXPECT_EQ(runs.size(), 2u * kEach);
    for (const RunEntry& run : runs) {
        EXPECT_TRUE(fs::is_regular_file(run.records)) << run.id;
    }
}

TEST(RunHistory, PreviousRunOfTheSameSelection) {
    const auto entry = [](std::string id, std::vector<int> codes) {
        RunEntry run;
        run.id = std::move(id);
        run.prefectures = std::move(codes);
        return run;
    };
    // Newest first, as ListRuns gives them.
    const std::vector<RunEntry> runs = {
        entry("20261209-150000-13-14", {13, 14}), entry("20261209-140000-13", {13}),
        entry("20261209-130000-13-14", {13, 14}), entry("20261209-120000-13-14", {13, 14})};

    EXPECT_EQ(PreviousRunOf(runs, {14, 13})->id, "20261209-150000-13-14");
    EXPECT_EQ(PreviousRunOf(runs, {13, 14}, "20261209-150000-13-14")->id, "20261209-130000-13-14");
    EXPECT_EQ(PreviousRunOf(runs, {13}, "20261209-140000-13"), std::nullopt);
    // An id no longer listed: the newest run before its time.
    EXPECT_EQ(PreviousRunOf(runs, {13, 14}, "20261209-135000-13-14")->id, "20261209-130000-13-14");
    EXPECT_EQ(PreviousRunOf(runs, {13, 14, 15}), std::nullopt);
    EXPECT_EQ(PreviousRunOf({}, {13}), std::nullopt);
}

TEST(RunHistory, SelectionTextNamesWholeRegions) {
    std::vector<int> every(47);
    std::iota(every.begin(), every.end(), 1);
    EXPECT_EQ(SelectionText(every), "全国");
    EXPECT_EQ(SelectionText({14, 13, 8, 9, 10, 11, 12, 26}), "関東、京都府");
    EXPECT_EQ(SelectionText({13, 1}), "北海道、東京都");
}

}  // namespace
}  // namespace teebasket::history
