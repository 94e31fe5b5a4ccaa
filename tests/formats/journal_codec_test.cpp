// The journal codecs: the CSV's bytes as they were, each codec reading back
// what it writes, lines that stay lines.
#include <gtest/gtest.h>

#include "FormatEntries.h"
#include "JournalCodec.h"
#include "OutputColumns.h"

using namespace teebasket;
using namespace teebasket::test;

namespace {

constexpr OutputFormat kFormats[] = {OutputFormat::Csv, OutputFormat::CsvUtf8, OutputFormat::Jsonl,
                                     OutputFormat::Xlsx};

std::vector<CourseEntry> TestEntries() {
    std::vector<CourseEntry> entries = DemoEntries({0, 12, 46}, 8);
    entries.push_back(AwkwardEntry());
    entries.push_back(FailedEntry());
    entries.push_back(CourseEntry{});  // as earlier versions wrote a page that could not be read
    return entries;
}

std::string Journal(OutputFormat format, const std::vector<CourseEntry>& entries) {
    const JournalCodec& codec = JournalCodecFor(format);
    std::string bytes = codec.Preamble();
    for (const CourseEntry& entry : entries) {
        bytes += codec.Line(entry);
        bytes += codec.LineEnd();
    }
    return bytes;
}

// What survives a codec: the CSV keeps only the 31 values, and its reader
// infers 取得状況 from them.
CourseEntry AsKeptBy(OutputFormat format, CourseEntry entry) {
    if (format == OutputFormat::Csv) {
        entry.prefecture.clear();
        entry.courseId.clear();
        entry.fetchedAt.clear();
        entry.latitude.clear();
        entry.longitude.clear();
        entry.fetchStatus = InferredFetch(entry.record);
    }
    return entry;
}

void ExpectSame(const CourseEntry& actual, const CourseEntry& expected, const std::string& what) {
    EXPECT_EQ(actual.record.values, expected.record.values) << what;
    EXPECT_EQ(actual.prefecture, expected.prefecture) << what;
    EXPECT_EQ(actual.courseId, expected.courseId) << what;
    EXPECT_EQ(actual.fetchedAt, expected.fetchedAt) << what;
    EXPECT_EQ(actual.fetchStatus, expected.fetchStatus) << what;
    EXPECT_EQ(actual.latitude, expected.latitude) << what;
    EXPECT_EQ(actual.longitude, expected.longitude) << what;
}

}  // namespace

TEST(CsvJournal, IsTheOriginalCsvByteForByte) {
    const JournalCodec& codec = JournalCodecFor(OutputFormat::Csv);
    EXPECT_EQ(codec.Preamble(), CsvHeaderLine() + "\r\n");
    EXPECT_EQ(codec.LineEnd(), "\r\n");
    std::string original = CsvHeaderLine() + "\r\n";
    for (const CourseEntry& entry : TestEntries()) {
        original += CourseLine(entry.record) + "\r\n";
    }
    EXPECT_EQ(Journal(OutputFormat::Csv, TestEntries()), original);
    // The guard is the CSV's own: the apostrophe before a formula.
    const std::string line = codec.Line(AwkwardEntry());
    EXPECT_TRUE(line.starts_with("\"'=HYPERLINK(\"\"http://x/\"\"")) << line;
}

TEST(EveryJournal, ReadsBackEachCourseItWrites) {
    const std::vector<CourseEntry> entries = TestEntries();
    ASSERT_EQ(entries.front().latitude.empty(), false) << "the demo page's position";
    ASSERT_EQ(entries.back().fetchStatus, CourseFetch::Fetched);  // inferred as Failed by the CSV
    for (const OutputFormat format : kFormats) {
        const JournalCodec& codec = JournalCodecFor(format);
        for (const CourseEntry& entry : entries) {
            const std::string line = codec.Line(entry);
            EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
            CourseEntry read;
            ASSERT_TRUE(codec.Read(line, read)) << OutputFormatName(format) << ": " << line;
            ExpectSame(read, AsKeptBy(format, entry), std::string(OutputFormatName(format)));
        }
    }
}

TEST(EveryJournal, ALineBreakInAValueNeverBreaksTheLine) {
    CourseEntry entry = AwkwardEntry();
    entry.record[kColumnName] = "A\r\nB\rC\nD";
    entry.record[kColumnCarAccess] = "\r=1";
    for (const OutputFormat format : kFormats) {
        const JournalCodec& codec = JournalCodecFor(format);
        const std::string line = codec.Line(entry);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        CourseEntry read;
        ASSERT_TRUE(codec.Read(line, read)) << line;
        if (format == OutputFormat::Jsonl || format == OutputFormat::Xlsx) {
            EXPECT_EQ(read.record[kColumnName], "A\r\nB\rC\nD");  // escaped, not lost
        } else {
            EXPECT_EQ(read.record[kColumnName], "A  B C D");
        }
    }
}

TEST(Utf8CsvJournal, HasABomFortyQuotedColumnsAndNoTrailingComma) {
    const JournalCodec& codec = JournalCodecFor(OutputFormat::CsvUtf8);
    const std::string preamble = codec.Preamble();
    EXPECT_TRUE(preamble.starts_with("\xEF\xBB\xBF\"名称\",\"郵便番号\",")) << preamble;
    EXPECT_TRUE(preamble.ends_with(
        ",\"都道府県\",\"コースID\",\"取得日時\",\"ホール数（数値）\",\"距離（ヤード）\","
        "\"口コミ数（数値）\",\"取得状況\",\"緯度\",\"経度\"\r\n"))
        << preamble;
    EXPECT_EQ(codec.LineEnd(), "\r\n");
    const std::string line = codec.Line(AwkwardEntry());
    EXPECT_TRUE(line.starts_with("\"'=HYPERLINK(\"\"http://x/\"\",\"\"ゴルフ\"\")\",\"'-123\","))
        << line;
    EXPECT_NE(line.find(",\"東京都, \"\"港区\"\" _x0041_ \",\"'+81 3\",\"'@x\",\"'\tTab\","),
              std::string::npos)
        << line;
    EXPECT_NE(line.find(",\"'quoted'\",\"=\","), std::string::npos) << line;
    // Numbers are never guarded: -33.8688 stays a number for a spreadsheet.
    EXPECT_TRUE(
        line.ends_with(",\"沖縄県\",\"199999\",\"2026-12-09T13:45:02+09:00\",\"\",\"\","
                       "\"1234\",\"前回の値\",\"-33.8688\",\"-151.2093\""))
        << line;
}

