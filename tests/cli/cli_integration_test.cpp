// The real teebasket-cli executable against a real teebasket-portal on
// 127.0.0.1: exit codes, the CSV bytes next to the engine's own, golf.ini,
// Ctrl-C in the middle of a run, and the scratch folder left behind (none).
//
// The same program drives the Windows build under Wine: TEEBASKET_TEST_CLI
// names teebasket-cli.exe and TEEBASKET_TEST_CLI_LAUNCHER the command that
// runs it (scripts/run-under-wine). The program then reaches the portal as
// localhost (Schannel matches the certificate by that name only) and is given
// its paths as Windows paths on drive Z:.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "MECSUtils.h"
#include "OutputReader.h"
#include "PortalPages.h"
#include "ProfileFile.h"
#include "ProgramRun.h"
#include "RunHistory.h"
#include "TestSupport.h"
#include "Unithread.h"

extern char** environ;

namespace teebasket {
namespace {

namespace fs = std::filesystem;
using test::CliCommand;
using test::PortalProcess;
using test::ReadFileBytes;
using test::TempDir;
using test::WinePrefix;
using test::WriteFileBytes;

// ---------------------------------------------------------------------------
// The program under test

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// Whether the program under test is the Windows build, run under Wine.
bool UnderWine() {
    static const bool underWine = !Environment("TEEBASKET_TEST_CLI_LAUNCHER").empty();
    return underWine;
}

// The Windows program's folder for temporary files. Wine sets %TEMP% from its
// prefix, whatever the environment says.
fs::path WineTemporaryFolder() {
    const passwd* user = ::getpwuid(::getuid());
    return WinePrefix() / "drive_c" / "users" / (user != nullptr ? user->pw_name : "root") / "Temp";
}

// `path` as the program under test takes it: a Windows path on drive Z: (the
// root of the Linux file system) under Wine.
std::string CliPath(const fs::path& path) {
    std::string text = path.string();
    if (UnderWine() && path.is_absolute()) {
        std::replace(text.begin(), text.end(), '/', '\\');
        text = "Z:" + text;
    }
    return text;
}

// The host:port under which the program under test reaches `portal`.
std::string CliHost(const PortalProcess& portal) {
    const std::string host = portal.host();
    return UnderWine() ? "localhost" + host.substr(host.rfind(':')) : host;
}

// ---------------------------------------------------------------------------
// Running the executable

// Where a CliProcess's standard error goes.
enum class ErrorOutput {
    File,        // stderr.txt in the test folder
    Terminal,    // a pseudo-terminal that the test reads
    UnreadPipe,  // a one-page pipe that nobody reads
    Closed,      // descriptor 2 closed (`2>&-`)
    AllClosed    // descriptors 0, 1 and 2 closed
};

// Generous bounds for the waits of these tests: a run against the local
// portal takes seconds.
constexpr auto kProcessDeadline = std::chrono::seconds(120);
constexpr auto kConditionDeadline = std::chrono::seconds(60);

// One teebasket-cli process with its standard error in a file (or on a
// pseudo-terminal, or in a pipe), its own TMPDIR and HOME, and the test folder
// as its current folder.
class CliProcess {
  public:
    // `maxFileBytes` above 0 limits the size of every file the program
    // writes, as a full disk would (a write over it fails with EFBIG).
    // `command` starts the program, before `arguments`.
    CliProcess(const fs::path& folder, const std::vector<std::string>& arguments,
               ErrorOutput errorOutput = ErrorOutput::File, rlim_t maxFileBytes = 0,
               std::vector<std::string> command = CliCommand())
        : CliProcess(folder, arguments,
                     Launch{.errorOutput = errorOutput,
                            .maxFileBytes = maxFileBytes,
                            .command = std::move(command)}) {}

    // How a process is started beyond its arguments.
    struct Launch {
        ErrorOutput errorOutput = ErrorOutput::File;
        rlim_t maxFileBytes = 0;
        std::vector<std::string> command = CliCommand();
        // NAME=value entries that replace the test's own. The program's
        // language and terminal are set, not inherited: English unless a
        // test sets LANG or LC_*, and TERM=xterm.
        std::vector<std::string> environment{};
        bool captureStdout = false;             // into stdout.txt rather than the null device
        bool stdoutClosed = false;              // descriptor 1 closed (`>&-`)
        std::string fullPipeFiller{};           // UnreadPipe: the pipe is full before the start
        std::string stderrName = "stderr.txt";  // File: its name in the folder
    };

    CliProcess(const fs::path& folder, const std::vector<std::string>& arguments,
               const Launch& launch)
        : stderrPath_(folder / launch.stderrName), stdoutPath_(folder / "stdout.txt") {
        const ErrorOutput errorOutput = launch.errorOutput;
        const rlim_t maxFileBytes = launch.maxFileBytes;
        fs::create_directories(folder / "tmp");
        fs::create_directories(folder / "home");
        std::vector<std::string> args = launch.command;
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<std::string> replaced = {"TMPDIR",     "HOME",   "XDG_CONFIG_HOME",
                                             "WINEPREFIX", "LC_ALL", "LC_MESSAGES",
                                             "LANG",       "TERM",   "LC_CTYPE"};
        for (const std::string& entry : launch.environment) {
            replaced.push_back(entry.substr(0, entry.find('=')));
        }
        std::vector<std::string> env;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string_view text(*entry);
            const std::string_view name = text.substr(0, text.find('='));
            if (std::find(replaced.begin(), replaced.end(), name) == replaced.end()) {
                env.emplace_back(text);
            }
        }
        env.push_back("TMPDIR=" + (folder / "tmp").string());
        env.push_back("HOME=" + (folder / "home").string());
        env.push_back("TERM=xterm");
        if (UnderWine()) {
            env.push_back("WINEPREFIX=" + WinePrefix().string());
            // Wine turns the arguments and file names into the Windows
            // program's UTF-16 by the locale's character set: a UTF-8 one,
            // whatever the language variables the test sets.
            env.push_back("LC_CTYPE=C.UTF-8");
        }
        for (const std::string& entry : launch.environment) {
            std::erase_if(env, [&](const std::string& e) {
                return e.substr(0, e.find('=')) == entry.substr(0, entry.find('='));
            });
            env.push_back(entry);
        }
        std::vector<char*> argv = Pointers(args);
        std::vector<char*> envp = Pointers(env);

        int stderrFd = -1;
        if (errorOutput == ErrorOutput::Terminal) {
            winsize size{};
            size.ws_col = 100;
            size.ws_row = 24;
            if (::openpty(&terminal_, &stderrFd, nullptr, nullptr, &size) != 0) {
                throw std::runtime_error("openpty failed");
            }
        } else if (errorOutput == ErrorOutput::UnreadPipe) {
            int ends[2];
            if (::pipe2(ends, O_CLOEXEC) != 0 || ::fcntl(ends[1], F_SETPIPE_SZ, 4096) < 0) {
                throw std::runtime_error("cannot make a one-page pipe");
            }
            unreadPipe_ = ends[0];
            stderrFd = ends[1];
            if (!launch.fullPipeFiller.empty()) {
                Fill(stderrFd, launch.fullPipeFiller);
            }
        } else if (errorOutput == ErrorOutput::File) {
            stderrFd = ::open(stderrPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        }
        const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        const int stdoutFd =
            launch.captureStdout
                ? ::open(stdoutPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)
                : nullFd;
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls between fork and exec.
            if (errorOutput == ErrorOutput::AllClosed) {
                ::close(0);
                ::close(1);
            } else {
                ::dup2(nullFd, 0);
                ::dup2(stdoutFd, 1);
            }
            if (launch.stdoutClosed) {
                ::close(1);
            }
            if (stderrFd >= 0) {
                ::dup2(stderrFd, 2);
            } else {
                ::close(2);
            }
            if (::chdir(folder.c_str()) != 0) {
                ::_exit(127);
            }
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            if (maxFileBytes > 0) {
                // As a shell leaves it: the program has to ignore it itself.
                ::signal(SIGXFSZ, SIG_DFL);
                const rlimit limit{maxFileBytes, maxFileBytes};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        if (stderrFd >= 0) {
            ::close(stderrFd);
        }
        if (stdoutFd != nullFd) {
            ::close(stdoutFd);
        }
        ::close(nullFd);
    }

    ~CliProcess() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        for (int fd : {terminal_, unreadPipe_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

    void Signal(int signal) const { ::kill(pid_, signal); }
    pid_t Pid() const { return pid_; }

    // Whether the process has ended, without waiting.
    bool Ended() {
        if (status_) {
            return true;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
        }
        return status_.has_value();
    }

    // The exit code; -1 when the process ended by a signal, or when it had
    // not ended by the deadline (it is then killed and the test fails).
    int Wait() {
        const auto deadline = std::chrono::steady_clock::now() + kProcessDeadline;
        while (!status_) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ADD_FAILURE() << "teebasket-cli did not end within " << kProcessDeadline.count()
                              << " s; killed";
                ::kill(pid_, SIGKILL);
                int status = 0;
                ::waitpid(pid_, &status, 0);
                status_ = status;
                return -1;
            }
            DrainTerminal(100);
            Ended();
        }
        DrainTerminal(0);
        return WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -1;
    }

    std::string Stderr() {
        if (unreadPipe_ >= 0) {
            return "(standard error is a pipe that nobody reads)";
        }
        if (terminal_ < 0 && !fs::exists(stderrPath_)) {
            return "(standard error is closed)";
        }
        return terminal_ >= 0 ? terminalOutput_ : ReadFileBytes(stderrPath_);
    }

    std::string Stdout() const { return ReadFileBytes(stdoutPath_); }

    // The bytes waiting in the unread pipe.
    int UnreadBytes() const {
        int count = 0;
        return ::ioctl(unreadPipe_, FIONREAD, &count) == 0 ? count : -1;
    }

  private:
    // Writes `filler` into the pipe until it takes no more, without waiting,
    // and leaves the pipe blocking again, as the program would find it.
    static void Fill(int fd, const std::string& filler) {
        const int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        while (::write(fd, filler.data(), filler.size()) > 0) {
        }
        ::fcntl(fd, F_SETFL, flags);
    }

    static std::vector<char*> Pointers(std::vector<std::string>& texts) {
        std::vector<char*> pointers;
        for (std::string& text : texts) {
            pointers.push_back(text.data());
        }
        pointers.push_back(nullptr);
        return pointers;
    }

    // Reads what the terminal has to give; a full terminal would block the
    // program.
    void DrainTerminal(int waitMs) {
        if (terminal_ < 0) {
            if (waitMs > 0) {
                ::usleep(static_cast<useconds_t>(waitMs) * 1000);
            }
            return;
        }
        pollfd entry{terminal_, POLLIN, 0};
        while (::poll(&entry, 1, waitMs) > 0) {
            char buffer[4096];
            const ssize_t count = ::read(terminal_, buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            terminalOutput_.append(buffer, static_cast<std::size_t>(count));
            waitMs = 0;
        }
    }

    fs::path stderrPath_;
    fs::path stdoutPath_;
    pid_t pid_ = -1;
    int terminal_ = -1;
    int unreadPipe_ = -1;
    std::string terminalOutput_;
    std::optional<int> status_;
};

struct CliResult {
    int exitCode;
    std::string stderrText;
};

CliResult RunCli(const fs::path& folder, const std::vector<std::string>& arguments) {
    CliProcess process(folder, arguments);
    const int code = process.Wait();
    return {code, process.Stderr()};
}

// Polls until `condition` holds, the process ends or `limit` passes; true
// when it held. A limit that passes fails the test with a message.
template <typename Condition>
bool WaitUntil(CliProcess& process, Condition condition,
               std::chrono::seconds limit = kConditionDeadline) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (process.Ended()) {
            return condition();
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ADD_FAILURE() << "the awaited condition did not come within " << limit.count() << " s";
            return false;
        }
        ::usleep(20'000);
    }
    return true;
}

// Whether the process ends within `deadline`.
bool EndsWithin(CliProcess& process, std::chrono::seconds deadline) {
    return WaitUntil(
        process, [&] { return process.Ended(); }, deadline);
}

// ---------------------------------------------------------------------------
// The CSV file

std::vector<std::string> CsvLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start) + "<no line end>");
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The number of quoted values of a course line ("v1","v2",...,"v31",).
int QuotedValueCount(const std::string& line) {
    int count = 0;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] != '"') {
            return -1;
        }
        ++i;
        for (;;) {
            const std::size_t quote = line.find('"', i);
            if (quote == std::string::npos) {
                return -1;
            }
            if (quote + 1 < line.size() && line[quote + 1] == '"') {
                i = quote + 2;
                continue;
            }
            i = quote + 1;
            break;
        }
        if (i >= line.size() || line[i] != ',') {
            return -1;
        }
        ++i;
        ++count;
    }
    return count;
}

std::string HeaderOnly() {
    return CsvHeaderLine() + "\r\n";
}

