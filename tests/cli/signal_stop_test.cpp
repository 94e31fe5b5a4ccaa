// Ctrl-C on the CLI's signal thread, and the note it prints while the
// harvest thread is stuck writing to a standard error that nobody reads.
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "ProgressReport.h"
#include "SignalStop.h"
#include "TestSupport.h"

namespace teebasket::cli {
namespace {

using namespace std::chrono_literals;

using test::WaitUntil;

TEST(SignalStop, FirstAndLaterSignalsRunTheirActionsOnItsThread) {
    std::atomic<int> first{0};
    std::atomic<int> further{0};
    {
        SignalStop signals([&] { ++first; }, [&] { ++further; });
        ::kill(::getpid(), SIGINT);
        ASSERT_TRUE(WaitUntil([&] { return first == 1; })) << "the first signal was not taken";
        ::kill(::getpid(), SIGTERM);
        ASSERT_TRUE(WaitUntil([&] { return further == 1; })) << "the second signal was not taken";
        ::kill(::getpid(), SIGHUP);
        ASSERT_TRUE(WaitUntil([&] { return further == 2; })) << "the third signal was not taken";
        EXPECT_EQ(signals.SignalsReceived(), 3);
    }
    EXPECT_EQ(first, 1);
}

// A pipe that holds one page and is full, with its read end kept by the test.
class FullPipe {
  public:
    FullPipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0 || ::fcntl(ends[1], F_SETPIPE_SZ, 4096) < 0) {
            throw std::runtime_error("cannot make a one-page pipe");
        }
        read_ = ends[0];
        writer_ = ::fdopen(ends[1], "w");
        std::setvbuf(writer_, nullptr, _IONBF, 0);  // as standard error
        const int flags = ::fcntl(ends[1], F_GETFL);
        ::fcntl(ends[1], F_SETFL, flags | O_NONBLOCK);
        const std::string filler(256, 'f');
        while (::write(ends[1], filler.data(), filler.size()) > 0) {
        }
        ::fcntl(ends[1], F_SETFL, flags);
    }
    ~FullPipe() {
        std::fclose(writer_);
        ::close(read_);
    }
    std::FILE* Writer() const { return writer_; }
    // Reads everything there is, up to `limit`, without waiting.
    std::string Drain(std::size_t limit = 1 << 20) const {
        std::string bytes;
        const int flags = ::fcntl(read_, F_GETFL);
        ::fcntl(read_, F_SETFL, flags | O_NONBLOCK);
        char buffer[4096];
        ssize_t count = 0;
        while (bytes.size() < limit && (count = ::read(read_, buffer, sizeof buffer)) > 0) {
            bytes.append(buffer, static_cast<std::size_t>(count));
        }
        ::fcntl(read_, F_SETFL, flags);
        return bytes;
    }

  private:
    int read_ = -1;
    std::FILE* writer_ = nullptr;
};

// True while thread `tid` of this process is inside the write system call.
bool InWrite(pid_t tid) {
    std::ifstream syscall("/proc/self/task/" + std::to_string(tid) + "/syscall");
    long number = -1;
    syscall >> number;
    return number == SYS_write;
}

TEST(TerminalProgressNote, ReturnsWhileAProgressWriteIsBlockedOnAFullPipe) {
    FullPipe pipe;
    TerminalProgress progress(pipe.Writer(), /*terminal=*/false, /*quiet=*/false);
    HarvestRun run;
    run.prefectureCount = 1;
    progress.ProgressStart(run);
    // The harvest thread's next line blocks in the write, holding the
    // progress lock, for as long as nobody reads.
    std::atomic<pid_t> harvestTid{0};
    std::atomic<bool> stepDone{false};
    std::thread harvest([&] {
        harvestTid = static_cast<pid_t>(::syscall(SYS_gettid));
        progress.ProgressStep(run);
        stepDone = true;
    });
    const bool blocked = WaitUntil([&] { return harvestTid != 0 && InWrite(harvestTid); });

    auto note = std::async(std::launch::async, [&] { progress.Note("stopping"); });
    const bool returned = note.wait_for(20s) == std::future_status::ready;
    // Read until the harvest thread is through, so that the test can end.
    WaitUntil([&] {
        pipe.Drain();
        return stepDone.load();
    });
    harvest.join();
    note.wait();
    ASSERT_TRUE(blocked) << "the progress write never blocked";
    EXPECT_TRUE(returned) << "the note waited on the blocked progress write";
}

TEST(TerminalProgressNote, WritesTheLineWhenThereIsRoom) {
    FullPipe pipe;
    pipe.Drain();
    TerminalProgress progress(pipe.Writer(), /*terminal=*/false, /*quiet=*/true);
    progress.Note("中断します / Stopping");
    EXPECT_EQ(pipe.Drain(), "中断します / Stopping\n");
}

}  // namespace
}  // namespace teebasket::cli
