// teebasket-cli schedule, the real executable: a schedule added (its systemd
// units in a scratch configuration folder), listed, run against the demo
// portal as the timer would run it, and removed; and a private user manager
// when one can be started here.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "TestSupport.h"

extern char** environ;

namespace teebasket {
namespace {

namespace fs = std::filesystem;
using test::Contains;
using test::PortalProcess;
using test::ProgramRun;
using test::ReadFileBytes;
using test::RunInFolder;
using test::TempDir;
using test::WriteFileBytes;

// The test's environment without the session's: no bus, no runtime folder
// of the user's systemd, HOME and XDG_CONFIG_HOME in `folder`; then `extra`.
std::vector<std::string> ScratchEnvironment(const fs::path& folder,
                                            const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        if (name != "HOME" && name != "XDG_CONFIG_HOME" && name != "XDG_RUNTIME_DIR" &&
            name != "DBUS_SESSION_BUS_ADDRESS" && name != "LANG" && !name.starts_with("LC_")) {
            env.push_back(text);
        }
    }
    env.push_back("HOME=" + (folder / "home").string());
    env.push_back("XDG_CONFIG_HOME=" + (folder / "config").string());
    env.push_back("XDG_RUNTIME_DIR=" + (folder / "runtime").string());
    env.push_back("LANG=C.UTF-8");
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

class CliSchedule : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("TEEBASKET_TEST_CLI_LAUNCHER") != nullptr) {
            GTEST_SKIP() << "the systemd units are Linux's; Windows registers a task";
        }
        fs::create_directories(Folder() / "home");
        fs::create_directories(Folder() / "runtime");
        fs::permissions(Folder() / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        WriteFileBytes(Folder() / "golf.ini", "[Config]\r\nArea=\r\n");
    }

    fs::path Folder() const { return folder_.path(); }
    fs::path DataFolder() const { return Folder() / "data"; }
    fs::path UnitsFolder() const { return Folder() / "config" / "systemd" / "user"; }

    ProgramRun Schedule(std::vector<std::string> arguments,
                        const std::vector<std::string>& extraEnvironment = {}) {
        arguments.insert(arguments.begin(), {TEEBASKET_CLI_EXECUTABLE, "schedule"});
        arguments.push_back("--data-folder=" + DataFolder().string());
        return RunInFolder(Folder(), arguments, ScratchEnvironment(Folder(), extraEnvironment));
    }

    // `schedule add NAME` of Tokyo and Kanagawa into `output` at the portal
    // `host`, without pauses.
    ProgramRun Add(const std::string& name, const std::string& output, const std::string& host,
                   const PortalProcess& portal, bool registerIt) {
        std::vector<std::string> arguments = {"add",
                                              name,
                                              "--monthly",
                                              "1",
                                              "--at",
                                              "3:00",
                                              "13",
                                              "kanagawa",
                                              "-o",
                                              output,
                                              "--config",
                                              (Folder() / "golf.ini").string(),
                                              "--listing-host",
                                              host,
                                              "--booking-host",
                                              host,
                                              "--ca-cert",
                                              portal.certificate().string(),
                                              "--pause-ms",
                                              "0,0"};
        if (!registerIt) {
            arguments.push_back("--no-register");
        }
        return Schedule(arguments);
    }

    TempDir folder_;
};