std::vector<std::string> Names(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// The file the engine itself writes for `rows` from `portal`.
std::string EngineCsv(const fs::path& folder, const std::vector<int>& rows,
                      const PortalProcess& portal) {
    fs::create_directories(folder);
    HarvestSettings settings;
    settings.portal.listingHost = CliHost(portal);
    settings.portal.bookingHost = CliHost(portal);
    settings.portal.caCertificate = portal.certificate();
    settings.pauses.afterListing = std::chrono::milliseconds(0);
    settings.pauses.afterDetail = std::chrono::milliseconds(0);
    struct Silent : HarvestObserver {
        void ProgressStart(const HarvestReport&) override {}
        void ProgressStep(const HarvestReport&) override {}
        void StatusUpdate(const HarvestReport&) override {}
        void RunEnded(const HarvestReport&) override {}
    } observer;
    HarvestRequest request;
    request.selection = MakeSelection(rows);
    request.settings = settings;
    request.output.path = folder / "engine.csv";
    request.scratchPath = folder / "tmp.dat";
    CrawlPace pace;
    HarvestRun run(request, pace);
    run.Execute(observer);
    return ReadFileBytes(request.output.path);
}

// ---------------------------------------------------------------------------
// Tests

// The courses of an output file of any format, read back; fails the test
// when it cannot be read.
std::vector<CourseEntry> EntriesIn(const fs::path& file) {
    std::vector<CourseEntry> entries;
    std::string error;
    EXPECT_TRUE(ReadOutputFile(file, entries, error)) << file << ": " << error;
    return entries;
}

// The 31 values of each course, for comparing files of different formats.
std::vector<std::vector<std::string>> ValuesOf(const std::vector<CourseEntry>& entries) {
    std::vector<std::vector<std::string>> values;
    for (const CourseEntry& entry : entries) {
        values.emplace_back(entry.record.values.begin(), entry.record.values.end());
    }
    return values;
}

class CliAgainstPortal : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        PortalProcess::Options options;
        options.extraArgs = {"--courses-per-prefecture", "4"};
        portal_ = new PortalProcess(options);
    }
    static void TearDownTestSuite() {
        delete portal_;
        portal_ = nullptr;
    }

    // The options that point a run at the test's portal, without pauses.
    std::vector<std::string> PortalArguments() const {
        return {"--config",       CliPath(Ini()),
                "--listing-host", CliHost(*portal_),
                "--booking-host", CliHost(*portal_),
                "--ca-cert",      CliPath(portal_->certificate()),
                "--pause-ms",     "0,0"};
    }
    std::vector<std::string> With(std::vector<std::string> extra) const {
        std::vector<std::string> arguments = PortalArguments();
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return arguments;
    }
    fs::path Ini() const { return folder_.path() / "golf.ini"; }
    fs::path Folder() const { return folder_.path(); }
    // The scratch folders of teebasket-cli processes. Under Wine they are
    // in the prefix's folder for temporary files, which other runs share:
    // only those made since the test began count.
    std::vector<std::string> ScratchFolders() const {
        if (!UnderWine()) {
            return test::ListFolder(folder_.path() / "tmp");
        }
        std::vector<std::string> folders;
        for (const std::string& name : test::ListFolder(WineTemporaryFolder())) {
            if (name.starts_with("teebasket-cli-") &&
                std::find(scratchBefore_.begin(), scratchBefore_.end(), name) ==
                    scratchBefore_.end()) {
                folders.push_back(name);
            }
        }
        return folders;
    }
    bool ScratchFolderEmpty() const { return ScratchFolders().empty(); }

    static PortalProcess* portal_;
    TempDir folder_;
    std::string iniBytes_ = "[Config]\r\nArea=\r\n";
    std::vector<std::string> scratchBefore_;
    void SetUp() override {
        WriteFileBytes(Ini(), iniBytes_);
        if (UnderWine() && fs::exists(WineTemporaryFolder())) {
            scratchBefore_ = test::ListFolder(WineTemporaryFolder());
        }
    }
    // A killed run leaves its scratch folder; under Wine it would stay in
    // the prefix for good.
    void TearDown() override {
        if (UnderWine()) {
            std::error_code ignored;
            for (const std::string& name : ScratchFolders()) {
                fs::remove_all(WineTemporaryFolder() / name, ignored);
            }
        }
    }
};

PortalProcess* CliAgainstPortal::portal_ = nullptr;

TEST_F(CliAgainstPortal, WritesTheEnginesBytesAndReportsEachPrefecture) {
    const CliResult result = RunCli(Folder(), With({"tokyo", "1", "高知県", "-o", "out"}));
    ASSERT_EQ(result.exitCode, 0) << result.stderrText;
    const std::string cliCsv = ReadFileBytes(Folder() / "out.csv");
    EXPECT_EQ(cliCsv, EngineCsv(Folder() / "engine", {0, 12, 38}, *portal_));

    const std::vector<std::string> lines = CsvLines(cliCsv);
    ASSERT_EQ(lines.size(), 1u + 4u + 4u);  // 高知県 has no course
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(QuotedValueCount(lines[i]), kColumnCount) << lines[i];
    }
    for (const char* expected :
         {"prefecture 1/3 北海道", "prefecture 2/3 東京都: course 4/4",
          "prefecture 3/3 高知県: no course", "8 courses written", "情報の取得が完了しました"}) {
        EXPECT_NE(result.stderrText.find(expected), std::string::npos) << expected << " in\n"
                                                                       << result.stderrText;
    }
    EXPECT_TRUE(ScratchFolderEmpty());
}

TEST_F(CliAgainstPortal, TakesTheSelectionAndPortalOfGolfIni) {
    // 東京都, and a "1" after the 47th character, which counts for nothing.
    const std::string area = std::string(12, '0') + "1" + std::string(35, '0') + "1";
    ASSERT_EQ(WriteProfileString(Ini(), "Config", "Area", area), "");
    ASSERT_EQ(WriteProfileString(Ini(), "Portal", "ListingHost", CliHost(*portal_)), "");
    ASSERT_EQ(WriteProfileString(Ini(), "Portal", "BookingHost", CliHost(*portal_)), "");
    ASSERT_EQ(WriteProfileString(Ini(), "Portal", "CACertificate", CliPath(portal_->certificate())),
              "");
    const std::string iniBefore = ReadFileBytes(Ini());
    const std::size_t requestsBefore = portal_->requests().size();

    const CliResult result =
        RunCli(Folder(), {"--config", CliPath(Ini()), "--pause-ms", "0,0", "--quiet"});
    ASSERT_EQ(result.exitCode, 0) << result.stderrText;
    EXPECT_EQ(result.stderrText, "");  // quiet and successful
    EXPECT_EQ(ReadFileBytes(Folder() / "ゴルフ場一覧.csv"),
              EngineCsv(Folder() / "engine", {12}, *portal_));
    EXPECT_EQ(ReadFileBytes(Ini()), iniBefore);  // the CLI never writes golf.ini

    std::vector<std::string> listings;
    const std::vector<test::PortalRequest> requests = portal_->requests();
    for (std::size_t i = requestsBefore; i < requests.size(); ++i) {
        if (requests[i].target.starts_with("/doc/area/")) {
            listings.push_back(requests[i].target);
        }
    }
    // One listing for the CLI's run and one for the engine's.
    EXPECT_EQ(listings, (std::vector<std::string>{"/doc/area/tokyo/?sort=kana&page=1",
                                                  "/doc/area/tokyo/?sort=kana&page=1"}));
}

TEST_F(CliAgainstPortal, TrustsACertificateInAFolderWithAJapaneseName) {
    // On Windows the path goes to libcurl as UTF-8 and must reach the file
    // system as the same name.
    const fs::path folder = Folder() / "証明書の置き場";
    fs::create_directories(folder);
    fs::copy_file(portal_->certificate(), folder / "デモ.pem");
    std::vector<std::string> arguments = PortalArguments();
    const auto certificate = std::find(arguments.begin(), arguments.end(), "--ca-cert");
    ASSERT_NE(certificate, arguments.end());
    *(certificate + 1) = CliPath(folder / "デモ.pem");
    arguments.insert(arguments.end(), {"tokyo", "-o", "trusted.csv"});

    const CliResult result = RunCli(Folder(), arguments);
    ASSERT_EQ(result.exitCode, 0) << result.stderrText;
    EXPECT_EQ(CsvLines(ReadFileBytes(Folder() / "trusted.csv")).size(), 1u + 4u);
}

TEST_F(CliAgainstPortal, NothingFoundLeavesTheOutputFileAsItWas) {
    CliResult result = RunCli(Folder(), With({"tottori", "kochi"}));
    EXPECT_EQ(result.exitCode, 1) << result.stderrText;
    EXPECT_NE(result.stderrText.find("該当する情報は見つかりませんでした。"), std::string::npos);
    EXPECT_EQ(test::ListFolder(Folder()), Names({"golf.ini", "home", "stderr.txt", "tmp"}));

    // Yesterday's file stays, byte for byte.
    WriteFileBytes(Folder() / "ゴルフ場一覧.csv", "yesterday");
    result = RunCli(Folder(), With({"tottori"}));
    EXPECT_EQ(result.exitCode, 1) << result.stderrText;
    EXPECT_EQ(ReadFileBytes(Folder() / "ゴルフ場一覧.csv"), "yesterday");
    EXPECT_FALSE(fs::exists(Folder() / "ゴルフ場一覧.csv.partial"));
    EXPECT_TRUE(ScratchFolderEmpty());
}

TEST_F(CliAgainstPortal, AnUnreachablePortalEndsWithNine) {
    const test::ClosedLoopbackPort closedPort;
    const std::string closed = closedPort.host();
    const CliResult result =
        RunCli(Folder(), {"--config", CliPath(Ini()), "--listing-host", closed, "--booking-host",
                          closed, "--ca-cert", "", "--pause-ms", "0,0", "tokyo"});
    EXPECT_EQ(result.exitCode, 9) << result.stderrText;
    EXPECT_NE(result.stderrText.find("サイトへのアクセスができませんでした。"), std::string::npos);
    // The listing page is named, after its three attempts, in each language.
    EXPECT_NE(result.stderrText.find("Page not read: 東京都 https://" + closed +
                                     "/doc/area/tokyo/?sort=kana&page=1: 接続が拒否されました"
                                     "（3 回試しました） / connection refused"),
              std::string::npos)
        << result.stderrText;
    EXPECT_NE(result.stderrText.find("(3 attempts)"), std::string::npos) << result.stderrText;
    // A refused host that the user named: the settings to check, and the host.
    EXPECT_NE(result.stderrText.find("接続先の設定（--listing-host、--booking-host、golf.ini の "
                                     "[Portal]）を確かめてください。 / The portal could not be "
                                     "reached; please check the portal settings"),
              std::string::npos)
        << result.stderrText;
    EXPECT_NE(result.stderrText.find("理由 / Reason: 一覧のホスト " + closed +
                                     ": 接続が拒否されました（3 回試しました） / the listing "
                                     "host " +
                                     closed + ": connection refused"),
              std::string::npos)
        << result.stderrText;
    // The progress says so as it happens, not that the prefecture has no course.
    EXPECT_NE(result.stderrText.find("prefecture 1/1 東京都: listing not read"), std::string::npos)
        << result.stderrText;
    EXPECT_FALSE(fs::exists(Folder() / "ゴルフ場一覧.csv"));
    EXPECT_TRUE(ScratchFolderEmpty());
}

constexpr const char* kWineTrustsAnyCertificate =
    "Wine's Schannel accepts a certificate that nothing trusts when no certificate file is given";

TEST_F(CliAgainstPortal, AnUntrustedPortalEndsWithNineAndLeavesTheFileAsItWas) {
    if (UnderWine()) {
        GTEST_SKIP() << kWineTrustsAnyCertificate;
    }
    // The portal is up, but its certificate is not trusted: a good file
    // from an earlier run stays as it was.
    WriteFileBytes(Folder() / "ゴルフ場一覧.csv", HeaderOnly() + "\"earlier\",\r\n");
    const CliResult result = RunCli(Folder(), With({"--ca-cert", "", "tokyo"}));
    EXPECT_EQ(result.exitCode, 9) << result.stderrText;
    EXPECT_EQ(ReadFileBytes(Folder() / "ゴルフ場一覧.csv"), HeaderOnly() + "\"earlier\",\r\n");
    EXPECT_FALSE(fs::exists(Folder() / "ゴルフ場一覧.csv.partial"));
    EXPECT_TRUE(ScratchFolderEmpty());
}

TEST_F(CliAgainstPortal, UsageMistakesEndWith64AndTouchNothing) {
    const std::vector<std::vector<std::string>> mistakes = {
        With({"--bogus", "tokyo"}),
        With({"Atlantis"}),
        With({"tokyo", "--listing-host", "https://x/"}),
        With({"tokyo", "--listing-host", "portal.example"}),  // pauses of 0 to a remote host
        With({"tokyo", "--ca-cert", "missing.pem"}),
        With({"tokyo", "--config", "missing.ini"}),
        With({}),  // nothing ticked in golf.ini
    };
    const std::size_t requestsBefore = portal_->requests().size();
    for (const auto& arguments : mistakes) {
        const CliResult result = RunCli(Folder(), arguments);
        EXPECT_EQ(result.exitCode, 64) << result.stderrText;
        EXPECT_NE(result.stderrText.find("Bad usage or configuration"), std::string::npos);
        EXPECT_EQ(std::count(result.stderrText.begin(), result.stderrText.end(), '\n'), 1)
            << result.stderrText;
    }
    EXPECT_EQ(portal_->requests().size(), requestsBefore);
    EXPECT_FALSE(fs::exists(Folder() / "ゴルフ場一覧.csv"));
}

