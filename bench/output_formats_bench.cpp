// The output formats: writing 2 000 courses in each format, and compare of
// two 2 000-course files (read both, match, summary and report).
//
//   output_formats_bench                      the timings (Google Benchmark)
//   output_formats_bench --peak WHAT FOLDER   one operation, then the
//                                             process's peak memory in KiB;
//                                             WHAT: csv, csv-utf8, jsonl,
//                                             xlsx, compare
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "JournalCodec.h"
#include "OutputCompare.h"
#include "OutputReader.h"
#include "PortalPages.h"
#include "Unithread.h"
#include "Workbook.h"
#include "file_stream.h"

using namespace teebasket;
namespace fs = std::filesystem;

namespace {

constexpr int kCourses = 2000;

// 2 000 courses from the demo portal's pages, as a run records them.
std::vector<CourseEntry> Courses() {
    const portal::CourseCatalog catalog({.seed = 1, .coursesPerPrefecture = 45});
    PortalSettings settings;
    settings.bookingHost = "127.0.0.1:48443";
    std::vector<CourseEntry> entries;
    for (int prefecture = 0; prefecture < portal::kPortalPrefectureCount; ++prefecture) {
        for (int number = 0; number < catalog.CourseCount(prefecture); ++number) {
            if (entries.size() == kCourses) {
                return entries;
            }
            const portal::GeneratedCourse course = catalog.Course(prefecture, number);
            CourseEntry entry;
            entry.record =
                ParseCourseDetail(PageText(catalog.DetailPage(course)), settings, course.id);
            entry.prefecture = std::string(portal::kPortalPrefectures[prefecture].name);
            entry.courseId = course.id;
            entry.fetchedAt = "2026-12-09T13:45:02+09:00";
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

const std::vector<CourseEntry>& SharedCourses() {
    static const std::vector<CourseEntry> entries = Courses();
    return entries;
}

// Writes the courses as a run does: the preamble, then line by line through
// a C stream, flushed after each line (a workbook: whole, then renamed).
void WriteFile(const fs::path& path, OutputFormat format, const std::vector<CourseEntry>& entries) {
    if (format == OutputFormat::Xlsx) {
        WrittenWorkbook workbook;
        std::string error;
        if (!WriteWorkbook(path, entries, workbook, error) || PutWorkbookInPlace(workbook, path)) {
            std::fprintf(stderr, "workbook: %s\n", error.c_str());
        }
        return;
    }
    const JournalCodec& codec = JournalCodecFor(format);
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    std::FILE* file = OpenFileStream(path, FileOpenMode::CreateNew);
    const std::string preamble = codec.Preamble();
    std::fwrite(preamble.data(), 1, preamble.size(), file);
    for (const CourseEntry& entry : entries) {
        const std::string line = codec.Line(entry) + std::string(codec.LineEnd());
        std::fwrite(line.data(), 1, line.size(), file);
        std::fflush(file);
    }
    std::fclose(file);
}

// The second run: some courses closed, re-rated, gone and new.
std::vector<CourseEntry> LaterRun(std::vector<CourseEntry> entries) {
    for (std::size_t at = 0; at < entries.size(); at += 50) {
        entries[at].record[kColumnRating] = "1.0";
    }
    entries.erase(entries.begin() + 100, entries.begin() + 120);
    return entries;
}

void Compare(const fs::path& older, const fs::path& newer, const fs::path& report) {
    std::vector<CourseEntry> before;
    std::vector<CourseEntry> after;
    std::string error;
    if (!ReadOutputFile(older, before, error) || !ReadOutputFile(newer, after, error)) {
        std::fprintf(stderr, "compare: %s\n", error.c_str());
        return;
    }
    const CompareResult result = CompareOutputs(before, after);
    benchmark::DoNotOptimize(CompareSummary(result));
    WriteCompareReport(report, result, {}, error);
}

fs::path BenchFolder() {
    const fs::path folder = fs::temp_directory_path() / "teebasket-output-formats-bench";
    fs::create_directories(folder);
    return folder;
}

void BM_WriteCourses(benchmark::State& state, OutputFormat format) {
    const std::vector<CourseEntry>& entries = SharedCourses();
    const fs::path path = BenchFolder() / ("out" + std::string(OutputFormatExtension(format)));
    for (auto _ : state) {
        WriteFile(path, format, entries);
    }
    state.counters["courses"] = static_cast<double>(entries.size());
    state.counters["file_bytes"] = static_cast<double>(fs::file_size(path));
}
BENCHMARK_CAPTURE(BM_WriteCourses, csv, OutputFormat::Csv)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteCourses, csv_utf8, OutputFormat::CsvUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteCourses, jsonl, OutputFormat::Jsonl)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteCourses, xlsx, OutputFormat::Xlsx)->Unit(benchmark::kMillisecond);

// Compare of a code-page-932 CSV with a workbook: the slowest pair to read.
void BM_CompareTwoRuns(benchmark::State& state) {
    const fs::path folder = BenchFolder();
    WriteFile(folder / "old.csv", OutputFormat::Csv, SharedCourses());
    WriteFile(folder / "new.xlsx", OutputFormat::Xlsx, LaterRun(SharedCourses()));
    for (auto _ : state) {
        Compare(folder / "old.csv", folder / "new.xlsx", folder / "report.xlsx");
    }
}
BENCHMARK(BM_CompareTwoRuns)->Unit(benchmark::kMillisecond);

long PeakKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One operation in a process of its own, for its peak memory.
int MeasurePeak(const std::string& what, const fs::path& folder) {
    fs::create_directories(folder);
    if (what == "compare") {
        // The inputs are written by an earlier "--peak csv" and "--peak xlsx".
        const long before = PeakKiB();
        Compare(folder / "old.csv", folder / "new.xlsx", folder / "report.xlsx");
        std::printf("compare: peak %ld KiB (%ld KiB before)\n", PeakKiB(), before);
        return 0;
    }
    const std::optional<OutputFormat> format = ParseOutputFormat(what);
    if (!format) {
        return 2;
    }
    std::vector<CourseEntry> entries = Courses();
    if (*format == OutputFormat::Xlsx) {
        entries = LaterRun(std::move(entries));
    }
    const long before = PeakKiB();
    WriteFile(folder / (*format == OutputFormat::Csv
                            ? "old.csv"
                            : "new" + std::string(OutputFormatExtension(*format))),
              *format, entries);
    std::printf("%s: peak %ld KiB (%ld KiB before writing)\n", what.c_str(), PeakKiB(), before);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--peak") == 0) {
        return MeasurePeak(argv[2], argv[3]);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(BenchFolder());
    return 0;
}
