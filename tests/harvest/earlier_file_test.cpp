// What --resume reads from an earlier file, which lines it keeps, how the
// finished file is put together, and how the files end after a run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "JournalCodec.h"
#include "MECSUtils.h"
#include "TestSupport.h"
#include "Unithread.h"

namespace teebasket {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;
using Lines = std::vector<std::string>;

const JournalCodec& Csv() {
    return JournalCodecFor(OutputFormat::Csv);
}

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
    EXPECT_FALSE(ReadEarlierFile(dir.path() / "earlier.csv", file, LinkRule::NoFollow, Csv()));
    return file;
}

RunFailureKind Problem(const std::string& bytes) {
    TempDir dir;
    WriteFileBytes(dir.path() / "earlier.csv", bytes);
    EarlierFile file;
    return ReadEarlierFile(dir.path() / "earlier.csv", file, LinkRule::NoFollow, Csv()).kind;
}

// ---------------------------------------------------------------------------
// Reading the earlier file

TEST(ReadEarlierFile, RefusesAFileWithoutTheProgramsHeaderLine) {
    const std::string header = CsvHeaderLine();
    EXPECT_EQ(Problem(""), RunFailureKind::EarlierFileForeign);
    EXPECT_EQ(Problem(header), RunFailureKind::EarlierFileForeign);  // torn header
    EXPECT_EQ(Problem(header + "\n" + Line("1", "a") + "\n"), RunFailureKind::EarlierFileForeign);
    for (const std::string& other : {
             "\xEF\xBB\xBF" + header + "\r\n",              // a byte-order mark before it
             header + ",\r\n",                              // one byte more
             "name,address\r\n" + Line("1", "a") + "\r\n",  // another program's file
             Utf8(header) + "\r\n",                         // saved again as UTF-8
         }) {
        EXPECT_EQ(Problem(other), RunFailureKind::EarlierFileForeign) << other;
    }
    TempDir dir;
    EarlierFile file;
    EXPECT_EQ(ReadEarlierFile(dir.path() / "missing.csv", file, LinkRule::Follow, Csv()).kind,
              RunFailureKind::EarlierFileUnreadable);
    EXPECT_EQ(ReadEarlierFile(dir.path(), file, LinkRule::Follow, Csv()).kind,
              RunFailureKind::NotARegularFile);
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
    // A page that could not be read: the card's name, no operating state.
    CourseRecord failed = record;
    failed[kColumnName] = "x";
    failed[kColumnState].clear();
    EXPECT_FALSE(HoldsPageFacts(failed));
}

// The address of the course pages on `bookingHost`, without a course.
std::string CoursePagesOn(const std::string& bookingHost) {
    PortalSettings portal;
    portal.bookingHost = bookingHost;
    return DetailUrl(portal, "");
}

TEST(NamesCoursesOn, ComparesTheWholeHostAndPort) {
    const EarlierFile file = Read(File({Line("1", "一")}));
    EXPECT_TRUE(NamesCoursesOn(file, CoursePagesOn("book.example")));
    EXPECT_FALSE(NamesCoursesOn(file, CoursePagesOn("book.example:8443")));
    EXPECT_FALSE(NamesCoursesOn(file, CoursePagesOn("book.ex")));
    EXPECT_FALSE(NamesCoursesOn(Read(File({})), CoursePagesOn("book.example")));
}

// The detail-page address of course `id`, as the crawl asks the plan about it.
std::string Page(const std::string& id) {
    return DetailUrl(Portal(), id);
}

// ---------------------------------------------------------------------------
// The plan of a resumed run

TEST(ResumePlan, KeepsOnlyListedCoursesWhosePageWasRead) {
    ResumePlan plan(Read(File({Line("1", "一"), Line("2"), Line("3", "三")})));
    EXPECT_FALSE(plan.Keep(Page("9")));
    EXPECT_FALSE(plan.Keep(Page("2")));  // its row of defaults: read again
    EXPECT_TRUE(plan.Keep(Page("3")));
    EXPECT_TRUE(plan.Keep(Page("1")));
}