TEST(JsonLinesJournal, OneObjectWithTypedValuesPerLine) {
    const JournalCodec& codec = JournalCodecFor(OutputFormat::Jsonl);
    EXPECT_EQ(codec.Preamble(), "");
    EXPECT_EQ(codec.LineEnd(), "\n");
    const std::string line = codec.Line(AwkwardEntry());
    EXPECT_TRUE(line.starts_with("{\"name\":\"=HYPERLINK(\\\"http://x/\\\",\\\"ゴルフ\\\")\","))
        << line;
    EXPECT_NE(line.find("\"par\":\"072\","), std::string::npos) << line;
    EXPECT_NE(line.find("\"rating\":4.5,\"reviews\":\"1,234件\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"closing_days\":\"'quoted'\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"holes\":null"), std::string::npos) << line;
    EXPECT_TRUE(
        line.ends_with(",\"hole_count\":null,\"distance_yards\":null,\"review_count\":1234,"
                       "\"fetch_status\":\"kept\",\"latitude\":-33.8688,"
                       "\"longitude\":-151.2093}"))
        << line;
}

TEST(JsonLinesJournal, ReadsOnlyFlatCoursesAndTheLastOfARepeatedMember) {
    const JournalCodec& codec = JournalCodecFor(OutputFormat::Jsonl);
    CourseEntry read;
    ASSERT_TRUE(codec.Read(
        R"({"name":"A","rating":4,"rating":4.5,"detail_url":"u","x":{"y":[1,{}]}})", read));
    EXPECT_EQ(read.record[kColumnName], "A");
    EXPECT_EQ(read.record[kColumnRating], "4.5");
    EXPECT_EQ(read.record[kColumnDetailUrl], "u");
    ASSERT_TRUE(codec.Read(R"({"name":"B","rating":4.5,"rating":null,"detail_url":null})", read));
    EXPECT_EQ(read.record[kColumnRating], "");
    EXPECT_EQ(read.record[kColumnDetailUrl], "");
    for (const std::string_view line :
         {R"({"name":"A"})", R"({"name":true,"detail_url":"u"})",
          R"({"name":["A"],"detail_url":"u"})", R"({"name":{"a":1},"detail_url":"u"})",
          R"([{"detail_url":"u"}])", R"("detail_url")", R"({"detail_url":"u"} {})",
          R"({"detail_url":"u")"}) {
        EXPECT_FALSE(codec.Read(line, read)) << line;
    }
}

TEST(EveryJournal, KnowsItsOwnFilesAndDropsATornLastLine) {
    const std::vector<CourseEntry> entries = DemoEntries({12}, 3);
    for (const OutputFormat format : kFormats) {
        const JournalCodec& codec = JournalCodecFor(format);
        const std::string bytes = Journal(format, entries);
        EXPECT_TRUE(codec.StartsLikeMine(bytes.substr(0, 4096)));
        for (const OutputFormat other : kFormats) {
            if (&JournalCodecFor(other) != &codec) {
                EXPECT_FALSE(codec.StartsLikeMine(Journal(other, entries)))
                    << OutputFormatName(format) << " takes a file of " << OutputFormatName(other);
            }
        }
        std::vector<CourseEntry> read;
        std::string error;
        const std::string torn = bytes + codec.Line(entries[0]).substr(0, 40);
        ASSERT_TRUE(ReadJournal(codec, torn, read, error)) << error;
        EXPECT_EQ(read.size(), entries.size());

        read.clear();
        const std::string edited = bytes + "not a course" + std::string(codec.LineEnd()) +
                                   codec.Line(entries[1]) + std::string(codec.LineEnd());
        EXPECT_FALSE(ReadJournal(codec, edited, read, error));
        EXPECT_NE(error.find("is not a course"), std::string::npos) << error;
        read.clear();
        ASSERT_TRUE(ReadJournal(codec, edited, read, error, true)) << error;
        EXPECT_EQ(read.size(), entries.size() + 1);
    }
    EXPECT_EQ(&JournalCodecFor(OutputFormat::Xlsx), &JournalCodecFor(OutputFormat::Jsonl));
}

// The CSV's guard cannot be told from a value that itself begins with ' and
// a guarded character: both CSV codecs read such a value without its '.
// Lines stay the same bytes when written again.
TEST(CsvJournals, AValueThatLooksGuardedLosesItsApostropheButKeepsItsBytes) {
    for (const OutputFormat format : {OutputFormat::Csv, OutputFormat::CsvUtf8}) {
        const JournalCodec& codec = JournalCodecFor(format);
        CourseEntry entry;
        entry.record[6] = "'=x";
        entry.record[7] = "'=";
        const std::string line = codec.Line(entry);
        CourseEntry read;
        ASSERT_TRUE(codec.Read(line, read));
        EXPECT_EQ(read.record[6], "=x");
        EXPECT_EQ(read.record[7], "'=");
        EXPECT_EQ(codec.Line(read), line);
    }
}
