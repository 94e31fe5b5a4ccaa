// The progress line: how far the run is, the time left, and a bar that never
// wraps on a narrow terminal.
#include "ProgressReport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "MECSUtils.h"

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

TEST(FormatPlainLine, InJapanese) {
    EXPECT_EQ(FormatPlainLine(Snapshot(2, 4, 6, 10, 90), Language::Japanese),
              "都道府県 2/4 神奈川県: ゴルフ場 6/10（経過 1:30、残り 約2:30）");
    EXPECT_EQ(FormatPlainLine(Snapshot(1, 4, 0, 0, 0), Language::Japanese),
              "都道府県 1/4 神奈川県: ゴルフ場なし（経過 0:00、残り ?）");
    ProgressSnapshot failed = Snapshot(1, 4, 0, 0, 0);
    failed.listingNotRead = true;
    EXPECT_NE(FormatPlainLine(failed, Language::Japanese).find("一覧を取得できませんでした"),
              std::string::npos);
    EXPECT_NE(FormatPlainLine(failed).find("listing not read"), std::string::npos);
}

TEST(FormatBarLine, InJapaneseItNeverWrapsEither) {
    const ProgressSnapshot snapshot = Snapshot(2, 4, 6, 10, 90);
    EXPECT_NE(FormatBarLine(snapshot, 120, Language::Japanese)
                  .find("2/4 神奈川県  ゴルフ場 6/10  経過 1:30、残り 約2:30"),
              std::string::npos);
    for (int columns = 1; columns <= 130; ++columns) {
        const std::string line = FormatBarLine(snapshot, columns, Language::Japanese);
        EXPECT_LE(DisplayWidth(line), std::max(1, columns - 1)) << columns << ": " << line;
    }
}

// What a TerminalProgress writes for a run of `names` (UTF-8), `courses`
// courses each, into a file that stands for standard error.
std::string ProgressOutput(const ProgressStyle& style, const std::vector<std::string>& names,
                           int courses) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) {
        ADD_FAILURE() << "no temporary file";
        return {};
    }
    {
        TerminalProgress progress(file, style);
        HarvestReport run;
        run.prefectureCount = static_cast<int>(names.size());
        progress.ProgressStart(run);
        for (const std::string& name : names) {
            run.currentPrefecture = UTF8ToAnsi(name);
            progress.ProgressStep(run);
            run.courseTotal = courses;
            run.courseIndex = 0;
            progress.StatusUpdate(run);  // the listing read
            for (run.courseIndex = 1; run.courseIndex <= courses; ++run.courseIndex) {
                progress.StatusUpdate(run);
            }
        }
        progress.RunEnded(run);
    }
    std::string output;
    std::rewind(file);
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        output.append(buffer, count);
    }
    std::fclose(file);
    return output;
}

TEST(TerminalProgress, WithoutATerminalOneLinePerPrefecture) {
    ProgressStyle style;
    const std::string output = ProgressOutput(style, {"北海道", "東京都", "沖縄県"}, 25);
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 3) << output;
    EXPECT_EQ(output.find('\r'), std::string::npos);
    EXPECT_EQ(output.find('\x1b'), std::string::npos);
    EXPECT_TRUE(output.starts_with("prefecture 1/3 北海道: course 25/25 (")) << output;
    EXPECT_NE(output.find("\nprefecture 3/3 沖縄県: course 25/25 ("), std::string::npos);

    style.language = Language::Japanese;
    const std::string japanese = ProgressOutput(style, {"北海道", "東京都"}, 3);
    EXPECT_EQ(std::count(japanese.begin(), japanese.end(), '\n'), 2) << japanese;
    EXPECT_TRUE(japanese.starts_with("都道府県 1/2 北海道: ゴルフ場 3/3（経過 ")) << japanese;

    style.quiet = true;
    EXPECT_EQ(ProgressOutput(style, {"北海道"}, 3), "");
}

TEST(TerminalProgress, ADumbTerminalGetsNoEscapeCode) {
    ProgressStyle style;
    style.terminal = true;
    const std::string smart = ProgressOutput(style, {"神奈川県", "沖縄県"}, 3);
    EXPECT_NE(smart.find(std::string(kEraseToLineEnd)), std::string::npos);

    style.dumbTerminal = true;
    const std::string dumb = ProgressOutput(style, {"神奈川県", "沖縄県"}, 3);
    EXPECT_EQ(dumb.find('\x1b'), std::string::npos) << dumb;
    EXPECT_EQ(dumb.find('\n'), std::string::npos);  // redrawn in place all the same
    const auto redraws = [](const std::string& output) {
        std::size_t count = 0;
        for (std::size_t at = output.find("\r["); at != std::string::npos;
             at = output.find("\r[", at + 1)) {
            ++count;
        }
        return count;
    };
    EXPECT_EQ(redraws(dumb), redraws(smart));
    EXPECT_EQ(redraws(dumb), 2u * (1u + 1u + 3u));  // a prefecture's start, its listing, 3 courses
    // Spaces cover exactly what a longer line before left. How long a line
    // is depends on the time estimate (a wider estimate narrows the bar), so
    // each redraw is held to the one before it rather than to fixed widths.
    int previousWidth = 0;
    std::size_t segments = 0;
    for (std::size_t start = 1, end = 0; start < dumb.size(); start = end + 1) {
        end = std::min(dumb.find('\r', start), dumb.size());
        const std::string segment = dumb.substr(start, end - start);
        const std::size_t kept = segment.find_last_not_of(' ');
        const std::string line = kept == std::string::npos ? "" : segment.substr(0, kept + 1);
        const int width = DisplayWidth(line);
        EXPECT_EQ(segment.size() - line.size(),
                  static_cast<std::size_t>(std::max(0, previousWidth - width)))
            << "redraw " << segments << ": " << segment;
        previousWidth = width;
        ++segments;
    }
    // The redraws, then the bar cleared at the end with spaces alone.
    EXPECT_EQ(segments, redraws(dumb) + 1);
    EXPECT_TRUE(dumb.starts_with("\r[")) << dumb;
    EXPECT_TRUE(dumb.ends_with(" \r")) << dumb;
}

}  // namespace
}  // namespace teebasket::cli
