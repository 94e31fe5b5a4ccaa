#include "ProgramRun.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "TestSupport.h"

extern char** environ;

namespace teebasket::test {

namespace fs = std::filesystem;

namespace {

std::vector<char*> NullTerminated(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ProgramRun RunInFolder(const fs::path& folder, std::vector<std::string> command,
                       const std::optional<std::vector<std::string>>& environment) {
    const fs::path outPath = folder / "out.txt";
    const fs::path errPath = folder / "err.txt";
    std::vector<std::string> variables = environment.value_or(std::vector<std::string>());
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv = NullTerminated(command);
        std::vector<char*> envp = NullTerminated(variables);
        if (::chdir(folder.c_str()) != 0 || !std::freopen(outPath.c_str(), "wb", stdout) ||
            !std::freopen(errPath.c_str(), "wb", stderr)) {
            ::_exit(127);
        }
        ::execvpe(argv[0], argv.data(), environment ? envp.data() : environ);
        ::_exit(127);
    }
    int status = 0;
    if (!WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; },
                   std::chrono::seconds(120))) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << command.front() << " did not end";
    }
    ProgramRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFileBytes(outPath);
    run.err = ReadFileBytes(errPath);
    return run;
}

std::vector<std::string> CliCommand() {
    std::vector<std::string> command;
    if (const char* launcher = std::getenv("TEEBASKET_TEST_CLI_LAUNCHER");
        launcher != nullptr && *launcher != '\0') {
        command.emplace_back(launcher);
    }
    const char* cli = std::getenv("TEEBASKET_TEST_CLI");
    command.emplace_back(cli != nullptr && *cli != '\0' ? cli : TEEBASKET_CLI_EXECUTABLE);
    return command;
}

fs::path WinePrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
        return prefix;
    }
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    const fs::path caches = cache != nullptr && *cache != '\0'
                                ? fs::path(cache)
                                : fs::path(home != nullptr ? home : "/") / ".cache";
    return caches / "teebasket" / "wine";
}

}  // namespace teebasket::test