TEST_F(CliAgainstPortal, HelpAndVersionGoToStandardOutput) {
    const CliResult result = RunCli(Folder(), {"--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.stderrText, "");
    EXPECT_EQ(RunCli(Folder(), {"--version"}).exitCode, 0);
}

TEST_F(CliAgainstPortal, AnOutputFileThatCannotBeCreatedEndsWith73) {
    WriteFileBytes(Folder() / "plain-file", "x");
    const CliResult result = RunCli(Folder(), With({"tokyo", "-o", "plain-file/list.csv"}));
    EXPECT_EQ(result.exitCode, 73) << result.stderrText;
    EXPECT_NE(result.stderrText.find("plain-file/list.csv"), std::string::npos)
        << result.stderrText;
    EXPECT_TRUE(ScratchFolderEmpty());
}

TEST_F(CliAgainstPortal, CtrlCInTheMiddleKeepsTheFinishedRows) {
    // A pause after each course keeps the run going long after two rows.
    CliProcess process(Folder(), With({"--pause-ms", "0,200", "--all", "-o", "stopped.csv"}));
    const fs::path csv = Folder() / "stopped.csv";
    const fs::path partial = Folder() / "stopped.csv.partial";
    const bool twoRows = WaitUntil(process, [&] {
        return fs::exists(partial) && CsvLines(ReadFileBytes(partial)).size() >= 3;
    });
    ASSERT_TRUE(twoRows) << process.Stderr();
    EXPECT_FALSE(fs::exists(csv));  // the rows go to the partial file first
    process.Signal(SIGINT);
    EXPECT_EQ(process.Wait(), 2) << process.Stderr();
    EXPECT_FALSE(fs::exists(partial));  // a stop with rows puts them in place

    const std::string stopped = ReadFileBytes(csv);
    const std::vector<std::string> lines = CsvLines(stopped);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_LT(lines.size(), 1u + 45u * 4u);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(QuotedValueCount(lines[i]), kColumnCount) << lines[i];
    }
    // The rows kept are the first rows of a whole run, byte for byte: a
    // course whose page was not read when the stop came has no row.
    const std::vector<std::string> whole =
        CsvLines(EngineCsv(Folder() / "engine", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, *portal_));
    ASSERT_LT(lines.size(), whole.size()) << "stopped after more than ten prefectures";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i], whole[i]) << "line " << i;
    }
    EXPECT_NE(process.Stderr().find("Stopped"), std::string::npos) << process.Stderr();
    EXPECT_TRUE(ScratchFolderEmpty());
}

TEST_F(CliAgainstPortal, TheWindowsBuildWritesTheLinuxBuildsBytes) {
    if (!UnderWine()) {
        GTEST_SKIP() << "compares the Windows build, run under Wine, with this build";
    }
    const CliResult windows = RunCli(Folder(), With({"--all", "-o", "windows.csv"}));
    ASSERT_EQ(windows.exitCode, 0) << windows.stderrText;
    // This build's teebasket-cli, a Linux program, against the same portal
    // under the same name (the name is part of every course line).
    CliProcess linuxRun(
        Folder(),
        {"--config", Ini().string(), "--listing-host", CliHost(*portal_), "--booking-host",
         CliHost(*portal_), "--ca-cert", portal_->certificate().string(), "--pause-ms", "0,0",
         "--all", "-o", "linux.csv"},
        ErrorOutput::File, 0, {TEEBASKET_CLI_EXECUTABLE});
    ASSERT_EQ(linuxRun.Wait(), 0) << linuxRun.Stderr();

    const std::string windowsBytes = ReadFileBytes(Folder() / "windows.csv");
    EXPECT_GT(CsvLines(windowsBytes).size(), 1u + 40u * 4u);
    EXPECT_TRUE(windowsBytes == ReadFileBytes(Folder() / "linux.csv"))
        << "windows.csv and linux.csv differ";
}

// A listener that accepts connections and never answers: a portal that
// stalls in the middle of a download.
class SilentListener {
  public:
    SilentListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(fd_, 4) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on 127.0.0.1");
        }
        port_ = ntohs(address.sin_port);
    }
    ~SilentListener() {
        for (int client : clients_) {
            ::close(client);
        }
        ::close(fd_);
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    // Accepts a waiting connection, if any.
    bool AcceptOne() {
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, 0) <= 0) {
            return false;
        }
        const int client = ::accept(fd_, nullptr, nullptr);
        if (client >= 0) {
            clients_.push_back(client);
        }
        return client >= 0;
    }

  private:
    int fd_ = -1;
    int port_ = 0;
    std::vector<int> clients_;
};

TEST_F(CliAgainstPortal, CtrlCEndsAStalledDownloadAtOnce) {
    SilentListener stalled;
    CliProcess process(
        Folder(), {"--config", CliPath(Ini()), "--listing-host", stalled.Host(), "--booking-host",
                   stalled.Host(), "--ca-cert", "", "--pause-ms", "0,0", "tokyo"});
    ASSERT_TRUE(WaitUntil(process, [&] { return stalled.AcceptOne(); })) << process.Stderr();
    process.Signal(SIGINT);
    // A generous bound: the download's own time-outs are 30 s and more.
    ASSERT_TRUE(EndsWithin(process, std::chrono::seconds(10))) << process.Stderr();
    EXPECT_EQ(process.Wait(), 2) << process.Stderr();
    // Stopped before any row: nothing is written.
    EXPECT_FALSE(fs::exists(Folder() / "ゴルフ場一覧.csv"));
    EXPECT_FALSE(fs::exists(Folder() / "ゴルフ場一覧.csv.partial"));
    EXPECT_TRUE(ScratchFolderEmpty());
}

TEST_F(CliAgainstPortal, SigtermStopsLikeCtrlC) {
    if (UnderWine()) {
        GTEST_SKIP() << "Windows has no SIGTERM: Wine ends the program as a kill would";
    }
    SilentListener stalled;
    CliProcess process(
        Folder(), {"--config", CliPath(Ini()), "--listing-host", stalled.Host(), "--booking-host",
                   stalled.Host(), "--ca-cert", "", "--pause-ms", "0,0", "tokyo"});
    ASSERT_TRUE(WaitUntil(process, [&] { return stalled.AcceptOne(); })) << process.Stderr();
    process.Signal(SIGTERM);
    ASSERT_TRUE(EndsWithin(process, std::chrono::seconds(10))) << process.Stderr();
    EXPECT_EQ(process.Wait(), 2) << process.Stderr();
    EXPECT_TRUE(ScratchFolderEmpty());
}

TEST_F(CliAgainstPortal, ASecondCtrlCQuitsAtOnceWithOnlyWholeLines) {
    WriteFileBytes(Folder() / "quit.csv", "earlier");
    CliProcess process(Folder(), With({"--all", "-o", "quit.csv"}));
    const fs::path partial = Folder() / "quit.csv.partial";
    ASSERT_TRUE(WaitUntil(process, [&] {
        return fs::exists(partial) && CsvLines(ReadFileBytes(partial)).size() >= 3;
    })) << process.Stderr();
    process.Signal(SIGINT);
    process.Signal(SIGINT);
    ASSERT_TRUE(EndsWithin(process, std::chrono::seconds(10))) << process.Stderr();
    EXPECT_EQ(process.Wait(), 2) << process.Stderr();
    // Two signals sent at once may arrive as one, a stop that puts the rows
    // in place. Quitting at once is as a kill: the output as it was, the
    // rows in the partial file.
    const bool quitAtOnce = fs::exists(partial);
    if (quitAtOnce) {
        EXPECT_EQ(ReadFileBytes(Folder() / "quit.csv"), "earlier");
        EXPECT_NE(process.Stderr().find("--resume continues"), std::string::npos)
            << process.Stderr();
    }
    const std::string bytes = ReadFileBytes(quitAtOnce ? partial : Folder() / "quit.csv");
    ASSERT_TRUE(bytes.ends_with("\r\n"));
    const std::vector<std::string> lines = CsvLines(bytes);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(QuotedValueCount(lines[i]), kColumnCount) << lines[i];
    }
    EXPECT_TRUE(ScratchFolderEmpty());
}

TEST_F(CliAgainstPortal, CtrlCEndsTheRunWhenNobodyReadsStandardError) {
    if (UnderWine()) {
        // The Windows side of this is a unit test (progress on a full pipe).
        GTEST_SKIP() << "Wine holds back Ctrl-C from a program whose thread is blocked in a "
                        "write to a full pipe";
    }
    // Standard error is full before the program starts: no progress line
    // fits, and the run goes on all the same. A pause after each course
    // keeps it going long after three rows.
    CliProcess process(Folder(), With({"--pause-ms", "0,200", "--all", "-o", "unread.csv"}),
                       CliProcess::Launch{.errorOutput = ErrorOutput::UnreadPipe,
                                          .fullPipeFiller = std::string(256, 'f')});
    const fs::path csv = Folder() / "unread.csv";
    const fs::path partial = Folder() / "unread.csv.partial";
    ASSERT_TRUE(WaitUntil(process, [&] {
        return fs::exists(partial) && CsvLines(ReadFileBytes(partial)).size() >= 3;
    })) << "the progress held up the run";
    ASSERT_FALSE(process.Ended());

    // The first Ctrl-C stops the run, which puts its rows in place.
    process.Signal(SIGINT);
    ASSERT_TRUE(WaitUntil(process, [&] { return !fs::exists(partial) && fs::exists(csv); }))
        << "the first Ctrl-C did not stop the run";
    // A closing line that waits for room in the pipe is ended by another
    // Ctrl-C.
    const bool ended = WaitUntil(process, [&] {
        if (process.Ended()) {
            return true;
        }
        process.Signal(SIGINT);
        return false;
    });
    ASSERT_TRUE(ended) << "Ctrl-C could not end the program";
    EXPECT_EQ(process.Wait(), 2);
    const std::vector<std::string> lines = CsvLines(ReadFileBytes(csv));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_LT(lines.size(), 1u + 45u * 4u);  // stopped, not finished
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(QuotedValueCount(lines[i]), kColumnCount) << lines[i];
    }
    EXPECT_TRUE(ScratchFolderEmpty());
}

// A fixture portal whose Tokyo listing names `cards`; course 1001 has a
// small page of its own.
class FixturePortal {
  public:
    explicit FixturePortal(const std::vector<std::string>& cards) {
        std::string listing;
        for (const std::string& id : cards) {
            listing += "<h2 class=\"gf-card-name\">\n<a href=\"/guide/disp/c_id/" + id +
                       "/?rt=1\">x</a>\n";
        }
        WriteFileBytes(pages_.path() / "listing" / "tokyo.html", listing);
        WriteFileBytes(pages_.path() / "detail" / "1001.html",
                       "<script type=\"application/ld+json\">{\"@context\":\"https://schema.org\","
                       "\"name\":\"青葉\",\"image\":\"i\",\"telephone\":\"03-1\",\"x\":1}"
                       "</script>\n");
        portal_ =
            std::make_unique<PortalProcess>(PortalProcess::Options{.pagesDir = pages_.path()});
    }
    std::vector<std::string> Arguments(const fs::path& ini) const {
        return {"--config",       CliPath(ini),
                "--listing-host", CliHost(*portal_),
                "--booking-host", CliHost(*portal_),
                "--ca-cert",      CliPath(portal_->certificate()),
                "--pause-ms",     "0,0",
                "tokyo"};
    }
    const PortalProcess& Portal() const { return *portal_; }

  private:
    TempDir pages_;
    std::unique_ptr<PortalProcess> portal_;
};

TEST_F(CliAgainstPortal, PagesThatCannotBeReadAreListedAndEndWithThree) {
    const FixturePortal fixture({"1001", "x-status-404", "1001"});
    std::vector<std::string> arguments = fixture.Arguments(Ini());
    arguments.push_back("--quiet");
    const CliResult result = RunCli(Folder(), arguments);
    EXPECT_EQ(result.exitCode, 3) << result.stderrText;

    const std::vector<std::string> lines = CsvLines(ReadFileBytes(Folder() / "ゴルフ場一覧.csv"));
    ASSERT_EQ(lines.size(), 4u);  // the course keeps its row, of defaults
    EXPECT_NE(lines[2].find("x-status-404"), std::string::npos);
    // Even when quiet: one line for the page, then the closing line.
    const std::string url =
        "https://" + CliHost(fixture.Portal()) + "/guide/disp/c_id/x-status-404";
    EXPECT_EQ(
        result.stderrText,
        "取得できなかったページ / Page not read: x-status-404 " + url +
            ": ページが見つかりません（HTTP 404） / page not found (HTTP 404)\n"
            "情報の取得が完了しました（3 件を \"" +
            CliPath(Folder() / "ゴルフ場一覧.csv") +
            "\" に保存、取得できなかったページ 1 件）。 / Done: 3 courses written to \"" +
            CliPath(Folder() / "ゴルフ場一覧.csv") +
            "\", but 1 page was not read (listed above).\n"
            "取得できなかったページだけを取得し直すには、同じ都道府県と出力ファイルで --resume "
            "を付けて実行してください。 / To read only the pages not read again, run "
            "teebasket-cli again with the same prefectures, the same output file and --resume.\n");
    EXPECT_TRUE(ScratchFolderEmpty());
}

