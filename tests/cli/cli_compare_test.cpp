// teebasket-cli compare, the real executable (under Wine for the Windows
// build): files of every format in, reports of every format out, exit codes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "JournalCodec.h"
#include "MECSUtils.h"
#include "OutputColumns.h"
#include "OutputReader.h"
#include "PortalPages.h"
#include "ProgramRun.h"
#include "TestSupport.h"
#include "Unithread.h"
#include "Workbook.h"
#include "xlsx_reader.h"

namespace teebasket {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// Runs `teebasket-cli compare ARGUMENTS` in `folder`.
test::ProgramRun RunCompare(const fs::path& folder, const std::vector<std::string>& arguments) {
    std::vector<std::string> command = test::CliCommand();
    command.push_back("compare");
    command.insert(command.end(), arguments.begin(), arguments.end());
    return test::RunInFolder(folder, command);
}

std::vector<CourseEntry> DemoCourses() {
    const portal::CourseCatalog catalog({.seed = 3, .coursesPerPrefecture = 5});
    PortalSettings settings;
    settings.bookingHost = "localhost:48443";
    std::vector<CourseEntry> entries;
    for (int number = 0; number < 5; ++number) {
        const portal::GeneratedCourse course = catalog.Course(12, number);
        CourseEntry entry;
        entry.record = ParseCourseDetail(PageText(catalog.DetailPage(course)), settings, course.id);
        entry.prefecture = "東京都";
        entry.courseId = course.id;
        entry.fetchedAt = IsoLocalTime(1796791502);
        entries.push_back(std::move(entry));
    }
    return entries;
}

void WriteJournal(const fs::path& path, OutputFormat format,
                  const std::vector<CourseEntry>& entries) {
    const JournalCodec& codec = JournalCodecFor(format);
    std::string bytes = codec.Preamble();
    for (const CourseEntry& entry : entries) {
        bytes += codec.Line(entry) + std::string(codec.LineEnd());
    }
    WriteFileBytes(path, bytes);
}

TEST(CliCompare, ReportsTheChangesBetweenFilesOfAnyFormat) {
    const TempDir dir;
    const std::vector<CourseEntry> before = DemoCourses();
    std::vector<CourseEntry> after = before;
    after[0].record[kColumnState] = UTF8ToAnsi("閉鎖");
    after[1].record[kColumnRating] = "0.5";
    after.erase(after.begin() + 2);
    WriteJournal(dir.path() / "old.csv", OutputFormat::Csv, before);
    WriteJournal(dir.path() / "new.jsonl", OutputFormat::Jsonl, after);
    WrittenWorkbook workbook;
    std::string error;
    ASSERT_TRUE(WriteWorkbook(dir.path() / "new.xlsx", after, workbook, error)) << error;
    ASSERT_FALSE(PutWorkbookInPlace(workbook, dir.path() / "new.xlsx"));

    for (const char* newer : {"new.jsonl", "new.xlsx"}) {
        const test::ProgramRun run = RunCompare(dir.path(), {"old.csv", newer, "-o", "報告.xlsx"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(run.out.starts_with("新規 0 / 掲載終了 1 / 変更 2 / 変更なし 2")) << run.out;
        // The sixth sheet, 変更: every changed column.
        std::string sheet;
        ASSERT_TRUE(xlsx::ReadZipMember(ReadFileBytes(dir.path() / "報告.xlsx"),
                                        "xl/worksheets/sheet6.xml", 1 << 24, sheet, error))
            << error;
        std::vector<std::vector<std::string>> rows;
        ASSERT_TRUE(xlsx::ReadSheetRows(sheet, {}, 16, rows, error)) << error;
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[1][2], "運営状況");
        EXPECT_EQ(rows[2][2], "評価");
        EXPECT_EQ(rows[2][4], "0.5");
    }
    // Nothing but the report is left in the folder.
    const std::vector<std::string> names = test::ListFolder(dir.path());
    EXPECT_EQ(names, (std::vector<std::string>{"err.txt", "new.jsonl", "new.xlsx", "old.csv",
                                               "out.txt", "報告.xlsx"}));

    const test::ProgramRun csvReport =
        RunCompare(dir.path(), {"old.csv", "new.jsonl", "-o", "r.csv"});
    ASSERT_EQ(csvReport.exitCode, 0) << csvReport.err;
    EXPECT_NE(
        ReadFileBytes(dir.path() / "r.csv").find(UTF8ToAnsi("\"運営状況\",\"運営中\",\"閉鎖\"")),
        std::string::npos);
}

TEST(CliCompare, AFailedPageIsNoChangeAndAReportNeverReplacesAnInput) {
    const TempDir dir;
    const std::vector<CourseEntry> before = DemoCourses();
    std::vector<CourseEntry> after = before;
    // What a run writes for a page it could not read: the listing card's
    // name, no operating state, the URL.
    after[1] = CourseEntry{};
    after[1].record[kColumnName] = before[1].record[kColumnName];
    after[1].record[kColumnState] = "";
    after[1].record[kColumnDetailUrl] = before[1].record[kColumnDetailUrl];
    WriteJournal(dir.path() / "old.csv", OutputFormat::Csv, before);
    WriteJournal(dir.path() / "new.csv", OutputFormat::Csv, after);
    const std::string oldBytes = ReadFileBytes(dir.path() / "old.csv");
    const std::string newBytes = ReadFileBytes(dir.path() / "new.csv");

    test::ProgramRun run = RunCompare(dir.path(), {"old.csv", "new.csv", "-o", "r.jsonl"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.starts_with("新規 0 / 掲載終了 0 / 変更 0 / 変更なし 4 / 取得できず 1"))
        << run.out;
    EXPECT_NE(run.out.find("? " + Utf8FromCp932(before[1].record[kColumnName]) + " " +
                           before[1].record[kColumnDetailUrl] + " (取得できず: 新"),
              std::string::npos)
        << run.out;
    EXPECT_NE(ReadFileBytes(dir.path() / "r.jsonl").find("\"change\":\"failed\""),
              std::string::npos);

    // The report path is an input, by its name or through a link: refused
    // before anything is written.
    ASSERT_EQ(::symlink("old.csv", (dir.path() / "link.csv").c_str()), 0);
    for (const char* report : {"new.csv", "link.csv"}) {
        run = RunCompare(dir.path(), {"old.csv", "new.csv", "-o", report});
        EXPECT_EQ(run.exitCode, 64) << report << ": " << run.err;
        EXPECT_NE(run.err.find("which it would replace"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "") << report;
    }
    EXPECT_EQ(ReadFileBytes(dir.path() / "old.csv"), oldBytes);
    EXPECT_EQ(ReadFileBytes(dir.path() / "new.csv"), newBytes);

    // An empty or blank file is no output, whatever its name.
    WriteFileBytes(dir.path() / "empty.jsonl", "");
    WriteFileBytes(dir.path() / "blank.csv", " \r\n\n");
    for (const char* input : {"empty.jsonl", "blank.csv"}) {
        run = RunCompare(dir.path(), {"old.csv", input});
        EXPECT_EQ(run.exitCode, 64) << input << ": " << run.out;
        EXPECT_NE(run.err.find("not an output of this program"), std::string::npos) << run.err;
    }
}

TEST(CliCompare, BadInputEndsWith64AndTheReason) {
    const TempDir dir;
    WriteJournal(dir.path() / "old.csv", OutputFormat::Csv, DemoCourses());
    WriteFileBytes(dir.path() / "notes.txt", "not an output\n");
    test::ProgramRun run = RunCompare(dir.path(), {"old.csv", "notes.txt"});
    EXPECT_EQ(run.exitCode, 64) << run.err;
    EXPECT_NE(run.err.find("Cannot compare: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("notes.txt"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("\n"), run.err.size() - 1) << "one line: " << run.err;
    run = RunCompare(dir.path(), {"old.csv", "missing.csv"});
    EXPECT_EQ(run.exitCode, 64) << run.err;
    run = RunCompare(dir.path(), {"old.csv"});
    EXPECT_EQ(run.exitCode, 64) << run.err;
    EXPECT_NE(run.err.find("compare takes two files"), std::string::npos) << run.err;
    run = RunCompare(dir.path(), {"--help"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("teebasket-cli compare OLD NEW [-o REPORT]"), std::string::npos)
        << run.out;
}

}  // namespace
}  // namespace teebasket
