// The table of results without a window: reading any format, typed sort,
// the filters and the search, the change marks, saving rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FormatEntries.h"
#include "MECSUtils.h"
#include "ResultsTable.h"
#include "TestSupport.h"

namespace teebasket::results {
namespace {

namespace fs = std::filesystem;

CourseEntry Course(int number, std::string_view name, std::string_view rating,
                   std::string_view prefecture = "千葉県") {
    CourseEntry entry;
    entry.record[kColumnName] = UTF8ToAnsi(std::string(name));
    entry.record[kColumnAddress] =
        UTF8ToAnsi(std::string(prefecture) + "某市" + std::to_string(number));
    entry.record[kColumnRating] = std::string(rating);
    entry.record[kColumnReviewCount] = UTF8ToAnsi(std::to_string(number * 7) + "件");
    entry.record[kColumnDetailUrl] =
        "https://127.0.0.1:48443/guide/disp/c_id/" + std::to_string(100 + number);
    entry.prefecture = std::string(prefecture);
    entry.courseId = std::to_string(100 + number);
    entry.fetchedAt = "2026-12-09T13:45:0" + std::to_string(number % 10) + "+09:00";
    return entry;
}

std::vector<std::string> Column(const ResultsTable& table, int column) {
    std::vector<std::string> values;
    for (const std::uint32_t record : table.rows()) {
        values.emplace_back(table.Text(record, column));
    }
    return values;
}

class ResultsTableTest : public ::testing::Test {
  protected:
    fs::path Write(std::string_view name, OutputFormat format,
                   const std::vector<CourseEntry>& entries) {
        const fs::path path = folder_.path() / name;
        test::WriteOutput(path, format, entries);
        return path;
    }

