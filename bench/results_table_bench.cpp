// The table of results on 50 000 courses: opening a file of each format,
// sorting, a filter keystroke, and the comparison with an earlier run, each
// measured in a child process of its own with its peak resident memory.
//
//   build/bench/results_table_bench [FOLDER]   (FOLDER keeps the inputs)
//
// The courses are the demo portal's detail pages as a run records them,
// 2 500 of them repeated under other detail URLs and ratings up to 50 000.
// The later run has every 500th course closed; the earlier one has every
// 40th course rated otherwise, 300 that the later one no longer lists and
// 200 fewer.
//
// Times are the child's processor time (CLOCK_PROCESS_CPUTIME_ID), which a
// busy machine does not stretch; the wall time follows in brackets.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "JournalCodec.h"
#include "MECSUtils.h"
#include "PortalPages.h"
#include "ResultsTable.h"
#include "Unicommon.h"
#include "Unithread.h"
#include "Workbook.h"
#include "child_run.h"
#include "whole_file.h"

namespace {

using namespace teebasket;
namespace fs = std::filesystem;

constexpr int kCourses = 50000;
constexpr int kDistinctPages = 2500;

std::vector<CourseEntry> Courses() {
    const portal::CourseCatalog catalog({.seed = 3, .coursesPerPrefecture = 60});
    PortalSettings settings;
    settings.listingHost = "127.0.0.1:48443";
    settings.bookingHost = "127.0.0.1:48443";
    std::vector<CourseEntry> pages;
    for (int prefecture = 0; prefecture < portal::kPortalPrefectureCount; ++prefecture) {
        for (int number = 0; number < catalog.CourseCount(prefecture) &&
                             pages.size() < static_cast<std::size_t>(kDistinctPages);
             ++number) {
            const portal::GeneratedCourse course = catalog.Course(prefecture, number);
            CourseEntry entry;
            CoursePosition position;
            entry.record = ParseCourseDetail(PageText(catalog.DetailPage(course)), settings,
                                             course.id, &position);
            entry.latitude = position.latitude;
            entry.longitude = position.longitude;
            entry.prefecture = std::string(portal::kPortalPrefectures[prefecture].name);
            entry.courseId = course.id;
            entry.fetchedAt = "2026-12-09T13:45:02+09:00";
            pages.push_back(std::move(entry));
        }
    }
    std::vector<CourseEntry> entries;
    entries.reserve(kCourses);
    for (int at = 0; at < kCourses; ++at) {
        CourseEntry entry = pages[static_cast<std::size_t>(at) % pages.size()];
        entry.courseId = std::to_string(500000 + at);
        entry.record[kColumnDetailUrl] =
            "https://127.0.0.1:48443/guide/disp/c_id/" + entry.courseId;
        entry.record[kColumnRating] = NumberText(1.0 + (at * 37 % 41) / 10.0);
        if (at % 500 == 7) {
            entry.record[kColumnState] = UTF8ToAnsi("閉鎖");
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<CourseEntry> EarlierRun(std::vector<CourseEntry> entries) {
    for (std::size_t at = 0; at < entries.size(); at += 40) {
        entries[at].record[kColumnRating] = "5";
    }
    for (std::size_t at = 7; at < entries.size(); at += 500) {
        entries[at].record[kColumnState] = UTF8ToAnsi("運営中");
    }
    entries.erase(entries.begin() + 1000, entries.begin() + 1200);
    for (int gone = 0; gone < 300; ++gone) {
        CourseEntry entry = entries[static_cast<std::size_t>(gone)];
        entry.courseId = std::to_string(900000 + gone);
        entry.record[kColumnDetailUrl] =
            "https://127.0.0.1:48443/guide/disp/c_id/" + entry.courseId;
        entries.push_back(std::move(entry));
    }
    return entries;
}

void Write(const fs::path& path, OutputFormat format, const std::vector<CourseEntry>& entries) {
    if (format == OutputFormat::Xlsx) {
        WrittenWorkbook workbook;
        std::string error;
        if (!WriteWorkbook(path, entries, workbook, error) || PutWorkbookInPlace(workbook, path)) {
            std::fprintf(stderr, "workbook: %s\n", error.c_str());
        }
        return;
    }
    const JournalCodec& codec = JournalCodecFor(format);
    std::string bytes = codec.Preamble();
    for (const CourseEntry& entry : entries) {
        bytes += codec.Line(entry);
        bytes += codec.LineEnd();
    }
    ReplaceWholeFile(path, bytes);
}

constexpr OutputFormat kFormats[] = {OutputFormat::Csv, OutputFormat::CsvUtf8, OutputFormat::Jsonl,
                                     OutputFormat::Xlsx};

fs::path FileOf(const fs::path& folder, OutputFormat format) {
    return folder / ("courses-" + std::string(OutputFormatName(format)) +
                     std::string(OutputFormatExtension(format)));
}

// In a child process: a child started by posix_spawn inherits its parent's
// peak as its own, so the parent stays small.
void WriteInputs(const fs::path& folder) {
    const pid_t child = fork();
    if (child == 0) {
        const std::vector<CourseEntry> entries = Courses();
        for (const OutputFormat format : kFormats) {
            Write(FileOf(folder, format), format, entries);
        }
        Write(folder / "earlier.jsonl", OutputFormat::Jsonl, EarlierRun(entries));
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
}

// Processor and wall time since it was made, in milliseconds.
class Stopwatch {
  public:
    Stopwatch() : wall_(std::chrono::steady_clock::now()), processor_(ProcessorMs()) {}
    double Processor() const { return ProcessorMs() - processor_; }
    double Wall() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall_)
            .count();
    }

  private:
    static double ProcessorMs() {
        timespec now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
    }
    std::chrono::steady_clock::time_point wall_;
    double processor_;
};

std::string Times(double processor, double wall) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f(%.0f)", processor, wall);
    return text;
}

// The child: opens FILE, then sorts and filters (or compares with EARLIER)
// and writes its timings to TIMINGS.
int MeasureInChild(const fs::path& file, const fs::path& earlier, const fs::path& timings) {
    results::ResultsTable table;
    std::string error;
    const Stopwatch opening;
    if (!table.Open(file, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::string line =
        std::to_string(table.RecordCount()) + " " + Times(opening.Processor(), opening.Wall());
    if (!earlier.empty()) {
        const Stopwatch comparing;
        if (!table.CompareWith(earlier, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        line += " " + Times(comparing.Processor(), comparing.Wall()) + " " +
                results::SummaryLine(table.summary());
    } else {
        double slowestSort = 0;
        double slowestSortWall = 0;
        for (const int column :
             {kColumnRating, kColumnName, kColumnReviewCount, kColumnFetchedAt}) {
            for (const bool descending : {false, true}) {
                const Stopwatch sorting;
                table.SortBy(column, descending);
                slowestSort = std::max(slowestSort, sorting.Processor());
                slowestSortWall = std::max(slowestSortWall, sorting.Wall());
            }
        }
        // Typing ゴルフ倶楽部 into the search box, one character at a time,
        // over a prefecture's filter and a rating range.
        double slowestKey = 0;
        double slowestKeyWall = 0;
        results::ResultsFilter filter;
        filter.ratingMin = 2.0;
        std::string typed;
        for (const std::string_view character : {"ゴ", "ル", "フ", "倶", "楽", "部"}) {
            typed += character;
            filter.search = typed;
            const Stopwatch filtering;
            table.SetFilter(filter);
            slowestKey = std::max(slowestKey, filtering.Processor());
            slowestKeyWall = std::max(slowestKeyWall, filtering.Wall());
        }
        line += " " + Times(slowestSort, slowestSortWall) + " " +
                Times(slowestKey, slowestKeyWall) + " " + std::to_string(table.rows().size());
    }
    line += "\n";
    ReplaceWholeFile(timings, line);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0) {
        return MeasureInChild(argv[2], argv[3], argv[4]);
    }
    const fs::path temporary =
        fs::temp_directory_path() / ("results-bench-" + std::to_string(getpid()));
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : temporary;
    fs::create_directories(folder);
    WriteInputs(folder);
    const fs::path self = fs::canonical("/proc/self/exe");
    const fs::path timings = folder / "timings.txt";
    std::printf("%-10s %7s %8s %12s %12s %12s %8s %13s\n", "format", "MiB", "courses", "open ms",
                "sort ms", "key ms", "shown", "peak RSS MiB");
    for (const OutputFormat format : kFormats) {
        const fs::path file = FileOf(folder, format);
        fs::remove(timings);
        const bench::ChildRun run =
            bench::RunMeasured({self.string(), "--child", file.string(), "", timings.string()});
        const WholeFileRead read = ReadWholeFile(timings, 4096);
        char courses[32] = "", open[32] = "", sort[32] = "", key[32] = "", shown[32] = "";
        std::sscanf(read.bytes.c_str(), "%31s %31s %31s %31s %31s", courses, open, sort, key,
                    shown);
        std::printf("%-10s %7.1f %8s %12s %12s %12s %8s %13.1f  %s\n",
                    std::string(OutputFormatName(format)).c_str(),
                    static_cast<double>(fs::file_size(file)) / (1024.0 * 1024.0), courses, open,
                    sort, key, shown, run.peakMiB, run.ending.c_str());
    }
    const fs::path file = FileOf(folder, OutputFormat::Jsonl);
    fs::remove(timings);
    const bench::ChildRun run =
        bench::RunMeasured({self.string(), "--child", file.string(),
                            (folder / "earlier.jsonl").string(), timings.string()});
    const WholeFileRead read = ReadWholeFile(timings, 4096);
    std::printf(
        "jsonl compared with an earlier run (courses, open ms, compare ms, summary): %s"
        "peak RSS MiB %.1f, %s\n",
        read.bytes.c_str(), run.peakMiB, run.ending.c_str());
    if (argc <= 1) {
        fs::remove_all(temporary);
    }
    return 0;
}