TEST_F(CliSchedule, AddedListedRunAsTheTimerRunsItAndRemovedWithEveryTrace) {
    PortalProcess portal({.extraArgs = {"--courses-per-prefecture", "3"}});

    // No user manager is reachable from the scratch environment: the units
    // stay in place, and the user is told how to register them.
    ProgramRun added = Add("kanto", "一覧.csv", portal.host(), portal, true);
    EXPECT_EQ(added.exitCode, 69) << added.err;
    EXPECT_TRUE(Contains(added.err, "systemctl --user enable --now teebasket-kanto.timer"))
        << added.err;
    const std::string service = ReadFileBytes(UnitsFolder() / "teebasket-kanto.service");
    EXPECT_TRUE(Contains(service, "\"schedule\" \"run\" \"kanto\" \"--data-folder\" \"" +
                                      DataFolder().string() + "\""))
        << service;
    EXPECT_TRUE(Contains(ReadFileBytes(UnitsFolder() / "teebasket-kanto.timer"),
                         "OnCalendar=*-*-01 03:00:00\nPersistent=true\n"));

    ProgramRun listed = Schedule({"list"});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_TRUE(Contains(listed.out, "kanto  monthly on day 1 at 03:00")) << listed.out;
    EXPECT_TRUE(Contains(listed.out, "13 東京都, 14 神奈川県")) << listed.out;
    EXPECT_TRUE(Contains(listed.out, "last result: -")) << listed.out;

    // The first run has nothing to compare with; the second compares with it.
    const fs::path output = Folder() / "一覧.csv";
    const fs::path report = Folder() / "一覧.changes.csv";
    ProgramRun first = Schedule({"run", "kanto"});
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_TRUE(fs::exists(output));
    EXPECT_FALSE(fs::exists(report));
    const std::size_t requestsOfARun = portal.requests().size();

    ProgramRun second = Schedule({"run", "kanto"});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    ASSERT_TRUE(fs::exists(report));
    listed = Schedule({"list"});
    EXPECT_TRUE(Contains(listed.out, ", exit 0: 6 courses in the file")) << listed.out;
    EXPECT_TRUE(Contains(listed.out, "change report: " + report.string())) << listed.out;
    EXPECT_FALSE(Contains(listed.out, "NEEDS ATTENTION")) << listed.out;

    // A stopped run left its partial file: the next scheduled run continues
    // it and asks only for what it lacks (here nothing but the listings).
    fs::copy_file(output, Folder() / "一覧.csv.partial");
    const std::size_t before = portal.requests().size();
    ProgramRun resumed = Schedule({"run", "kanto"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_FALSE(fs::exists(Folder() / "一覧.csv.partial"));
    EXPECT_LT(portal.requests().size() - before, requestsOfARun);

    // Every course of the run before under another address: all of them
    // are gone, which needs attention, and the report says so.
    std::string moved = ReadFileBytes(output);
    for (std::size_t at; (at = moved.find(portal.host())) != std::string::npos;) {
        moved.replace(at, portal.host().size(), "127.0.0.1:1");
    }
    WriteFileBytes(output, moved);
    ProgramRun changed = Schedule({"run", "kanto"});
    EXPECT_EQ(changed.exitCode, 10) << changed.err;
    EXPECT_TRUE(Contains(changed.err, "More than a third of the courses changed or are gone."))
        << changed.err;
    EXPECT_TRUE(Contains(ReadFileBytes(report), "127.0.0.1:1"));

    // A portal that cannot be reached: the run writes nothing and needs
    // attention.
    test::ClosedLoopbackPort closed;
    added = Add("broken", "broken.csv", closed.host(), portal, false);
    EXPECT_EQ(added.exitCode, 0) << added.err;
    EXPECT_TRUE(Contains(added.out, "systemctl --user daemon-reload")) << added.out;
    ProgramRun broken = Schedule({"run", "broken"});
    EXPECT_EQ(broken.exitCode, 10) << broken.err;
    EXPECT_TRUE(Contains(broken.err, "The run wrote no file.")) << broken.err;
    listed = Schedule({"list"});
    EXPECT_TRUE(Contains(listed.out, "broken  monthly")) << listed.out;
    EXPECT_TRUE(Contains(listed.out, "exit 10")) << listed.out;
    EXPECT_TRUE(Contains(listed.out, "NEEDS ATTENTION")) << listed.out;
    const std::string marker = ReadFileBytes(DataFolder() / "attention.txt");
    EXPECT_EQ(marker.substr(0, marker.find('\n')), (Folder() / "broken.csv").string());

    for (const char* name : {"kanto", "broken"}) {
        const ProgramRun removed = Schedule({"remove", name});
        EXPECT_EQ(removed.exitCode, 0) << removed.err;
        EXPECT_TRUE(Contains(removed.out, std::string("Removed: ") + name));
    }
    EXPECT_TRUE(test::ListFolder(UnitsFolder()).empty());
    EXPECT_TRUE(test::ListFolder(DataFolder() / "schedules").empty());
    EXPECT_FALSE(fs::exists(DataFolder() / "attention.txt"));
    EXPECT_TRUE(fs::exists(output));  // the user's data stays
    EXPECT_EQ(Schedule({"remove", "kanto"}).exitCode, 64);
    EXPECT_TRUE(Contains(Schedule({"list"}).out, "No schedules."));
}

TEST_F(CliSchedule, MistakesEndWith64AndWriteNothing) {
    PortalProcess portal;
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"add", "x", "--monthly", "31", "--at", "03:00", "13"},
             {"add", "x", "--weekly", "someday", "--at", "03:00", "13"},
             {"add", "x", "--monthly", "1", "--weekly", "mon", "--at", "03:00", "13"},
             {"add", "x", "--monthly", "1", "--at", "3", "13"},
             {"add", "x y", "--monthly", "1", "--at", "03:00", "13"},
             {"add", "x", "--monthly", "1", "--at", "03:00"},
             {"add", "x", "--monthly", "1", "--at", "03:00", "13", "-o", "-"},
             {"add", "x", "--monthly", "1", "--at", "03:00", "13", "--listing-host", "a/b"},
             {"add", "x", "--monthly", "1", "--at", "03:00", "13", "--config", "missing.ini"},
             {"run", "missing"},
             {"run", "../golf"},  // a name never leaves the schedules folder
             {"remove", "../golf"},
             {"frobnicate"},
         }) {
        const ProgramRun run = Schedule(arguments);
        EXPECT_EQ(run.exitCode, 64) << arguments[1] << ": " << run.err;
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_TRUE(Contains(Schedule({"run", "../golf"}).err, "ASCII letters, digits"));
    EXPECT_FALSE(fs::exists(UnitsFolder()));
    EXPECT_FALSE(fs::exists(DataFolder() / "schedules"));
    const ProgramRun help = Schedule({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(Contains(help.out, "loginctl enable-linger"));
}

// A user manager of the test's own, when this machine can start one (not in
// a container without systemd): the timer registered, started by hand as
// the timer would, and removed.
TEST_F(CliSchedule, RegistersWithAPrivateUserManager) {
    const fs::path manager = "/usr/lib/systemd/systemd";
    if (!fs::exists(manager)) {
        GTEST_SKIP() << "systemd is not installed";
    }
    const std::vector<std::string> env = ScratchEnvironment(Folder(), {});
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> envp;
        for (const std::string& entry : env) {
            envp.push_back(const_cast<char*>(entry.c_str()));
        }
        envp.push_back(nullptr);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        const char* argv[] = {manager.c_str(), "--user", nullptr};
        ::execve(argv[0], const_cast<char**>(argv), envp.data());
        ::_exit(127);
    }
    const fs::path socket = Folder() / "runtime" / "systemd" / "private";
    int status = 0;
    bool ended = false;
    test::WaitUntil(
        [&] {
            ended = ::waitpid(pid, &status, WNOHANG) == pid;
            return ended || fs::exists(socket);
        },
        std::chrono::seconds(20));
    if (ended || !fs::exists(socket)) {
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        GTEST_SKIP() << "a private user manager could not be started here (systemd --user "
                     << (ended ? "exited at once" : "did not open its socket") << ")";
    }
    PortalProcess portal({.extraArgs = {"--courses-per-prefecture", "2"}});
    const ProgramRun added = Add("private", "p.csv", portal.host(), portal, true);
    EXPECT_EQ(added.exitCode, 0) << added.err;
    EXPECT_TRUE(Contains(added.out, "loginctl enable-linger"));
    EXPECT_TRUE(Contains(Schedule({"list"}).out, "next run: ")) << Schedule({"list"}).out;
    const ProgramRun started =
        RunInFolder(Folder(), {"systemctl", "--user", "start", "teebasket-private.service"}, env);
    EXPECT_EQ(started.exitCode, 0) << started.err;
    EXPECT_TRUE(fs::exists(Folder() / "p.csv"));
    EXPECT_EQ(Schedule({"remove", "private"}).exitCode, 0);
    EXPECT_TRUE(test::ListFolder(UnitsFolder()).empty());
    ::kill(pid, SIGTERM);
    ::waitpid(pid, &status, 0);
}

// Under Wine: teebasket-cli.exe registers the task from its XML with
// schtasks, Wine's Task Scheduler keeps it, and remove takes it out again.
TEST(CliScheduleOnWindows, RegistersTheTaskAndRemovesIt) {
    if (std::getenv("TEEBASKET_TEST_CLI_LAUNCHER") == nullptr) {
        GTEST_SKIP() << "Task Scheduler is Windows'";
    }
    const fs::path wine = test::WinePrefix();
    TempDir folder;
    const std::string name = "wine-test-" + std::to_string(::getpid());
    const fs::path task =
        wine / "drive_c" / "windows" / "system32" / "tasks" / ("teebasket-" + name);
    const auto windowsPath = [](const fs::path& path) {
        std::string text = "Z:" + path.string();
        std::replace(text.begin(), text.end(), '/', '\\');
        return text;
    };
    const auto cli = [&](std::vector<std::string> arguments) {
        std::vector<std::string> command = test::CliCommand();
        command.push_back("schedule");
        command.insert(command.end(), arguments.begin(), arguments.end());
        command.push_back("--data-folder=" + windowsPath(folder.path() / "data"));
        return RunInFolder(folder.path(), command);
    };

    const ProgramRun added = cli({"add", name, "--weekly", "mon", "--at", "06:30", "13", "-o",
                                  windowsPath(folder.path() / "kanto.csv")});
    EXPECT_EQ(added.exitCode, 0) << added.out << added.err;
    EXPECT_TRUE(Contains(added.out, "Registered: teebasket-" + name)) << added.out;
    EXPECT_TRUE(fs::exists(task));
    const ProgramRun removed = cli({"remove", name});
    EXPECT_EQ(removed.exitCode, 0) << removed.out << removed.err;
    EXPECT_FALSE(fs::exists(task));
    EXPECT_TRUE(test::ListFolder(folder.path() / "data" / "schedules").empty());
}

}  // namespace
}  // namespace teebasket
