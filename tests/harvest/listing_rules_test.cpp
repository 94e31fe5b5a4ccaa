#include <gtest/gtest.h>

#include "rules_test_support.h"

using namespace teebasket;
using namespace teebasket::test;
using Ids = std::vector<std::string>;

namespace {

Ids Scan(const std::vector<std::string>& lines) {
    const StopFlag stop;
    return ScanListingCards(PageOf(lines), stop);
}

std::string Card(const std::string& id) {
    return R"(<a href="/x/c_id/)" + id + R"(/?rt=1">)";
}

const std::string kHeading = R"(  <h2 class="gf-card-name">)";

}  // namespace

TEST(ListingCards, CutsTheIdentifierBetweenUnderscoreAndQuestionMark) {
    EXPECT_EQ(Scan({"<ul>", kHeading, Card("120012"), "</h2>", kHeading, Card("7")}),
              (Ids{"120012", "7"}));
    // "id" goes in any letter case, and so does every "/".
    EXPECT_EQ(Scan({kHeading, R"(<a href="/x/c_ID/ab/iD12/?x">)"}), (Ids{"ab12"}));
    // Japanese text before the link does not hide the markers.
    EXPECT_EQ(Scan({kHeading, R"(ゴルフ場 <a href="/x/c_id/55/?">)"}), (Ids{"55"}));
}

TEST(ListingCards, RecognisesOnlyHeadingsOfTheExactShape) {
    EXPECT_EQ(Scan({"<H2 class=\"gf-card-name\">", Card("1")}), Ids{});
    EXPECT_EQ(Scan({"<h2>", "class=\"gf-card-name\"", Card("1")}), Ids{});
    EXPECT_EQ(Scan({"<h3 class=\"gf-card-name\">", Card("1")}), Ids{});
    EXPECT_EQ(Scan({Card("1"), kHeading}), Ids{});  // a heading on the last line
    EXPECT_EQ(Scan({}), Ids{});
}

TEST(ListingCards, KeepsDuplicatesAndEmptyIdentifiers) {
    EXPECT_EQ(Scan({kHeading, Card("9"), kHeading, Card("9")}), (Ids{"9", "9"}));
    EXPECT_EQ(Scan({kHeading, R"(<a href="/x/c_?q">)"}), (Ids{""}));
}

TEST(ListingCards, SkipsLinkLinesWithoutTheMarkers) {
    EXPECT_EQ(Scan({kHeading, "<a href=\"/x/cid/1/?q\">", kHeading, Card("2")}), (Ids{"2"}));
    EXPECT_EQ(Scan({kHeading, "<a href=\"/x/c_id/1/\">"}), Ids{});
    // A "?" before the first "_" does not count.
    EXPECT_EQ(Scan({kHeading, "<a href=\"/x?c_id/1/\">"}), Ids{});
}

TEST(ListingCards, StopsAtTheLineWhereAStopWasRequested) {
    StopFlag stop;
    stop.Request();
    EXPECT_EQ(ScanListingCards(PageOf({kHeading, Card("1"), kHeading, Card("2")}), stop),
              (Ids{"1"}));
    EXPECT_EQ(ScanListingCards(PageOf({"<p>", kHeading, Card("1")}), stop), (Ids{}));
}

TEST(ListingUrl, AsksForTheFirstKanaSortedPage) {
    EXPECT_EQ(ListingUrl(TestPortal(), PrefectureSlug(12)),
              "https://list.example:8443/doc/area/tokyo/?sort=kana&page=1");
}

TEST(PrefectureTable, HoldsTheRowsInListOrder) {
    EXPECT_EQ(PrefectureSlug(0), "hokkaido");
    EXPECT_EQ(PrefectureSlug(27), "hyogo");
    EXPECT_EQ(PrefectureSlug(46), "okinawa");
    EXPECT_EQ(PrefectureSlug(47), "");
    EXPECT_EQ(PrefectureSlug(-1), "");
    EXPECT_EQ(U(PrefectureNameAnsi(12)), "東京都");
}

TEST(Selection, IsSortedWithDisplayNames) {
    const Selection selection = MakeSelection({40, 13, 1, 13, 99});
    EXPECT_EQ(selection.rows, (std::vector<int>{1, 13, 40}));
    ASSERT_EQ(selection.displayNames.size(), 3u);
    EXPECT_EQ(U(selection.displayNames[0]), "青森県");
    EXPECT_EQ(U(selection.displayNames[1]), "神奈川県");
    EXPECT_EQ(U(selection.displayNames[2]), "佐賀県");
}
