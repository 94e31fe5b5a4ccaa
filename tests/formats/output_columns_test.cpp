// The format names, the typed columns and the time stamp.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>

#include "FormatEntries.h"
#include "OutputColumns.h"

using namespace teebasket;
using namespace teebasket::test;

TEST(OutputFormatNames, NamesAndExtensionsChooseTheFormat) {
    EXPECT_EQ(ParseOutputFormat("csv"), OutputFormat::Csv);
    EXPECT_EQ(ParseOutputFormat("CSV-UTF8"), OutputFormat::CsvUtf8);
    EXPECT_EQ(ParseOutputFormat("jsonl"), OutputFormat::Jsonl);
    EXPECT_EQ(ParseOutputFormat("xlsx"), OutputFormat::Xlsx);
    EXPECT_EQ(ParseOutputFormat("json"), std::nullopt);
    EXPECT_EQ(ParseOutputFormat(""), std::nullopt);
    EXPECT_EQ(OutputFormatOfPath("a/全国.XLSX"), OutputFormat::Xlsx);
    EXPECT_EQ(OutputFormatOfPath("runs.jsonl"), OutputFormat::Jsonl);
    EXPECT_EQ(OutputFormatOfPath("list.csv"), std::nullopt);
    EXPECT_EQ(OutputFormatOfPath("xlsx"), std::nullopt);
    for (const OutputFormat format :
         {OutputFormat::Csv, OutputFormat::CsvUtf8, OutputFormat::Jsonl, OutputFormat::Xlsx}) {
        EXPECT_EQ(ParseOutputFormat(OutputFormatName(format)), format);
    }
    EXPECT_EQ(OutputFormatExtension(OutputFormat::CsvUtf8), ".csv");
    EXPECT_EQ(OutputFormatExtension(OutputFormat::Xlsx), ".xlsx");
}

TEST(OutputNumbers, TheOneNumberOfATextCounts) {
    EXPECT_EQ(OnlyNumber("27ホール"), 27);
    EXPECT_EQ(OnlyNumber("7,012ヤード"), 7012);
    EXPECT_EQ(OnlyNumber("52件"), 52);
    EXPECT_EQ(OnlyNumber("１８ホール"), 18);
    EXPECT_EQ(OnlyNumber("1,234,567件"), 1234567);
    EXPECT_EQ(OnlyNumber("約6,500.5ヤード"), 6500.5);
    EXPECT_EQ(OnlyNumber(""), std::nullopt);
    EXPECT_EQ(OnlyNumber("ホール"), std::nullopt);
    EXPECT_EQ(OnlyNumber("18ホール（9H×2）"), std::nullopt);  // two numbers
    EXPECT_EQ(OnlyNumber("1234,56"), std::nullopt);           // not a thousands group
}

TEST(OutputNumbers, AWholeValueIsANumberOnlyInItsOwnForm) {
    EXPECT_EQ(WholeNumber("72"), 72);
    EXPECT_EQ(WholeNumber("4.3"), 4.3);
    EXPECT_EQ(WholeNumber(" 3.5 "), 3.5);
    EXPECT_EQ(WholeNumber("-2"), -2);
    for (const char* text :
         {"", "072", "4.30", "+1", "1e3", "72ホール", "inf", "nan", "0x10", "1234567890123456"}) {
        EXPECT_EQ(WholeNumber(text), std::nullopt) << text;
    }
    EXPECT_EQ(NumberText(7012), "7012");
    EXPECT_EQ(NumberText(4.3), "4.3");
    EXPECT_EQ(NumberText(0.1 + 0.2), "0.30000000000000004");
}

TEST(OutputColumnsOfACourse, TheThirtyOneValuesThenThePlaceThenTheNumbers) {
    const std::vector<CourseEntry> entries = DemoEntries({12}, 3);
    ASSERT_EQ(entries.size(), 3u);
    const CourseEntry& entry = entries[0];
    const OutputRow row = OutputValues(entry);
    for (int column = 0; column < kColumnCount; ++column) {
        EXPECT_EQ(Cp932FromUtf8(row[column].text), entry.record[column]) << column;
    }
    EXPECT_EQ(row[kColumnPrefecture].text, "東京都");
    EXPECT_EQ(row[kColumnCourseId].text, entry.courseId);
    EXPECT_EQ(row[kColumnFetchedAt].text, entry.fetchedAt);
    EXPECT_EQ(row[kColumnHoleCount].number, OnlyNumber(row[kColumnHoles].text));
    EXPECT_TRUE(row[kColumnHoleCount].number.has_value()) << row[kColumnHoles].text;
    EXPECT_TRUE(row[kColumnDistanceYards].number.has_value()) << row[kColumnDistance].text;
    EXPECT_EQ(row[kColumnPar].number, WholeNumber(row[kColumnPar].text));
    EXPECT_TRUE(row[kColumnPar].number.has_value()) << row[kColumnPar].text;
    EXPECT_EQ(row[kColumnRating].number, WholeNumber(row[kColumnRating].text));

    CourseEntry empty;
    const OutputRow emptyRow = OutputValues(empty);
    EXPECT_TRUE(emptyRow[kColumnReviewNumber].Absent());
    EXPECT_TRUE(emptyRow[kColumnRating].Absent());
    EXPECT_EQ(emptyRow[kColumnState].text, "運営中");
}

