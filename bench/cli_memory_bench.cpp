// Peak resident memory of a whole teebasket-cli run, as the kernel accounts it
// for the finished process: every prefecture of a local demo portal with K
// courses each, every listing page read, zero pauses. The figure should not
// grow with the number of courses.
//
//   build/bench/cli_memory_bench [K ...]     (default 213: about 10 000 courses)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"

extern char** environ;

namespace {

using namespace teebasket;

constexpr int kDefaultCoursesPerPrefecture = 213;

struct ChildRun {
    int exitCode = -1;
    double peakMiB = 0;
    double seconds = 0;
};

// Runs `args` with standard output and error sent to /dev/null; the peak
// resident memory is the child's own (wait4), not this process's.
ChildRun RunMeasured(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    ChildRun result;
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return result;
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return result;
}

// The lines of the CSV file, the header line included.
std::size_t CountLines(const std::filesystem::path& path) {
    std::size_t lines = 0;
    for (const char c : test::ReadFileBytes(path)) {
        lines += c == '\n' ? 1 : 0;
    }
    return lines;
}

void Measure(int coursesPerPrefecture) {
    test::PortalProcess portal(
        {{"--courses-per-prefecture", std::to_string(coursesPerPrefecture)}, {}, {}});
    const test::TempDir dir;
    const std::filesystem::path output = dir.path() / "all.csv";
    const ChildRun run =
        RunMeasured({TEEBASKET_CLI_EXECUTABLE, "--all", "--listing-host", portal.host(),
                     "--booking-host", portal.host(), "--ca-cert", portal.certificate().string(),
                     "--pause-ms", "0,0", "--quiet", "-o", output.string()});
    const std::size_t rows = CountLines(output) - 1;
    std::printf("%10d %10zu %10d %10.1f %14.1f\n", coursesPerPrefecture, rows, run.exitCode,
                run.seconds, run.peakMiB);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty()) {
        sizes.push_back(kDefaultCoursesPerPrefecture);
    }
    std::printf("%10s %10s %10s %10s %14s\n", "K", "courses", "exit", "seconds", "peak RSS MiB");
    for (const int k : sizes) {
        Measure(k);
    }
    return 0;
}
