#include "ScheduleState.h"

#include <algorithm>
#include <charconv>

#include "path_text.h"
#include "whole_file.h"

namespace teebasket::schedule {

namespace fs = std::filesystem;

namespace {

// A state file is a few lines; anything larger is not one.
constexpr std::uintmax_t kMaxStateFileBytes = 64 * 1024;

std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

std::string JoinedAlertKeys(const std::vector<Alert>& alerts) {
    std::string keys;
    for (const Alert alert : alerts) {
        keys += (keys.empty() ? "" : ",") + AlertKey(alert);
    }
    return keys;
}

std::vector<Alert> AlertsOfKeys(std::string_view keys) {
    std::vector<Alert> alerts;
    while (!keys.empty()) {
        const std::size_t comma = keys.find(',');
        if (const std::optional<Alert> alert = AlertOfKey(std::string(keys.substr(0, comma)))) {
            alerts.push_back(*alert);
        }
        keys = comma == std::string_view::npos ? std::string_view() : keys.substr(comma + 1);
    }
    return alerts;
}

}  // namespace

std::string ResultFileText(const ScheduleResult& result) {
    return "finished=" + OneLine(result.finishedAt) + "\n" +
           "exit=" + std::to_string(result.exitCode) + "\n" + "summary=" + OneLine(result.summary) +
           "\n" + "alerts=" + JoinedAlertKeys(result.alerts) + "\n" +
           "report=" + OneLine(PathText(result.report)) + "\n";
}

ScheduleResult ParseResultFile(std::string_view text) {
    ScheduleResult result;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        if (key == "finished") {
            result.finishedAt = value;
        } else if (key == "exit") {
            std::from_chars(value.data(), value.data() + value.size(), result.exitCode);
        } else if (key == "summary") {
            result.summary = value;
        } else if (key == "alerts") {
            result.alerts = AlertsOfKeys(value);
        } else if (key == "report") {
            result.report = PathFromUtf8(value);
        }
    }
    return result;
}

std::optional<ScheduleResult> ReadResultFile(const fs::path& path) {
    const WholeFileRead read = ReadWholeFile(path, kMaxStateFileBytes);
    if (read.status != WholeFileRead::Status::Read) {
        return std::nullopt;
    }
    return ParseResultFile(read.bytes);
}

bool WriteWholeFile(const fs::path& path, const std::string& bytes, std::string& error) {
    const WholeFileReplace written = ReplaceWholeFile(path, bytes);
    if (written.status == WholeFileReplace::Status::Replaced) {
        return true;
    }
    error = PathText(path) + ": " + written.systemError;
    return false;
}

fs::path AttentionMarkerPath(const fs::path& dataFolder) {
    return dataFolder / "attention.txt";
}

std::string AttentionMarkerText(const std::string& scheduleName, const ScheduleResult& result,
                                const fs::path& output) {
    std::string text = OneLine(PathText(result.report.empty() ? output : result.report)) + "\n";
    text += scheduleName + "\n";
    for (const Alert alert : result.alerts) {
        text += AlertText(alert) + "\n";
    }
    return text;
}

std::optional<AttentionNote> ReadAttentionMarker(const fs::path& dataFolder) {
    const WholeFileRead read = ReadWholeFile(AttentionMarkerPath(dataFolder), kMaxStateFileBytes);
    if (read.status != WholeFileRead::Status::Read) {
        return std::nullopt;
    }
    std::vector<std::string> lines;
    for (std::string_view rest = read.bytes; !rest.empty();) {
        const std::size_t end = rest.find('\n');
        lines.emplace_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    if (lines.empty() || lines.front().empty()) {
        return std::nullopt;
    }
    AttentionNote note;
    note.file = PathFromUtf8(lines.front());
    if (lines.size() > 1) {
        note.scheduleName = lines[1];
        note.lines.assign(lines.begin() + 2, lines.end());
    }
    return note;
}

void RemoveAttentionMarkerOf(const fs::path& dataFolder, const std::string& scheduleName) {
    const std::optional<AttentionNote> note = ReadAttentionMarker(dataFolder);
    if (note && note->scheduleName == scheduleName) {
        std::error_code ignored;
        fs::remove(AttentionMarkerPath(dataFolder), ignored);
    }
}

}  // namespace teebasket::schedule
