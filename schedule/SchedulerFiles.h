// SchedulerFiles: the files through which the system's scheduler runs a
// schedule: a systemd user service and timer on Linux, a Task Scheduler task
// (XML) on Windows. Each starts `teebasket-cli schedule run NAME`, which
// never asks anything and never opens a window.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "Schedule.h"

namespace teebasket::schedule {

// What the scheduler starts: the program and its data folder, both absolute.
struct ScheduledCommand {
    std::filesystem::path program;     // teebasket-cli (teebasket-cli.exe)
    std::filesystem::path dataFolder;  // given to the run as --data-folder
};

// The arguments after the program: schedule run NAME --data-folder DIR (UTF-8).
std::vector<std::string> ScheduledArguments(const Schedule& schedule,
                                            const ScheduledCommand& command);

// "teebasket-NAME": the unit names without their suffix, and the task's name.
std::string UnitBaseName(const Schedule& schedule);
std::string ServiceUnitName(const Schedule& schedule);  // teebasket-NAME.service
std::string TimerUnitName(const Schedule& schedule);    // teebasket-NAME.timer
// The task's XML, which Windows keeps in the schedules folder: teebasket-NAME.xml.
std::filesystem::path TaskFilePath(const std::filesystem::path& schedulesFolder,
                                   const Schedule& schedule);

// `word` as one word of a systemd command line: in double quotes, with
// backslash, double quote and control characters escaped, '%' doubled (a
// specifier otherwise) and '$' doubled (a variable otherwise).
std::string SystemdQuoted(std::string_view word);

// The OnCalendar= value: "*-*-01 03:00:00" or "Mon *-*-* 06:30:00".
std::string OnCalendarValue(const Schedule& schedule);

// The unit files' text (UTF-8). The service is a oneshot that runs the
// command; the timer has Persistent=true, so that a time missed while the
// machine was off or asleep is run at the next start.
std::string SystemdServiceText(const Schedule& schedule, const ScheduledCommand& command);
std::string SystemdTimerText(const Schedule& schedule);

// The task's XML, as text (UTF-8), and as the file schtasks /Create /XML
// reads: UTF-16 LE with a byte-order mark. A monthly or weekly calendar
// trigger from the first such day; StartWhenAvailable on (a missed start runs
// as soon as possible), no battery condition, one instance at a time.
// `startDate` is "YYYY-MM-DD", the day the trigger begins.
std::string TaskXmlText(const Schedule& schedule, const ScheduledCommand& command,
                        const std::string& startDate);
std::string TaskXmlFileBytes(const std::string& xmlText);

// `utf8` in UTF-16 LE bytes (invalid bytes become U+FFFD).
std::string Utf16LittleEndian(std::string_view utf8);

}  // namespace teebasket::schedule
