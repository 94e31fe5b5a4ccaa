// Listings over several pages: each page that the one before links to is
// read, up to a page without such a link, a page without a new card, or page
// 100; the courses follow the last listing page.
#include <gtest/gtest.h>

#include "run_harness.h"

using namespace teebasket;
using namespace teebasket::test;
using namespace std::chrono_literals;

namespace {

// A listing page with one card per identifier, linking to page `next` of
// Tokyo's listing when `next` is above 0.
std::string FixtureListing(const Lines& courseIds, int next) {
    std::string page = "<html><body>\n";
    for (const std::string& id : courseIds) {
        page += "<h2 class=\"gf-card-name\">\n<a href=\"/guide/disp/c_id/" + id +
                "/?rt=1\">x</a>\n</h2>\n";
    }
    if (next > 0) {
        page +=
            "<a class=\"next\" href=\"/doc/area/tokyo/?sort=kana&amp;page=" + std::to_string(next) +
            "\">次へ</a>\n";
    }
    return page + "</body></html>\n";
}

// The listing targets the portal received, in order.
Lines ListingTargets(const PortalProcess& portal) {
    Lines targets;
    for (const PortalRequest& request : portal.requests()) {
        if (request.target.starts_with("/doc/area/")) {
            targets.push_back(request.target);
        }
    }
    return targets;
}

std::string TokyoPage(int page) {
    return "/doc/area/tokyo/?sort=kana&page=" + std::to_string(page);
}

}  // namespace

TEST(ListingPages, AThreePageListingYieldsEveryCardInOrder) {
    constexpr int kCourses = 65;  // 30 + 30 + 5
    PortalProcess portal({{"--courses-per-prefecture", std::to_string(kCourses)}, {}, {}});
    const portal::CourseCatalog catalog({1, kCourses});
    RunHarness harness(portal);
    harness.Run({kTokyo});

    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 1u + kCourses);
    for (int number = 0; number < kCourses; ++number) {
        EXPECT_EQ(CourseValues(lines[1 + number]),
                  ExpectedValues(catalog.Course(kTokyo, number), portal.host()))
            << "course " << number;
    }
    // The three listing pages come first; the course counter runs over the
    // whole prefecture.
    const std::vector<PortalRequest> requests = portal.requests();
    ASSERT_EQ(requests.size(), 3u + kCourses);
    EXPECT_EQ(ListingTargets(portal), (Lines{TokyoPage(1), TokyoPage(2), TokyoPage(3)}));
    EXPECT_EQ(requests[2].target, TokyoPage(3));
    Lines expectedCalls = {"start 1", "step 東京都"};
    for (int k = 1; k <= kCourses; ++k) {
        expectedCalls.push_back("status 東京都 " + std::to_string(k) + "/" +
                                std::to_string(kCourses));
    }
    expectedCalls.push_back("ended");
    EXPECT_EQ(harness.observer.calls, expectedCalls);
}

TEST(ListingPages, APrefectureOnOnePageCostsOneListingRequest) {
    PortalProcess portal({{"--courses-per-prefecture", "30"}, {}, {}});
    RunHarness harness(portal);
    harness.Run({kTokyo, kKanagawa});
    EXPECT_EQ(harness.CsvLines().size(), 1u + 2 * 30);
    EXPECT_EQ(ListingTargets(portal),
              (Lines{TokyoPage(1), "/doc/area/kanagawa/?sort=kana&page=1"}));
}

TEST(ListingPages, APageWithoutANewCardEndsTheListing) {
    TempDir pages;
    WriteFileBytes(pages.path() / "listing" / "tokyo.html", FixtureListing({"a1", "b2"}, 2));
    // The same cards again, and a link further on.
    WriteFileBytes(pages.path() / "listing" / "tokyo.2.html", FixtureListing({"b2", "a1"}, 3));
    WriteFileBytes(pages.path() / "listing" / "tokyo.3.html", FixtureListing({"c3"}, 0));
    PortalProcess portal({{}, pages.path(), {}});
    RunHarness harness(portal);
    harness.Run({kTokyo});
    EXPECT_EQ(ListingTargets(portal), (Lines{TokyoPage(1), TokyoPage(2)}));
    EXPECT_EQ(harness.CsvLines().size(), 3u);
}

TEST(ListingPages, ALaterPageAddsOnlyItsNewCards) {
    TempDir pages;
    WriteFileBytes(pages.path() / "listing" / "tokyo.html", FixtureListing({"a1", "a1", "b2"}, 2));
    // The listing moved on by one while it was read: b2 shows again.
    WriteFileBytes(pages.path() / "listing" / "tokyo.2.html", FixtureListing({"b2", "c3"}, 0));
    PortalProcess portal({{}, pages.path(), {}});
    RunHarness harness(portal);
    harness.Run({kTokyo});
    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 5u);
    for (const auto& [line, id] :
         std::vector<std::pair<int, std::string>>{{1, "a1"}, {2, "a1"}, {3, "b2"}, {4, "c3"}}) {
        EXPECT_NE(lines[line].find("/guide/disp/c_id/" + id + "\""), std::string::npos) << line;
    }
}

TEST(ListingPages, AtMostAHundredPagesAreRead) {
    TempDir pages;
    for (int page = 1; page <= kMaxListingPages + 1; ++page) {
        const std::string file =
            page == 1 ? "tokyo.html" : "tokyo." + std::to_string(page) + ".html";
        WriteFileBytes(pages.path() / "listing" / file,
                       FixtureListing({"x-bytes-" + std::to_string(page)}, page + 1));
    }
    PortalProcess portal({{}, pages.path(), {}});
    RunHarness harness(portal);
    harness.Run({kTokyo});
    const Lines targets = ListingTargets(portal);
    ASSERT_EQ(targets.size(), static_cast<std::size_t>(kMaxListingPages));
    EXPECT_EQ(targets.back(), TokyoPage(kMaxListingPages));
    EXPECT_EQ(harness.CsvLines().size(), 1u + kMaxListingPages);
}