    test::TempDir folder_;
};

TEST_F(ResultsTableTest, EveryFormatReadsAndSortsOnTypedValues) {
    std::vector<CourseEntry> entries = {Course(1, "Ａゴルフ", "4.5"), Course(2, "Ｂゴルフ", "10"),
                                        Course(3, "Ｃゴルフ", ""), Course(4, "Ｄゴルフ", "9.8"),
                                        Course(5, "Ｅゴルフ", "4.5")};
    entries[3].fetchedAt = "2026-12-09T05:00:00+00:00";  // 14:00 in Japan: the latest
    for (const OutputFormat format :
         {OutputFormat::Csv, OutputFormat::CsvUtf8, OutputFormat::Jsonl, OutputFormat::Xlsx}) {
        SCOPED_TRACE(std::string(OutputFormatName(format)));
        ResultsTable table;
        std::string error;
        ASSERT_TRUE(table.Open(
            Write("run" + std::string(OutputFormatExtension(format)), format, entries), error))
            << error;
        EXPECT_EQ(table.format(), format);
        ASSERT_EQ(table.rows().size(), 5u);

        table.SortBy(kColumnRating, false);
        // Numbers, not texts ("10" after "9.8"); equal values keep their order;
        // no rating last.
        EXPECT_EQ(Column(table, kColumnRating),
                  (std::vector<std::string>{"4.5", "4.5", "9.8", "10", ""}));
        EXPECT_EQ(Column(table, kColumnName)[1], "Ｅゴルフ");
        table.SortBy(kColumnRating, true);
        EXPECT_EQ(Column(table, kColumnRating),
                  (std::vector<std::string>{"10", "9.8", "4.5", "4.5", ""}));

        table.SortBy(kColumnReviewCount, true);  // "35件" before "7件"
        EXPECT_EQ(Column(table, kColumnReviewCount).front(), "35件");
        if (format != OutputFormat::Csv) {  // the original CSV has no 取得日時
            table.SortBy(kColumnFetchedAt, true);
            EXPECT_EQ(Column(table, kColumnName).front(), "Ｄゴルフ");
        }
    }
}

TEST_F(ResultsTableTest, FiltersAndSearchNarrowTheRows) {
    std::vector<CourseEntry> entries = {Course(1, "Green Hills ゴルフ", "4.5", "千葉県"),
                                        Course(2, "ＧＲＥＥＮ　ＶＡＬＬＥＹ", "3.1", "千葉県"),
                                        Course(3, "山の倶楽部", "", "栃木県"),
                                        Course(4, "海の倶楽部", "2.0", "栃木県"),
                                        test::FailedEntry()};
    entries[3].record[kColumnState] = UTF8ToAnsi("閉鎖");
    ResultsTable table;
    std::string error;
    ASSERT_TRUE(table.Open(Write("run.jsonl", OutputFormat::Jsonl, entries), error)) << error;
    EXPECT_EQ(table.DistinctValues(kColumnPrefecture),
              (std::vector<std::string>{"千葉県", "栃木県", "沖縄県"}));

    ResultsFilter filter;
    filter.search = "green ";  // matches full-width upper case and the ideographic space
    table.SetFilter(filter);
    EXPECT_EQ(table.rows().size(), 2u);
    filter.search = "栃木県某市4";  // the address
    table.SetFilter(filter);
    EXPECT_EQ(Column(table, kColumnName), (std::vector<std::string>{"海の倶楽部"}));

    filter = {};
    filter.prefecture = "栃木県";
    table.SetFilter(filter);
    EXPECT_EQ(table.rows().size(), 2u);
    filter.state = "閉鎖";
    table.SetFilter(filter);
    EXPECT_EQ(Column(table, kColumnName), (std::vector<std::string>{"海の倶楽部"}));

    filter = {};
    filter.ratingMin = 3.0;  // a course without a rating falls outside a range
    table.SetFilter(filter);
    EXPECT_EQ(Column(table, kColumnRating), (std::vector<std::string>{"4.5", "3.1"}));
    filter.ratingMin.reset();
    filter.ratingMax = 3.1;
    table.SetFilter(filter);
    EXPECT_EQ(Column(table, kColumnRating), (std::vector<std::string>{"3.1", "2.0"}));

    filter = {};
    filter.fetch = CourseFetch::Failed;
    table.SetFilter(filter);
    EXPECT_EQ(Column(table, kColumnName), (std::vector<std::string>{"失敗カントリー倶楽部"}));
}

TEST_F(ResultsTableTest, ChangesAreMarkedAndReorderingOrFailedPagesAreNot) {
    const std::vector<CourseEntry> before = {Course(1, "一", "4.0"), Course(2, "二", "4.0"),
                                             Course(3, "三", "4.0"), Course(4, "四", "4.0"),
                                             Course(5, "五", "4.0")};
    std::vector<CourseEntry> after = {Course(5, "五", "4.0"), Course(4, "四", "3.5"),
                                      Course(3, "三", "4.0"), Course(1, "一", "4.0"),
                                      Course(6, "六", "4.2")};
    after[2].record[kColumnState] = UTF8ToAnsi("閉鎖");
    // 五's page could not be read this time: its values are gone, which is no news.
    after[0].record = CourseRecord();
    after[0].record[kColumnName] = UTF8ToAnsi("五");
    after[0].record[kColumnState].clear();
    after[0].record[kColumnDetailUrl] = before[4].record[kColumnDetailUrl];
    after[0].fetchStatus = CourseFetch::Failed;

    ResultsTable table;
    std::string error;
    ASSERT_TRUE(table.Open(Write("after.xlsx", OutputFormat::Xlsx, after), error)) << error;
    ASSERT_TRUE(table.CompareWith(Write("before.csv", OutputFormat::CsvUtf8, before), error))
        << error;
    EXPECT_EQ(SummaryLine(table.summary()), "新規 1・掲載終了 1・閉鎖 1・評価変動 1・取得できず 1");
    ASSERT_EQ(table.RecordCount(), 6u);
    EXPECT_EQ(table.Mark(0), ChangeMark::None);  // failed
    EXPECT_EQ(table.Mark(1), ChangeMark::Changed);
    EXPECT_EQ(table.EarlierValue(1, kColumnRating), "4.0");
    EXPECT_FALSE(table.EarlierValue(1, kColumnName));
    EXPECT_EQ(table.Mark(2), ChangeMark::Closed);
    EXPECT_EQ(table.EarlierValue(2, kColumnState), "運営中");
    EXPECT_EQ(table.Mark(3), ChangeMark::None);  // only moved
    EXPECT_EQ(table.Mark(4), ChangeMark::New);
    EXPECT_EQ(table.Mark(5), ChangeMark::Gone);  // shown from the earlier run
    EXPECT_EQ(table.Text(5, kColumnName), "二");

    ResultsFilter changes;
    changes.changesOnly = true;
    table.SetFilter(changes);
    EXPECT_EQ(Column(table, kColumnName), (std::vector<std::string>{"四", "三", "六", "二"}));

    // Another comparison replaces the marks, and the gone rows go with them.
    ASSERT_TRUE(table.CompareWith(Write("same.jsonl", OutputFormat::Jsonl, after), error));
    EXPECT_EQ(SummaryLine(table.summary()), "新規 0・掲載終了 0・閉鎖 0・評価変動 0・取得できず 1");
    EXPECT_TRUE(table.rows().empty());
    EXPECT_EQ(table.RecordCount(), 5u);

    // An earlier file that cannot be read leaves no marks and says why.
    EXPECT_FALSE(table.CompareWith(folder_.path() / "missing.csv", error));
    EXPECT_NE(error.find("missing.csv"), std::string::npos);
    EXPECT_FALSE(table.compared());
}

TEST_F(ResultsTableTest, RowsSaveInEveryFormatAndABadFileKeepsTheTable) {
    const std::vector<CourseEntry> entries = {Course(1, "一", "4.1"), test::AwkwardEntry(),
                                              Course(3, "三", "")};
    ResultsTable table;
    std::string error;
    ASSERT_TRUE(table.Open(Write("run.jsonl", OutputFormat::Jsonl, entries), error)) << error;
    for (const OutputFormat format :
         {OutputFormat::Csv, OutputFormat::CsvUtf8, OutputFormat::Jsonl, OutputFormat::Xlsx}) {
        SCOPED_TRACE(std::string(OutputFormatName(format)));
        const fs::path saved =
            folder_.path() / ("saved" + std::string(OutputFormatExtension(format)));
        ASSERT_TRUE(SaveRecords(table, {2, 1}, saved, format, error)) << error;
        ResultsTable again;
        ASSERT_TRUE(again.Open(saved, error)) << error;
        ASSERT_EQ(again.RecordCount(), 2u);
        const int columns = format == OutputFormat::Csv ? kColumnCount : kOutputColumnCount;
        for (int column = 0; column < columns; ++column) {
            if (column == kColumnFetchStatus || column == kColumnLatitude ||
                column == kColumnLongitude) {
                continue;  // what the original CSV cannot hold is inferred or left out
            }
            EXPECT_EQ(again.Text(0, column), table.Text(2, column)) << column;
            EXPECT_EQ(again.Text(1, column), table.Text(1, column)) << column;
        }
    }

    test::WriteFileBytes(folder_.path() / "broken.jsonl", "{\"name\":\n");
    EXPECT_FALSE(table.Open(folder_.path() / "broken.jsonl", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(table.RecordCount(), 3u);
}

}  // namespace
}  // namespace teebasket::results