// Nothing beside the output is followed: a link, a pipe or a folder where
// the partial file or the finished file of a resumed run goes is named, and
// neither it nor what a link points to is touched, whatever the run finds.
TEST_F(CliAgainstPortal, ARunWhoseCoursePagesAllFailLeavesTheEarlierRowsAsTheyWere) {
    // The demo portal's four Tokyo courses as fixture pages, so that its
    // course pages can go away as in a maintenance.
    const portal::CourseCatalog catalog({1, 4});
    TempDir pages;
    WriteFileBytes(pages.path() / "listing" / "tokyo.html", catalog.ListingPage(12, 1));
    for (int number = 0; number < 4; ++number) {
        const portal::GeneratedCourse course = catalog.Course(12, number);
        WriteFileBytes(pages.path() / "detail" / (course.id + ".html"), catalog.DetailPage(course));
    }
    const PortalProcess fixture(PortalProcess::Options{.pagesDir = pages.path()});
    const std::vector<std::string> arguments = {"--config",
                                                CliPath(Ini()),
                                                "--listing-host",
                                                CliHost(fixture),
                                                "--booking-host",
                                                CliHost(fixture),
                                                "--ca-cert",
                                                CliPath(fixture.certificate()),
                                                "--pause-ms",
                                                "0,0",
                                                "--quiet",
                                                "tokyo",
                                                "-o",
                                                "list.csv"};
    CliResult result = RunCli(Folder(), arguments);
    ASSERT_EQ(result.exitCode, 0) << result.stderrText;
    const std::string earlier = ReadFileBytes(Folder() / "list.csv");
    ASSERT_EQ(CsvLines(earlier).size(), 5u);

    fs::remove_all(pages.path() / "detail");
    result = RunCli(Folder(), arguments);
    EXPECT_EQ(result.exitCode, 3) << result.stderrText;
    EXPECT_EQ(ReadFileBytes(Folder() / "list.csv"), earlier);
    std::string expected;
    for (int number = 0; number < 4; ++number) {
        const std::string id = catalog.Course(12, number).id;
        expected += "取得できなかったページ / Page not read: " + id + " https://" +
                    CliHost(fixture) + "/guide/disp/c_id/" + id +
                    ": ページが見つかりません（HTTP 404）、前回の値を保持 / page not found (HTTP "
                    "404); kept the earlier row\n";
    }
    EXPECT_EQ(result.stderrText.substr(0, expected.size()), expected);
    EXPECT_TRUE(ScratchFolderEmpty());
}

TEST_F(CliAgainstPortal, ALinkPipeOrFolderBesideTheOutputIsNamedAndTouchesNothing) {
    if (UnderWine()) {
        GTEST_SKIP() << "links and pipes of the Linux file system";
    }
    const fs::path secret = Folder() / "secret.conf";
    struct Case {
        const char* what;
        const char* name;  // beside list.csv
        std::function<void(const fs::path&)> plant;
        std::vector<std::string> extra;
    };
    const Case cases[] = {
        {"a link as partial file",
         "list.csv.partial",
         [&](const fs::path& at) { fs::create_symlink(secret, at); },
         {}},
        {"a link as partial file, resuming",
         "list.csv.partial",
         [&](const fs::path& at) { fs::create_symlink(secret, at); },
         {"--resume"}},
        {"a dangling link as partial file",
         "list.csv.partial",
         [&](const fs::path& at) { fs::create_symlink(Folder() / "nowhere", at); },
         {}},
        {"a link as finished file",
         "list.csv.partial.new",
         [&](const fs::path& at) { fs::create_symlink(secret, at); },
         {}},
        {"a pipe as partial file",
         "list.csv.partial",
         [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); },
         {"--resume"}},
        {"a folder as partial file",
         "list.csv.partial",
         [](const fs::path& at) { fs::create_directories(at / "inside"); },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(secret, "keep me\n");
        WriteFileBytes(Folder() / "list.csv", "yesterday");
        const fs::path planted = Folder() / c.name;
        c.plant(planted);
        std::vector<std::string> arguments = With({"tokyo", "-o", "list.csv"});
        arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
        const CliResult result = RunCli(Folder(), arguments);
        EXPECT_EQ(result.exitCode, 73) << result.stderrText;
        EXPECT_NE(result.stderrText.find(CliPath(planted)), std::string::npos) << result.stderrText;
        EXPECT_EQ(ReadFileBytes(secret), "keep me\n");
        EXPECT_EQ(ReadFileBytes(Folder() / "list.csv"), "yesterday");
        std::error_code error;
        EXPECT_NE(fs::symlink_status(planted, error).type(), fs::file_type::regular);
        fs::remove_all(planted, error);
    }
    EXPECT_TRUE(ScratchFolderEmpty());
}

// The run's lock and partial file beside `file`.
std::vector<fs::path> SideFiles(const fs::path& file) {
    return {fs::path(file) += ".partial", fs::path(file) += ".lock",
            fs::path(file) += ".partial.new"};
}

bool AnySideFile(const fs::path& file) {
    std::error_code ignored;
    for (const fs::path& side : SideFiles(file)) {
        if (fs::symlink_status(side, ignored).type() != fs::file_type::not_found) {
            return true;
        }
    }
    return false;
}

// The output itself is a regular file or nothing: anything else there, a
// link to it, a link that leads nowhere and a read-only file are refused
// before any request, and nothing is touched: neither what is at the path,
// nor what a link leads to, nor anything beside either.
TEST_F(CliAgainstPortal, AnOutputThatIsNotARegularFileIsRefusedAndTouchesNothing) {
    if (UnderWine()) {
        GTEST_SKIP() << "links and pipes of the Linux file system";
    }
    const fs::path secret = Folder() / "secret.conf";
    const fs::path folder = Folder() / "folder";
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> plant;
        const char* said;
    };
    const Case cases[] = {
        {"a pipe", [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); },
         "not a regular file: "},
        {"a folder", [](const fs::path& at) { fs::create_directory(at); }, "not a regular file: "},
        {"a link to a folder",
         [&](const fs::path& at) { fs::create_directory_symlink(folder, at); },
         "not a regular file: "},
        {"a dangling link", [](const fs::path& at) { fs::create_symlink("nowhere.csv", at); },
         "No such file or directory"},
        {"a link to itself", [](const fs::path& at) { fs::create_symlink(at.filename(), at); },
         "Too many levels of symbolic links"},
        {"two links round in a loop",
         [&](const fs::path& at) {
             fs::create_symlink(at.filename(), Folder() / "back.csv");
             fs::create_symlink("back.csv", at);
         },
         "Too many levels of symbolic links"},
        {"a read-only file",
         [&](const fs::path& at) {
             WriteFileBytes(at, "yesterday");
             fs::permissions(at, fs::perms::owner_read | fs::perms::group_read);
         },
         "read-only: "},
        {"a link to a read-only file",
         [&](const fs::path& at) {
             fs::permissions(secret, fs::perms::owner_read);
             fs::create_symlink(secret, at);
         },
         "read-only: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path output = Folder() / "list.csv";
        std::error_code ignored;
        for (const fs::path& planted : {output, Folder() / "back.csv", folder}) {
            fs::remove(planted, ignored);
        }
        fs::remove(secret, ignored);
        WriteFileBytes(secret, "keep me\n");
        fs::create_directory(folder);
        c.plant(output);
        const fs::file_type before = fs::symlink_status(output).type();
        const std::size_t requests = portal_->requests().size();

        // "-o list": "-o list.csv" would name a folder there as the one to
        // write into.
        const CliResult result = RunCli(Folder(), With({"tokyo", "-o", "list"}));
        EXPECT_EQ(result.exitCode, 73) << result.stderrText;
        EXPECT_NE(result.stderrText.find(c.said), std::string::npos) << result.stderrText;
        EXPECT_NE(result.stderrText.find(CliPath(output) + "\" was left as it was"),
                  std::string::npos)
            << result.stderrText;
        EXPECT_EQ(portal_->requests().size(), requests) << "a request before the refusal";
        EXPECT_EQ(fs::symlink_status(output).type(), before);
        EXPECT_EQ(ReadFileBytes(secret), "keep me\n");
        EXPECT_TRUE(test::ListFolder(folder).empty());
        EXPECT_FALSE(AnySideFile(output));
        EXPECT_FALSE(AnySideFile(secret));
        EXPECT_FALSE(AnySideFile(folder));
    }
    EXPECT_TRUE(ScratchFolderEmpty());
}

// A device at the output, or a link to one, is refused like a pipe. The
// device is a node of the test's own (the null device's numbers) in the
// test's folder, so that a program that replaced it would replace only that.
TEST_F(CliAgainstPortal, ADeviceAtTheOutputIsRefusedAndStaysADevice) {
    if (UnderWine()) {
        GTEST_SKIP() << "devices of the Linux file system";
    }
    const fs::path device = Folder() / "device.csv";
    if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0) {
        GTEST_SKIP() << "no device node can be made here (needs CAP_MKNOD): "
                     << std::strerror(errno);
    }
    fs::create_symlink(device, Folder() / "linked.csv");
    for (const char* output : {"device.csv", "linked.csv"}) {
        SCOPED_TRACE(output);
        const CliResult result = RunCli(Folder(), With({"tokyo", "--format", "csv", "-o", output}));
        EXPECT_EQ(result.exitCode, 73) << result.stderrText;
        EXPECT_NE(result.stderrText.find("not a regular file: "), std::string::npos)
            << result.stderrText;
        EXPECT_TRUE(fs::is_character_file(fs::symlink_status(device)));
        EXPECT_FALSE(AnySideFile(device));
    }
}

// The rule of protected_symlinks, whatever the kernel's setting: a link in a
// sticky folder that everyone may write to is followed only when it is the
// user's own or the folder owner's. Needs a second user: root makes the link
// another user's.
TEST_F(CliAgainstPortal, AnotherUsersLinkInAStickySharedFolderIsNotFollowed) {
    if (UnderWine()) {
        GTEST_SKIP() << "links and owners of the Linux file system";
    }
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a link of another user can be made only by root";
    }
    const fs::path shared = Folder() / "shared";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    const fs::path notes = Folder() / "notes.txt";
    WriteFileBytes(notes, "keep me\n");
    const fs::path link = shared / "report.csv";
    fs::create_symlink(notes, link);
    constexpr uid_t kAnotherUser = 54321;
    ASSERT_EQ(::lchown(link.c_str(), kAnotherUser, static_cast<gid_t>(-1)), 0);

    const CliResult refused = RunCli(Folder(), With({"tokyo", "-o", CliPath(link)}));
    EXPECT_EQ(refused.exitCode, 73) << refused.stderrText;
    EXPECT_NE(refused.stderrText.find("not following \"" + CliPath(link) + "\""), std::string::npos)
        << refused.stderrText;
    EXPECT_EQ(ReadFileBytes(notes), "keep me\n");
    EXPECT_FALSE(AnySideFile(link));
    EXPECT_FALSE(AnySideFile(notes));

    // The user's own link there is followed to its file.
    ASSERT_EQ(::lchown(link.c_str(), ::geteuid(), static_cast<gid_t>(-1)), 0);
    const CliResult followed = RunCli(Folder(), With({"tokyo", "-o", CliPath(link)}));
    EXPECT_EQ(followed.exitCode, 0) << followed.stderrText;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(CsvLines(ReadFileBytes(notes)).size(), 1u + 4u);
}

// -o - on a standard output closed at the start would write every row to the
// null device put there; the run is refused before any request.
TEST_F(CliAgainstPortal, StandardOutputClosedAtTheStartIsAnError) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine gives the Windows program standard handles of its own";
    }
    const std::size_t requests = portal_->requests().size();
    CliProcess process(Folder(), With({"tokyo", "-o", "-"}),
                       CliProcess::Launch{.stdoutClosed = true});
    EXPECT_EQ(process.Wait(), 73) << process.Stderr();
    EXPECT_NE(process.Stderr().find("standard output (-o -) is closed"), std::string::npos)
        << process.Stderr();
    EXPECT_EQ(portal_->requests().size(), requests);
}

