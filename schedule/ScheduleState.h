// ScheduleState: the last result of a schedule, which its scheduled run
// writes (NAME.state) and `schedule list` reads, and the attention marker in
// the data folder that the window reads at its next start.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ScheduleAlerts.h"

namespace teebasket::schedule {

// The exit code of a scheduled run that raised an alert.
inline constexpr int kExitNeedsAttention = 10;

struct ScheduleResult {
    std::string finishedAt;  // ISO 8601 local time with its offset
    int exitCode = 0;        // the scheduled run's exit code
    std::string summary;     // one line (UTF-8): how the run ended
    std::vector<Alert> alerts;
    std::filesystem::path report;  // the change report written; empty when none
};

// "key=value" lines, UTF-8, LF; a line break inside a value becomes a blank.
std::string ResultFileText(const ScheduleResult& result);
// Unknown lines are passed over: a newer program may add some.
ScheduleResult ParseResultFile(std::string_view text);

// Reads a state file; nothing when it is missing or unreadable.
std::optional<ScheduleResult> ReadResultFile(const std::filesystem::path& path);
// Writes a file whole (a new file replaces the old one in one step).
// Returns false and the reason (UTF-8).
bool WriteWholeFile(const std::filesystem::path& path, const std::string& bytes,
                    std::string& error);

// The marker of a run that needs attention: "attention.txt" in the data
// folder, whose first line is the report's path (or the output's when no
// report was written), then the schedule's name, then one line per alert.
std::filesystem::path AttentionMarkerPath(const std::filesystem::path& dataFolder);
std::string AttentionMarkerText(const std::string& scheduleName, const ScheduleResult& result,
                                const std::filesystem::path& output);

// What a marker says: the file to look at, the schedule, and the alerts'
// lines (UTF-8). Nothing when there is no marker or it says nothing.
struct AttentionNote {
    std::filesystem::path file;
    std::string scheduleName;
    std::vector<std::string> lines;
};
std::optional<AttentionNote> ReadAttentionMarker(const std::filesystem::path& dataFolder);

// Removes the marker when it is about the schedule `scheduleName`.
void RemoveAttentionMarkerOf(const std::filesystem::path& dataFolder,
                             const std::string& scheduleName);

}  // namespace teebasket::schedule
