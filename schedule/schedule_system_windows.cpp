// Scheduling on Windows: a Task Scheduler task registered from its XML file
// with schtasks (started without a console window, so that the window
// program shows none), and a notification balloon of the notification area.
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <system_error>

#include "ScheduleState.h"
#include "ScheduleSystem.h"
#include "path_text.h"
#include "utf16_windows.h"

namespace teebasket::schedule {

namespace fs = std::filesystem;

namespace {

// How long the balloon stays: the process must live while it shows.
constexpr DWORD kBalloonMilliseconds = 10000;

struct ProgramResult {
    bool started = false;
    int exitCode = -1;
    std::string output;  // in the OEM code page, as console programs write to a pipe
};

// Console output (the OEM code page: 932 on Japanese Windows) as UTF-8.
std::string Utf8FromOem(const std::string& bytes) {
    if (bytes.empty()) {
        return {};
    }
    const int size = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        ::MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), size, wide.data(), length);
    }
    return Utf8FromWide(wide);
}

// A command's whole output is a few lines; more is cut.
constexpr std::size_t kMaxProgramOutput = 64 * 1024;

// Runs `commandLine` (a program found in the system folders, such as
// schtasks) with no console window, its standard output and error in one
// pipe, and waits.
ProgramResult RunCommandLine(const std::wstring& commandLine) {
    ProgramResult result;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        return result;
    }
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    std::wstring mutableLine = commandLine;
    const BOOL created = ::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE,
                                          CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    ::CloseHandle(writeEnd);
    if (!created) {
        ::CloseHandle(readEnd);
        return result;
    }
    result.started = true;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        if (result.output.size() < kMaxProgramOutput) {
            result.output.append(buffer, got);
        }
    }
    ::CloseHandle(readEnd);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    result.exitCode = static_cast<int>(exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return result;
}

std::wstring Quoted(const fs::path& path) {
    return L"\"" + path.wstring() + L"\"";
}

std::wstring TaskName(const Schedule& schedule) {
    return WideFromUtf8(UnitBaseName(schedule));
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

SystemStep InstallSchedule(const Schedule& schedule, const ScheduledCommand& command,
                           bool registerIt) {
    SystemStep step;
    const fs::path taskFile = TaskFilePath(SchedulesFolderIn(command.dataFolder), schedule);
    std::string problem;
    const std::string xml = TaskXmlText(schedule, command, TodayText());
    if (!WriteWholeFile(taskFile, TaskXmlFileBytes(xml), problem)) {
        step.outcome = StepOutcome::CannotWrite;
        step.lines.push_back({"タスクのファイルを書き込めませんでした（" + problem + "）。",
                              "The task's file could not be written: " + problem + "."});
        return step;
    }
    step.lines.push_back(Both("Task Scheduler: " + PathText(taskFile)));
    const std::wstring create =
        L"schtasks /Create /F /TN \"" + TaskName(schedule) + L"\" /XML " + Quoted(taskFile);
    if (!registerIt) {
        step.lines.push_back({"登録はしていません。登録するには:", "Not registered; to register:"});
        step.lines.push_back(Both("  " + Utf8FromWide(create)));
        return step;
    }
    const ProgramResult created = RunCommandLine(create);
    if (!created.started || created.exitCode != 0) {
        const std::string answer = Utf8FromOem(created.output.substr(0, created.output.find('\n')));
        step.outcome = StepOutcome::SchedulerUnavailable;
        step.lines.push_back({"タスク スケジューラに登録できませんでした: " + answer,
                              "Task Scheduler did not take the task: " + answer});
        return step;
    }
    step.lines.push_back(
        {"登録しました: " + UnitBaseName(schedule), "Registered: " + UnitBaseName(schedule)});
    return step;
}

SystemStep UninstallSchedule(const Schedule& schedule) {
    SystemStep step;
    const ProgramResult deleted =
        RunCommandLine(L"schtasks /Delete /F /TN \"" + TaskName(schedule) + L"\"");
    if (!deleted.started || deleted.exitCode != 0) {
        step.lines.push_back({"タスク スケジューラから削除できませんでした。",
                              "Task Scheduler did not delete the task."});
    }
    return step;
}

bool ScheduleInstalled(const Schedule& schedule) {
    // The task's own line, not only the exit code: a schtasks that does not
    // know /Query (Wine's) answers 0 with nothing.
    const ProgramResult query =
        RunCommandLine(L"schtasks /Query /FO CSV /NH /TN \"" + TaskName(schedule) + L"\"");
    return query.started && query.exitCode == 0 &&
           query.output.find(UnitBaseName(schedule)) != std::string::npos;
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
        CsvFields(Utf8FromOem(query.output.substr(0, query.output.find('\n'))));
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

}  // namespace teebasket::schedule
