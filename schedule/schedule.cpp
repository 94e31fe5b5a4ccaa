#include "Schedule.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <system_error>

#include "path_text.h"

namespace teebasket::schedule {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxNameLength = 40;
constexpr std::string_view kScheduleSuffix = ".schedule";
constexpr std::string_view kStateSuffix = ".state";

struct WeekdayNames {
    std::string_view english;
    std::string_view japanese;  // 月曜日; also taken as 月曜 and 月
};

constexpr std::array<WeekdayNames, kWeekdays> kWeekdayNames{{
    {"sunday", "日曜日"},
    {"monday", "月曜日"},
    {"tuesday", "火曜日"},
    {"wednesday", "水曜日"},
    {"thursday", "木曜日"},
    {"friday", "金曜日"},
    {"saturday", "土曜日"},
}};

bool IsAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::string Lowercase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return lower;
}

std::optional<int> ParseNumber(std::string_view text, int lowest, int highest) {
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < lowest ||
        value > highest) {
        return std::nullopt;
    }
    return value;
}

std::string TwoDigits(int value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

std::vector<std::string_view> SplitOn(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (!text.empty()) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        text = at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
    }
    return parts;
}

// One "key=value" line of the settings file, applied to `schedule`; "" when
// it is understood, otherwise the reason.
std::string ApplySetting(std::string_view key, std::string_view value, Schedule& schedule) {
    if (key == "name") {
        schedule.name = value;
        return ScheduleNameProblem(value).english;
    }
    if (key == "cadence") {
        if (value != "monthly" && value != "weekly") {
            return "cadence is monthly or weekly";
        }
        schedule.cadence = value == "monthly" ? Cadence::Monthly : Cadence::Weekly;
        return {};
    }
    if (key == "day") {
        const std::optional<int> day = ParseNumber(value, 0, kLastScheduledDay);
        schedule.day = day.value_or(-1);
        return day ? "" : "day is out of range";
    }
    if (key == "time") {
        return ParseTimeOfDay(value, schedule.hour, schedule.minute) ? "" : "time is not HH:MM";
    }
    if (key == "prefectures") {
        schedule.prefectures.clear();
        for (const std::string_view code : SplitOn(value, ',')) {
            const std::optional<int> number = ParseNumber(code, 1, 47);
            if (!number) {
                return "prefectures are JIS codes 1-47";
            }
            schedule.prefectures.push_back(*number);
        }
        return {};
    }
    if (key == "output") {
        schedule.output = PathFromUtf8(value);
        return {};
    }
    if (key == "format") {
        const std::optional<OutputFormat> format = ParseOutputFormat(value);
        schedule.format = format.value_or(OutputFormat::Csv);
        return format ? "" : "format is not known";
    }
    if (key == "config") {
        schedule.config = PathFromUtf8(value);
        return {};
    }
    if (key == "option") {
        schedule.runOptions.emplace_back(value);
        return {};
    }
    return "unknown key \"" + std::string(key) + "\"";
}

// What a complete schedule needs beyond its single lines.
std::string CompletenessProblem(const Schedule& schedule) {
    if (schedule.name.empty()) {
        return "no name";
    }
    const int firstDay = schedule.cadence == Cadence::Monthly ? 1 : 0;
    const int lastDay = schedule.cadence == Cadence::Monthly ? kLastScheduledDay : kWeekdays - 1;
    if (schedule.day < firstDay || schedule.day > lastDay) {
        return "day is out of range";
    }
    if (schedule.prefectures.empty()) {
        return "no prefecture";
    }
    if (!schedule.output.is_absolute()) {
        return "the output is not an absolute path";
    }
    return {};
}

// Whether `text` ends in `suffix`; `stem` is what comes before it.
bool EndsWith(std::string_view text, std::string_view suffix, std::string_view& stem) {
    if (text.size() <= suffix.size() || !text.ends_with(suffix)) {
        return false;
    }
    stem = text.substr(0, text.size() - suffix.size());
    return true;
}

}  // namespace

Words ScheduleNameProblem(std::string_view name) {
    if (name.empty()) {
        return {"定期取得の名前を入れてください", "a schedule needs a name"};
    }
    const std::string most = std::to_string(kMaxNameLength);
    if (name.size() > kMaxNameLength) {
        return {"定期取得の名前は " + most + " 文字までです",
                "a schedule's name has at most " + most + " characters"};
    }
    const bool plain = std::all_of(name.begin(), name.end(),
                                   [](char c) { return IsAsciiAlnum(c) || c == '-' || c == '_'; });
    if (!plain || name.front() == '-') {
        return {"定期取得の名前には半角の英字・数字と「-」「_」を使い、「-」で始めないでください",
                "a schedule's name is made of ASCII letters, digits, '-' and '_', and does not "
                "start with '-'"};
    }
    return {};
}