TEST(ListingPages, ALaterPageThatCannotBeReadKeepsTheCoursesBeforeIt) {
    TempDir pages;
    WriteFileBytes(pages.path() / "listing" / "tokyo.html", FixtureListing({"x-empty"}, 2));
    // No tokyo.2.html: page 2 answers 404.
    PortalProcess portal({{}, pages.path(), {}});
    RunHarness harness(portal);
    harness.Run({kTokyo});
    EXPECT_EQ(harness.CsvLines().size(), 2u);
    ASSERT_EQ(harness.Report().pageFailures.size(), 1u);
    EXPECT_EQ(harness.Report().pageFailures[0].kind, PageKind::Listing);
    EXPECT_EQ(harness.Report().pageFailures[0].url, "https://" + portal.host() + TokyoPage(2));
    EXPECT_EQ(harness.observer.calls,
              (Lines{"start 1", "step 東京都", "status 東京都 1/1", "ended"}));
}

TEST(ListingPages, TheLinkToTheNextPageIsTheListingsOwn) {
    const auto links = [](const std::string& html, int page) {
        return ListingLinksToPage(PageText(html), "tokyo", page);
    };
    EXPECT_TRUE(links(R"(<a href="/doc/area/tokyo/?sort=kana&amp;page=2">2</a>)", 2));
    EXPECT_TRUE(links(R"(<a href='https://h/doc/area/tokyo/?page=2'>次へ</a>)", 2));
    EXPECT_TRUE(links("<a href=\"/x\">1</a>\n<a href=\"/doc/area/tokyo/?page=3&sort=kana\">", 3));
    EXPECT_FALSE(links(R"(<a href="/doc/area/tokyo/?page=20">20</a>)", 2));
    EXPECT_FALSE(links(R"(<a href="/doc/area/tokyo/?spage=2">)", 2));
    EXPECT_FALSE(links(R"(<a href="/doc/area/chiba/?page=2">)", 2));
    EXPECT_FALSE(links(R"(<a href="/doc/area/tokyo-west/?page=2">)", 2));
    // The page number must stand in the address itself.
    EXPECT_FALSE(links(R"(<a href="/doc/area/tokyo/">page=2</a>)", 2));
    EXPECT_FALSE(links(R"(<a href="/doc/area/tokyo/?page=1"> page=2)", 2));
}

// A hostile listing cannot make the run hold more than it can use: an
// identifier longer than any real one is not a card, and a prefecture gives
// at most kMaxCoursesPerPrefecture courses, the rest named as left out.
TEST(ListingPages, AHostileListingIsCutToWhatARunCanUse) {
    TempDir pages;
    Lines cards = {std::string(kMaxCourseIdBytes + 1, '7'), "x-first"};
    for (int number = 0; number < kMaxCoursesPerPrefecture; ++number) {
        cards.push_back(std::to_string(100000 + number));
    }
    WriteFileBytes(pages.path() / "listing" / "tokyo.html", FixtureListing(cards, 2));
    WriteFileBytes(pages.path() / "listing" / "tokyo.2.html", FixtureListing({"x-more"}, 0));
    PortalProcess portal({{}, pages.path(), {}});
    RunHarness harness(portal);
    int total = 0;
    // The courses are what was listed; no need to ask for them all.
    harness.observer.onStatus = [&](const HarvestReport& report) {
        total = report.courseTotal;
        if (report.courseIndex == 2) {
            harness.Stop();
        }
    };
    harness.Run({kTokyo});

    EXPECT_EQ(total, kMaxCoursesPerPrefecture);
    // The cut, then the first course's page, which the fixture lacks.
    const std::vector<PageFailure>& failures = harness.Report().pageFailures;
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].kind, PageKind::Listing);
    EXPECT_EQ(failures[0].problem, PageProblem::TooManyCourses);
    EXPECT_EQ(failures[0].url, "https://" + portal.host() + TokyoPage(1));
    // The page after the cut is never asked for; the first course is the
    // first card that is one.
    EXPECT_EQ(ListingTargets(portal), Lines{TokyoPage(1)});
    const std::vector<PortalRequest> requests = portal.requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[1].target, "/guide/disp/c_id/x-first");
}

namespace {

// A course page that a changed layout leaves without a name takes its card's
// name, and the report counts it: a scheduled run's alert rests on it.
TEST(ListingPages, APageWithoutANameTakesTheCardsNameAndIsCounted) {
    TempDir pages;
    const portal::CourseCatalog catalog({1, 1});
    const portal::GeneratedCourse course = catalog.Course(12, 0);
    WriteFileBytes(pages.path() / "listing" / "tokyo.html",
                   FixtureListing({course.id, "200001"}, 0));
    WriteFileBytes(pages.path() / "detail" / (course.id + ".html"), catalog.DetailPage(course));
    WriteFileBytes(pages.path() / "detail" / "200001.html",
                   "<html><body><p>new layout</p></body></html>\n");
    PortalProcess portal({{}, pages.path(), {}});
    RunHarness harness(portal);
    harness.Run({kTokyo});

    EXPECT_TRUE(harness.Report().pageFailures.empty());
    EXPECT_EQ(harness.Report().rowsWritten, 2);
    EXPECT_EQ(harness.Report().pagesWithoutName, 1);
    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(CourseValues(lines[2])[kColumnName], "x");  // the card's heading
}

}  // namespace
