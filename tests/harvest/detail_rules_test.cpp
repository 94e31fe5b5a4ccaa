#include <gtest/gtest.h>

#include "rules_test_support.h"

using namespace teebasket;
using namespace teebasket::test;

namespace {

const std::string kNormalCourse =
    R"("name":"青葉カントリー倶楽部","image":"https://img.example/1.jpg",)"
    R"("address":{"@type":"PostalAddress","postalCode":"2990123","streetAddress":"市原市青葉台１２３４－５",)"
    R"("addressRegion":"千葉県","addressCountry":"JP"},"telephone":"0436-12-3456",)"
    R"("aggregateRating":{"@type":"AggregateRating","ratingValue":"4.3","bestRating":"5","reviewCount":"12"},)"
    R"("geo":{"@type":"GeoCoordinates","latitude":35.4,"longitude":140.1})";

CourseRecord ParseStructured(const std::string& members) {
    return ParseDetail({"<html>", StructuredData(members), "</html>"});
}

std::string Rating(const std::string& value) {
    return U(
        ParseStructured(R"("ratingValue":")" + value + R"(","bestRating":"5")")[kColumnRating]);
}

}  // namespace

TEST(StructuredData, FillsTheHeaderFactsOfANormalCourse) {
    const CourseRecord record = ParseStructured(kNormalCourse);
    EXPECT_EQ(U(record[kColumnName]), "青葉カントリー倶楽部");
    EXPECT_EQ(U(record[kColumnPostalCode]), "299-0123");
    EXPECT_EQ(U(record[kColumnAddress]), "千葉県市原市青葉台1234-5");
    EXPECT_EQ(U(record[kColumnTelephone]), "0436-12-3456");
    EXPECT_EQ(U(record[kColumnState]), "運営中");
    EXPECT_EQ(U(record[kColumnRating]), "4.3");
    EXPECT_EQ(U(record[kColumnReviewCount]), "12件");
    EXPECT_EQ(record[kColumnReviewUrl], "https://book.example/voice/detail/c_id/120012");
    EXPECT_EQ(record[kColumnDetailUrl], "https://book.example/guide/disp/c_id/120012");
}

TEST(StructuredData, ClosedMarkSetsTheStateAndLeavesTheName) {
    const CourseRecord record = ParseStructured(R"("name":"旧白樺ゴルフ場（閉鎖）","image":"x")");
    EXPECT_EQ(U(record[kColumnName]), "旧白樺ゴルフ場");
    EXPECT_EQ(U(record[kColumnState]), "閉鎖");
}

TEST(StructuredData, TakesANameOnlyWhenTheImageKeyFollows) {
    const CourseRecord record = ParseStructured(
        R"("author":{"@type":"Person","name":"山田","url":"x"},"name":"本当の名前","image":"y")");
    EXPECT_EQ(U(record[kColumnName]), "本当の名前");
    EXPECT_EQ(ParseStructured(R"("name":"会社","url":"x")")[kColumnName], "");
}

TEST(StructuredData, PostalCodeNeedsExactlySevenBytes) {
    EXPECT_EQ(ParseStructured(R"("postalCode":"299-0123")")[kColumnPostalCode], "");
    EXPECT_EQ(ParseStructured(R"("postalCode":"29901")")[kColumnPostalCode], "");
    EXPECT_EQ(ParseStructured(R"("postalCode":" 1000001 ","x":1)")[kColumnPostalCode], "100-0001");
}

TEST(StructuredData, RatingIsTheValueCutToFourBytesAsThePortalStatesIt) {
    EXPECT_EQ(Rating("4.3"), "4.3");
    EXPECT_EQ(Rating("3.75"), "3.75");
    EXPECT_EQ(Rating("4.333"), "4.33");
    EXPECT_EQ(Rating("4.70"), "4.7");
    EXPECT_EQ(Rating(" 5 "), "5");
    EXPECT_EQ(Rating("0"), "0");
    // What is not a number leaves the rating empty.
    EXPECT_EQ(Rating("abc"), "");
    EXPECT_EQ(Rating(""), "");
    EXPECT_EQ(Rating("4.3x"), "");
    EXPECT_EQ(Rating("1.2.3"), "");
    // The best-rating key right after the opening object has no rating before it.
    EXPECT_EQ(ParseDetail({R"(<script>{"@context":"s","bestRating":"5"}</script>)"})[kColumnRating],
              "");
}

