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
    fs::remove_all(workbook.folder);
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
