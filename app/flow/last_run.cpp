// The [LastRun] section of golf.ini: the run whose courses were left to be
// read, so that Start can offer to continue it. The output file does not say
// which prefectures its run covered; this section does.
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
    return record;
}

SettingsWriteFailure SaveLastRun(const std::filesystem::path& iniFile,
                                 const LastRunRecord& record) {
    if (!Recordable(record.output)) {
        return {};
    }
    const std::string format(OutputFormatName(record.format));
    // The output last: a record counts once it is whole.
    for (const auto& [key, value] :
         {std::pair{kAreaKey, record.area}, std::pair{kFormatKey, format},
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

SettingsWriteFailure RecordLastRun(const std::filesystem::path& iniFile, const std::string& output,
                                   const HarvestRequest& request, const HarvestReport& report,
                                   bool threadFailed) {
    std::error_code error;
    if (threadFailed || !std::filesystem::is_directory(iniFile.parent_path(), error)) {
        return {};
    }
    const RunOutcome ended = OutcomeOf(report);
    if (ended.coursesLeftToRead) {
        return SaveLastRun(iniFile,
                           {output, AreaOfRows(request.selection.rows), request.output.format});
    }
    if (ended.everyCourseInPlace) {
        const std::optional<LastRunRecord> last = LoadLastRun(iniFile);
        if (last && last->output == output) {
            return ForgetLastRun(iniFile);
        }
    }
    return {};
}

}  // namespace teebasket::flow
