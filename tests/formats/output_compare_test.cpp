// Compare: files with known differences, the same run in two formats, the
// report in every format and the command's exit codes.
#include <gtest/gtest.h>

#include "CompareCommand.h"
#include "FormatEntries.h"
#include "OutputColumns.h"
#include "OutputCompare.h"
#include "OutputReader.h"
#include "path_text.h"
#include "xlsx_reader.h"

using namespace teebasket;
using namespace teebasket::test;
namespace fs = std::filesystem;

namespace {

struct KnownChanges {
    std::vector<CourseEntry> before;
    std::vector<CourseEntry> after;
};

// Course 1 closes, course 2's rating and reviews change, course 3 moves,
// course 4 is no longer listed, one new course comes last.
KnownChanges WithKnownChanges() {
    KnownChanges files;
    files.before = DemoEntries({12}, 8);
    files.after = files.before;
    files.after[1].record[kColumnState] = UTF8ToAnsi("閉鎖");
    files.after[2].record[kColumnReviewCount] = UTF8ToAnsi("99件");
    files.after[2].record[kColumnRating] = "1.5";
    files.after[3].record[kColumnAddress] += "2";
    files.after[3].record[kColumnName] = UTF8ToAnsi("新しい名前");
    files.after[3].fetchedAt = "2027-01-01T00:00:00+09:00";  // not a change
    files.after.erase(files.after.begin() + 4);
    files.after.push_back(DemoEntries({13}, 1).front());
    return files;
}

std::vector<std::string> ColumnsOf(const CourseChange& change) {
    std::vector<std::string> names;
    for (const ColumnChange& column : change.columns) {
        names.emplace_back(OutputColumns[column.column].header);
    }
    return names;
}

std::string ReadStream(std::FILE* stream) {
    std::rewind(stream);
    std::string text;
    char buffer[4096];
    while (const std::size_t count = std::fread(buffer, 1, sizeof buffer, stream)) {
        text.append(buffer, count);
    }
    return text;
}

}  // namespace

TEST(CompareOutputs, FindsNewGoneAndChangedCoursesInReportOrder) {
    const KnownChanges files = WithKnownChanges();
    const CompareResult result = CompareOutputs(files.before, files.after);
    EXPECT_EQ(result.added, 1);
    EXPECT_EQ(result.removed, 1);
    EXPECT_EQ(result.changed, 3);
    EXPECT_EQ(result.unchanged, 4);
    ASSERT_EQ(result.changes.size(), 5u);
    EXPECT_EQ(result.changes[0].kind, CourseChangeKind::Added);
    EXPECT_EQ(result.changes[0].name, Utf8FromCp932(files.after.back().record[kColumnName]));
    EXPECT_EQ(result.changes[1].kind, CourseChangeKind::Removed);
    EXPECT_EQ(result.changes[1].detailUrl, files.before[4].record[kColumnDetailUrl]);
    EXPECT_EQ(ColumnsOf(result.changes[2]), std::vector<std::string>{"運営状況"});
    EXPECT_EQ(result.changes[2].columns[0].oldValue, "運営中");
    EXPECT_EQ(result.changes[2].columns[0].newValue, "閉鎖");
    EXPECT_EQ(ColumnsOf(result.changes[3]), (std::vector<std::string>{"評価", "口コミ数"}));
    EXPECT_EQ(result.changes[3].columns[1].newValue, "99件");
    EXPECT_EQ(ColumnsOf(result.changes[4]), (std::vector<std::string>{"名称", "住所"}));
    EXPECT_EQ(result.changes[4].name, "新しい名前");
}

TEST(CompareOutputs, TheSameRunInEveryFormatComparesEqual) {
    const TempDir dir;
    std::vector<CourseEntry> entries = DemoEntries({0, 46}, 6);
    entries.push_back(AwkwardEntry());
    const OutputFormat formats[] = {OutputFormat::Csv, OutputFormat::CsvUtf8, OutputFormat::Jsonl,
                                    OutputFormat::Xlsx};
    std::vector<std::vector<CourseEntry>> read(4);
    for (int i = 0; i < 4; ++i) {
        const fs::path path = dir.path() / ("run" + std::to_string(i));
        WriteOutput(path, formats[i], entries);
        std::string error;
        ASSERT_TRUE(ReadOutputFile(path, read[i], error)) << error;
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            const CompareResult result = CompareOutputs(read[i], read[j]);
            EXPECT_EQ(result.unchanged, static_cast<int>(entries.size())) << i << " " << j;
            EXPECT_TRUE(result.changes.empty()) << CompareSummary(result);
        }
    }
}

TEST(CompareOutputs, RowsWithoutOrWithARepeatedUrlAreCountedNotMatched) {
    std::vector<CourseEntry> before = DemoEntries({12}, 2);
    before.push_back(before[0]);
    before.push_back(CourseEntry{});
    const CompareResult result = CompareOutputs(before, DemoEntries({12}, 2));
    EXPECT_EQ(result.unmatchedOld, 2);
    EXPECT_EQ(result.unchanged, 2);
    EXPECT_NE(CompareSummary(result).find("not compared: 2 old, 0 new"), std::string::npos);
}

