// ScheduleBook: the schedules of a data folder as both front ends keep them:
// adding one (its settings file, then the scheduler's files), reading them
// back with what the scheduler and their last result say, and removing one
// with every trace.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Schedule.h"
#include "ScheduleState.h"
#include "ScheduleSystem.h"

namespace teebasket::schedule {

// Writes the schedule's settings file in `command.dataFolder`, then the
// scheduler's files, registered when `registerIt` (InstallSchedule). The
// first line says what was saved. The name is checked by the caller.
SystemStep AddSchedule(const Schedule& schedule, const ScheduledCommand& command, bool registerIt);

// The schedule `name` of `dataFolder`, or nothing and why.
std::optional<Schedule> LoadSchedule(const std::filesystem::path& dataFolder,
                                     const std::string& name, Words& problem);

struct ScheduleEntry {
    std::string name;
    std::optional<Schedule> schedule;  // nothing when its settings cannot be read
    Words problem;                     // why they cannot
    ScheduleTimes times;               // what the scheduler says
    std::optional<ScheduleResult> lastResult;
};

// Every schedule of `dataFolder`, by name.
std::vector<ScheduleEntry> ListSchedules(const std::filesystem::path& dataFolder);

// Unregisters the schedule `name` and deletes its files and its attention
// marker. UnknownSchedule when there is no such schedule.
SystemStep RemoveSchedule(const std::filesystem::path& dataFolder, const std::string& name);

}  // namespace teebasket::schedule