// A run killed while it wrote a workbook leaves its private folder; the next
// workbook run into that folder removes it, and keeps one that a live
// process holds.
TEST_F(CliAgainstPortal, AbandonedWorkbookFoldersGoAndHeldOnesStay) {
    if (UnderWine()) {
        GTEST_SKIP() << "the hold is an flock of the Linux file system";
    }
    const fs::path abandoned = Folder() / ".teebasket-xlsx-Ab12Cd";
    const fs::path held = Folder() / ".teebasket-xlsx-Ef34Gh";
    const fs::path unrelated = Folder() / ".teebasket-xlsx-notours";
    for (const fs::path& folder : {abandoned, held, unrelated}) {
        WriteFileBytes(folder / "workbook.xlsx", "half a workbook");
    }
    const int hold = ::open(held.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(hold, 0);
    ASSERT_EQ(::flock(hold, LOCK_EX | LOCK_NB), 0);

    const CliResult result = RunCli(Folder(), With({"tokyo", "-o", "list.xlsx"}));
    ::close(hold);
    EXPECT_EQ(result.exitCode, 0) << result.stderrText;
    EXPECT_EQ(EntriesIn(Folder() / "list.xlsx").size(), 4u);
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_EQ(ReadFileBytes(held / "workbook.xlsx"), "half a workbook");
    EXPECT_EQ(ReadFileBytes(unrelated / "workbook.xlsx"), "half a workbook");
}

// A listing that fails leaves no course to write: the run says so, ends with
// 3 as the README has it, and writes no file.
TEST_F(CliAgainstPortal, AListingThatCannotBeReadWritesNoFileAndSaysSo) {
    const FixturePortal fixture({});
    std::vector<std::string> arguments = fixture.Arguments(Ini());
    arguments.back() = "osaka";  // no listing there: 404
    const CliResult result = RunCli(Folder(), arguments);
    EXPECT_EQ(result.exitCode, 3) << result.stderrText;
    EXPECT_NE(result.stderrText.find("no course was written"), std::string::npos)
        << result.stderrText;
    EXPECT_EQ(result.stderrText.find("Done"), std::string::npos) << result.stderrText;
    EXPECT_FALSE(fs::exists(Folder() / "ゴルフ場一覧.csv"));
}

TEST_F(CliAgainstPortal, AScratchFileThatCannotBeWrittenEndsWith73) {
    if (UnderWine()) {
        GTEST_SKIP() << "a file-size limit binds Wine's own server too, not only the program";
    }
    // Every detail page of the demo portal is larger than the disk allows;
    // the listing page is not.
    CliProcess process(Folder(), With({"tokyo"}), ErrorOutput::File, 64 * 1024);
    EXPECT_EQ(process.Wait(), 73) << process.Stderr();
    EXPECT_NE(process.Stderr().find("could not write the scratch file"), std::string::npos)
        << process.Stderr();
    // Never a row read from an empty page; no file without a course.
    EXPECT_FALSE(fs::exists(Folder() / "ゴルフ場一覧.csv"));
    EXPECT_FALSE(fs::exists(Folder() / "ゴルフ場一覧.csv.partial"));
    EXPECT_TRUE(ScratchFolderEmpty());
}

TEST_F(CliAgainstPortal, AFailedWriteLeavesOnlyWholeLines) {
    if (UnderWine()) {
        GTEST_SKIP() << "a file-size limit binds Wine's own server too, not only the program";
    }
    // Thirty small courses; the disk fills up in the middle of a row.
    const FixturePortal fixture(std::vector<std::string>(30, "1001"));
    CliProcess process(Folder(), fixture.Arguments(Ini()), ErrorOutput::File, 3000);
    EXPECT_EQ(process.Wait(), 73) << process.Stderr();
    EXPECT_NE(process.Stderr().find("could not write the CSV file"), std::string::npos)
        << process.Stderr();
    // The rows written stay in the partial file, for --resume.
    EXPECT_FALSE(fs::exists(Folder() / "ゴルフ場一覧.csv"));
    const std::string bytes = ReadFileBytes(Folder() / "ゴルフ場一覧.csv.partial");
    EXPECT_LT(bytes.size(), 3000u);
    ASSERT_TRUE(bytes.ends_with("\r\n"));
    const std::vector<std::string> lines = CsvLines(bytes);
    ASSERT_GT(lines.size(), 2u);
    ASSERT_LT(lines.size(), 31u);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i], lines[1]);
        EXPECT_EQ(QuotedValueCount(lines[i]), kColumnCount) << lines[i];
    }
    EXPECT_TRUE(ScratchFolderEmpty());
}

// A full disk names the format that could not be written; the CSV's own
// line is that of the test above.
TEST_F(CliAgainstPortal, AFullDiskNamesTheFormatThatCouldNotBeWritten) {
    if (UnderWine()) {
        GTEST_SKIP() << "a file-size limit binds Wine's own server too, not only the program";
    }
    const FixturePortal fixture(std::vector<std::string>(30, "1001"));
    const std::tuple<const char*, const char*, const char*> formats[] = {
        {"list.jsonl", "JSON Linesファイルに書き込めませんでした。",
         "list.jsonl\" was left as it was; the rows written are in"},
        {"list.xlsx", "Excelブックに書き込めませんでした。", "could not write the workbook."},
    };
    for (const auto& [output, said, english] : formats) {
        SCOPED_TRACE(output);
        std::vector<std::string> arguments = fixture.Arguments(Ini());
        arguments.insert(arguments.end(), {"-o", output});
        CliProcess process(Folder(), arguments, ErrorOutput::File, 3000);
        EXPECT_EQ(process.Wait(), 73) << process.Stderr();
        EXPECT_NE(process.Stderr().find(said), std::string::npos) << process.Stderr();
        EXPECT_NE(process.Stderr().find(english), std::string::npos) << process.Stderr();
        EXPECT_EQ(process.Stderr().find("could not write the CSV file"), std::string::npos)
            << process.Stderr();
    }
}

// Started with standard error closed, the program would hand its number to
// the first file it opens, and its progress would go into the CSV file.
TEST_F(CliAgainstPortal, ClosedStandardDescriptorsLeaveTheFileToTheRows) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine gives the Windows program standard handles of its own";
    }
    const std::string expected = EngineCsv(Folder() / "engine", {12}, *portal_);
    for (const ErrorOutput closed : {ErrorOutput::Closed, ErrorOutput::AllClosed}) {
        const bool all = closed == ErrorOutput::AllClosed;
        SCOPED_TRACE(all ? "0, 1 and 2 closed" : "2 closed");
        const fs::path folder = Folder() / (all ? "all" : "stderr");
        CliProcess process(folder, With({"tokyo", "-o", "list.csv"}), closed);
        EXPECT_EQ(process.Wait(), 0);
        EXPECT_TRUE(ReadFileBytes(folder / "list.csv") == expected)
            << "the CSV file holds more than its rows";
        EXPECT_FALSE(fs::exists(folder / "list.csv.partial"));
        EXPECT_TRUE(test::ListFolder(folder / "tmp").empty());
    }
}

TEST_F(CliAgainstPortal, OnATerminalTheProgressLineIsRedrawnInPlace) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine's console host redraws a terminal with escape sequences of its own";
    }
    CliProcess process(Folder(), With({"tokyo", "osaka"}), ErrorOutput::Terminal);
    ASSERT_EQ(process.Wait(), 0) << process.Stderr();
    const std::string output = process.Stderr();
    EXPECT_NE(output.find("\r["), std::string::npos) << output;
    EXPECT_NE(output.find("\x1b[K"), std::string::npos);
    EXPECT_NE(output.find("2/2 大阪府  course 4/4"), std::string::npos) << output;
    EXPECT_EQ(output.find("prefecture 1/2"), std::string::npos);  // no log lines
    // The bar is cleared before the closing line.
    EXPECT_NE(output.find("\r\x1b[K情報の取得が完了しました"), std::string::npos) << output;
}

// The lines of standard error, each without its line end.
std::vector<std::string> ErrorLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

TEST_F(CliAgainstPortal, PrefecturesByJisCodeNameAndRomaji) {
    // 13 is 東京都, 12 千葉県 and 47 沖縄県 (JIS X 0401); 13 and 沖縄 name
    // prefectures that other words name too.
    const CliResult result =
        RunCli(Folder(), With({"13", "kanagawa", "12", "沖縄", "47", "東京", "-o", "codes"}));
    ASSERT_EQ(result.exitCode, 0) << result.stderrText;
    const std::vector<std::string> lines = ErrorLines(result.stderrText);
    ASSERT_EQ(lines.size(), 4u + 1u) << result.stderrText;
    EXPECT_TRUE(lines[0].starts_with("prefecture 1/4 千葉県: course 4/4")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("prefecture 2/4 東京都: course 4/4")) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("prefecture 3/4 神奈川県: course 4/4")) << lines[2];
    EXPECT_TRUE(lines[3].starts_with("prefecture 4/4 沖縄県: course 4/4")) << lines[3];
    EXPECT_NE(lines[4].find("16 courses written"), std::string::npos) << lines[4];
    EXPECT_EQ(CsvLines(ReadFileBytes(Folder() / "codes.csv")).size(), 1u + 16u);

    // The row numbers of earlier versions started at 0, which is no code.
    const CliResult zero = RunCli(Folder(), With({"0"}));
    EXPECT_EQ(zero.exitCode, 64);
    EXPECT_NE(zero.stderrText.find("1 (北海道) to 47 (沖縄県)"), std::string::npos)
        << zero.stderrText;
}

TEST_F(CliAgainstPortal, ListPrefecturesOnStandardOutput) {
    CliProcess process(Folder(), {"--list-prefectures"}, CliProcess::Launch{.captureStdout = true});
    ASSERT_EQ(process.Wait(), 0) << process.Stderr();
    EXPECT_EQ(process.Stderr(), "");
    const std::vector<std::string> lines = ErrorLines(process.Stdout());
    ASSERT_EQ(lines.size(), 47u) << process.Stdout();
    EXPECT_EQ(lines[0], " 1  北海道    hokkaido");
    EXPECT_EQ(lines[12], "13  東京都    tokyo");
    EXPECT_EQ(lines[46], "47  沖縄県    okinawa");
}

TEST_F(CliAgainstPortal, WithoutATerminalOneLinePerPrefectureAndTheClosingLine) {
    // Three prefectures of four courses and one without any: four progress
    // lines, not one per course, then the closing line.
    const CliResult result = RunCli(Folder(), With({"tokyo", "osaka", "kochi", "hokkaido"}));
    ASSERT_EQ(result.exitCode, 0) << result.stderrText;
    const std::vector<std::string> lines = ErrorLines(result.stderrText);
    ASSERT_EQ(lines.size(), 5u) << result.stderrText;
    EXPECT_TRUE(lines[0].starts_with("prefecture 1/4 北海道: course 4/4 (elapsed ")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("prefecture 2/4 東京都: course 4/4 (elapsed ")) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("prefecture 3/4 大阪府: course 4/4 (elapsed ")) << lines[2];
    EXPECT_TRUE(lines[3].starts_with("prefecture 4/4 高知県: no course (elapsed ")) << lines[3];
    EXPECT_TRUE(lines[4].starts_with("情報の取得が完了しました（12 件を \"")) << lines[4];
    EXPECT_EQ(result.stderrText.find('\r'), std::string::npos);
    EXPECT_EQ(result.stderrText.find('\x1b'), std::string::npos);
}

TEST_F(CliAgainstPortal, OnADumbTerminalTheLineIsRedrawnWithoutEscapeCodes) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine's console host redraws a terminal with escape sequences of its own";
    }
    CliProcess process(
        Folder(), With({"tokyo", "osaka"}),
        CliProcess::Launch{.errorOutput = ErrorOutput::Terminal, .environment = {"TERM=dumb"}});
    ASSERT_EQ(process.Wait(), 0) << process.Stderr();
    const std::string output = process.Stderr();
    EXPECT_EQ(output.find('\x1b'), std::string::npos) << output;
    EXPECT_NE(output.find("\r["), std::string::npos) << output;
    EXPECT_NE(output.find("2/2 大阪府  course 4/4"), std::string::npos) << output;
    EXPECT_EQ(output.find("prefecture 1/2"), std::string::npos);  // no log lines
    // The bar's line is blanked before the closing line.
    EXPECT_NE(output.find(" \r情報の取得が完了しました"), std::string::npos) << output;
}

// The variables that choose the language, as a shell would set them.
struct LocaleCase {
    std::vector<std::string> environment;
    bool japanese;
};

const LocaleCase kLocaleCases[] = {
    {{}, false},
    {{"LANG=ja_JP.UTF-8"}, true},
    {{"LANG=ja_JP.eucJP"}, true},  // not installed here, Japanese all the same
    {{"LANG=en_US.UTF-8"}, false},
    {{"LC_ALL=C", "LANG=ja_JP.UTF-8"}, false},
    {{"LC_MESSAGES=ja_JP.UTF-8", "LANG=C"}, true},
    {{"LC_ALL=ja_JP.UTF-8", "LC_MESSAGES=C", "LANG=C"}, true},
    {{"LC_MESSAGES=de_DE.UTF-8", "LANG=ja_JP.UTF-8"}, false},
};

TEST_F(CliAgainstPortal, HelpFollowsTheLocaleVariables) {
    for (const LocaleCase& c : kLocaleCases) {
        const std::string shown = c.environment.empty() ? "(none)" : c.environment[0];
        CliProcess process(Folder(), {"--help"},
                           CliProcess::Launch{.environment = c.environment, .captureStdout = true});
        ASSERT_EQ(process.Wait(), 0) << shown;
        const std::string help = process.Stdout();
        EXPECT_TRUE(help.starts_with(c.japanese ? "使い方: teebasket-cli" : "Usage: teebasket-cli"))
            << shown << ":\n"
            << help;
    }
}

TEST_F(CliAgainstPortal, ProgressLinesFollowTheLocaleVariables) {
    CliProcess japanese(Folder(), With({"tokyo", "kochi"}),
                        CliProcess::Launch{.environment = {"LANG=ja_JP.UTF-8"}});
    ASSERT_EQ(japanese.Wait(), 0) << japanese.Stderr();
    const std::vector<std::string> lines = ErrorLines(japanese.Stderr());
    ASSERT_EQ(lines.size(), 3u) << japanese.Stderr();
    EXPECT_TRUE(lines[0].starts_with("都道府県 1/2 東京都: ゴルフ場 4/4（経過 ")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("都道府県 2/2 高知県: ゴルフ場なし（経過 ")) << lines[1];

    CliProcess english(Folder(), With({"tokyo"}),
                       CliProcess::Launch{.environment = {"LC_ALL=C.UTF-8", "LANG=ja_JP.UTF-8"}});
    ASSERT_EQ(english.Wait(), 0) << english.Stderr();
    EXPECT_TRUE(english.Stderr().starts_with("prefecture 1/1 東京都: course 4/4"))
        << english.Stderr();
}