// Courses whose pages could not be read, as a run writes them today (the
// card's name, an empty 運営状況, the URL) and as earlier versions did (no
// name, 運営中), in either file; and a kept row, which compares as values.
KnownChanges WithFailedPages() {
    const auto failed = [](const CourseEntry& course, bool earlierVersion) {
        CourseEntry entry;
        entry.record[kColumnName] = earlierVersion ? "" : course.record[kColumnName];
        entry.record[kColumnState] = earlierVersion ? UTF8ToAnsi("運営中") : "";
        entry.record[kColumnDetailUrl] = course.record[kColumnDetailUrl];
        entry.prefecture = earlierVersion ? "" : course.prefecture;
        entry.fetchStatus = CourseFetch::Failed;
        return entry;
    };
    KnownChanges files;
    const std::vector<CourseEntry> courses = DemoEntries({12, 13}, 4);
    files.before.assign(courses.begin(), courses.begin() + 6);
    files.after = files.before;
    files.after[0] = failed(files.before[0], false);
    files.after[1] = failed(files.before[1], true);
    files.before[2] = failed(files.after[2], false);
    files.after[3].fetchStatus = CourseFetch::Kept;
    files.after[3].record[kColumnRating] = "2.5";
    files.before.push_back(failed(courses[6], false));  // only in the old file
    files.after.push_back(failed(courses[7], true));    // only in the new file
    return files;
}

TEST(CompareOutputs, FailedPagesAreTheirOwnGroupNeverAChange) {
    const KnownChanges files = WithFailedPages();
    const CompareResult result = CompareOutputs(files.before, files.after);
    EXPECT_EQ(result.added, 0);
    EXPECT_EQ(result.removed, 0);
    EXPECT_EQ(result.changed, 1);
    EXPECT_EQ(result.unchanged, 2);
    EXPECT_EQ(result.failed, 5);
    ASSERT_EQ(result.changes.size(), 6u);
    EXPECT_EQ(ColumnsOf(result.changes[0]), std::vector<std::string>{"評価"});
    const std::pair<bool, bool> sides[] = {
        {false, true}, {false, true}, {true, false}, {false, true}, {true, false}};
    for (int i = 0; i < 5; ++i) {
        const CourseChange& change = result.changes[1 + i];
        EXPECT_EQ(change.kind, CourseChangeKind::Failed) << i;
        EXPECT_TRUE(change.columns.empty()) << i;
        EXPECT_EQ(std::make_pair(change.failedInOld, change.failedInNew), sides[i]) << i;
    }
    // The nameless row takes its name from the other file.
    EXPECT_EQ(result.changes[2].name, Utf8FromCp932(files.before[1].record[kColumnName]));
    EXPECT_EQ(result.changes[2].prefecture, "東京都");
    EXPECT_EQ(result.changes[4].name, "");  // in the new file only: no name anywhere

    const std::string summary = CompareSummary(result);
    EXPECT_TRUE(summary.starts_with("新規 0 / 掲載終了 0 / 変更 1 / 変更なし 2 / 取得できず 5"))
        << summary;
    EXPECT_NE(summary.find("? " + result.changes[1].name + " " + result.changes[1].detailUrl +
                           " (取得できず: 新 / page not read: new file)\n"),
              std::string::npos)
        << summary;
    EXPECT_NE(ReportBytes(result, ReportFormat::Csv)
                  .find(UTF8ToAnsi("\"取得できず\",\"\",\"取得できず\",\"\"\r\n")),
              std::string::npos);
    EXPECT_NE(ReportBytes(result, ReportFormat::Jsonl)
                  .find("\"change\":\"failed\",\"column\":null,\"old\":\"failed\",\"new\":null}"),
              std::string::npos);

    // Read back from files, the failed rows are known by what they hold: the
    // code-page-932 CSV has no column that says so.
    const TempDir dir;
    for (const OutputFormat format : {OutputFormat::Csv, OutputFormat::Xlsx}) {
        std::vector<CourseEntry> read[2];
        for (int i = 0; i < 2; ++i) {
            const fs::path path = dir.path() / ("file" + std::to_string(i));
            WriteOutput(path, format, i == 0 ? files.before : files.after);
            std::string error;
            ASSERT_TRUE(ReadOutputFile(path, read[i], error)) << error;
        }
        const CompareResult fromFiles = CompareOutputs(read[0], read[1]);
        EXPECT_EQ(fromFiles.failed, 5) << OutputFormatName(format);
        EXPECT_EQ(fromFiles.changed, 1) << OutputFormatName(format);
    }
}

