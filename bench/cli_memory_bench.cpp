// Peak resident memory of a whole teebasket-cli run, as the kernel accounts it
// for the finished process: every prefecture of a local demo portal with K
// courses each, every listing page read, zero pauses. The figure should not
// grow with the number of courses.
//
//   build/bench/cli_memory_bench [K ...]     (default 213: about 10 000 courses)

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "child_run.h"

namespace {

using namespace teebasket;
using bench::ChildRun;
using bench::RunMeasured;

constexpr int kDefaultCoursesPerPrefecture = 213;

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