TEST_F(CliAgainstPortal, RunsThatPutAFileInPlaceAreKeptInTheHistory) {
    ASSERT_EQ(RunCli(Folder(), With({"13", "-o", "first.csv"})).exitCode, 0);
    const CliResult second =
        RunCli(Folder(), With({"14", "13", "--format", "jsonl", "-o", "second"}));
    ASSERT_EQ(second.exitCode, 0) << second.stderrText;
    const CliResult unkept = RunCli(Folder(), With({"1", "-o", "unkept.csv", "--no-history"}));
    ASSERT_EQ(unkept.exitCode, 0) << unkept.stderrText;

    CliProcess english(Folder(), {"history", "--config", CliPath(Ini())},
                       CliProcess::Launch{.captureStdout = true});
    ASSERT_EQ(english.Wait(), 0) << english.Stderr();
    const std::vector<std::string> lines = ErrorLines(english.Stdout());
    ASSERT_EQ(lines.size(), 2u) << english.Stdout();
    for (const char* expected :
         {"東京都、神奈川県  8 courses, 0 failed  jsonl  ", "second.jsonl"}) {
        EXPECT_NE(lines[0].find(expected), std::string::npos) << lines[0];
    }
    for (const char* expected : {"  東京都  4 courses, 0 failed  csv  ", "first.csv"}) {
        EXPECT_NE(lines[1].find(expected), std::string::npos) << lines[1];
    }
    CliProcess japanese(
        Folder(), {"--config", CliPath(Ini()), "history"},
        CliProcess::Launch{.environment = {"LANG=ja_JP.UTF-8"}, .captureStdout = true});
    ASSERT_EQ(japanese.Wait(), 0) << japanese.Stderr();
    EXPECT_NE(japanese.Stdout().find("東京都  4件（取得できず 0件）  csv"), std::string::npos)
        << japanese.Stdout();
    CliProcess json(Folder(), {"history", "--json", "--config", CliPath(Ini())},
                    CliProcess::Launch{.captureStdout = true});
    ASSERT_EQ(json.Wait(), 0) << json.Stderr();
    ASSERT_EQ(ErrorLines(json.Stdout()).size(), 2u);
    EXPECT_TRUE(json.Stdout().starts_with("{\"id\":\"")) << json.Stdout();

    // The second run's records read back as the file it put in place.
    const std::vector<history::RunEntry> runs = history::ListRuns(Folder() / "history");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].prefectures, (std::vector<int>{13, 14}));
    EXPECT_EQ(ValuesOf(EntriesIn(runs[0].records)), ValuesOf(EntriesIn(Folder() / "second.jsonl")));
    // The code-page-932 CSV holds no prefecture: the history has it from the run.
    const std::vector<CourseEntry> first = EntriesIn(runs[1].records);
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[0].prefecture, "東京都");
    EXPECT_FALSE(first[0].fetchedAt.empty());
}

TEST_F(CliAgainstPortal, AHistoryThatCannotBeWrittenWarnsAndChangesNothingOfTheRun) {
    WriteFileBytes(Folder() / "history", "a file where the history's folder would be");
    const CliResult result = RunCli(Folder(), With({"13", "-o", "kept.csv", "--quiet"}));
    EXPECT_EQ(result.exitCode, 0) << result.stderrText;
    EXPECT_EQ(CsvLines(ReadFileBytes(Folder() / "kept.csv")).size(), 1u + 4u);
    EXPECT_TRUE(result.stderrText.starts_with(
        "警告: 取得履歴に残せませんでした。 / Warning: the run was not kept in the history: "))
        << result.stderrText;
    EXPECT_EQ(ErrorLines(result.stderrText).size(), 1u) << result.stderrText;
}

TEST_F(CliAgainstPortal, OnATerminalInJapanese) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine's console host redraws a terminal with escape sequences of its own";
    }
    CliProcess process(Folder(), With({"osaka"}),
                       CliProcess::Launch{.errorOutput = ErrorOutput::Terminal,
                                          .environment = {"LC_MESSAGES=ja_JP.UTF-8"}});
    ASSERT_EQ(process.Wait(), 0) << process.Stderr();
    EXPECT_NE(process.Stderr().find("1/1 大阪府  ゴルフ場 4/4  経過 "), std::string::npos)
        << process.Stderr();
}

// The bash completion, with a stand-in for bash-completion's
// _init_completion: what it offers after each command line.
TEST(BashCompletion, OffersRomajiAndJapaneseNamesOptionsAndCompare) {
    if (UnderWine()) {
        GTEST_SKIP() << "the completion is the Linux package's";
    }
    const std::string script = std::string(R"(
_init_completion() {
    cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}
    words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD
}
_filedir() { COMPREPLY=(FILE); }
source ")") + TEEBASKET_COMPLETION_FILE +
                               R"("
offer() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=(); _teebasket_cli; echo "${COMPREPLY[*]}"; }
offer teebasket-cli 東
offer teebasket-cli 鹿
offer teebasket-cli kana
offer teebasket-cli tokyo 神
offer teebasket-cli --form
offer teebasket-cli --format c
offer teebasket-cli --list
offer teebasket-cli com
offer teebasket-cli tokyo com
offer teebasket-cli compare old.csv -
offer teebasket-cli -o x
offer teebasket-cli kan
offer teebasket-cli hist
offer teebasket-cli history --
offer teebasket-cli --no
offer teebasket-cli sch
offer teebasket-cli schedule r
offer teebasket-cli schedule add x --mon
echo $_teebasket_cli_prefectures
)";
    const fs::path file = fs::temp_directory_path() / ("completion-" + std::to_string(::getpid()));
    WriteFileBytes(file, script);
    std::string output;
    if (std::FILE* pipe = ::popen(("bash " + file.string()).c_str(), "r")) {
        char buffer[4096];
        std::size_t count = 0;
        while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            output.append(buffer, count);
        }
        EXPECT_EQ(::pclose(pipe), 0) << output;
    }
    fs::remove(file);
    const std::vector<std::string> lines = ErrorLines(output);
    ASSERT_EQ(lines.size(), 19u) << output;
    EXPECT_EQ(lines[0], "東京都");
    EXPECT_EQ(lines[1], "鹿児島県");
    EXPECT_EQ(lines[2], "kanagawa");
    EXPECT_EQ(lines[3], "神奈川県");
    EXPECT_EQ(lines[4], "--format");
    EXPECT_EQ(lines[5], "csv csv-utf8");
    EXPECT_EQ(lines[6], "--list-prefectures --listing-host");
    EXPECT_EQ(lines[7], "compare");
    EXPECT_EQ(lines[8], "");  // compare only as the first word
    EXPECT_EQ(lines[9], "--output -o --help -h");
    EXPECT_EQ(lines[10], "FILE");
    EXPECT_EQ(lines[11], "kanagawa kanto kansai");  // regions too
    EXPECT_EQ(lines[12], "history");
    EXPECT_EQ(lines[13], "--json --config --help");
    EXPECT_EQ(lines[14], "--no-history");
    EXPECT_EQ(lines[15], "schedule");
    EXPECT_EQ(lines[16], "remove run");
    EXPECT_EQ(lines[17], "--monthly");
    // Every prefecture by its romaji name and its Japanese name.
    std::vector<std::string> words;
    std::istringstream all(lines[18]);
    for (std::string word; all >> word;) {
        words.push_back(word);
    }
    std::vector<std::string> expected;
    for (const PrefectureRow& row : PrefectureTable) {
        expected.emplace_back(row.slug);
    }
    for (const PrefectureRow& row : PrefectureTable) {
        expected.emplace_back(row.displayName);
    }
    EXPECT_EQ(words, expected);
}

// ---------------------------------------------------------------------------
// Resuming: the partial file, --resume and the files a run leaves

// The targets of the requests that `portal` received from the `from`th on.
std::vector<std::string> TargetsSince(const PortalProcess& portal, std::size_t from,
                                      std::string_view prefix) {
    std::vector<std::string> targets;
    const std::vector<test::PortalRequest> requests = portal.requests();
    for (std::size_t i = from; i < requests.size(); ++i) {
        if (requests[i].target.starts_with(prefix)) {
            targets.push_back(requests[i].target);
        }
    }
    return targets;
}

constexpr std::string_view kDetailPath = "/guide/disp/c_id/";
constexpr std::string_view kListingPath = "/doc/area/";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

// Each target once, in order: the request log shows no page asked for twice.
std::vector<std::string> Distinct(std::vector<std::string> targets) {
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    return targets;
}

class ResumeAgainstPortal : public CliAgainstPortal {
  protected:
    fs::path Csv() const { return Folder() / "list.csv"; }
    fs::path Partial() const { return Folder() / "list.csv.partial"; }
    std::size_t RequestCount() const { return portal_->requests().size(); }

    // Starts a run of 千葉県 and 東京都 (four courses each) with a pause
    // after each course, and signals it with `signal` during the pause after
    // its fifth row: no course page is on its way then.
    void InterruptAfterFiveRows(int signal, int expectedExit) {
        const std::size_t before = RequestCount();
        CliProcess process(Folder(),
                           With({"--pause-ms", "0,500", "chiba", "tokyo", "-o", "list.csv"}));
        const bool paused = WaitUntil(process, [&] {
            if (!fs::exists(Partial())) {
                return false;
            }
            const std::size_t rows = CsvLines(ReadFileBytes(Partial())).size() - 1;
            return rows >= 5 && rows == TargetsSince(*portal_, before, kDetailPath).size();
        });
        ASSERT_TRUE(paused) << process.Stderr();
        process.Signal(signal);
        EXPECT_EQ(process.Wait(), expectedExit) << process.Stderr();
    }

    // --resume of that run: the uninterrupted run's bytes, every course page
    // asked for once in both runs together, the listing pages again.
    void ResumeGivesTheUninterruptedFile(std::size_t firstRequest, int rowsBefore) {
        const std::size_t resumedFrom = RequestCount();
        // A killed run cannot remove its scratch folder; the resumed run does.
        const std::vector<std::string> scratchBefore = ScratchFolders();
        const CliResult result =
            RunCli(Folder(), With({"chiba", "tokyo", "-o", "list.csv", "--resume"}));
        ASSERT_EQ(result.exitCode, 0) << result.stderrText;
        const std::vector<std::string> details = TargetsSince(*portal_, firstRequest, kDetailPath);
        EXPECT_EQ(details.size(), 8u);
        EXPECT_EQ(Distinct(details).size(), details.size()) << "a course page asked for twice";
        EXPECT_EQ(TargetsSince(*portal_, resumedFrom, kListingPath),
                  (std::vector<std::string>{"/doc/area/chiba/?sort=kana&page=1",
                                            "/doc/area/tokyo/?sort=kana&page=1"}));
        const std::string counts = std::to_string(rowsBefore) + " kept from the earlier file and " +
                                   std::to_string(8 - rowsBefore) + " fetched";
        EXPECT_NE(result.stderrText.find(counts), std::string::npos) << result.stderrText;
        EXPECT_FALSE(fs::exists(Partial()));
        EXPECT_EQ(ReadFileBytes(Csv()), EngineCsv(Folder() / "engine", {11, 12}, *portal_));
        EXPECT_EQ(ScratchFolders(), scratchBefore);
    }
};

TEST_F(ResumeAgainstPortal, AKilledRunLeavesItsRowsAndResumesToTheUninterruptedFile) {
    WriteFileBytes(Csv(), "yesterday");
    const std::size_t before = RequestCount();
    InterruptAfterFiveRows(SIGKILL, -1);
    // The output as it was; every row written so far in the partial file.
    EXPECT_EQ(ReadFileBytes(Csv()), "yesterday");
    const std::string partial = ReadFileBytes(Partial());
    ASSERT_TRUE(partial.ends_with("\r\n"));
    const int rows = static_cast<int>(CsvLines(partial).size()) - 1;
    EXPECT_GE(rows, 5);
    ResumeGivesTheUninterruptedFile(before, rows);
}

TEST_F(ResumeAgainstPortal, AStoppedRunPutsItsRowsInPlaceAndResumesFromThem) {
    const std::size_t before = RequestCount();
    InterruptAfterFiveRows(SIGINT, 2);
    EXPECT_FALSE(fs::exists(Partial()));
    const int rows = static_cast<int>(CsvLines(ReadFileBytes(Csv())).size()) - 1;
    EXPECT_GE(rows, 5);
    ResumeGivesTheUninterruptedFile(before, rows);
}

