// What --resume reads from an earlier file, which lines it keeps, how the
// finished file is put together, and how the files end after a run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "MECSUtils.h"
#include "OutputFiles.h"
#include "ResumeFile.h"
#include "TestSupport.h"

namespace teebasket::cli {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;
using Lines = std::vector<std::string>;

PortalSettings Portal() {
    PortalSettings portal;
    portal.listingHost = "list.example";
    portal.bookingHost = "book.example";
    return portal;
}

// The line of course `id`: with a name when its page was read, of defaults
// when it was not.
std::string Line(const std::string& id, const std::string& name = "") {
    CourseRecord record;
    record[kColumnName] = UTF8ToAnsi(name);
    record[kColumnDetailUrl] = DetailUrl(Portal(), id);
    return CourseLine(record);
}

std::string Utf8(const std::string& ansi) {
    return UTF16ToAnsi(AnsiToUTF16(ansi, kCodePageJapanese), kCodePageUtf8);
}

std::string File(const Lines& courseLines, const std::string& tail = "") {
    std::string bytes = CsvHeaderLine() + "\r\n";
    for (const std::string& line : courseLines) {
        bytes += line + "\r\n";
    }
    return bytes + tail;
}

EarlierFile Read(const std::string& bytes) {
    TempDir dir;
    WriteFileBytes(dir.path() / "earlier.csv", bytes);
    EarlierFile file;
    EXPECT_EQ(ReadEarlierFile(dir.path() / "earlier.csv", file), "");
    return file;
}

std::string Problem(const std::string& bytes) {
    TempDir dir;
    WriteFileBytes(dir.path() / "earlier.csv", bytes);
    EarlierFile file;
    return ReadEarlierFile(dir.path() / "earlier.csv", file);
}

// ---------------------------------------------------------------------------
// Reading the earlier file

TEST(ReadEarlierFile, RefusesAFileWithoutTheProgramsHeaderLine) {
    const std::string header = CsvHeaderLine();
    EXPECT_NE(Problem("").find("has no header line"), std::string::npos);
    EXPECT_NE(Problem(header).find("has no header line"), std::string::npos);  // torn header
    EXPECT_NE(Problem(header + "\n" + Line("1", "a") + "\n").find("has no header line"),
              std::string::npos);
    for (const std::string& other : {
             "\xEF\xBB\xBF" + header + "\r\n",              // a byte-order mark before it
             header + ",\r\n",                              // one byte more
             "name,address\r\n" + Line("1", "a") + "\r\n",  // another program's file
             Utf8(header) + "\r\n",                         // saved again as UTF-8
         }) {
        EXPECT_NE(Problem(other).find("is not the header line"), std::string::npos) << other;
    }
    TempDir dir;
    EarlierFile file;
    EXPECT_NE(ReadEarlierFile(dir.path() / "missing.csv", file).find("cannot be read"),
              std::string::npos);
    EXPECT_NE(ReadEarlierFile(dir.path(), file).find("is a folder"), std::string::npos);
}

TEST(ReadEarlierFile, KeepsReadableLinesAndCountsTornOnes) {
    const std::string torn = Line("3", "三").substr(0, 40);
    const EarlierFile file =
        Read(File({Line("1", "一"), torn, Line("2")}, Line("4", "四").substr(0, 55)));
    ASSERT_EQ(file.lines.size(), 2u);
    EXPECT_EQ(file.lines[0].bytes, Line("1", "一"));
    EXPECT_EQ(file.lines[0].detailUrl, "https://book.example/guide/disp/c_id/1");
    EXPECT_TRUE(file.lines[0].holdsPageFacts);
    EXPECT_EQ(file.lines[1].detailUrl, "https://book.example/guide/disp/c_id/2");
    EXPECT_FALSE(file.lines[1].holdsPageFacts);  // a row of defaults
    EXPECT_EQ(file.unreadableLines, 2);
    EXPECT_FALSE(file.endsWithLineEnd);

    // A line whole but for its CR LF is torn too.
    const EarlierFile lastLine = Read(File({}, Line("1", "一")));
    EXPECT_TRUE(lastLine.lines.empty());
    EXPECT_FALSE(lastLine.endsWithLineEnd);
}

TEST(HoldsPageFacts, AnyValueButTheOperatingStateAndTheUrls) {
    CourseRecord record;
    record[kColumnReviewUrl] = "https://book.example/voice/detail/c_id/1";
    record[kColumnDetailUrl] = "https://book.example/guide/disp/c_id/1";
    record[kColumnState] = UTF8ToAnsi("閉鎖");
    EXPECT_FALSE(HoldsPageFacts(record));
    for (const int column : {0, 4, 25, 27, 28}) {
        CourseRecord withValue = record;
        withValue[column] = "x";
        EXPECT_TRUE(HoldsPageFacts(withValue)) << column;
    }
}

TEST(NamesCoursesOn, ComparesTheWholeHostAndPort) {
    const EarlierFile file = Read(File({Line("1", "一")}));
    EXPECT_TRUE(NamesCoursesOn(file, "book.example"));
    EXPECT_FALSE(NamesCoursesOn(file, "book.example:8443"));
    EXPECT_FALSE(NamesCoursesOn(file, "book.ex"));
    EXPECT_FALSE(NamesCoursesOn(Read(File({})), "book.example"));
}

// ---------------------------------------------------------------------------
// The plan of a resumed run

TEST(ResumePlan, KeepsOnlyListedCoursesWhosePageWasRead) {
    ResumePlan plan(Read(File({Line("1", "一"), Line("2"), Line("3", "三")})), Portal());
    EXPECT_TRUE(plan.EarlierHadCourses());
    EXPECT_FALSE(plan.EarlierNamesThisRun());
    EXPECT_FALSE(plan.Keep("9"));
    EXPECT_FALSE(plan.EarlierNamesThisRun());
    EXPECT_FALSE(plan.Keep("2"));  // its row of defaults: read again
    EXPECT_TRUE(plan.EarlierNamesThisRun());
    EXPECT_TRUE(plan.Keep("3"));
    EXPECT_TRUE(plan.Keep("1"));
}

TEST(ResumePlan, TheFinishedFileFollowsTheListing) {
    const EarlierFile earlier = Read(File({Line("1", "一"), Line("2"), Line("3", "三")}));
    ResumePlan plan(earlier, Portal());
    for (const char* id : {"3", "2", "4", "1", "3"}) {  // 3 is listed twice
        plan.Keep(id);
    }
    // The journal: the earlier lines, then what the run wrote: course 2 read
    // this time, course 4 a row of defaults.
    const EarlierFile journal =
        Read(File({Line("1", "一"), Line("2"), Line("3", "三"), Line("2", "二"), Line("4")}));
    EXPECT_EQ(
        plan.FinishedLines(journal, false),
        (Lines{Line("3", "三"), Line("2", "二"), Line("4"), Line("1", "一"), Line("3", "三")}));
}

TEST(ResumePlan, UnlistedCoursesAreDroppedOnlyWhenEveryListingWasRead) {
    const EarlierFile earlier = Read(File({Line("1", "一"), Line("7", "七"), Line("8")}));
    ResumePlan plan(earlier, Portal());
    plan.Keep("1");
    plan.Keep("5");  // stopped while its page was read: no line
    EXPECT_EQ(plan.FinishedLines(earlier, false), (Lines{Line("1", "一")}));
    EXPECT_EQ(plan.FinishedLines(earlier, true),
              (Lines{Line("1", "一"), Line("7", "七"), Line("8")}));
}

TEST(ResumePlan, ALineWithPageFactsOutranksALaterRowOfDefaults) {
    const EarlierFile journal = Read(File({Line("1", "一"), Line("1"), Line("2"), Line("2")}));
    ResumePlan plan(Read(File({})), Portal());
    plan.Keep("1");
    plan.Keep("2");
    EXPECT_EQ(plan.FinishedLines(journal, false), (Lines{Line("1", "一"), Line("2")}));
}

// ---------------------------------------------------------------------------
// How the files end

TEST(ChooseEnding, EachOutcomeLeavesTheFilesItShould) {
    RunFacts fresh;
    fresh.everyListingRead = true;
    EXPECT_EQ(ChooseEnding(fresh), FileEnding::LeaveAsBefore);  // nothing found, unreachable
    RunFacts rows = fresh;
    rows.rowsWritten = 3;
    EXPECT_EQ(ChooseEnding(rows), FileEnding::ReplaceOutput);  // done, or stopped with rows
    RunFacts failed = rows;
    failed.failed = true;
    EXPECT_EQ(ChooseEnding(failed), FileEnding::KeepPartial);
    failed.rowsWritten = 0;
    EXPECT_EQ(ChooseEnding(failed), FileEnding::LeaveAsBefore);

    RunFacts resumed = fresh;
    resumed.resumed = true;
    resumed.earlierHadCourses = true;
    resumed.earlierNamesThisRun = true;
    resumed.coursesKept = 5;
    EXPECT_EQ(ChooseEnding(resumed), FileEnding::ComposeOutput);
    resumed.failed = true;
    EXPECT_EQ(ChooseEnding(resumed), FileEnding::KeepPartial);
    resumed.failed = false;
    resumed.coursesKept = 0;
    resumed.earlierNamesThisRun = false;
    resumed.rowsWritten = 4;
    EXPECT_EQ(ChooseEnding(resumed), FileEnding::AnotherSelection);
    resumed.everyListingRead = false;  // stopped, or a listing page not read
    EXPECT_EQ(ChooseEnding(resumed), FileEnding::SelectionUndecided);
    resumed.earlierHadCourses = false;  // a header line and nothing else
    EXPECT_EQ(ChooseEnding(resumed), FileEnding::ComposeOutput);
}

class OutputFilesTest : public ::testing::Test {
  protected:
    fs::path Output() const { return dir_.path() / "list.csv"; }
    TempDir dir_;
};

TEST_F(OutputFilesTest, AResumedRunFromTheOutputAddsToACopyOfItsReadableLines) {
    const std::string earlierBytes = File({Line("1", "一"), "torn", Line("2")});
    WriteFileBytes(Output(), earlierBytes);
    OutputFiles files(Output());
    ASSERT_EQ(files.PrepareToAdd(Read(earlierBytes), false), "");
    EXPECT_EQ(ReadFileBytes(files.Partial()), File({Line("1", "一"), Line("2")}));
    files.LeaveAsBefore();
    EXPECT_FALSE(fs::exists(files.Partial()));
    EXPECT_EQ(ReadFileBytes(Output()), earlierBytes);
}

TEST_F(OutputFilesTest, AResumedRunFromAPartialFileLeavesItByteForByte) {
    const std::string earlierBytes = File({Line("1", "一")}, "\"torn");
    OutputFiles files(Output());
    WriteFileBytes(files.Partial(), earlierBytes);
    ASSERT_EQ(files.PrepareToAdd(Read(earlierBytes), true), "");
    // The torn line is ended, so that the run's lines start on their own.
    EXPECT_EQ(ReadFileBytes(files.Partial()), earlierBytes + "\r\n");
    WriteFileBytes(files.Partial(), earlierBytes + "\r\n" + Line("2", "二") + "\r\n");
    files.LeaveAsBefore();
    EXPECT_EQ(ReadFileBytes(files.Partial()), earlierBytes);
}

TEST_F(OutputFilesTest, TheFinishedFileReplacesTheOutputAndThePartialGoes) {
    WriteFileBytes(Output(), "old");
    fs::permissions(Output(), fs::perms::owner_read | fs::perms::owner_write);
    OutputFiles files(Output());
    WriteFileBytes(files.Partial(), "journal");
    ASSERT_EQ(files.ComposeOutput({Line("1", "一")}), "");
    EXPECT_EQ(ReadFileBytes(Output()), File({Line("1", "一")}));
    EXPECT_FALSE(fs::exists(files.Partial()));
    EXPECT_FALSE(fs::exists(files.Composed()));
#ifndef _WIN32  // Windows keeps no permission bits but read-only
    // The replaced file keeps the permissions of the one it replaces.
    EXPECT_EQ(fs::status(Output()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
#endif
}

TEST_F(OutputFilesTest, ThePartialFileReplacesAnOutputThatIsThere) {
    WriteFileBytes(Output(), "an older and longer file");
    const OutputFiles files(Output());
    WriteFileBytes(files.Partial(), File({Line("1", "一")}));
    ASSERT_EQ(files.ReplaceOutput(), "");
    EXPECT_EQ(ReadFileBytes(Output()), File({Line("1", "一")}));
    EXPECT_FALSE(fs::exists(files.Partial()));
}

TEST_F(OutputFilesTest, AJapaneseFolderNameWorks) {
    const fs::path output = dir_.path() / fs::path(u8"ゴルフ場") / fs::path(u8"一覧.csv");
    fs::create_directories(output.parent_path());
    WriteFileBytes(output, "old");
    const OutputFiles files(output);
    EXPECT_EQ(files.Partial().filename(), fs::path(u8"一覧.csv.partial"));
    WriteFileBytes(files.Partial(), File({Line("1", "一")}));
    ASSERT_EQ(files.ReplaceOutput(), "");
    EXPECT_EQ(ReadFileBytes(output), File({Line("1", "一")}));
}

TEST_F(OutputFilesTest, AnOutputThatIsALinkStaysALink) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege Windows users seldom have";
#endif
    const fs::path target = dir_.path() / "shared" / "list.csv";
    fs::create_directories(target.parent_path());
    WriteFileBytes(target, "old");
    fs::create_symlink(target, Output());
    const OutputFiles files(Output());
    WriteFileBytes(files.Partial(), File({Line("1", "一")}));
    ASSERT_EQ(files.ReplaceOutput(), "");
    EXPECT_TRUE(fs::is_symlink(Output()));
    EXPECT_EQ(ReadFileBytes(target), File({Line("1", "一")}));
}

TEST_F(OutputFilesTest, AFailedReplaceKeepsThePartialFile) {
    fs::create_directories(Output() / "in-the-way");  // a folder cannot be replaced by a file
    const OutputFiles files(Output());
    WriteFileBytes(files.Partial(), File({Line("1", "一")}));
    EXPECT_NE(files.ReplaceOutput(), "");
    EXPECT_EQ(ReadFileBytes(files.Partial()), File({Line("1", "一")}));
    EXPECT_NE(files.ComposeOutput({Line("1", "一")}), "");
    EXPECT_TRUE(fs::exists(files.Partial()));
    EXPECT_FALSE(fs::exists(files.Composed()));
}

}  // namespace
}  // namespace teebasket::cli