TEST(OutputColumnsOfACourse, HeadersAndKeysAreDistinctWhereTheyMustBe) {
    std::set<std::string_view> keys;
    for (const OutputColumn& column : OutputColumns) {
        EXPECT_TRUE(keys.insert(column.key).second) << column.key;
        EXPECT_TRUE(std::regex_match(std::string(column.key), std::regex("[a-z]+(_[a-z]+)*")))
            << column.key;
    }
    for (int column = 0; column < kColumnCount; ++column) {
        EXPECT_EQ(OutputColumns[column].header, ColumnHeaderNames[column]);
    }
    // A spreadsheet or pandas tells the columns apart by their names.
    std::set<std::string_view> headers;
    for (const OutputColumn& column : OutputColumns) {
        EXPECT_TRUE(headers.insert(column.header).second) << column.header;
    }
    EXPECT_EQ(OutputColumns[kColumnHoleCount].header, "ホール数（数値）");
    EXPECT_EQ(OutputColumns[kColumnReviewNumber].header, "口コミ数（数値）");
}

TEST(CoursePosition, OnlyPlainDecimalsWithinRangeAreTaken) {
    const auto position = [](const std::string& geo) {
        const CoursePosition found = PositionOfStructuredData(
            R"(<script type="application/ld+json">{"@context":"https://schema.org","name":"x",)"
            R"("geo":)" +
            geo + R"(,"url":"/guide/disp/c_id/1"}</script>)");
        return found.latitude + " " + found.longitude;
    };
    EXPECT_EQ(position(R"({"@type":"GeoCoordinates","latitude":35.681234,"longitude":139.767})"),
              "35.681234 139.767");
    EXPECT_EQ(position(R"({ "longitude" : "-151.2093", "latitude" : "-33.8688" })"),
              "-33.8688 -151.2093");
    EXPECT_EQ(position(R"({"latitude":35.0000,"longitude":0.000001})"), "35 0.000001");
    EXPECT_EQ(position(R"({"latitude":-0,"longitude":180})"), "0 180");
    for (const char* geo :
         {R"({"latitude":90.5,"longitude":139})", R"({"latitude":35,"longitude":-180.01})",
          R"({"latitude":3.5e1,"longitude":139})", R"({"latitude":"+35","longitude":139})",
          R"({"latitude":".5","longitude":139})", R"({"latitude":"35.","longitude":139})",
          R"({"latitude":"NaN","longitude":139})", R"({"latitude":null,"longitude":139})",
          R"({"latitude":35})", R"({"latitude":1.23456789012345678,"longitude":1})",
          R"("35.6,139.7")", R"({},"place":{"latitude":35,"longitude":139})"}) {
        EXPECT_EQ(position(geo), " ") << geo;
    }
}

TEST(IsoLocalTime, GivesTheLocalTimeWithItsOffset) {
    const std::string stamp = IsoLocalTime(kFetchTime);
    EXPECT_TRUE(
        std::regex_match(stamp, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
        << stamp;
#ifndef _WIN32
    const char* saved = std::getenv("TZ");
    const std::string before = saved == nullptr ? "" : saved;
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    EXPECT_EQ(IsoLocalTime(kFetchTime), "2026-12-09T13:45:02+09:00");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(IsoLocalTime(kFetchTime), "2026-12-09T04:45:02+00:00");
    ::setenv("TZ", "America/St_Johns", 1);  // a half-hour offset, west of UTC
    ::tzset();
    EXPECT_EQ(IsoLocalTime(kFetchTime), "2026-12-09T01:15:02-03:30");
    if (saved == nullptr) {
        ::unsetenv("TZ");
    } else {
        ::setenv("TZ", before.c_str(), 1);
    }
    ::tzset();
#endif
}
