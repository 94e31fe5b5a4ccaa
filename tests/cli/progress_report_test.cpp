// The progress line: how far the run is, the time left, and a bar that never
// wraps on a narrow terminal.
#include "ProgressReport.h"

#include <gtest/gtest.h>

namespace teebasket::cli {
namespace {

using std::chrono::seconds;

ProgressSnapshot Snapshot(int prefecture, int prefectures, int course, int courses, int elapsed) {
    ProgressSnapshot snapshot;
    snapshot.prefectureNumber = prefecture;
    snapshot.prefectureCount = prefectures;
    snapshot.prefectureName = "神奈川県";
    snapshot.courseIndex = course;
    snapshot.courseTotal = courses;
    snapshot.elapsed = seconds(elapsed);
    return snapshot;
}

TEST(FractionDone, CountsFinishedPrefecturesAndCourses) {
    EXPECT_DOUBLE_EQ(FractionDone(Snapshot(0, 4, 0, 0, 0)), 0.0);
    EXPECT_DOUBLE_EQ(FractionDone(Snapshot(1, 4, 0, 0, 0)), 0.0);
    EXPECT_DOUBLE_EQ(FractionDone(Snapshot(1, 4, 1, 10, 0)), 0.0);
    EXPECT_DOUBLE_EQ(FractionDone(Snapshot(2, 4, 6, 10, 0)), 0.375);
    EXPECT_DOUBLE_EQ(FractionDone(Snapshot(3, 4, 0, 0, 0)), 0.5);  // a prefecture without courses
    EXPECT_DOUBLE_EQ(FractionDone(Snapshot(4, 4, 10, 10, 0)), 0.975);
    EXPECT_DOUBLE_EQ(FractionDone(Snapshot(9, 4, 10, 10, 0)), 1.0);
    EXPECT_DOUBLE_EQ(FractionDone(Snapshot(1, 0, 1, 1, 0)), 0.0);
}

TEST(EstimateRemaining, ThePaceSoFarOrNothing) {
    EXPECT_FALSE(EstimateRemaining(Snapshot(1, 4, 1, 10, 30)));  // nothing done yet
    EXPECT_FALSE(EstimateRemaining(Snapshot(3, 4, 0, 0, 0)));    // no time has passed
    EXPECT_EQ(EstimateRemaining(Snapshot(3, 4, 0, 0, 100)), seconds(100));
    EXPECT_EQ(EstimateRemaining(Snapshot(2, 4, 1, 1, 60)), seconds(180));
}

TEST(FormatDuration, MinutesAndHours) {
    EXPECT_EQ(FormatDuration(seconds(0)), "0:00");
    EXPECT_EQ(FormatDuration(seconds(7)), "0:07");
    EXPECT_EQ(FormatDuration(seconds(754)), "12:34");
    EXPECT_EQ(FormatDuration(seconds(3723)), "1:02:03");
    EXPECT_EQ(FormatDuration(seconds(-5)), "0:00");
}

TEST(DisplayWidth, WideCharactersTakeTwoColumns) {
    EXPECT_EQ(DisplayWidth(""), 0);
    EXPECT_EQ(DisplayWidth("abc"), 3);
    EXPECT_EQ(DisplayWidth("東京都"), 6);
    EXPECT_EQ(DisplayWidth("ゴルフ場 12/40"), 14);
    EXPECT_EQ(DisplayWidth("ＡＢ"), 4);
    EXPECT_EQ(DisplayWidth("é"), 1);
    // A cut character shows as one replacement character, a stray byte too.
    EXPECT_EQ(DisplayWidth("\xE6\x9D"), 1);
    EXPECT_EQ(DisplayWidth("\xE6\x9D"
                           "a\xFF"),
              3);
}

TEST(FormatBarLine, HoldsTheFactsAndNeverWraps) {
    const ProgressSnapshot snapshot = Snapshot(2, 4, 6, 10, 90);
    const std::string wide = FormatBarLine(snapshot, 120);
    for (const char* part : {"2/4", "神奈川県", "6/10", "1:30", "left ~2:30", "[", "]"}) {
        EXPECT_NE(wide.find(part), std::string::npos) << part << " in " << wide;
    }
    for (int columns = 1; columns <= 130; ++columns) {
        const std::string line = FormatBarLine(snapshot, columns);
        EXPECT_LE(DisplayWidth(line), std::max(1, columns - 1)) << columns << ": " << line;
    }
    // Narrow terminals drop the bar before the facts.
    EXPECT_EQ(FormatBarLine(snapshot, 40).find('['), std::string::npos);
}

TEST(FormatBarLine, TheBarFollowsTheFraction) {
    const std::string start = FormatBarLine(Snapshot(1, 2, 1, 10, 0), 200);
    EXPECT_EQ(start.find('#'), std::string::npos);
    const std::string half = FormatBarLine(Snapshot(2, 2, 0, 0, 10), 200);
    EXPECT_EQ(half.substr(0, 32), "[###############---------------]");
}

TEST(FormatPlainLine, OneLinePerStep) {
    EXPECT_EQ(FormatPlainLine(Snapshot(2, 4, 6, 10, 90)),
              "prefecture 2/4 神奈川県: course 6/10 (elapsed 1:30, left ~2:30)");
    EXPECT_EQ(FormatPlainLine(Snapshot(1, 4, 0, 0, 0)),
              "prefecture 1/4 神奈川県: no course (elapsed 0:00, left ?)");
}

}  // namespace
}  // namespace teebasket::cli
