// The [LastRun] section of golf.ini: the run whose courses were left to be
// read, so that Start can offer to continue it. The output file does not say
// which prefectures its run covered; this section does.
#include "HarvestConfig.h"
#include "ProfileFile.h"
#include "window_internal.h"

namespace teebasket::window {

namespace {

constexpr const char* kSection = "LastRun";
constexpr const char* kOutputKey = "Output";
constexpr const char* kFormatKey = "Format";

// A path with a line break cannot stand as one INI value.
bool Recordable(const std::string& utf8) {
    return utf8.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

}  // namespace

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
    record.output = QString::fromStdString(output);
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
    const std::string output = record.output.toStdString();
    if (!Recordable(output)) {
        return {};
    }
    const std::string format(OutputFormatName(record.format));
    // The output last: a record counts once it is whole.
    for (const auto& [key, value] :
         {std::pair{kAreaKey, record.area}, std::pair{kFormatKey, format},
          std::pair{kOutputKey, output}}) {
        if (SettingsWriteFailure failure = WriteSetting(iniFile, kSection, key, value)) {
            return failure;
        }
    }
    return {};
}

SettingsWriteFailure ForgetLastRun(const std::filesystem::path& iniFile) {
    return WriteSetting(iniFile, kSection, kOutputKey, "");
}

}  // namespace teebasket::window
