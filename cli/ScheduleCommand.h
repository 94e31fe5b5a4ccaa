// ScheduleCommand: `teebasket-cli schedule add | list | remove | run`:
// scheduled runs through the system's own scheduler (a systemd user timer on
// Linux, a Task Scheduler task on Windows), and the scheduled run itself,
// which never asks anything, continues a stopped run, compares with the
// previous run, writes the change report and raises the alerts.
#pragma once

#include <string>
#include <vector>

#include "ScheduleState.h"
#include "standard_descriptors.h"

namespace teebasket::cli {

inline constexpr const char* kScheduleCommandName = "schedule";

// Exit codes of the schedule commands beyond those of a run (CliOutcome.h):
// 0 done, 64 bad usage or an unknown schedule, 73 a file could not be
// written; and:
inline constexpr int kExitNeedsAttention =
    schedule::kExitNeedsAttention;  // a scheduled run raised an alert
inline constexpr int kExitSchedulerUnavailable =
    69;  // the scheduler could not be reached: the files stay, not registered (EX_UNAVAILABLE)

// The arguments after "schedule"; returns the exit code. Output for people
// goes to standard output, failures to standard error.
int RunScheduleCommand(const std::vector<std::string>& arguments,
                       const ClosedStandardDescriptors& closedAtStart);

}  // namespace teebasket::cli
