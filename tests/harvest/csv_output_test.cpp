#include <gtest/gtest.h>

#include "rules_test_support.h"

using namespace teebasket;
using namespace teebasket::test;

TEST(CsvLines, HeaderHasThirtyOneQuotedNamesWithoutATrailingComma) {
    const std::string header = CsvHeaderLine();
    EXPECT_EQ(header.size(), 351u);
    EXPECT_EQ(U(header.substr(0, 7)), "\"名称\",");
    EXPECT_EQ(U(header.substr(header.size() - 16)), ",\"詳細ページURL\"");
}

TEST(CsvLines, AnEmptyRecordKeepsTheOperatingStateAndQuotesEveryValue) {
    CourseRecord record;
    record[kColumnDetailUrl] = "https://b/guide/disp/c_id/1";
    std::string expected;
    for (int column = 0; column < 26; ++column) {
        expected += "\"\",";
    }
    expected += "\"" + A("運営中") + "\",\"\",\"\",\"\",\"https://b/guide/disp/c_id/1\",";
    EXPECT_EQ(CourseLine(record), expected);
}

TEST(CsvLines, DoublesQuotesAndKeepsPercentSigns) {
    CourseRecord record;
    record[kColumnName] = A("\"ゴルフ\" 100%");
    const std::string line = CourseLine(record);
    EXPECT_EQ(line.substr(0, 18), "\"\"\"" + A("ゴルフ") + "\"\" 100%\",");
}
