// The workbook writer: never through a prepared link, nothing left behind,
// numbers written with a point whatever the locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "FormatEntries.h"
#include "OutputReader.h"
#include "path_text.h"
#include "xlsx_reader.h"

using namespace teebasket;
using namespace teebasket::test;
namespace fs = std::filesystem;

TEST(Workbook, IsWrittenInAPrivateFolderAndPutInPlaceByTheCaller) {
    const TempDir dir;
    const fs::path target = dir.path() / PathFromUtf8("全国.xlsx");
    WriteFileBytes(target, "earlier");
    WrittenWorkbook workbook;
    std::string error;
    ASSERT_TRUE(WriteWorkbook(target, DemoEntries({12}, 3), workbook, error)) << error;
    EXPECT_EQ(workbook.folder.parent_path(), dir.path());
    EXPECT_EQ(workbook.file.parent_path(), workbook.folder);
    EXPECT_EQ(ReadFileBytes(target), "earlier");  // untouched until put in place
#ifndef _WIN32
    EXPECT_EQ(fs::status(workbook.folder).permissions() & fs::perms::all, fs::perms::owner_all);
#endif
    ASSERT_FALSE(PutWorkbookInPlace(workbook, target));
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"全国.xlsx"});
    EXPECT_TRUE(ReadFileBytes(target).starts_with("PK\x03\x04"));

    ASSERT_TRUE(WriteWorkbook(target, {}, workbook, error)) << error;
    DiscardWorkbook(workbook);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"全国.xlsx"});
}

#ifndef _WIN32
TEST(Workbook, NeverWritesThroughALinkAtTheTarget) {
    const TempDir dir;
    const fs::path victim = dir.path() / "victim.txt";
    WriteFileBytes(victim, "keep me");
    const fs::path target = dir.path() / "out.xlsx";
    fs::create_symlink(victim, target);
    WrittenWorkbook workbook;
    std::string error;
    ASSERT_TRUE(WriteWorkbook(target, DemoEntries({12}, 2), workbook, error)) << error;
    EXPECT_EQ(ReadFileBytes(victim), "keep me");
    DiscardWorkbook(workbook);
    EXPECT_EQ(ReadFileBytes(victim), "keep me");
}

TEST(Workbook, AFolderThatCannotBeWrittenGivesAReasonAndLeavesNothing) {
    const TempDir dir;
    WrittenWorkbook workbook;
    std::string error;
    EXPECT_FALSE(WriteWorkbook(dir.path() / "missing" / "out.xlsx", {}, workbook, error));
    EXPECT_NE(error.find("private folder"), std::string::npos) << error;
    EXPECT_TRUE(ListFolder(dir.path()).empty());
}

// As the window runs: Qt sets the user's locale for the whole process.
TEST(Workbook, NumbersKeepTheirPointUnderALocaleWithADecimalComma) {
    const TempDir dir;
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        // Compiled for this test from the machine's locale sources (package
        // locales), when the system has none of its own.
        const std::string command = "localedef -i de_DE -f UTF-8 '" + PathText(dir.path()) +
                                    "/de_DE.UTF-8' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            GTEST_SKIP() << "no German locale, and localedef cannot make one";
        }
        ::setenv("LOCPATH", PathText(dir.path()).c_str(), 1);
        const bool set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        ::unsetenv("LOCPATH");
        ASSERT_TRUE(set);
    }
    char decimal[16];
    std::snprintf(decimal, sizeof decimal, "%.1f", 4.5);
    ASSERT_STREQ(decimal, "4,5");  // the locale is in force
    const std::vector<CourseEntry> entries = {AwkwardEntry()};
    WriteOutput(dir.path() / "out.xlsx", OutputFormat::Xlsx, entries);
    std::setlocale(LC_NUMERIC, previous.c_str());
    std::vector<CourseEntry> read;
    std::string error;
    ASSERT_TRUE(ReadOutputFile(dir.path() / "out.xlsx", read, error)) << error;
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].record[kColumnRating], "4.5");
}
#endif

TEST(Workbook, HoldsEveryCourseAsTypedCellsWithoutFormulas) {
    const TempDir dir;
    std::vector<CourseEntry> entries = DemoEntries({0, 12, 46}, 5);
    entries.push_back(AwkwardEntry());
    CourseEntry control = AwkwardEntry();
    control.record[kColumnName] = std::string("a\x01\x1F") + "b\r\nc";
    control.record[6] = std::string(40000, 'x');
    entries.push_back(control);
    WriteOutput(dir.path() / "out.xlsx", OutputFormat::Xlsx, entries);
    const std::string zip = ReadFileBytes(dir.path() / "out.xlsx");
    std::string sheet;
    std::string error;
    ASSERT_TRUE(xlsx::ReadZipMember(zip, "xl/worksheets/sheet1.xml", 1 << 26, sheet, error))
        << error;
    EXPECT_EQ(sheet.find("<f>"), std::string::npos);
    EXPECT_NE(sheet.find("<pane ySplit=\"1\""), std::string::npos);
    EXPECT_NE(sheet.find("<autoFilter ref=\"A1:AN" + std::to_string(entries.size() + 1) + "\""),
              std::string::npos);
    std::string book;
    ASSERT_TRUE(xlsx::ReadZipMember(zip, "xl/workbook.xml", 1 << 20, book, error)) << error;
    EXPECT_NE(book.find("name=\"ゴルフ場\""), std::string::npos) << book;

    std::vector<CourseEntry> read;
    ASSERT_TRUE(ReadOutputBytes(zip, read, error)) << error;
    ASSERT_EQ(read.size(), entries.size());
    EXPECT_EQ(read[entries.size() - 1].record[kColumnName], control.record[kColumnName]);
    EXPECT_EQ(read[entries.size() - 1].record[6].size(),
              kCellTextLimit);  // cut at the cell's limit
    EXPECT_EQ(read[entries.size() - 2].record.values, AwkwardEntry().record.values);
}