TEST(StructuredData, ReviewCountOfZeroGivesNoReviewPage) {
    const CourseRecord record = ParseStructured(R"("reviewCount":"0"},"geo":{"a":1})");
    EXPECT_EQ(U(record[kColumnReviewCount]), "0件");
    EXPECT_EQ(record[kColumnReviewUrl], "");
}

TEST(StructuredData, TelephoneBeforeGeoMeansNoReviewCount) {
    const CourseRecord record = ParseStructured(
        R"("telephone":"0436-12-3456","geo":{"@type":"GeoCoordinates"},"name":"後","image":"x")");
    EXPECT_EQ(U(record[kColumnTelephone]), "0436-12-3456");
    EXPECT_EQ(record[kColumnReviewCount], "");
    // Nothing after the "geo" key is examined.
    EXPECT_EQ(record[kColumnName], "");
}

TEST(StructuredData, AddressIsCutAtAComma) {
    const CourseRecord record =
        ParseStructured(R"("streetAddress":"大字松尾, 字東２３","addressRegion":"岩手県","x":1)");
    // The piece behind the comma takes the region's place, unconverted.
    EXPECT_EQ(U(record[kColumnAddress]), "字東２３\"大字松尾");
}

TEST(StructuredData, IsRecognisedOnlyOnTheScriptLineItself) {
    const CourseRecord record =
        ParseDetail({R"(<script type="application/ld+json">)",
                     "{\"@context\":\"s\"," + kNormalCourse + "}", "</script>"});
    EXPECT_EQ(record[kColumnName], "");
    EXPECT_EQ(U(record[kColumnState]), "運営中");
}

TEST(StructuredData, ALaterBlockOverwritesAnEarlierOne) {
    const CourseRecord record = ParseDetail({StructuredData(R"("telephone":"01-1","x":1)"),
                                             StructuredData(R"("telephone":"02-2","x":1)")});
    EXPECT_EQ(record[kColumnTelephone], "02-2");
}

TEST(DetailPage, WithoutAnyLineStillGetsItsDetailUrl) {
    const CourseRecord record = ParseDetail({});
    for (int column = 0; column < kColumnCount; ++column) {
        if (column == kColumnState) {
            EXPECT_EQ(U(record[column]), "運営中");
        } else if (column == kColumnDetailUrl) {
            EXPECT_EQ(record[column], "https://book.example/guide/disp/c_id/120012");
        } else {
            EXPECT_EQ(record[column], "") << "column " << column;
        }
    }
}

TEST(DetailPage, IdentifierIsEncodedForTheUrlPath) {
    EXPECT_EQ(ParseDetail({}, "")[kColumnDetailUrl], "https://book.example/guide/disp/c_id/");
    EXPECT_EQ(ParseDetail({}, "1/../x?y#z%")[kColumnDetailUrl],
              "https://book.example/guide/disp/c_id/1%2F..%2Fx%3Fy%23z%25");
    EXPECT_EQ(EncodePathSegment(A("東 1")), "%93%8C%201");
    // Dot segments would take the path a step up; dots inside a name stay.
    EXPECT_EQ(ParseDetail({}, "..")[kColumnDetailUrl],
              "https://book.example/guide/disp/c_id/%2E%2E");
    EXPECT_EQ(ParseDetail({}, ".")[kColumnDetailUrl], "https://book.example/guide/disp/c_id/%2E");
    EXPECT_EQ(EncodePathSegment("..."), "...");
    EXPECT_EQ(EncodePathSegment("1.2"), "1.2");
}
