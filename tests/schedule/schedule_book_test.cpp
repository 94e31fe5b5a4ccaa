// The schedule book: a damaged settings file is listed with its reason and
// can still be removed, with its state and its attention marker.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "MECSUtils.h"
#include "ScheduleBook.h"
#include "TestSupport.h"

namespace teebasket::schedule {
namespace {

namespace fs = std::filesystem;

TEST(ScheduleBook, ADamagedScheduleIsListedWithItsReasonAndRemovable) {
    test::TempDir folder;
#ifndef _WIN32
    // Whatever the scheduler is asked about is the test's own.
    ::setenv("XDG_CONFIG_HOME", (folder.path() / "config").c_str(), 1);
#endif
    const fs::path data = folder.path();
    const fs::path schedules = SchedulesFolderIn(data);
    fs::create_directories(schedules);
    std::string problem;
    ASSERT_TRUE(WriteWholeFile(ScheduleFilePath(schedules, "old"), "name=old\nday=99\n", problem));
    ScheduleResult result{"2026-12-09T03:00:00+09:00", 10, "", {Alert::WroteNothing}, {}};
    ASSERT_TRUE(WriteWholeFile(StateFilePath(schedules, "old"), ResultFileText(result), problem));
    ASSERT_TRUE(WriteWholeFile(AttentionMarkerPath(data), AttentionMarkerText("old", result, data),
                               problem));

    const std::vector<ScheduleEntry> entries = ListSchedules(data);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_FALSE(entries[0].schedule.has_value());
    EXPECT_NE(entries[0].problem.japanese.find("定期取得「old」の設定を読めません"),
              std::string::npos);
    EXPECT_NE(entries[0].problem.english.find("day is out of range"), std::string::npos);
    ASSERT_TRUE(entries[0].lastResult.has_value());

    const SystemStep removed = RemoveSchedule(data, "old");
    EXPECT_EQ(removed.outcome, StepOutcome::Done);
    EXPECT_TRUE(ListSchedules(data).empty());
    EXPECT_FALSE(fs::exists(StateFilePath(schedules, "old")));
    EXPECT_FALSE(fs::exists(AttentionMarkerPath(data)));

    const SystemStep again = RemoveSchedule(data, "old");
    EXPECT_EQ(again.outcome, StepOutcome::UnknownSchedule);
    EXPECT_EQ(again.lines.front().japanese, "定期取得「old」はありません");
}

}  // namespace
}  // namespace teebasket::schedule