// Every format holds the CSV's values, and the columns the CSV lacks: the
// place, the fetch time, the state and the position from the page.
TEST_F(CliAgainstPortal, EveryFormatHoldsTheValuesOfTheCsv) {
    ASSERT_EQ(RunCli(Folder(), With({"tokyo", "osaka", "-o", "list.csv"})).exitCode, 0);
    const std::vector<CourseEntry> csv = EntriesIn(Folder() / "list.csv");
    ASSERT_EQ(csv.size(), 8u);
    std::vector<std::string> positions;
    const std::vector<std::vector<std::string>> arguments = {
        {"--format", "csv-utf8", "-o", "utf8.csv"}, {"-o", "list.jsonl"}, {"-o", "list.xlsx"}};
    for (const std::vector<std::string>& format : arguments) {
        std::vector<std::string> run = With({"tokyo", "osaka"});
        run.insert(run.end(), format.begin(), format.end());
        const CliResult result = RunCli(Folder(), run);
        ASSERT_EQ(result.exitCode, 0) << result.stderrText;
        const std::vector<CourseEntry> entries = EntriesIn(Folder() / format.back());
        EXPECT_EQ(ValuesOf(entries), ValuesOf(csv)) << format.back();
        ASSERT_EQ(entries.size(), csv.size());
        EXPECT_EQ(entries.front().prefecture, "東京都");
        EXPECT_EQ(entries.back().prefecture, "大阪府");
        EXPECT_EQ(entries.front().courseId, "113001");
        EXPECT_EQ(entries.front().fetchedAt.size(), 25u) << entries.front().fetchedAt;
        EXPECT_FALSE(fs::exists(Folder() / (format.back() + ".partial")));
        std::vector<std::string> found;
        for (const CourseEntry& entry : entries) {
            EXPECT_EQ(entry.fetchStatus, CourseFetch::Fetched);
            // The demo leaves the structured data out of course 4 of each
            // prefecture (113004): no position there.
            const bool structured = !entry.courseId.ends_with("004");
            EXPECT_EQ(!entry.latitude.empty(), structured) << entry.courseId;
            EXPECT_EQ(!entry.longitude.empty(), structured) << entry.courseId;
            if (structured) {
                found.push_back(entry.latitude + "," + entry.longitude);
            }
        }
        if (positions.empty()) {
            positions = found;
        }
        EXPECT_EQ(found, positions) << format.back();
    }
    EXPECT_EQ(positions.size(), 6u);
    EXPECT_EQ(Distinct(positions).size(), positions.size());
    // JSON Lines to standard output; a workbook cannot go there.
    const CliResult jsonl = RunCli(Folder(), With({"tokyo", "--format", "jsonl", "-o", "-"}));
    EXPECT_EQ(jsonl.exitCode, 0) << jsonl.stderrText;
    const CliResult xlsx = RunCli(Folder(), With({"tokyo", "--format", "xlsx", "-o", "-"}));
    EXPECT_EQ(xlsx.exitCode, 64) << xlsx.stderrText;
}

// A workbook cannot be added to: a stopped run keeps its rows in a JSON Lines
// partial file, and --resume continues from it to the uninterrupted run's
// courses.
TEST_F(ResumeAgainstPortal, AStoppedWorkbookRunResumesFromItsJsonLinesPartialFile) {
    const fs::path workbook = Folder() / "list.xlsx";
    const fs::path partial = Folder() / "list.xlsx.partial";
    ASSERT_EQ(RunCli(Folder(), With({"chiba", "tokyo", "-o", "list.xlsx"})).exitCode, 0);
    const std::vector<CourseEntry> complete = EntriesIn(workbook);
    const std::size_t before = RequestCount();
    CliProcess process(Folder(),
                       With({"--pause-ms", "0,500", "chiba", "tokyo", "-o", "list.xlsx"}));
    ASSERT_TRUE(WaitUntil(process, [&] {
        if (!fs::exists(partial)) {
            return false;
        }
        const std::string lines = ReadFileBytes(partial);
        return std::count(lines.begin(), lines.end(), '\n') >= 2;
    })) << process.Stderr();
    process.Signal(SIGINT);
    EXPECT_EQ(process.Wait(), 2) << process.Stderr();
    EXPECT_EQ(ValuesOf(EntriesIn(workbook)), ValuesOf(complete));
    ASSERT_TRUE(ReadFileBytes(partial).starts_with("{")) << "the partial file is JSON Lines";

    const CliResult resumed =
        RunCli(Folder(), With({"chiba", "tokyo", "-o", "list.xlsx", "--resume"}));
    ASSERT_EQ(resumed.exitCode, 0) << resumed.stderrText;
    EXPECT_EQ(ValuesOf(EntriesIn(workbook)), ValuesOf(complete));
    EXPECT_FALSE(fs::exists(partial));
    const std::vector<std::string> details = TargetsSince(*portal_, before, kDetailPath);
    EXPECT_EQ(details.size(), 8u);
    EXPECT_EQ(Distinct(details).size(), details.size()) << "a course page asked for twice";
}

// A stop keeps a complete earlier file as it was: the rows so far stay in
// the partial file, which the closing line names, and --resume continues
// from them.
TEST_F(ResumeAgainstPortal, AStoppedRunKeepsAnEarlierFileAndItsRowsForResume) {
    ASSERT_EQ(RunCli(Folder(), With({"chiba", "tokyo", "-o", "list.csv"})).exitCode, 0);
    const std::string complete = ReadFileBytes(Csv());
    const std::size_t before = RequestCount();
    InterruptAfterFiveRows(SIGINT, 2);
    EXPECT_EQ(ReadFileBytes(Csv()), complete);
    const int rows = static_cast<int>(CsvLines(ReadFileBytes(Partial())).size()) - 1;
    EXPECT_GE(rows, 5);
    ResumeGivesTheUninterruptedFile(before, rows);
}

// One run per output: a second run on an output in use says so, ends with
// 75 and touches nothing; the first goes on.
TEST_F(ResumeAgainstPortal, ASecondRunOnAnOutputInUseEndsWith75AndTouchesNothing) {
    WriteFileBytes(Csv(), "yesterday");
    CliProcess first(Folder(), With({"--pause-ms", "0,1000", "chiba", "tokyo", "-o", "list.csv"}));
    ASSERT_TRUE(WaitUntil(first, [&] {
        return fs::exists(Partial()) && CsvLines(ReadFileBytes(Partial())).size() >= 2;
    })) << first.Stderr();
    const std::size_t before = RequestCount();
    for (const char* resume : {"", "--resume"}) {
        std::vector<std::string> arguments = With({"chiba", "tokyo", "-o", CliPath(Csv())});
        if (*resume != '\0') {
            arguments.push_back(resume);
        }
        // Its standard error in a file of its own. (The same folder: under
        // Wine, processes of another TMPDIR talk to another wineserver and
        // cannot see each other's files held open.)
        CliProcess secondProcess(Folder(), arguments,
                                 CliProcess::Launch{.stderrName = "second-stderr.txt"});
        const CliResult second{secondProcess.Wait(), secondProcess.Stderr()};
        EXPECT_EQ(second.exitCode, 75) << second.stderrText;
        EXPECT_NE(second.stderrText.find("is being written by another run"), std::string::npos)
            << second.stderrText;
        EXPECT_NE(second.stderrText.find("list.csv.lock\" is held by another"), std::string::npos)
            << second.stderrText;
    }
    EXPECT_EQ(ReadFileBytes(Csv()), "yesterday");
    first.Signal(SIGINT);
    EXPECT_EQ(first.Wait(), 2) << first.Stderr();
    // The first run's rows, whole, and no request of the second run.
    const std::vector<std::string> lines = CsvLines(ReadFileBytes(Partial()));
    EXPECT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], CsvHeaderLine());
    EXPECT_LE(TargetsSince(*portal_, before, kListingPath).size(), 1u);
    EXPECT_EQ(ReadFileBytes(Csv()), "yesterday");
}

// Two links to one file lead to one lock beside the file: a second run
// through the other link says the output is in use and touches nothing.
TEST_F(ResumeAgainstPortal, TwoRunsThroughTwoLinksToOneFileExcludeEachOther) {
    if (UnderWine()) {
        GTEST_SKIP() << "links of the Linux file system";
    }
    WriteFileBytes(Csv(), "yesterday");
    fs::create_directory(Folder() / "elsewhere");
    fs::create_symlink("list.csv", Folder() / "first.csv");
    fs::create_symlink("../list.csv", Folder() / "elsewhere" / "second.csv");
    CliProcess first(Folder(), With({"--pause-ms", "0,1000", "chiba", "tokyo", "-o", "first.csv"}));
    ASSERT_TRUE(WaitUntil(first, [&] {
        return fs::exists(Partial()) && CsvLines(ReadFileBytes(Partial())).size() >= 2;
    })) << first.Stderr();
    const std::size_t before = RequestCount();
    CliProcess secondProcess(Folder(), With({"chiba", "tokyo", "-o", "elsewhere/second.csv"}),
                             CliProcess::Launch{.stderrName = "second-stderr.txt"});
    EXPECT_EQ(secondProcess.Wait(), 75) << secondProcess.Stderr();
    EXPECT_NE(secondProcess.Stderr().find("list.csv.lock\" is held by another"), std::string::npos)
        << secondProcess.Stderr();
    // The first run's own requests only: at most the listing it goes on to.
    EXPECT_LE(TargetsSince(*portal_, before, kListingPath).size(), 1u);
    EXPECT_FALSE(AnySideFile(Folder() / "elsewhere" / "second.csv"));
    first.Signal(SIGINT);
    EXPECT_EQ(first.Wait(), 2) << first.Stderr();
    EXPECT_EQ(ReadFileBytes(Csv()), "yesterday");
    EXPECT_TRUE(fs::is_symlink(Folder() / "first.csv"));
}

// What stands at the output is looked at again when the run puts its file
// in place: a pipe made there during the run stays, and the rows stay in the
// partial file for --resume.
TEST_F(ResumeAgainstPortal, APipeMadeAtTheOutputDuringTheRunIsNotReplaced) {
    if (UnderWine()) {
        GTEST_SKIP() << "pipes of the Linux file system";
    }
    CliProcess run(Folder(), With({"--pause-ms", "0,300", "chiba", "tokyo", "-o", "list.csv"}));
    ASSERT_TRUE(WaitUntil(run, [&] {
        return fs::exists(Partial()) && CsvLines(ReadFileBytes(Partial())).size() >= 2;
    })) << run.Stderr();
    ASSERT_EQ(::mkfifo(Csv().c_str(), 0600), 0);
    EXPECT_EQ(run.Wait(), 73) << run.Stderr();
    EXPECT_NE(run.Stderr().find("not a regular file: \"" + CliPath(Csv()) + "\""),
              std::string::npos)
        << run.Stderr();
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(Csv())));
    EXPECT_EQ(CsvLines(ReadFileBytes(Partial())).size(), 1u + 8u);
}

// Five course pages in a row that cannot be connected to (a booking host
// whose certificate nothing trusts: no retries) end the run with 9; the
// second prefecture is never asked for, and an earlier file stays.
TEST_F(ResumeAgainstPortal, APortalThatStopsAnsweringEndsTheRunAfterFivePages) {
    if (UnderWine()) {
        GTEST_SKIP() << kWineTrustsAnyCertificate;
    }
    PortalProcess larger({.extraArgs = {"--courses-per-prefecture", "8"}});
    PortalProcess untrusted;
    WriteFileBytes(Csv(), "yesterday");
    const CliResult result = RunCli(
        Folder(), {"--config", CliPath(Ini()), "--listing-host", CliHost(larger), "--booking-host",
                   CliHost(untrusted), "--ca-cert", CliPath(larger.certificate()), "--pause-ms",
                   "0,0", "chiba", "tokyo", "-o", "list.csv"});
    EXPECT_EQ(result.exitCode, 9) << result.stderrText;
    EXPECT_EQ(TargetsSince(larger, 0, kListingPath),
              std::vector<std::string>{"/doc/area/chiba/?sort=kana&page=1"});
    std::size_t notRead = 0;
    for (std::size_t at = result.stderrText.find("Page not read"); at != std::string::npos;
         at = result.stderrText.find("Page not read", at + 1)) {
        ++notRead;
    }
    EXPECT_EQ(notRead, 5u) << result.stderrText;
    EXPECT_NE(result.stderrText.find("The portal stopped answering"), std::string::npos)
        << result.stderrText;
    EXPECT_NE(result.stderrText.find("理由 / Reason: 詳細ページのホスト "), std::string::npos)
        << result.stderrText;
    EXPECT_NE(result.stderrText.find(": 証明書が信頼されていません"), std::string::npos)
        << result.stderrText;
    EXPECT_EQ(ReadFileBytes(Csv()), "yesterday");
    EXPECT_EQ(CsvLines(ReadFileBytes(Partial())).size(), 1u + 5u);
}

