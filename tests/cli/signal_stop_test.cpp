// Ctrl-C on the CLI's signal thread, and the progress and notes on a
// standard error that nobody reads.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <string>
#include <vector>

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

// Three prefectures of `courses` courses each, as the engine reports them.
void ReportRun(TerminalProgress& progress, int courses,
               const std::function<void(int prefecture)>& beforePrefecture) {
    HarvestReport run;
    run.prefectureCount = 3;
    progress.ProgressStart(run);
    for (int row = 0; row < 3; ++row) {
        beforePrefecture(row);
        run.currentPrefecture = PrefectureNameAnsi(row);
        progress.ProgressStep(run);
        run.courseTotal = courses;
        for (run.courseIndex = 1; run.courseIndex <= courses; ++run.courseIndex) {
            progress.StatusUpdate(run);
        }
    }
    progress.RunEnded(run);
}

// The lines of `output`, each without its "\n"; a last line without one
// is marked.
std::vector<std::string> Lines(const std::string& output) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(output.substr(start) + "<no line end>");
            break;
        }
        lines.push_back(output.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The pieces of a terminal's output between the "\r" that start them.
std::vector<std::string> Redraws(const std::string& output) {
    std::vector<std::string> pieces;
    std::size_t start = output.find('\r');
    while (start != std::string::npos) {
        const std::size_t next = output.find('\r', start + 1);
        pieces.push_back(
            output.substr(start + 1, next == std::string::npos ? next : next - start - 1));
        start = next;
    }
    return pieces;
}

// A standard error that nobody reads never holds up the run: what it cannot
// take at once is dropped, a line at a time, never half a line; once there is
// room again the progress goes on. A note still goes out.
TEST(TerminalProgressOnAFullPipe, NeverHoldsUpTheRunAndDropsOnlyWholeLines) {
    for (const bool terminal : {false, true}) {
        SCOPED_TRACE(terminal ? "terminal" : "log");
        FullPipe pipe;
        ProgressStyle style;
        style.terminal = terminal;
        TerminalProgress progress(pipe.Writer(), style);
        std::string filler;
        auto run = std::async(std::launch::async, [&] {
            // The first prefecture's progress finds the pipe full; then the
            // test reads what is there.
            ReportRun(progress, terminal ? 300 : 60, [&](int row) {
                if (row == 1) {
                    filler = pipe.Drain();
                }
            });
        });
        ASSERT_EQ(run.wait_for(20s), std::future_status::ready) << "a progress write waited";
        run.get();
        EXPECT_EQ(filler.find_first_not_of('f'), std::string::npos) << "written into a full pipe";

        const std::string output = pipe.Drain();
        if (!terminal) {
            // One line a prefecture: the first, finished once there was room
            // again, and the other two.
            const std::vector<std::string> lines = Lines(output);
            ASSERT_EQ(lines.size(), 3u) << output;
            EXPECT_TRUE(lines[0].starts_with("prefecture 1/3 北海道: course 60/60 (elapsed "));
            EXPECT_TRUE(lines[1].starts_with("prefecture 2/3 青森県: course 60/60 (elapsed "));
            EXPECT_TRUE(lines[2].starts_with("prefecture 3/3 岩手県: course 60/60 (elapsed "));
            continue;
        }
        // 900 redraws do not fit into the pipe's 4096 bytes; each one that
        // went in is whole.
        const std::vector<std::string> redraws = Redraws(output);
        ASSERT_GT(redraws.size(), 10u) << output;
        EXPECT_LT(redraws.size(), 900u);
        for (std::size_t i = 0; i + 1 < redraws.size(); ++i) {
            EXPECT_TRUE(redraws[i].starts_with("[") && redraws[i].ends_with("\x1b[K"))
                << redraws[i];
        }
        auto note = std::async(std::launch::async, [&] { progress.Note("stopping"); });
        EXPECT_EQ(note.wait_for(20s), std::future_status::ready);
    }
}

// Standard error a socket that nobody reads (the journal's stream, when it
// stalls): the run goes on all the same.
TEST(TerminalProgressOnAFullSocket, NeverHoldsUpTheRun) {
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    const std::string filler(256, 'f');
    while (::send(ends[1], filler.data(), filler.size(), MSG_DONTWAIT) > 0) {
    }
    std::FILE* stream = ::fdopen(ends[1], "w");
    ASSERT_NE(stream, nullptr);
    std::setvbuf(stream, nullptr, _IONBF, 0);
    {
        TerminalProgress progress(stream, ProgressStyle{});
        auto run = std::async(std::launch::async, [&] { ReportRun(progress, 60, [](int) {}); });
        EXPECT_EQ(run.wait_for(20s), std::future_status::ready) << "a progress write waited";
        auto note = std::async(std::launch::async, [&] { progress.Note("stopping"); });
        EXPECT_EQ(note.wait_for(20s), std::future_status::ready);
    }
    std::fclose(stream);
    ::close(ends[0]);
}

TEST(TerminalProgressNote, ReturnsWhileThePipeIsFull) {
    FullPipe pipe;
    TerminalProgress progress(pipe.Writer(), /*terminal=*/false, /*quiet=*/false);
    auto note = std::async(std::launch::async, [&] { progress.Note("stopping"); });
    EXPECT_EQ(note.wait_for(20s), std::future_status::ready)
        << "the note waited for a pipe that nobody reads";
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
