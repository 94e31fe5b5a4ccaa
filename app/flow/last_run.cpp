// The [LastRun] section of golf.ini: the run whose courses were left to be
// read, so that Start can offer to continue it. The output file does not say
// which prefectures its run covered; this section does. And the [SaveDialog]
// section: the save dialog's last choice.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>

#include "HarvestConfig.h"
#include "ProfileFile.h"
#include "RunOutcome.h"
#include "WindowFlow.h"
#include "path_text.h"

namespace teebasket::flow {

namespace {

constexpr const char* kSection = "LastRun";
constexpr const char* kOutputKey = "Output";
constexpr const char* kFormatKey = "Format";
constexpr const char* kCoursesKey = "Courses";
constexpr const char* kListedKey = "Listed";
constexpr const char* kNotReadKey = "NotRead";
constexpr const char* kEndedKey = "Ended";
constexpr const char* kSaveSection = "SaveDialog";
constexpr const char* kPathKey = "Path";
constexpr const char* kTypeKey = "Type";

std::optional<int> Number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::string NumberValue(const std::optional<int>& value) {
    return value ? std::to_string(*value) : std::string();
}

// A path with a line break cannot stand as one INI value.
bool Recordable(const std::string& utf8) {
    return utf8.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

// Anything at `path`, a link not followed.
bool SomethingAt(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() !=
           std::filesystem::file_type::not_found;
}

}  // namespace

ClockTime LocalClockTime(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

std::string ClockTimeValue(const ClockTime& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", time.year, time.month, time.day,
                  time.hour, time.minute);
    return text;
}

std::optional<ClockTime> ParseClockTime(std::string_view value) {
    // "YYYY-MM-DD HH:MM"
    if (value.size() != 16 || value[4] != '-' || value[7] != '-' || value[10] != ' ' ||
        value[13] != ':') {
        return std::nullopt;
    }
    const auto year = Number(value.substr(0, 4));
    const auto month = Number(value.substr(5, 2));
    const auto day = Number(value.substr(8, 2));
    const auto hour = Number(value.substr(11, 2));
    const auto minute = Number(value.substr(14, 2));
    if (!year || !month || !day || !hour || !minute || *month < 1 || *month > 12 || *day < 1 ||
        *day > 31 || *hour > 23 || *minute > 59) {
        return std::nullopt;
    }
    return ClockTime{*year, *month, *day, *hour, *minute};
}

SettingsWriteFailure WriteSetting(const std::filesystem::path& iniFile, const std::string& section,
                                  const std::string& key, const std::string& value) {
    SettingsWriteFailure failure;
    failure.file = iniFile;
    failure.reason = WriteProfileString(iniFile, section, key, value, &failure.error);
    return failure;
}

std::string AreaOfRows(const std::vector<int>& rows) {
    std::vector<bool> ticked(kPrefectureCount, false);
    for (int row : rows) {
        if (row >= 0 && row < kPrefectureCount) {
            ticked[static_cast<std::size_t>(row)] = true;
        }
    }
    return AreaValue(ticked);
}

std::optional<LastRunRecord> LoadLastRun(const std::filesystem::path& iniFile) {
    const std::string output = ReadProfileString(iniFile, kSection, kOutputKey, "");
    if (output.empty()) {
        return std::nullopt;
    }
    LastRunRecord record;
    record.output = output;
    record.area = ReadProfileString(iniFile, kSection, kAreaKey, "");
    const std::optional<OutputFormat> format =
        ParseOutputFormat(ReadProfileString(iniFile, kSection, kFormatKey, "csv"));
    if (!format) {
        return std::nullopt;
    }
    record.format = *format;
    record.courses = Number(ReadProfileString(iniFile, kSection, kCoursesKey, ""));
    record.coursesListed = Number(ReadProfileString(iniFile, kSection, kListedKey, ""));
    record.pagesNotRead = Number(ReadProfileString(iniFile, kSection, kNotReadKey, ""));
    record.ended = ParseClockTime(ReadProfileString(iniFile, kSection, kEndedKey, ""));
    return record;
}

SettingsWriteFailure SaveLastRun(const std::filesystem::path& iniFile,
                                 const LastRunRecord& record) {
    if (!Recordable(record.output)) {
        return {};
    }
    const std::string format(OutputFormatName(record.format));
    const std::string ended = record.ended ? ClockTimeValue(*record.ended) : std::string();
    // The output last: a record counts once it is whole.
    for (const auto& [key, value] :
         {std::pair{kAreaKey, record.area}, std::pair{kFormatKey, format},
          std::pair{kCoursesKey, NumberValue(record.courses)},
          std::pair{kListedKey, NumberValue(record.coursesListed)},
          std::pair{kNotReadKey, NumberValue(record.pagesNotRead)}, std::pair{kEndedKey, ended},
          std::pair{kOutputKey, record.output}}) {
        if (SettingsWriteFailure failure = WriteSetting(iniFile, kSection, key, value)) {
            return failure;
        }
    }
    return {};
}

SettingsWriteFailure ForgetLastRun(const std::filesystem::path& iniFile) {
    return WriteSetting(iniFile, kSection, kOutputKey, "");
}

bool LastRunLeftCoursesAt(const std::filesystem::path& iniFile, const std::string& output,
                          OutputFormat format, const std::vector<int>& rows) {
    const std::optional<LastRunRecord> last = LoadLastRun(iniFile);
    if (!last || last->output != output || last->format != format ||
        last->area != AreaOfRows(rows)) {
        return false;
    }
    const std::filesystem::path path = PathFromUtf8(output);
    return SomethingAt(PartialPathOf(path)) || SomethingAt(path);
}

int RowsLeft(const HarvestReport& report) {
    if (report.files != FileOutcome::PartialKept) {
        return report.linesInFile;
    }
    // A continued run's partial file holds the earlier run's lines too.
    return report.rowsWritten + (report.resume.resumed ? report.resume.earlierCourses : 0);
}

SettingsWriteFailure RecordLastRun(const std::filesystem::path& iniFile, const std::string& output,
                                   const HarvestRequest& request, const HarvestReport& report,
                                   bool threadFailed, const RunTally& tally) {
    std::error_code error;
    if (threadFailed || !std::filesystem::is_directory(iniFile.parent_path(), error)) {
        return {};
    }
    const RunOutcome ended = OutcomeOf(report);
    if (ended.coursesLeftToRead) {
        LastRunRecord record{output, AreaOfRows(request.selection.rows), request.output.format};
        record.courses = RowsLeft(report);
        // A listing not read leaves the number of courses open.
        const bool listingNotRead =
            std::any_of(report.pageFailures.begin(), report.pageFailures.end(),
                        [](const PageFailure& page) { return page.kind == PageKind::Listing; });
        record.coursesListed = listingNotRead ? std::nullopt : tally.coursesListed;
        record.pagesNotRead = static_cast<int>(
            std::count_if(report.pageFailures.begin(), report.pageFailures.end(),
                          [](const PageFailure& page) { return page.kind == PageKind::Detail; }));
        if (tally.ended.year != 0) {
            record.ended = tally.ended;
        }
        return SaveLastRun(iniFile, record);
    }
    if (ended.everyCourseInPlace) {
        const std::optional<LastRunRecord> last = LoadLastRun(iniFile);
        if (last && last->output == output) {
            return ForgetLastRun(iniFile);
        }
    }
    return {};
}

SaveChoice LastSaveChoice(const std::filesystem::path& iniFile) {
    SaveChoice choice;
    const std::string path = ReadProfileString(iniFile, kSaveSection, kPathKey, "");
    if (path.empty()) {
        return choice;
    }
    choice.path = path;
    const std::optional<OutputFormat> format =
        ParseOutputFormat(ReadProfileString(iniFile, kSaveSection, kTypeKey, ""));
    choice.filter = format ? OutputTypeIndex(*format) : 0;
    return choice;
}

SettingsWriteFailure RememberSaveChoice(const std::filesystem::path& iniFile,
                                        const SaveChoice& choice) {
    if (!Recordable(choice.path)) {
        return {};
    }
    const std::string type(OutputFormatName(OutputTypeAt(choice.filter).format));
    if (SettingsWriteFailure failure = WriteSetting(iniFile, kSaveSection, kTypeKey, type)) {
        return failure;
    }
    return WriteSetting(iniFile, kSaveSection, kPathKey, choice.path);
}

}  // namespace teebasket::flow