TEST_F(ResumeAgainstPortal, ARunWithPagesNotReadIsRepairedByResume) {
    // Course 2002 fails three times, each answer saying "try again at once";
    // a run gives up after three attempts, the next request gets the page.
    TempDir pages;
    const std::string flaky = "x-flaky-3-503-after-0-2002";
    std::string listing;
    for (const std::string& id : {std::string("2001"), flaky, std::string("2003")}) {
        listing +=
            "<h2 class=\"gf-card-name\">\n<a href=\"/guide/disp/c_id/" + id + "/?rt=1\">x</a>\n";
    }
    WriteFileBytes(pages.path() / "listing" / "tokyo.html", listing);
    for (const char* id : {"2001", "2002", "2003"}) {
        WriteFileBytes(pages.path() / "detail" / (std::string(id) + ".html"),
                       "<script type=\"application/ld+json\">{\"@context\":\"https://schema.org\","
                       "\"name\":\"コース" +
                           std::string(id) + "\",\"image\":\"i\",\"x\":1}</script>\n");
    }
    const PortalProcess fixture(PortalProcess::Options{.pagesDir = pages.path()});
    const auto arguments = [&](const char* output) {
        return std::vector<std::string>{"--config",
                                        CliPath(Ini()),
                                        "--listing-host",
                                        CliHost(fixture),
                                        "--booking-host",
                                        CliHost(fixture),
                                        "--ca-cert",
                                        CliPath(fixture.certificate()),
                                        "--pause-ms",
                                        "0,0",
                                        "tokyo",
                                        "-o",
                                        output};
    };
    CliResult result = RunCli(Folder(), arguments("list.csv"));
    ASSERT_EQ(result.exitCode, 3) << result.stderrText;
    const std::vector<std::string> failed = CsvLines(ReadFileBytes(Csv()));
    ASSERT_EQ(failed.size(), 4u);
    EXPECT_EQ(failed[2].find(UTF8ToAnsi("コース")), std::string::npos);  // a row of defaults

    std::vector<std::string> resume = arguments("list.csv");
    resume.push_back("--resume");
    const std::size_t before = fixture.requests().size();
    result = RunCli(Folder(), resume);
    ASSERT_EQ(result.exitCode, 0) << result.stderrText;
    EXPECT_EQ(TargetsSince(fixture, before, ""),
              (std::vector<std::string>{"/doc/area/tokyo/?sort=kana&page=1",
                                        "/guide/disp/c_id/" + flaky}));
    EXPECT_NE(result.stderrText.find("2 kept from the earlier file and 1 fetched"),
              std::string::npos)
        << result.stderrText;
    // The file is now what a run that met no fault writes.
    const CliResult fresh = RunCli(Folder(), arguments("fresh.csv"));
    ASSERT_EQ(fresh.exitCode, 0) << fresh.stderrText;
    const std::string repaired = ReadFileBytes(Csv());
    EXPECT_EQ(repaired, ReadFileBytes(Folder() / "fresh.csv"));
    EXPECT_NE(CsvLines(repaired)[2].find(UTF8ToAnsi("コース2002")), std::string::npos);
}

TEST_F(ResumeAgainstPortal, LinesNotReadWholeAreFetchedAgainNeverCopied) {
    ASSERT_EQ(RunCli(Folder(), With({"tokyo", "-o", "whole.csv"})).exitCode, 0);
    const std::string whole = ReadFileBytes(Folder() / "whole.csv");
    const std::vector<std::string> lines = CsvLines(whole);
    ASSERT_EQ(lines.size(), 5u);
    // Course 2 torn and glued to course 3 by an older crash, course 4 torn
    // at the end; a finished file that a killed run never put in place.
    WriteFileBytes(Partial(), lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2].substr(0, 60) +
                                  lines[3] + "\r\n" + lines[4].substr(0, 30));
    WriteFileBytes(Folder() / "list.csv.partial.new", "left over");
    const std::size_t before = RequestCount();
    const CliResult result = RunCli(Folder(), With({"tokyo", "-o", "list.csv", "--resume"}));
    ASSERT_EQ(result.exitCode, 0) << result.stderrText;
    EXPECT_EQ(TargetsSince(*portal_, before, kDetailPath),
              (std::vector<std::string>{"/guide/disp/c_id/113002", "/guide/disp/c_id/113003",
                                        "/guide/disp/c_id/113004"}));
    EXPECT_EQ(ReadFileBytes(Csv()), whole);
    EXPECT_FALSE(fs::exists(Partial()));
    EXPECT_FALSE(fs::exists(Folder() / "list.csv.partial.new"));
}

TEST_F(ResumeAgainstPortal, ResumeWithoutAFileIsANewRunAndSaysSo) {
    CliResult result = RunCli(Folder(), With({"tokyo", "-o", "list.csv", "--resume"}));
    ASSERT_EQ(result.exitCode, 0) << result.stderrText;
    EXPECT_NE(result.stderrText.find("Nothing to resume"), std::string::npos) << result.stderrText;
    EXPECT_EQ(ReadFileBytes(Csv()), EngineCsv(Folder() / "engine", {12}, *portal_));

    // A run without --resume starts afresh over a killed run's partial file.
    WriteFileBytes(Partial(), HeaderOnly() + "\"killed\",\r\n");
    result = RunCli(Folder(), With({"tokyo", "-o", "list.csv"}));
    ASSERT_EQ(result.exitCode, 0) << result.stderrText;
    EXPECT_NE(result.stderrText.find("Starting afresh"), std::string::npos) << result.stderrText;
    EXPECT_FALSE(fs::exists(Partial()));
    EXPECT_EQ(ReadFileBytes(Csv()), EngineCsv(Folder() / "engine", {12}, *portal_));
}

// True while process `pid` has `file` open.
bool HasOpen(pid_t pid, const fs::path& file) {
    std::error_code error;
    fs::directory_iterator entry("/proc/" + std::to_string(pid) + "/fd", error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        std::error_code ignored;
        if (fs::read_symlink(entry->path(), ignored) == file) {
            return true;
        }
    }
    return false;
}

// A Ctrl-C that comes before the run has begun (while the file to resume is
// read) stops it as one during the run does; left to the system's default,
// it would end the program at once (130 in a shell).
TEST_F(ResumeAgainstPortal, CtrlCWhileTheFileToResumeIsReadStopsWithTwo) {
    if (UnderWine()) {
        GTEST_SKIP() << "the open files of the Windows program are Wine's";
    }
    // Many lines that are no course lines: reading them takes a second or so.
    std::string earlier = HeaderOnly();
    const std::string junk = std::string(98, 'x') + "\r\n";
    while (earlier.size() < (32u << 20)) {
        earlier += junk;
    }
    WriteFileBytes(Csv(), earlier);
    CliProcess process(Folder(), With({"tokyo", "-o", "list.csv", "--resume"}));
    // Polled without a pause, so as not to miss that second.
    const auto deadline = std::chrono::steady_clock::now() + kConditionDeadline;
    bool reading = false;
    while (!(reading = HasOpen(process.Pid(), Csv())) && !process.Ended() &&
           std::chrono::steady_clock::now() < deadline) {
    }
    ASSERT_TRUE(reading) << "the file to resume was never seen open\n" << process.Stderr();
    process.Signal(SIGINT);
    EXPECT_EQ(process.Wait(), 2) << process.Stderr();
    EXPECT_TRUE(ReadFileBytes(Csv()) == earlier) << "the file to resume was changed";
    EXPECT_FALSE(fs::exists(Partial()));
    EXPECT_TRUE(ScratchFolderEmpty());
}

TEST_F(ResumeAgainstPortal, AFileThatCannotBeContinuedEndsWith64AndStaysAsItWas) {
    ASSERT_EQ(RunCli(Folder(), With({"tokyo", "-o", "good.csv"})).exitCode, 0);
    const std::string good = ReadFileBytes(Folder() / "good.csv");
    const std::string elsewhere = Replaced(good, CliHost(*portal_), "portal.example");
    struct Case {
        const char* what;
        std::string output;                  // the output file's bytes
        std::optional<std::string> partial;  // the partial file's, when there is one
        const char* says;
    };
    const Case cases[] = {
        {"an empty file", "", std::nullopt, "is not the header"},
        {"no line end", CsvHeaderLine(), std::nullopt, "is not the header"},
        {"another program's file", "name,address\r\na,b\r\n", std::nullopt, "is not the header"},
        {"a byte-order mark", "\xEF\xBB\xBF" + good, std::nullopt, "is not the header"},
        {"a bad partial file", good, "garbage\r\n", "is not the header"},
        {"another portal", elsewhere, std::nullopt, "another portal"},
    };
    const std::size_t before = RequestCount();
    for (const Case& c : cases) {
        WriteFileBytes(Csv(), c.output);
        std::error_code ignored;
        fs::remove(Partial(), ignored);
        if (c.partial) {
            WriteFileBytes(Partial(), *c.partial);
        }
        const CliResult result = RunCli(Folder(), With({"tokyo", "-o", "list.csv", "--resume"}));
        EXPECT_EQ(result.exitCode, 64) << c.what << "\n" << result.stderrText;
        EXPECT_NE(result.stderrText.find("Cannot resume"), std::string::npos) << c.what;
        EXPECT_NE(result.stderrText.find(c.says), std::string::npos) << c.what << "\n"
                                                                     << result.stderrText;
        EXPECT_EQ(ReadFileBytes(Csv()), c.output) << c.what;
        EXPECT_EQ(fs::exists(Partial()), c.partial.has_value()) << c.what;
        if (c.partial) {
            EXPECT_EQ(ReadFileBytes(Partial()), *c.partial) << c.what;
        }
    }
    EXPECT_EQ(RequestCount(), before) << "a file that cannot be continued asks for nothing";
}

// A resume whose earlier file holds courses of prefectures outside the run
// would drop their rows: it is refused, nothing touched, before any course
// page. Rows that say their prefecture decide it with no request at all; a
// row without an address (a page that could not be read) is placed by the
// run's listing pages.
TEST_F(ResumeAgainstPortal, ANarrowerResumeIsRefusedBeforeAnyCoursePage) {
    ASSERT_EQ(RunCli(Folder(), With({"13", "14", "-o", "list.csv"})).exitCode, 0);
    const std::string both = ReadFileBytes(Csv());
    std::size_t before = RequestCount();
    const CliResult result = RunCli(Folder(), With({"13", "-o", "list.csv", "--resume"}));
    EXPECT_EQ(result.exitCode, 64) << result.stderrText;
    // One course of each prefecture has a page without an address: its row
    // is not checked, for the others decide already.
    EXPECT_NE(result.stderrText.find("今回選んだ都道府県以外のゴルフ場が 3 件あり（神奈川県 3 "
                                     "件。ほかに住所がなく確かめていない行 2 件）"),
              std::string::npos)
        << result.stderrText;
    EXPECT_NE(result.stderrText.find("holds 3 courses outside this run's selection (14 "
                                     "神奈川県: 3; 2 more without an address, not checked)"),
              std::string::npos)
        << result.stderrText;
    EXPECT_EQ(ReadFileBytes(Csv()), both);
    EXPECT_FALSE(fs::exists(Partial()));
    EXPECT_EQ(RequestCount(), before) << "every row names its prefecture: nothing asked for";

    // The same from a killed run's partial file: it stays byte for byte.
    const std::string killed = both.substr(0, both.size() - 20);
    WriteFileBytes(Partial(), killed);
    EXPECT_EQ(RunCli(Folder(), With({"13", "-o", "list.csv", "--resume"})).exitCode, 64);
    EXPECT_EQ(ReadFileBytes(Partial()), killed);
    EXPECT_EQ(ReadFileBytes(Csv()), both);
    EXPECT_EQ(RequestCount(), before);
    fs::remove(Partial());

    // A file of 東京都 whose last row is a 千葉県 course whose page could not
    // be read: no address, so 東京都's listing decides, and no course page
    // is asked for.
    ASSERT_EQ(RunCli(Folder(), With({"12", "-o", "chiba.csv"})).exitCode, 0);
    CourseRecord chibaCourse;
    ASSERT_TRUE(
        ReadCourseLine(CsvLines(ReadFileBytes(Folder() / "chiba.csv")).back(), chibaCourse));
    CourseRecord notRead;
    notRead[kColumnDetailUrl] = chibaCourse[kColumnDetailUrl];
    const std::vector<std::string> tokyo = CsvLines(both);
    std::string withChiba;
    for (std::size_t i = 0; i < 1 + 4; ++i) {
        withChiba += tokyo[i] + "\r\n";
    }
    withChiba += CourseLine(notRead) + "\r\n";
    WriteFileBytes(Csv(), withChiba);
    before = RequestCount();
    const CliResult listed = RunCli(Folder(), With({"13", "-o", "list.csv", "--resume"}));
    EXPECT_EQ(listed.exitCode, 64) << listed.stderrText;
    EXPECT_NE(listed.stderrText.find("(not in this run's listings: 1)"), std::string::npos)
        << listed.stderrText;
    EXPECT_EQ(TargetsSince(*portal_, before, ""),
              std::vector<std::string>{"/doc/area/tokyo/?sort=kana&page=1"});
    EXPECT_EQ(ReadFileBytes(Csv()), withChiba);
    EXPECT_FALSE(fs::exists(Partial()));
}

TEST_F(ResumeAgainstPortal, AnUnreachablePortalLeavesBothFilesAsTheyWere) {
    if (UnderWine()) {
        GTEST_SKIP() << kWineTrustsAnyCertificate;
    }
    ASSERT_EQ(RunCli(Folder(), With({"tokyo", "-o", "list.csv"})).exitCode, 0);
    const std::string good = ReadFileBytes(Csv());
    const std::string killed = good.substr(0, good.size() - 7);
    WriteFileBytes(Partial(), killed);
    // The certificate is not trusted: no page can be read.
    const CliResult result =
        RunCli(Folder(), With({"--ca-cert", "", "tokyo", "-o", "list.csv", "--resume"}));
    EXPECT_EQ(result.exitCode, 9) << result.stderrText;
    EXPECT_EQ(ReadFileBytes(Csv()), good);
    EXPECT_EQ(ReadFileBytes(Partial()), killed);
}

}  // namespace
}  // namespace teebasket
