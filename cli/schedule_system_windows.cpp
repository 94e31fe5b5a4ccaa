// Scheduling on Windows: a Task Scheduler task registered from its XML file
// with schtasks, and a notification balloon of the notification area.
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <system_error>

#include "CliOutcome.h"
#include "ScheduleCommand.h"
#include "ScheduleState.h"
#include "ScheduleSystem.h"
#include "path_text.h"
#include "utf16_windows.h"

namespace teebasket::cli {

namespace fs = std::filesystem;
using schedule::Schedule;

namespace {

// How long the balloon stays: the process must live while it shows.
constexpr DWORD kBalloonMilliseconds = 10000;

struct ProgramResult {
    bool started = false;
    int exitCode = -1;
    std::string output;  // in the console's code page
};

// Runs a command line through _wpopen, standard error with standard output.
ProgramResult RunCommandLine(const std::wstring& commandLine) {
    ProgramResult result;
    const std::wstring withErrors = L"\"" + commandLine + L" 2>&1\"";
    std::FILE* pipe = ::_wpopen(withErrors.c_str(), L"rb");
    if (pipe == nullptr) {
        return result;
    }
    result.started = true;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        result.output.append(buffer, got);
    }
    result.exitCode = ::_pclose(pipe);
    return result;
}

std::wstring Quoted(const fs::path& path) {
    return L"\"" + path.wstring() + L"\"";
}

std::wstring TaskName(const Schedule& schedule) {
    return WideFromUtf8(schedule::UnitBaseName(schedule));
}

// The task's XML file, kept beside the schedule's settings.
fs::path TaskFilePath(const Schedule& schedule, const fs::path& dataFolder) {
    return schedule::SchedulesFolderIn(dataFolder) /
           PathFromUtf8(schedule::UnitBaseName(schedule) + ".xml");
}

std::string TodayText() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

// The fields of one line of schtasks' CSV output.
std::vector<std::string> CsvFields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.push_back(field);
            field.clear();
        } else if (c != '\r' && c != '\n') {
            field += c;
        }
    }
    fields.push_back(field);
    return fields;
}

}  // namespace

SystemStep InstallSchedule(const Schedule& schedule, const schedule::ScheduledCommand& command,
                           bool registerIt) {
    SystemStep step;
    const fs::path taskFile = TaskFilePath(schedule, command.dataFolder);
    std::string problem;
    const std::string xml = schedule::TaskXmlText(schedule, command, TodayText());
    if (!schedule::WriteWholeFile(taskFile, schedule::TaskXmlFileBytes(xml), problem)) {
        step.exitCode = kExitCannotWrite;
        step.lines.push_back(
            "タスクのファイルを書き込めませんでした。 / The task's file could "
            "not be written: " +
            problem + ".");
        return step;
    }
    step.lines.push_back("Task Scheduler: " + PathText(taskFile));
    const std::wstring create =
        L"schtasks /Create /F /TN \"" + TaskName(schedule) + L"\" /XML " + Quoted(taskFile);
    if (!registerIt) {
        step.lines.push_back("登録はしていません。登録するには: / Not registered; to register:");
        step.lines.push_back("  " + Utf8FromWide(create));
        return step;
    }
    const ProgramResult created = RunCommandLine(create);
    if (!created.started || created.exitCode != 0) {
        step.exitCode = kExitSchedulerUnavailable;
        step.lines.push_back(
            "タスク スケジューラに登録できませんでした。 / Task Scheduler did not "
            "take the task: " +
            created.output.substr(0, created.output.find('\n')));
        return step;
    }
    step.lines.push_back("登録しました: / Registered: " + schedule::UnitBaseName(schedule));
    return step;
}

SystemStep UninstallSchedule(const Schedule& schedule) {
    SystemStep step;
    const ProgramResult deleted =
        RunCommandLine(L"schtasks /Delete /F /TN \"" + TaskName(schedule) + L"\"");
    if (!deleted.started || deleted.exitCode != 0) {
        step.lines.push_back(
            "タスク スケジューラから削除できませんでした。 / Task Scheduler did "
            "not delete the task.");
    }
    return step;
}

bool ScheduleInstalled(const Schedule& schedule) {
    const ProgramResult query =
        RunCommandLine(L"schtasks /Query /TN \"" + TaskName(schedule) + L"\"");
    return query.started && query.exitCode == 0;
}

ScheduleTimes TimesOfSchedule(const Schedule& schedule) {
    ScheduleTimes times;
    const ProgramResult query =
        RunCommandLine(L"schtasks /Query /V /FO CSV /NH /TN \"" + TaskName(schedule) + L"\"");
    if (!query.started || query.exitCode != 0) {
        return times;
    }
    // The columns keep their places in every language: HostName, TaskName,
    // Next Run Time, Status, Logon Mode, Last Run Time.
    const std::vector<std::string> fields =
        CsvFields(query.output.substr(0, query.output.find('\n')));
    if (fields.size() > 5) {
        times.known = true;
        times.nextRun = fields[2];
        times.lastRun = fields[5];
    }
    return times;
}

bool ShowDesktopNotice(const std::string& title, const std::string& body) {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"Teebasket", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        return false;
    }
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = 1;
    icon.uFlags = NIF_ICON | NIF_TIP | NIF_INFO;
    icon.hIcon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(32515));  // IDI_WARNING
    icon.dwInfoFlags = NIIF_WARNING;
    std::wcsncpy(icon.szTip, L"Teebasket", ARRAYSIZE(icon.szTip) - 1);
    std::wcsncpy(icon.szInfoTitle, WideFromUtf8(title).c_str(), ARRAYSIZE(icon.szInfoTitle) - 1);
    std::wcsncpy(icon.szInfo, WideFromUtf8(body).c_str(), ARRAYSIZE(icon.szInfo) - 1);
    const bool shown = ::Shell_NotifyIconW(NIM_ADD, &icon) != FALSE;
    if (shown) {
        ::Sleep(kBalloonMilliseconds);
        ::Shell_NotifyIconW(NIM_DELETE, &icon);
    }
    ::DestroyWindow(window);
    return shown;
}

}  // namespace teebasket::cli
