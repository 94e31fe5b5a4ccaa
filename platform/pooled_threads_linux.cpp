// PooledThreads on Linux: the threads are listed in /proc/self/task, and Qt
// names each pooled thread "Thread (pooled)".
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

#include "PooledThreads.h"

namespace teebasket {

namespace {

// Qt's object name for the threads of a QThreadPool, which it also gives the
// system's thread.
constexpr std::string_view kPooledThreadName = "Thread (pooled)";

bool AnyPooledThreadRuns() {
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        // A thread that has just ended has no readable name: it is gone.
        if (std::getline(comm, name) && name == kPooledThreadName) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool WaitForPooledThreadsToEnd(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (AnyPooledThreadRuns()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        // They are in their last few instructions: this is normally one turn.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace teebasket
