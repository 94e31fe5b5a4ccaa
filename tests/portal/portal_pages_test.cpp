// The generated pages read by the harvest's own cutting rules: every course
// of a listing is found, a plain course fills all 31 columns with the data it
// was generated from, and the unusual courses come out as intended.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "MECSUtils.h"
#include "PortalPages.h"
#include "Unicommon.h"
#include "Unithread.h"

namespace teebasket {
namespace {

using portal::CatalogSettings;
using portal::CourseCatalog;
using portal::GeneratedCourse;

std::string Ansi(const std::string& utf8) {
    return UTF8ToAnsi(utf8);
}

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

PortalSettings DemoPortal() {
    PortalSettings settings;
    settings.listingHost = "127.0.0.1:48443";
    settings.bookingHost = "127.0.0.1:48443";
    return settings;
}

CourseRecord Harvest(const CourseCatalog& catalog, const GeneratedCourse& course) {
    return ParseCourseDetail(PageText(catalog.DetailPage(course)), DemoPortal(), course.id);
}

std::vector<std::string> CardsOf(const std::string& page) {
    const StopFlag stop;
    return ScanListingCards(PageText(page), stop);
}

TEST(PortalPagesTest, SameSeedGivesTheSameBytesAndAnotherSeedOtherData) {
    const CourseCatalog first({.seed = 7, .coursesPerPrefecture = 20});
    const CourseCatalog again({.seed = 7, .coursesPerPrefecture = 20});
    const CourseCatalog other({.seed = 8, .coursesPerPrefecture = 20});
    EXPECT_EQ(first.ListingPage(12, 1), again.ListingPage(12, 1));
    EXPECT_EQ(first.DetailPage(first.Course(12, 4)), again.DetailPage(again.Course(12, 4)));
    EXPECT_NE(first.DetailPage(first.Course(12, 4)), other.DetailPage(other.Course(12, 4)));
    // Identifiers do not depend on the seed.
    EXPECT_EQ(first.Course(12, 4).id, other.Course(12, 4).id);
}

TEST(PortalPagesTest, ListingCardsNameEveryCourseInOrder) {
    const CourseCatalog catalog({.seed = 1, .coursesPerPrefecture = 20});
    int withoutCourses = 0;
    for (int prefecture = 0; prefecture < portal::kPortalPrefectureCount; ++prefecture) {
        SCOPED_TRACE(prefecture);
        std::vector<std::string> expected;
        for (int number = 0; number < catalog.CourseCount(prefecture); ++number) {
            expected.push_back(catalog.Course(prefecture, number).id);
        }
        EXPECT_EQ(CardsOf(catalog.ListingPage(prefecture, 1)), expected);
        withoutCourses += expected.empty() ? 1 : 0;
    }
    EXPECT_EQ(withoutCourses, 2);
    EXPECT_EQ(catalog.CourseCount(portal::PrefectureOfSlug("tottori")), 0);
    EXPECT_EQ(catalog.CourseCount(portal::PrefectureOfSlug("kochi")), 0);
}

TEST(PortalPagesTest, LongListingsSpreadOverPages) {
    const CourseCatalog catalog({.seed = 1, .coursesPerPrefecture = 45});
    const std::vector<std::string> first = CardsOf(catalog.ListingPage(0, 1));
    const std::vector<std::string> second = CardsOf(catalog.ListingPage(0, 2));
    ASSERT_EQ(first.size(), 30u);
    ASSERT_EQ(second.size(), 15u);
    EXPECT_EQ(first.front(), "101001");
    EXPECT_EQ(second.front(), "101031");
    EXPECT_TRUE(CardsOf(catalog.ListingPage(0, 3)).empty());
}

TEST(PortalPagesTest, EachListingPageLinksToTheNextLikeARealListing) {
    const CourseCatalog catalog({.seed = 1, .coursesPerPrefecture = 61});
    const auto lines = [&](int page) { return PageText(catalog.ListingPage(0, page)); };
    const std::string next = "次へ</a>";
    EXPECT_TRUE(ListingLinksToPage(lines(1), "hokkaido", 2));
    EXPECT_NE(catalog.ListingPage(0, 1).find(next), std::string::npos);
    EXPECT_TRUE(ListingLinksToPage(lines(2), "hokkaido", 3));
    // The last page links back, never forward.
    EXPECT_TRUE(ListingLinksToPage(lines(3), "hokkaido", 2));
    EXPECT_FALSE(ListingLinksToPage(lines(3), "hokkaido", 4));
    EXPECT_EQ(catalog.ListingPage(0, 3).find(next), std::string::npos);
    // A prefecture on one page has no page links at all.
    const CourseCatalog small({.seed = 1, .coursesPerPrefecture = 30});
    EXPECT_FALSE(ListingLinksToPage(PageText(small.ListingPage(0, 1)), "hokkaido", 2));
}

TEST(PortalPagesTest, IdentifiersAreFoundOnlyForExistingCourses) {
    const CourseCatalog catalog({.seed = 1, .coursesPerPrefecture = 20});
    EXPECT_TRUE(catalog.FindCourse("113020").has_value());
    EXPECT_EQ(catalog.FindCourse("113020")->name, catalog.Course(12, 19).name);
    for (const char* id : {"", "1", "113021", "113000", "100001", "148001", "131001", "abcdef",
                           "1130201", "213001", "11300a"}) {
        EXPECT_FALSE(catalog.FindCourse(id).has_value()) << id;
    }
}

TEST(PortalPagesTest, PlainCourseFillsEveryColumnWithItsData) {
    const CourseCatalog catalog({.seed = 1, .coursesPerPrefecture = 20});
    const GeneratedCourse course = catalog.Course(11, 0);  // the first course is always plain
    ASSERT_FALSE(course.closed);
    ASSERT_TRUE(course.hasStructuredData);
    ASSERT_GT(course.reviewCount, 0);
    const CourseRecord record = Harvest(catalog, course);

    for (int column = 0; column < kColumnCount; ++column) {
        EXPECT_FALSE(record[column].empty()) << "column " << column;
    }
    EXPECT_EQ(record[kColumnName], Ansi(course.name));
    EXPECT_EQ(record[kColumnPostalCode],
              course.postalCode.substr(0, 3) + "-" + course.postalCode.substr(3));
    // The street's full-width digits and hyphens come out in ASCII.
    EXPECT_EQ(record[kColumnAddress], Ansi(course.region) + NormalizeText(Ansi(course.street)));
    EXPECT_EQ(record[kColumnAddress].find(Ansi("－")), std::string::npos);
    EXPECT_EQ(record[kColumnTelephone], course.telephone);
    EXPECT_EQ(record[kColumnFax], course.fax);
    EXPECT_EQ(record[kColumnCarAccess], Ansi(Joined(course.carAccess, " ")));
    std::vector<std::string> kept;
    for (const std::string& tag : course.tags) {
        if (tag.find("不可") == std::string::npos) {
            kept.push_back(tag);
        }
    }
    EXPECT_EQ(record[kColumnTags], Ansi(Joined(kept, "、")));
    for (const auto& [label, paragraphs] : course.facts) {
        const int column = ColumnForLabel(Ansi(label));
        ASSERT_GE(column, 0) << label;
        EXPECT_EQ(record[column], Ansi(Joined(paragraphs, " "))) << label;
    }
    EXPECT_EQ(record[kColumnState], Ansi("運営中"));
    char rating[32];  // the rating as the page states it, in its shortest form (4.0 is 4)
    std::snprintf(rating, sizeof rating, "%.15g", std::stod(course.rating));
    EXPECT_EQ(record[kColumnRating], rating);
    EXPECT_EQ(record[kColumnReviewCount], std::to_string(course.reviewCount) + Ansi("件"));
    EXPECT_EQ(record[kColumnReviewUrl], ReviewUrl(DemoPortal(), course.id));
    EXPECT_EQ(record[kColumnDetailUrl], DetailUrl(DemoPortal(), course.id));
}

TEST(PortalPagesTest, EveryPlainCourseFillsEveryColumn) {
    const CourseCatalog catalog({.seed = 3, .coursesPerPrefecture = 20});
    int plain = 0;
    for (int prefecture : {0, 12, 26, 46}) {
        for (int number = 0; number < catalog.CourseCount(prefecture); ++number) {
            const GeneratedCourse course = catalog.Course(prefecture, number);
            if (course.closed || !course.hasStructuredData || course.reviewCount == 0) {
                continue;
            }
            ++plain;
            const CourseRecord record = Harvest(catalog, course);
            for (int column = 0; column < kColumnCount; ++column) {
                EXPECT_FALSE(record[column].empty()) << course.id << " column " << column;
            }
        }
    }
    EXPECT_GT(plain, 40);
}

TEST(PortalPagesTest, UnusualCoursesComeOutAsIntended) {
    const CourseCatalog catalog({.seed = 1, .coursesPerPrefecture = 20});
    std::set<std::string> seen;
    for (int number = 0; number < 20; ++number) {
        const GeneratedCourse course = catalog.Course(12, number);
        const CourseRecord record = Harvest(catalog, course);
        SCOPED_TRACE(course.id);
        if (course.closed) {
            seen.insert("closed");
            EXPECT_EQ(record[kColumnState], Ansi("閉鎖"));
            EXPECT_EQ(record[kColumnName] + Ansi("（閉鎖）"), Ansi(course.name));
        }
        if (course.reviewCount == 0) {
            seen.insert("no reviews");
            EXPECT_EQ(record[kColumnReviewCount], Ansi("0件"));
            EXPECT_TRUE(record[kColumnReviewUrl].empty());
        }
        if (!course.hasStructuredData) {
            seen.insert("no structured data");
            for (int column : {kColumnName, kColumnPostalCode, kColumnAddress, kColumnTelephone,
                               kColumnRating}) {
                EXPECT_TRUE(record[column].empty()) << column;
            }
            // The body still gives its columns, the review count among them.
            EXPECT_EQ(record[kColumnFax], course.fax);
            EXPECT_EQ(record[kColumnReviewCount], std::to_string(course.reviewCount) + Ansi("件"));
        }
        if (course.crlf) {
            seen.insert("crlf");
            const std::string page = catalog.DetailPage(course);
            EXPECT_NE(page.find("\r\n"), std::string::npos);
            EXPECT_EQ(record[kColumnFax], course.fax);
        }
    }
    EXPECT_EQ(seen, (std::set<std::string>{"closed", "crlf", "no reviews", "no structured data"}));
}

TEST(PortalPagesTest, StructuredDataKeepsPostalCodeAndStreetAsThePortalWritesThem) {
    const CourseCatalog catalog({.seed = 1, .coursesPerPrefecture = 20});
    for (int number = 0; number < 20; ++number) {
        const GeneratedCourse course = catalog.Course(5, number);
        EXPECT_EQ(course.postalCode.size(), 7u);
        EXPECT_EQ(course.postalCode.find_first_not_of("0123456789"), std::string::npos);
        EXPECT_NE(course.street.find_first_of("\xEF"), std::string::npos) << course.street;
        EXPECT_EQ(course.street.find_first_of(",\"\\<>&"), std::string::npos);
    }
}

TEST(PortalPagesTest, DetailPagesWeighLikeRealPortalPages) {
    const CourseCatalog catalog({.seed = 1, .coursesPerPrefecture = 20});
    for (int number : {0, 3, 6, 19}) {
        const std::size_t size = catalog.DetailPage(catalog.Course(20, number)).size();
        EXPECT_GE(size, 100u * 1024u) << number;
        EXPECT_LE(size, 150u * 1024u) << number;
    }
}

}  // namespace
}  // namespace teebasket