// 取得日時 is a date cell that shows its offset, the URLs are links; both
// read back as the texts they were written from. What cannot be a date or a
// link stays text.
TEST(Workbook, FetchTimesAreDatesAndUrlsAreLinksThatReadBackAsTheirTexts) {
    const TempDir dir;
    std::vector<CourseEntry> entries = DemoEntries({12}, 2);
    entries.push_back(AwkwardEntry());
    entries.push_back(FailedEntry());
    CourseEntry odd = AwkwardEntry();
    odd.fetchedAt = "2026-02-30T10:00:00+09:00";  // no such day
    odd.record[kColumnReviewUrl] = "javascript:alert(1)";
    odd.record[kColumnDetailUrl] = "https://h/" + std::string(kLinkLengthLimit, 'x');
    entries.push_back(odd);
    WriteOutput(dir.path() / "out.xlsx", OutputFormat::Xlsx, entries);
    const std::string zip = ReadFileBytes(dir.path() / "out.xlsx");

    std::vector<CourseEntry> read;
    std::string error;
    ASSERT_TRUE(ReadOutputBytes(zip, read, error)) << error;
    ASSERT_EQ(read.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(read[i].fetchedAt, entries[i].fetchedAt) << i;
        EXPECT_EQ(read[i].record.values, entries[i].record.values) << i;
    }

    std::string sheet;
    std::string styles;
    ASSERT_TRUE(xlsx::ReadZipMember(zip, "xl/worksheets/sheet1.xml", 1 << 26, sheet, error));
    ASSERT_TRUE(xlsx::ReadZipMember(zip, "xl/styles.xml", 1 << 20, styles, error));
    EXPECT_NE(styles.find("formatCode=\"yyyy-mm-dd hh:mm:ss&quot;+09:00&quot;\""),
              std::string::npos)
        << styles;
    EXPECT_NE(styles.find("formatCode=\"yyyy-mm-dd hh:mm:ss&quot;-05:30&quot;\""),
              std::string::npos);
    // Detail URLs of the four real courses, one review URL each where the
    // course has reviews; none for the odd course.
    int expectedLinks = 0;
    for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
        expectedLinks += 1 + (entries[i].record[kColumnReviewUrl].empty() ? 0 : 1);
    }
    std::size_t links = 0;
    for (std::size_t at = sheet.find("<hyperlink "); at != std::string::npos;
         at = sheet.find("<hyperlink ", at + 1)) {
        ++links;
    }
    EXPECT_EQ(links, static_cast<std::size_t>(expectedLinks));
    EXPECT_NE(sheet.find("<hyperlink ref=\"AE2\""), std::string::npos);
    EXPECT_EQ(sheet.find("<hyperlink ref=\"AE" + std::to_string(entries.size() + 1) + "\""),
              std::string::npos);
}

TEST(Workbook, LinksStopAtTheSheetsLimitAndTheRestStayText) {
    const TempDir dir;
    const fs::path target = dir.path() / "links.xlsx";
    WrittenWorkbook workbook;
    std::string error;
    const std::size_t rows = kLinksPerSheetLimit + 2;
    ASSERT_TRUE(WriteSheetWorkbook(
        target, "links", {"URL"}, rows,
        [](std::size_t row, std::vector<SheetCell>& cells) {
            cells[0].text = "https://h/" + std::to_string(row);
            cells[0].link = true;
        },
        workbook, error))
        << error;
    ASSERT_FALSE(PutWorkbookInPlace(workbook, target));
    std::string sheet;
    ASSERT_TRUE(xlsx::ReadZipMember(ReadFileBytes(target), "xl/worksheets/sheet1.xml", 1 << 28,
                                    sheet, error));
    std::size_t links = 0;
    for (std::size_t at = sheet.find("<hyperlink "); at != std::string::npos;
         at = sheet.find("<hyperlink ", at + 1)) {
        ++links;
    }
    EXPECT_EQ(links, kLinksPerSheetLimit);
    std::vector<std::vector<std::string>> cells;
    ASSERT_TRUE(xlsx::ReadSheetRows(sheet, {}, 4, cells, error)) << error;
    ASSERT_EQ(cells.size(), rows + 1);
    EXPECT_EQ(cells.back(), std::vector<std::string>{"https://h/" + std::to_string(rows - 1)});
}