TEST(CompareReport, IsWrittenInTheFormatOfItsExtension) {
    const TempDir dir;
    const KnownChanges files = WithKnownChanges();
    CompareResult result = CompareOutputs(files.before, files.after);
    result.changes[2].columns[0].newValue = "=1+1\r\n";  // text from a page, made hostile

    const std::string summary = CompareSummary(result);
    EXPECT_TRUE(summary.starts_with("新規 1 / 掲載終了 1 / 変更 3 / 変更なし 4 / 取得できず 0"))
        << summary;
    EXPECT_NE(summary.find("* 新しい名前 https://"), std::string::npos) << summary;
    EXPECT_NE(summary.find(" (評価, 口コミ数)\n"), std::string::npos) << summary;

    std::string error;
    ASSERT_TRUE(WriteCompareReport(dir.path() / "report.csv", result, {}, error)) << error;
    const std::string csv = ReadFileBytes(dir.path() / "report.csv");
    EXPECT_TRUE(csv.starts_with(
        UTF8ToAnsi("\"名称\",\"詳細ページURL\",\"変更\",\"項目\",\"旧\",\"新\"\r\n")));
    EXPECT_NE(csv.find(UTF8ToAnsi("\"変更\",\"運営状況\",\"運営中\",\"'=1+1  \"\r\n")),
              std::string::npos);
    EXPECT_NE(csv.find(UTF8ToAnsi("\"掲載終了\",\"\",\"\",\"\"\r\n")), std::string::npos);

    ASSERT_TRUE(WriteCompareReport(dir.path() / "report.jsonl", result, {}, error)) << error;
    const std::string jsonl = ReadFileBytes(dir.path() / "report.jsonl");
    EXPECT_NE(jsonl.find("\"change\":\"changed\",\"column\":\"rating\",\"old\":\""),
              std::string::npos)
        << jsonl;
    EXPECT_NE(jsonl.find("\"new\":\"=1+1\\r\\n\"}\n"), std::string::npos) << jsonl;

    ASSERT_TRUE(WriteCompareReport(dir.path() / "report.txt", result, {}, error)) << error;
    const std::string text = ReadFileBytes(dir.path() / "report.txt");
    EXPECT_NE(text.find("    運営状況: 運営中 → =1+1\\x0D\\x0A\n"), std::string::npos) << text;

    ASSERT_TRUE(WriteCompareReport(dir.path() / "report.xlsx", result, {}, error)) << error;
    std::string sheet;  // 変更, the sixth sheet: every changed column
    ASSERT_TRUE(xlsx::ReadZipMember(ReadFileBytes(dir.path() / "report.xlsx"),
                                    "xl/worksheets/sheet6.xml", 1 << 24, sheet, error))
        << error;
    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(xlsx::ReadSheetRows(sheet, {}, 16, rows, error)) << error;
    ASSERT_EQ(rows.size(), 1u + 5u);  // header, 5 changed columns
    EXPECT_EQ(rows[1][2], "運営状況");
    EXPECT_EQ(rows[1][4], "=1+1\r\n");

    EXPECT_FALSE(WriteCompareReport(dir.path() / "missing" / "report.csv", result, {}, error));
    EXPECT_FALSE(error.empty());
}

TEST(CompareCommand, ExitsWithZeroOrTheReasonForBadInput) {
    const TempDir dir;
    const KnownChanges files = WithKnownChanges();
    WriteOutput(dir.path() / "old.csv", OutputFormat::Csv, files.before);
    WriteOutput(dir.path() / "new.xlsx", OutputFormat::Xlsx, files.after);
    WriteFileBytes(dir.path() / "other.txt", "not an output\n");
    const auto run = [&](const std::vector<std::string>& files, std::string& out,
                         std::string& err) {
        std::FILE* outFile = std::tmpfile();
        std::FILE* errFile = std::tmpfile();
        cli::CompareRequest request;
        request.oldPath = PathFromUtf8(files[0]);
        request.newPath = PathFromUtf8(files[1]);
        if (files.size() > 2) {
            request.reportPath = PathFromUtf8(files[2]);
        }
        const int code = cli::RunCompare(request, outFile, errFile);
        out = ReadStream(outFile);
        err = ReadStream(errFile);
        std::fclose(outFile);
        std::fclose(errFile);
        return code;
    };
    const std::string folder = PathText(dir.path()) + "/";
    std::string out;
    std::string err;
    EXPECT_EQ(run({folder + "old.csv", folder + "new.xlsx", folder + "r.csv"}, out, err), 0);
    EXPECT_TRUE(out.starts_with("新規 1 / 掲載終了 1 / 変更 3")) << out;
    EXPECT_EQ(err, "");
    EXPECT_TRUE(fs::exists(dir.path() / "r.csv"));

    EXPECT_EQ(run({folder + "old.csv", folder + "other.txt"}, out, err), 64);
    EXPECT_NE(err.find("Cannot compare: "), std::string::npos) << err;
    EXPECT_NE(err.find("other.txt"), std::string::npos) << err;
    EXPECT_EQ(run({folder + "old.csv", folder + "new.xlsx", folder + "no/r.csv"}, out, err), 73);
    EXPECT_NE(err.find("The report could not be written"), std::string::npos) << err;
}
