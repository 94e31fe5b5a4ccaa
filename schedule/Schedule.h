// Schedule: one scheduled run as a value (when it runs, what it collects,
// where it writes), its settings file in the schedules folder, and the
// checks of what a user types for it. No Qt, no system calls.
//
// Texts are UTF-8; paths are kept as given (absolute, resolved by the caller).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OutputFormat.h"

namespace teebasket::schedule {

enum class Cadence { Monthly, Weekly };

// A text for people in both languages (UTF-8). A command or a path reads the
// same in both.
struct Words {
    std::string japanese;
    std::string english;

    bool empty() const { return japanese.empty() && english.empty(); }
};

// The same text in both languages.
inline Words Both(std::string text) {
    return {text, text};
}

// 0 Sunday ... 6 Saturday, as systemd and Task Scheduler both count.
inline constexpr int kWeekdays = 7;
// The last day of the month a monthly schedule may name: every month has it.
inline constexpr int kLastScheduledDay = 28;

struct Schedule {
    std::string name;  // ASCII letters, digits, '-' and '_' (ValidScheduleName)
    Cadence cadence = Cadence::Monthly;
    int day = 1;                   // Monthly: 1-28; Weekly: the weekday, 0 Sunday ... 6 Saturday
    int hour = 3;                  // 0-23, local time
    int minute = 0;                // 0-59
    std::vector<int> prefectures;  // JIS X 0401 codes, ascending
    std::filesystem::path output;  // absolute
    OutputFormat format = OutputFormat::Csv;
    std::optional<std::filesystem::path> config;  // absolute golf.ini; nothing: the default one
    // Further options of the run as typed on `schedule add` ("--pause-ms=0,0",
    // "--listing-host=127.0.0.1:8443"), passed to the run unchanged.
    std::vector<std::string> runOptions;
};

// Why `name` cannot name a schedule, or nothing: 1-40 characters of ASCII
// letters, digits, '-' and '_', not starting with '-'. It becomes part of
// the names of units, tasks and files, which need no quoting then.
Words ScheduleNameProblem(std::string_view name);

// "HH:MM" (24-hour, one or two digits for the hour) to hour and minute.
bool ParseTimeOfDay(std::string_view text, int& hour, int& minute);

// A weekday by its English name or its three-letter form in any case
// (monday, Mon), or its Japanese name (月曜日, 月曜, 月): 0 Sunday ... 6 Saturday.
std::optional<int> ParseWeekday(std::string_view text);

// "mon" ... "sun": the weekday's three-letter English name, lower case.
std::string_view WeekdayShortName(int weekday);

// When the schedule runs, for people: "monthly on day 1 at 03:00",
// "weekly on Mon at 06:30".
std::string CadenceText(const Schedule& schedule);
// The same in Japanese: "毎月 1 日 03:00", "毎週 月曜日 06:30".
std::string CadenceTextJapanese(const Schedule& schedule);

// The Japanese name of a weekday, 0 Sunday ... 6 Saturday: "月曜日".
std::string_view WeekdayJapaneseName(int weekday);

// The schedule's settings file: "key=value" lines, UTF-8, LF.
std::string ScheduleFileText(const Schedule& schedule);

// The schedule in `text`, or nothing and the reason when a line is not
// understood or a value is out of range.
std::optional<Schedule> ParseScheduleFile(std::string_view text, std::string& error);

// Where a schedule's files live: the schedules folder holds NAME.schedule
// (its settings) and NAME.state (its last result).
std::filesystem::path SchedulesFolderIn(const std::filesystem::path& dataFolder);
std::filesystem::path ScheduleFilePath(const std::filesystem::path& schedulesFolder,
                                       std::string_view name);
std::filesystem::path StateFilePath(const std::filesystem::path& schedulesFolder,
                                    std::string_view name);

// The names of the schedules whose settings files are in `schedulesFolder`,
// sorted; none when the folder is missing.
std::vector<std::string> ScheduleNamesIn(const std::filesystem::path& schedulesFolder);

}  // namespace teebasket::schedule
