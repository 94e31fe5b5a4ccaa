// A program run in a child process, measured as the kernel accounts it for
// the finished process: its peak resident memory (wait4), its wall time and
// how it ended. For the benchmarks that measure whole teebasket-cli runs.
#pragma once

#include <string>
#include <vector>

namespace teebasket::bench {

struct ChildRun {
    int exitCode = -1;   // -1 unless the program exited
    std::string ending;  // "exit N", "signal N" or "not started"
    double peakMiB = 0;
    double seconds = 0;
};

// Runs `args` (args[0] is the program's path) with standard output and
// error sent to /dev/null. The peak is the child's own, not this process's.
ChildRun RunMeasured(const std::vector<std::string>& args);

}  // namespace teebasket::bench
