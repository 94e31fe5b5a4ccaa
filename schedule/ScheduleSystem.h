// ScheduleSystem: the parts of scheduling that differ between the platforms
// (schedule_system_posix.cpp, schedule_system_windows.cpp): putting the
// scheduler's files in place and registering them, asking the scheduler
// when a schedule ran and runs next, taking a schedule out again, and a
// desktop notification. Programs are started without a console window.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "SchedulerFiles.h"

namespace teebasket::schedule {

enum class StepOutcome {
    Done,
    CannotWrite,           // a file could not be written or removed
    SchedulerUnavailable,  // the scheduler could not be reached: the files stay, not registered
    UnknownSchedule,       // there is no such schedule (ScheduleBook.h)
};

struct SystemStep {
    StepOutcome outcome = StepOutcome::Done;
    std::vector<Words> lines;  // what was done, what to do
};

// Removes each of `files` (a missing one is no failure); a file that stays is
// said in `step` and makes it CannotWrite. Shared by both platforms and the
// book (schedule_book.cpp).
void RemoveFilesOfStep(const std::vector<std::filesystem::path>& files, SystemStep& step);

// Writes the scheduler's files for `schedule` and, when `registerIt`,
// registers them with the scheduler and starts the timer.
SystemStep InstallSchedule(const Schedule& schedule, const ScheduledCommand& command,
                           bool registerIt);

// Stops and unregisters the schedule and removes the scheduler's files.
// Only failures to remove a file make the outcome other than Done.
SystemStep UninstallSchedule(const Schedule& schedule);

// Whether the scheduler knows the schedule by its name (its files are there).
bool ScheduleInstalled(const Schedule& schedule);

struct ScheduleTimes {
    std::string lastRun;  // "" when it has not run, or when it cannot be told
    std::string nextRun;
    bool known = false;  // the scheduler answered
};

ScheduleTimes TimesOfSchedule(const Schedule& schedule);

// A desktop notification, when a desktop session can show one (UTF-8);
// false when none was shown.
bool ShowDesktopNotice(const std::string& title, const std::string& body);

}  // namespace teebasket::schedule
