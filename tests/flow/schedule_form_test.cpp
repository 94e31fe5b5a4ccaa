// The window's 定期取得 as values: what the add dialog holds becomes a
// schedule or a Japanese reason, and a schedule of the book becomes its row.
#include <gtest/gtest.h>

#include <filesystem>

#include "ScheduleForm.h"
#include "WindowFlow.h"
#include "path_text.h"

namespace teebasket::flow {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = fs::current_path().root_path();

ScheduleForm Filled() {
    ScheduleForm form;
    form.name = "kanto";
    form.cadence = schedule::Cadence::Weekly;
    form.weekday = 1;
    form.hour = 6;
    form.minute = 30;
    form.rows = {13, 12, 12};  // as ticked: unsorted, once twice
    form.output = PathText(kRoot / PathFromUtf8("データ/関東"));
    form.outputType = OutputTypeIndex(OutputFormat::Xlsx);
    form.iniFile = kRoot / "golf.ini";
    return form;
}

TEST(ScheduleForm, AFilledFormIsTheScheduleTheRunReads) {
    schedule::Schedule made;
    ASSERT_EQ(ScheduleOfForm(Filled(), made), "");
    EXPECT_EQ(made.name, "kanto");
    EXPECT_EQ(schedule::CadenceTextJapanese(made), "毎週 月曜日 06:30");
    EXPECT_EQ(made.prefectures, (std::vector<int>{13, 14}));
    // The type's extension is added to a name without it; the run reads the window's golf.ini.
    EXPECT_EQ(made.output, kRoot / PathFromUtf8("データ/関東.xlsx"));
    EXPECT_EQ(made.format, OutputFormat::Xlsx);
    EXPECT_EQ(made.config, kRoot / "golf.ini");

    // A name with a type's extension keeps it and says the format.
    ScheduleForm named = Filled();
    named.output += ".jsonl";
    ASSERT_EQ(ScheduleOfForm(named, made), "");
    EXPECT_EQ(made.output, kRoot / PathFromUtf8("データ/関東.jsonl"));
    EXPECT_EQ(made.format, OutputFormat::Jsonl);
    named.output = Filled().output + ".CSV";
    ASSERT_EQ(ScheduleOfForm(named, made), "");
    EXPECT_EQ(made.output, kRoot / PathFromUtf8("データ/関東.CSV"));
    EXPECT_EQ(made.format, OutputFormat::Csv);

    ScheduleForm monthly = Filled();
    monthly.cadence = schedule::Cadence::Monthly;
    monthly.monthDay = 28;
    ASSERT_EQ(ScheduleOfForm(monthly, made), "");
    EXPECT_EQ(schedule::CadenceTextJapanese(made), "毎月 28 日 06:30");
}

TEST(ScheduleForm, WhatCannotBeAScheduleIsSaidInJapanese) {
    schedule::Schedule made;
    ScheduleForm form = Filled();
    form.name = "関東";
    EXPECT_NE(ScheduleOfForm(form, made).find("半角の英字・数字"), std::string::npos);
    form = Filled();
    form.rows.clear();
    EXPECT_EQ(ScheduleOfForm(form, made), "取得する都道府県をチェックしてください");
    form = Filled();
    form.output = "関東.csv";  // a run from a scheduler has no folder of its own
    EXPECT_NE(ScheduleOfForm(form, made).find("フォルダー"), std::string::npos);
    form = Filled();
    form.output.clear();
    EXPECT_EQ(ScheduleOfForm(form, made), "保存先のファイルを指定してください");
}

TEST(ScheduleForm, RowsSayWhatTheListNeeds) {
    schedule::ScheduleEntry entry;
    entry.name = "kanto";
    ASSERT_EQ(ScheduleOfForm(Filled(), entry.schedule.emplace()), "");
    ScheduleRow row = RowOfEntry(entry);
    EXPECT_EQ(row.prefectures, "東京都、神奈川県");
    EXPECT_EQ(row.nextRun, "未登録");  // the scheduler did not answer
    EXPECT_EQ(row.lastResult, "－");
    EXPECT_FALSE(row.needsAttention);

    entry.schedule->prefectures = {8, 9, 10, 11, 12};
    entry.times = {"", "Mon 2026-12-14 06:30:00 JST", true};
    entry.lastResult = schedule::ScheduleResult{"2026-12-07T06:31:05+09:00",
                                                10,
                                                "5 courses",
                                                {schedule::Alert::NamesMissing},
                                                kRoot / "kanto.changes.xlsx"};
    row = RowOfEntry(entry);
    EXPECT_EQ(row.prefectures, "茨城県、栃木県 ほか 3");
    EXPECT_EQ(row.lastRun, "－");
    EXPECT_EQ(row.nextRun, "Mon 2026-12-14 06:30:00 JST");
    EXPECT_EQ(row.lastResult, "2026-12-07 06:31 要確認");
    EXPECT_TRUE(row.needsAttention);
    EXPECT_NE(row.details.find(schedule::AlertText(schedule::Alert::NamesMissing)),
              std::string::npos);
    EXPECT_NE(row.details.find("kanto.changes.xlsx"), std::string::npos);

    entry.schedule->prefectures.resize(47);
    EXPECT_EQ(RowOfEntry(entry).prefectures, "全国（47）");
    entry.lastResult->exitCode = 9;
    EXPECT_EQ(RowOfEntry(entry).lastResult, "2026-12-07 06:31 エラー（終了コード 9）");

    // A settings file that cannot be read shows why, in the place of its times.
    schedule::ScheduleEntry broken;
    broken.name = "old";
    broken.problem = {"定期取得「old」の設定を読めません（day is out of range）", "..."};
    EXPECT_EQ(RowOfEntry(broken).when, broken.problem.japanese);
    EXPECT_TRUE(RowOfEntry(broken).needsAttention);
}

}  // namespace
}  // namespace teebasket::flow