bool ParseTimeOfDay(std::string_view text, int& hour, int& minute) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() != colon + 3) {
        return false;
    }
    const std::optional<int> h = ParseNumber(text.substr(0, colon), 0, 23);
    const std::optional<int> m = ParseNumber(text.substr(colon + 1), 0, 59);
    if (!h || !m) {
        return false;
    }
    hour = *h;
    minute = *m;
    return true;
}

std::optional<int> ParseWeekday(std::string_view text) {
    const std::string lower = Lowercase(text);
    for (int day = 0; day < kWeekdays; ++day) {
        const WeekdayNames& names = kWeekdayNames[static_cast<std::size_t>(day)];
        const std::string_view japanese = names.japanese;
        if (lower == names.english || (lower.size() == 3 && names.english.starts_with(lower)) ||
            text == japanese || text == japanese.substr(0, 6) || text == japanese.substr(0, 3)) {
            return day;
        }
    }
    return std::nullopt;
}

std::string_view WeekdayShortName(int weekday) {
    if (weekday < 0 || weekday >= kWeekdays) {
        return {};
    }
    return kWeekdayNames[static_cast<std::size_t>(weekday)].english.substr(0, 3);
}

std::string CadenceText(const Schedule& schedule) {
    const std::string at = " at " + TwoDigits(schedule.hour) + ":" + TwoDigits(schedule.minute);
    if (schedule.cadence == Cadence::Monthly) {
        return "monthly on day " + std::to_string(schedule.day) + at;
    }
    std::string weekday(WeekdayShortName(schedule.day));
    if (!weekday.empty()) {
        weekday[0] = static_cast<char>(weekday[0] - 32);
    }
    return "weekly on " + weekday + at;
}

std::string_view WeekdayJapaneseName(int weekday) {
    if (weekday < 0 || weekday >= kWeekdays) {
        return {};
    }
    return kWeekdayNames[static_cast<std::size_t>(weekday)].japanese;
}

std::string CadenceTextJapanese(const Schedule& schedule) {
    const std::string at = " " + TwoDigits(schedule.hour) + ":" + TwoDigits(schedule.minute);
    if (schedule.cadence == Cadence::Monthly) {
        return "毎月 " + std::to_string(schedule.day) + " 日" + at;
    }
    return "毎週 " + std::string(WeekdayJapaneseName(schedule.day)) + at;
}

std::string ScheduleFileText(const Schedule& schedule) {
    std::string text = "name=" + schedule.name + "\n";
    text += schedule.cadence == Cadence::Monthly ? "cadence=monthly\n" : "cadence=weekly\n";
    text += "day=" + std::to_string(schedule.day) + "\n";
    text += "time=" + TwoDigits(schedule.hour) + ":" + TwoDigits(schedule.minute) + "\n";
    text += "prefectures=";
    for (std::size_t i = 0; i < schedule.prefectures.size(); ++i) {
        text += (i > 0 ? "," : "") + std::to_string(schedule.prefectures[i]);
    }
    text += "\noutput=" + PathText(schedule.output) + "\n";
    text += "format=" + std::string(OutputFormatName(schedule.format)) + "\n";
    if (schedule.config) {
        text += "config=" + PathText(*schedule.config) + "\n";
    }
    for (const std::string& option : schedule.runOptions) {
        text += "option=" + option + "\n";
    }
    return text;
}

std::optional<Schedule> ParseScheduleFile(std::string_view text, std::string& error) {
    Schedule schedule;
    schedule.day = -1;
    for (std::string_view line : SplitOn(text, '\n')) {
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.empty() || line.starts_with('#')) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            error = "a line without '='";
            return std::nullopt;
        }
        error = ApplySetting(line.substr(0, equals), line.substr(equals + 1), schedule);
        if (!error.empty()) {
            return std::nullopt;
        }
    }
    error = CompletenessProblem(schedule);
    if (!error.empty()) {
        return std::nullopt;
    }
    return schedule;
}

fs::path SchedulesFolderIn(const fs::path& dataFolder) {
    return dataFolder / "schedules";
}

fs::path ScheduleFilePath(const fs::path& schedulesFolder, std::string_view name) {
    return schedulesFolder / PathFromUtf8(std::string(name) + std::string(kScheduleSuffix));
}

fs::path StateFilePath(const fs::path& schedulesFolder, std::string_view name) {
    return schedulesFolder / PathFromUtf8(std::string(name) + std::string(kStateSuffix));
}

std::vector<std::string> ScheduleNamesIn(const fs::path& schedulesFolder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(schedulesFolder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string fileName = PathText(entry->path().filename());
        std::string_view stem;
        if (EndsWith(fileName, kScheduleSuffix, stem) && ScheduleNameProblem(stem).empty()) {
            names.emplace_back(stem);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace teebasket::schedule
