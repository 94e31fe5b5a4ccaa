// ScheduleForm: the window's 定期取得 as values. What the dialog that adds a
// schedule holds becomes a schedule, or the Japanese reason it cannot; a
// schedule of the book becomes the texts of its row in the dialog's list.
// Plain C++; the Qt dialog shows what it says.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "Schedule.h"
#include "ScheduleBook.h"

namespace teebasket::flow {

struct ScheduleForm {
    std::string name;
    schedule::Cadence cadence = schedule::Cadence::Monthly;
    int monthDay = 1;  // 1-28
    int weekday = 1;   // 0 Sunday ... 6 Saturday
    int hour = 3;
    int minute = 0;
    std::vector<int> rows;          // the ticked prefectures' rows, 0-46
    std::string output;             // UTF-8, as typed or chosen
    int outputType = 0;             // OutputTypes()
    std::filesystem::path iniFile;  // the window's golf.ini, which the run reads
};

// The schedule of `form` in `schedule`, or the reason it cannot be one
// (Japanese, UTF-8). The output takes the type's extension when it has none
// of its own.
std::string ScheduleOfForm(const ScheduleForm& form, schedule::Schedule& schedule);

// One schedule in the dialog's list (UTF-8).
struct ScheduleRow {
    std::string name;
    std::string when;  // 毎月 1 日 03:00
    std::string prefectures;  // 東京都、神奈川県 / 全国（47）/ 東京都、神奈川県 ほか 3
    std::string output;
    std::string lastRun;     // the scheduler's, "－" when none
    std::string nextRun;     // the scheduler's, 未登録 when it does not know the schedule
    std::string lastResult;  // 2026-12-09 03:00 正常 / 要確認 / エラー（終了コード 9）
    std::string details;     // the alerts and the report, one a line
    bool needsAttention = false;
};

ScheduleRow RowOfEntry(const schedule::ScheduleEntry& entry);

// The prefectures of JIS codes `codes` as a row shows them (UTF-8).
std::string PrefecturesText(const std::vector<int>& codes);

// The Japanese lines of a step of the book, one a line.
std::string StepText(const schedule::SystemStep& step);

}  // namespace teebasket::flow
