// The output formats' names and extensions, and the time stamp of a course.
#include <array>
#include <cstdio>

#include "OutputFormat.h"

namespace teebasket {
namespace {

struct FormatName {
    OutputFormat format;
    std::string_view name;
};

constexpr std::array<FormatName, 4> kFormatNames = {{
    {OutputFormat::Csv, "csv"},
    {OutputFormat::CsvUtf8, "csv-utf8"},
    {OutputFormat::Jsonl, "jsonl"},
    {OutputFormat::Xlsx, "xlsx"},
}};

bool EqualsAsciiNoCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
        if (c != lower[i]) {
            return false;
        }
    }
    return true;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

long long SecondsOf(const std::tm& time) {
    return DaysFromCivil(time.tm_year + 1900LL, static_cast<unsigned>(time.tm_mon + 1),
                         static_cast<unsigned>(time.tm_mday)) *
               86400 +
           time.tm_hour * 3600LL + time.tm_min * 60LL + time.tm_sec;
}

bool LocalAndUtc(std::time_t when, std::tm& local, std::tm& utc) {
#ifdef _WIN32
    return localtime_s(&local, &when) == 0 && gmtime_s(&utc, &when) == 0;
#else
    return localtime_r(&when, &local) != nullptr && gmtime_r(&when, &utc) != nullptr;
#endif
}

}  // namespace

std::optional<OutputFormat> ParseOutputFormat(std::string_view name) {
    for (const FormatName& entry : kFormatNames) {
        if (EqualsAsciiNoCase(name, entry.name)) {
            return entry.format;
        }
    }
    return std::nullopt;
}

std::string_view OutputFormatName(OutputFormat format) {
    for (const FormatName& entry : kFormatNames) {
        if (entry.format == format) {
            return entry.name;
        }
    }
    return "csv";
}

std::optional<OutputFormat> OutputFormatOfPath(const std::filesystem::path& path) {
    const std::string extension = path.extension().string();
    if (EqualsAsciiNoCase(extension, ".xlsx")) {
        return OutputFormat::Xlsx;
    }
    if (EqualsAsciiNoCase(extension, ".jsonl")) {
        return OutputFormat::Jsonl;
    }
    return std::nullopt;
}

std::string_view OutputFormatExtension(OutputFormat format) {
    switch (format) {
        case OutputFormat::Jsonl:
            return ".jsonl";
        case OutputFormat::Xlsx:
            return ".xlsx";
        case OutputFormat::Csv:
        case OutputFormat::CsvUtf8:
            break;
    }
    return ".csv";
}

std::string IsoLocalTime(std::time_t when) {
    std::tm local{};
    std::tm utc{};
    if (!LocalAndUtc(when, local, utc)) {
        return {};
    }
    // The offset from the two calendar readings of the same instant, since
    // tm_gmtoff is not everywhere.
    const long long offsetMinutes = (SecondsOf(local) - SecondsOf(utc)) / 60;
    const long long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02lld:%02lld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, offsetMinutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

}  // namespace teebasket