TEST(ResumePlan, TheFinishedFileFollowsTheListing) {
    const EarlierFile earlier = Read(File({Line("1", "一"), Line("2"), Line("3", "三")}));
    ResumePlan plan(earlier);
    for (const char* id : {"3", "2", "4", "1", "3"}) {  // 3 is listed twice
        plan.Keep(Page(id));
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
    ResumePlan plan(earlier);
    plan.Keep(Page("1"));
    plan.Keep(Page("5"));  // stopped while its page was read: no line
    EXPECT_EQ(plan.FinishedLines(earlier, false), (Lines{Line("1", "一")}));
    EXPECT_EQ(plan.FinishedLines(earlier, true),
              (Lines{Line("1", "一"), Line("7", "七"), Line("8")}));
}

TEST(ResumePlan, ALineWithPageFactsOutranksALaterRowOfDefaults) {
    const EarlierFile journal = Read(File({Line("1", "一"), Line("1"), Line("2"), Line("2")}));
    ResumePlan plan(Read(File({})));
    plan.Keep(Page("1"));
    plan.Keep(Page("2"));
    EXPECT_EQ(plan.FinishedLines(journal, false), (Lines{Line("1", "一"), Line("2")}));
}

// A line of course `id` with its worth spelled out: `bytes` stands for it.
EarlierLine Row(const std::string& id, const std::string& bytes, bool holdsPageFacts,
                bool kept = false) {
    return EarlierLine{bytes, DetailUrl(Portal(), id), holdsPageFacts, kept};
}

TEST(ResumePlan, ARowTakenAgainFromAnEarlierFileIsAskedForAgainButOutranksARowOfNothing) {
    EarlierFile earlier;
    earlier.lines = {Row("1", "1 read", true), Row("2", "2 kept", true, true),
                     Row("3", "3 failed", false)};
    EXPECT_EQ(KeepableLines(earlier), 1);
    ResumePlan plan(earlier);
    EXPECT_TRUE(plan.Keep(Page("1")));
    EXPECT_FALSE(plan.Keep(Page("2")));
    EXPECT_FALSE(plan.Keep(Page("3")));
    EXPECT_FALSE(plan.Keep(Page("4")));
    // Course 2 failed again and was kept again; 3 failed again; 4 was read,
    // and a later run in the same journal could only keep that row.
    EarlierFile journal = earlier;
    journal.lines.insert(
        journal.lines.end(),
        {Row("2", "2 kept again", true, true), Row("3", "3 failed again", false),
         Row("4", "4 read", true), Row("4", "4 kept", true, true), Row("4", "4 failed", false)});
    EXPECT_EQ(plan.FinishedLines(journal, false),
              (Lines{"1 read", "2 kept again", "3 failed again", "4 read"}));
}

// ---------------------------------------------------------------------------
// Lines edited by hand

TEST(ReadEarlierFile, AKeptLineGetsTheCellGuardAndALineWithANulIsReadAgain) {
    CourseRecord edited;
    edited[kColumnName] = "=HYPERLINK(\"https://evil.example\")";
    edited[kColumnDetailUrl] = DetailUrl(Portal(), "1");
    // The line as a hand edit leaves it: the formula without its guard.
    std::string raw = "\"=HYPERLINK(\"\"https://evil.example\"\")\",";
    for (int column = 1; column < kColumnCount; ++column) {
        raw += "\"" + edited[column] + "\",";
    }
    std::string withNul = Line("2", "二");
    withNul.insert(5, 1, '\0');
    const EarlierFile file = Read(File({raw, withNul}));
    ASSERT_EQ(file.lines.size(), 1u);
    EXPECT_EQ(file.lines[0].bytes, CourseLine(edited));
    EXPECT_EQ(file.lines[0].bytes.rfind("\"'=HYPERLINK(", 0), 0u) << file.lines[0].bytes;
    EXPECT_EQ(file.unreadableLines, 1);
}

}  // namespace
}  // namespace teebasket
