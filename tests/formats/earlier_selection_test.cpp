// Which courses of an earlier file lie outside a run's selection: placed by
// the row's 都道府県, else by its 住所, else by the run's listing pages.
#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "EarlierSelection.h"
#include "MECSUtils.h"

namespace teebasket {
namespace {

constexpr int kTokyo = 12;
constexpr int kKanagawa = 13;
constexpr int kSaitama = 10;

std::string Url(const std::string& id) {
    return "https://book.example/guide/disp/c_id/" + id + "/";
}

// A course of the given 都道府県 value and 住所 (UTF-8; written as the
// code-page-932 record holds it).
CourseEntry Course(const std::string& id, const std::string& prefecture,
                   const std::string& address) {
    CourseEntry entry;
    entry.record[kColumnDetailUrl] = Url(id);
    entry.record[kColumnAddress] = UTF8ToAnsi(address);
    entry.prefecture = prefecture;
    return entry;
}

TEST(FindCoursesOutside, EachRowIsPlacedByItsPrefectureElseItsAddressElseTheListing) {
    const std::vector<CourseEntry> earlier = {
        // The formats with a 都道府県 column: it decides over the address.
        Course("1", "東京都", "神奈川県横浜市1"),
        Course("2", "神奈川県", "東京都八王子市2"),
        // The code-page-932 CSV: the address begins with the prefecture.
        Course("3", "", "東京都青梅市3"),
        Course("4", "", "神奈川県川崎市4"),
        Course("5", "", "埼玉県川越市5"),
        Course("8", "東京", "東京都町田市8"),  // a value that names no prefecture
        // Pages that could not be read: no address. Course 6 again, read.
        Course("6", "", ""),
        Course("7", "", ""),
        Course("6", "", "神奈川県相模原市6"),
    };
    const CoursesOutside byRows = FindCoursesOutside(earlier, {kTokyo}, nullptr);
    EXPECT_EQ(byRows.courses, 4);  // 2, 4, 6 of 神奈川県 and 5 of 埼玉県; 7 is not known yet
    ASSERT_EQ(byRows.byPrefecture.size(), 2u);
    EXPECT_EQ(byRows.byPrefecture[0].row, kSaitama);
    EXPECT_EQ(byRows.byPrefecture[0].courses, 1);
    EXPECT_EQ(byRows.byPrefecture[1].row, kKanagawa);
    EXPECT_EQ(byRows.byPrefecture[1].courses, 3);
    EXPECT_EQ(byRows.unplaced, std::vector<std::string>{Url("7")});

    // A wider selection holds every course whose row tells its prefecture.
    const std::vector<int> wide = {kSaitama, kTokyo, kKanagawa};
    EXPECT_EQ(FindCoursesOutside(earlier, wide, nullptr).courses, 0);

    // The listing places course 7: listed, it is of the selection.
    const std::unordered_set<std::string> listing7 = {Url("1"), Url("7")};
    const CoursesOutside listed = FindCoursesOutside(earlier, wide, &listing7);
    EXPECT_EQ(listed.courses, 0);
    EXPECT_TRUE(listed.unplaced.empty());

    // Every listing page read and course 7 not among them: outside, with
    // no prefecture to name.
    const std::unordered_set<std::string> without7 = {Url("1"), Url("3")};
    const CoursesOutside unlisted = FindCoursesOutside(earlier, wide, &without7);
    EXPECT_EQ(unlisted.courses, 1);
    EXPECT_TRUE(unlisted.byPrefecture.empty());
    EXPECT_TRUE(unlisted.unplaced.empty());
}

}  // namespace
}  // namespace teebasket
