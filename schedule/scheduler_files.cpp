#include "SchedulerFiles.h"

#include <array>

#include "MECSUtils.h"
#include "path_text.h"

namespace teebasket::schedule {

namespace {

constexpr std::string_view kUnitPrefix = "teebasket-";

std::string TwoDigits(int value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

std::string TimeText(const Schedule& schedule) {
    return TwoDigits(schedule.hour) + ":" + TwoDigits(schedule.minute) + ":00";
}

// Text in an XML element or attribute.
std::string XmlEscaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&apos;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// One argument of a Windows command line, as CommandLineToArgvW reads it
// back: quoted when it holds a blank or a quote, backslashes before a quote
// doubled.
std::string WindowsArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos) {
        return std::string(argument);
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

constexpr std::array<std::string_view, kWeekdays> kTaskWeekdays{
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

constexpr std::array<std::string_view, 12> kTaskMonths{
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

std::string TaskSchedule(const Schedule& schedule) {
    if (schedule.cadence == Cadence::Weekly) {
        return "      <ScheduleByWeek>\n        <DaysOfWeek><" +
               std::string(kTaskWeekdays[static_cast<std::size_t>(schedule.day)]) +
               " /></DaysOfWeek>\n        <WeeksInterval>1</WeeksInterval>\n"
               "      </ScheduleByWeek>\n";
    }
    std::string months;
    for (const std::string_view month : kTaskMonths) {
        months += "<" + std::string(month) + " />";
    }
    return "      <ScheduleByMonth>\n        <DaysOfMonth><Day>" + std::to_string(schedule.day) +
           "</Day></DaysOfMonth>\n        <Months>" + months +
           "</Months>\n      </ScheduleByMonth>\n";
}

}  // namespace

std::vector<std::string> ScheduledArguments(const Schedule& schedule,
                                            const ScheduledCommand& command) {
    return {"schedule", "run", schedule.name, "--data-folder", PathText(command.dataFolder)};
}

std::string UnitBaseName(const Schedule& schedule) {
    return std::string(kUnitPrefix) + schedule.name;
}

std::filesystem::path TaskFilePath(const std::filesystem::path& schedulesFolder,
                                   const Schedule& schedule) {
    return schedulesFolder / PathFromUtf8(UnitBaseName(schedule) + ".xml");
}

std::string ServiceUnitName(const Schedule& schedule) {
    return UnitBaseName(schedule) + ".service";
}

std::string TimerUnitName(const Schedule& schedule) {
    return UnitBaseName(schedule) + ".timer";
}

std::string SystemdQuoted(std::string_view word) {
    std::string quoted = "\"";
    for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            quoted += '\\';
            quoted += c;
        } else if (c == '%' || c == '$') {
            quoted.append(2, c);
        } else if (byte < 0x20 || byte == 0x7f) {
            constexpr char kHex[] = "0123456789abcdef";
            quoted += "\\x";
            quoted += kHex[byte >> 4];
            quoted += kHex[byte & 0xf];
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string OnCalendarValue(const Schedule& schedule) {
    if (schedule.cadence == Cadence::Weekly) {
        std::string weekday(WeekdayShortName(schedule.day));
        weekday[0] = static_cast<char>(weekday[0] - 32);
        return weekday + " *-*-* " + TimeText(schedule);
    }
    return "*-*-" + TwoDigits(schedule.day) + " " + TimeText(schedule);
}

std::string SystemdServiceText(const Schedule& schedule, const ScheduledCommand& command) {
    std::string execStart = SystemdQuoted(PathText(command.program));
    for (const std::string& argument : ScheduledArguments(schedule, command)) {
        execStart += " " + SystemdQuoted(argument);
    }
    return "[Unit]\n"
           "Description=Teebasket scheduled run " +
           schedule.name +
           "\n"
           "\n"
           "[Service]\n"
           "Type=oneshot\n"
           "ExecStart=" +
           execStart + "\n";
}

std::string SystemdTimerText(const Schedule& schedule) {
    return "[Unit]\n"
           "Description=Teebasket scheduled run " +
           schedule.name + " (" + CadenceText(schedule) +
           ")\n"
           "\n"
           "[Timer]\n"
           "OnCalendar=" +
           OnCalendarValue(schedule) +
           "\n"
           "Persistent=true\n"
           "Unit=" +
           ServiceUnitName(schedule) +
           "\n"
           "\n"
           "[Install]\n"
           "WantedBy=timers.target\n";
}

std::string TaskXmlText(const Schedule& schedule, const ScheduledCommand& command,
                        const std::string& startDate) {
    std::string arguments;
    for (const std::string& argument : ScheduledArguments(schedule, command)) {
        arguments += (arguments.empty() ? "" : " ") + WindowsArgument(argument);
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
           "<Task version=\"1.2\" "
           "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
           "  <RegistrationInfo>\n"
           "    <Description>Teebasket scheduled run " +
           XmlEscaped(schedule.name) +
           "</Description>\n"
           "  </RegistrationInfo>\n"
           "  <Triggers>\n"
           "    <CalendarTrigger>\n"
           "      <StartBoundary>" +
           startDate + "T" + TimeText(schedule) +
           "</StartBoundary>\n"
           "      <Enabled>true</Enabled>\n" +
           TaskSchedule(schedule) +
           "    </CalendarTrigger>\n"
           "  </Triggers>\n"
           "  <Principals>\n"
           "    <Principal id=\"Author\">\n"
           "      <LogonType>InteractiveToken</LogonType>\n"
           "      <RunLevel>LeastPrivilege</RunLevel>\n"
           "    </Principal>\n"
           "  </Principals>\n"
           "  <Settings>\n"
           "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
           "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
           "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
           "    <StartWhenAvailable>true</StartWhenAvailable>\n"
           "    <RunOnlyIfNetworkAvailable>false</RunOnlyIfNetworkAvailable>\n"
           "    <AllowStartOnDemand>true</AllowStartOnDemand>\n"
           "    <Enabled>true</Enabled>\n"
           "    <Hidden>false</Hidden>\n"
           "    <ExecutionTimeLimit>PT72H</ExecutionTimeLimit>\n"
           "  </Settings>\n"
           "  <Actions Context=\"Author\">\n"
           "    <Exec>\n"
           "      <Command>" +
           XmlEscaped(PathText(command.program)) +
           "</Command>\n"
           "      <Arguments>" +
           XmlEscaped(arguments) +
           "</Arguments>\n"
           "    </Exec>\n"
           "  </Actions>\n"
           "</Task>\n";
}

std::string Utf16LittleEndian(std::string_view utf8) {
    const std::u16string wide = AnsiToUTF16(std::string(utf8), 65001);
    std::string bytes;
    bytes.reserve(wide.size() * 2);
    for (const char16_t unit : wide) {
        bytes += static_cast<char>(unit & 0xff);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string TaskXmlFileBytes(const std::string& xmlText) {
    std::string lines;
    for (const char c : xmlText) {
        lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return "\xff\xfe" + Utf16LittleEndian(lines);
}

}  // namespace teebasket::schedule
