// Scheduling on Linux: a systemd user service and timer, registered through
// `systemctl --user`, and notifications through notify-send.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "ScheduleState.h"
#include "ScheduleSystem.h"
#include "path_text.h"

extern char** environ;

namespace teebasket::schedule {

namespace fs = std::filesystem;

namespace {

// The whole output of a program a run waits on is a few lines; more is cut.
constexpr std::size_t kMaxProgramOutput = 64 * 1024;

struct ProgramResult {
    bool started = false;
    int exitCode = -1;
    std::string output;  // standard output and error together
};

// Runs `arguments` (arguments[0] looked up in PATH) with its standard output
// and error in one pipe, its standard input the null device, and waits.
ProgramResult RunProgram(const std::vector<std::string>& arguments) {
    ProgramResult result;
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        return result;
    }
    result.started = true;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (result.output.size() < kMaxProgramOutput) {
            result.output.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(pipeEnds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

// The first line of a program's output, for a message.
std::string FirstLine(const std::string& output) {
    const std::string line = output.substr(0, output.find('\n'));
    return line.empty() ? std::string("no answer") : line;
}

ProgramResult Systemctl(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"systemctl", "--user", "--no-pager"});
    return RunProgram(arguments);
}

fs::path UnitsFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        return fs::path(xdg) / "systemd" / "user";
    }
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr && *home != '\0' ? home : "/") / ".config" / "systemd" / "user";
}

fs::path ServicePath(const Schedule& schedule) {
    return UnitsFolder() / ServiceUnitName(schedule);
}

fs::path TimerPath(const Schedule& schedule) {
    return UnitsFolder() / TimerUnitName(schedule);
}

Words RegisterByHand(const Schedule& schedule) {
    return Both("  systemctl --user daemon-reload && systemctl --user enable --now " +
                TimerUnitName(schedule));
}

// A systemd time stamp as `systemctl show` gives it; "n/a" and empty mean none.
std::string TimeValue(const std::string& output, const std::string& key) {
    const std::size_t at = output.find(key + "=");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t start = at + key.size() + 1;
    std::string value = output.substr(start, output.find('\n', start) - start);
    return value == "n/a" ? std::string() : value;
}

// Text for a notification's body, which notification servers may read as
// markup: a path with '&' or '<' must not break it.
std::string WithoutMarkup(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '&') {
            escaped += "&amp;";
        } else if (c == '<') {
            escaped += "&lt;";
        } else if (c == '>') {
            escaped += "&gt;";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace

SystemStep InstallSchedule(const Schedule& schedule, const ScheduledCommand& command,
                           bool registerIt) {
    SystemStep step;
    std::error_code error;
    fs::create_directories(UnitsFolder(), error);
    std::string problem;
    if (!WriteWholeFile(ServicePath(schedule), SystemdServiceText(schedule, command), problem) ||
        !WriteWholeFile(TimerPath(schedule), SystemdTimerText(schedule), problem)) {
        step.outcome = StepOutcome::CannotWrite;
        step.lines.push_back({"systemd のファイルを書き込めませんでした（" + problem + "）。",
                              "The schedule's unit files could not be written: " + problem + "."});
        return step;
    }
    step.lines.push_back(
        Both("systemd: " + PathText(TimerPath(schedule)) + ", " + PathText(ServicePath(schedule))));
    if (!registerIt) {
        step.lines.push_back({"登録はしていません。登録するには:", "Not registered; to register:"});
        step.lines.push_back(RegisterByHand(schedule));
        return step;
    }
    ProgramResult reload = Systemctl({"daemon-reload"});
    ProgramResult enable;
    if (reload.started && reload.exitCode == 0) {
        enable = Systemctl({"enable", TimerUnitName(schedule)});
    }
    if (enable.exitCode == 0) {
        // A timer that runs already takes a changed time only when restarted.
        enable = Systemctl({"restart", TimerUnitName(schedule)});
    }
    if (!reload.started || reload.exitCode != 0 || enable.exitCode != 0) {
        const ProgramResult& failed = reload.exitCode != 0 ? reload : enable;
        const std::string answer =
            "systemctl --user: " +
            (failed.started ? FirstLine(failed.output) : std::string("not found"));
        step.outcome = StepOutcome::SchedulerUnavailable;
        step.lines.push_back(
            {"ユーザーの systemd に接続できず、登録できませんでした。ファイルは残してあります（" +
                 answer + "）。",
             "The user's systemd could not be reached; the files are in place but not "
             "registered (" +
                 answer + ")."});
        step.lines.push_back(
            {"ログインしたセッションで登録するには:", "To register it from a logged-in session:"});
        step.lines.push_back(RegisterByHand(schedule));
        return step;
    }
    step.lines.push_back(
        {"登録しました: " + TimerUnitName(schedule), "Registered: " + TimerUnitName(schedule)});
    step.lines.push_back({"ログアウト中も実行するには:", "To run it while you are logged out:"});
    step.lines.push_back(Both("  loginctl enable-linger"));
    return step;
}

SystemStep UninstallSchedule(const Schedule& schedule) {
    SystemStep step;
    const ProgramResult disable = Systemctl({"disable", "--now", TimerUnitName(schedule)});
    if (!disable.started || disable.exitCode != 0) {
        const std::string answer =
            "systemctl --user: " +
            (disable.started ? FirstLine(disable.output) : std::string("not found"));
        step.lines.push_back(
            {"systemd から登録を外せませんでした（" + answer + "）。ファイルは削除します。",
             "The timer could not be disabled (" + answer + "); its files are removed."});
    }
    RemoveFilesOfStep({TimerPath(schedule), ServicePath(schedule)}, step);
    if (disable.started && disable.exitCode == 0) {
        Systemctl({"daemon-reload"});
    }
    return step;
}

bool ScheduleInstalled(const Schedule& schedule) {
    std::error_code error;
    return fs::exists(TimerPath(schedule), error) || fs::exists(ServicePath(schedule), error);
}

ScheduleTimes TimesOfSchedule(const Schedule& schedule) {
    ScheduleTimes times;
    const ProgramResult shown =
        Systemctl({"show", "--property=LastTriggerUSec,NextElapseUSecRealtime,LoadState",
                   TimerUnitName(schedule)});
    if (!shown.started || shown.exitCode != 0 ||
        shown.output.find("LoadState=loaded") == std::string::npos) {
        return times;
    }
    times.known = true;
    times.lastRun = TimeValue(shown.output, "LastTriggerUSec");
    times.nextRun = TimeValue(shown.output, "NextElapseUSecRealtime");
    return times;
}

bool ShowDesktopNotice(const std::string& title, const std::string& body) {
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (bus == nullptr || *bus == '\0') {
        return false;
    }
    const ProgramResult shown = RunProgram(
        {"notify-send", "--app-name=Teebasket", "--urgency=critical", title, WithoutMarkup(body)});
    return shown.started && shown.exitCode == 0;
}

}  // namespace teebasket::schedule
