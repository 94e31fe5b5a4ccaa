// The Ctrl-C note on Windows, while the harvest thread is stuck writing to a
// standard error that nobody reads (an anonymous pipe, as when the output of
// teebasket-cli.exe is piped into a program that has stopped reading), and
// the text that reaches a pipe.
#include <windows.h>
// after windows.h
#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

#include "ProgressReport.h"
#include "TerminalStream.h"
#include "TestSupport.h"

namespace teebasket::cli {
namespace {

using namespace std::chrono_literals;

using test::WaitUntil;

// An anonymous pipe of one page whose write end is an unbuffered stream, as
// standard error is; Fill leaves it full.
class PipeStream {
  public:
    PipeStream() {
        HANDLE read = nullptr;
        HANDLE write = nullptr;
        if (!::CreatePipe(&read, &write, nullptr, 4096)) {
            throw std::runtime_error("cannot make a pipe");
        }
        read_ = read;
        write_ = write;
        const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(write), _O_WRONLY | _O_BINARY);
        writer_ = fd >= 0 ? ::_fdopen(fd, "wb") : nullptr;
        if (writer_ == nullptr) {
            throw std::runtime_error("cannot make a stream on the pipe");
        }
        std::setvbuf(writer_, nullptr, _IONBF, 0);
    }
    ~PipeStream() {
        std::fclose(writer_);  // closes the write end
        ::CloseHandle(read_);
    }
    std::FILE* Writer() const { return writer_; }

    // Writes without waiting (PIPE_NOWAIT) until the pipe takes no more.
    void Fill() const {
        DWORD mode = PIPE_NOWAIT;
        ::SetNamedPipeHandleState(write_, &mode, nullptr, nullptr);
        const std::string filler(256, 'f');
        DWORD written = 0;
        while (::WriteFile(write_, filler.data(), static_cast<DWORD>(filler.size()), &written,
                           nullptr) &&
               written > 0) {
        }
        mode = PIPE_WAIT;
        ::SetNamedPipeHandleState(write_, &mode, nullptr, nullptr);
    }

    // Reads everything there is, without waiting.
    std::string Drain() const {
        std::string bytes;
        DWORD available = 0;
        while (::PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            std::string chunk(available, '\0');
            DWORD count = 0;
            if (!::ReadFile(read_, chunk.data(), available, &count, nullptr) || count == 0) {
                break;
            }
            bytes.append(chunk, 0, count);
        }
        return bytes;
    }

  private:
    HANDLE read_ = nullptr;
    HANDLE write_ = nullptr;
    std::FILE* writer_ = nullptr;
};

TEST(TerminalProgressNote, ReturnsWhileAProgressWriteIsBlockedOnAFullPipe) {
    PipeStream pipe;
    pipe.Fill();
    TerminalProgress progress(pipe.Writer(), /*terminal=*/false, /*quiet=*/false);
    HarvestRun run;
    run.prefectureCount = 1;
    progress.ProgressStart(run);
    // The harvest thread's next line blocks in the write, holding the
    // progress lock, for as long as nobody reads.
    std::atomic<bool> stepBegun{false};
    std::atomic<bool> stepDone{false};
    std::thread harvest([&] {
        stepBegun = true;
        progress.ProgressStep(run);
        stepDone = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return stepBegun.load(); }));
    std::this_thread::sleep_for(200ms);  // into its write, most likely; the note must return anyway
    const bool blocked = !stepDone;

    auto note = std::async(std::launch::async, [&] { progress.Note("stopping"); });
    const bool returned = note.wait_for(20s) == std::future_status::ready;
    // Read until the harvest thread is through, so that the test can end.
    WaitUntil([&] {
        pipe.Drain();
        return stepDone.load();
    });
    harvest.join();
    note.wait();
    EXPECT_TRUE(blocked) << "the progress write never blocked";
    EXPECT_TRUE(returned) << "the note waited on the blocked progress write";
}

TEST(TerminalProgressNote, WritesTheLineWhenThereIsRoom) {
    PipeStream pipe;
    TerminalProgress progress(pipe.Writer(), /*terminal=*/false, /*quiet=*/true);
    progress.Note("中断します / Stopping");
    EXPECT_EQ(pipe.Drain(), "中断します / Stopping\n");
}

// A pipe is no console, and its text arrives as UTF-8 with "\n" line ends.
TEST(TerminalStream, APipeGetsTheUtf8BytesAsTheyAre) {
    PipeStream pipe;
    EXPECT_FALSE(IsTerminal(pipe.Writer()));
    EXPECT_EQ(TerminalColumns(pipe.Writer()), 0);
    WriteText(pipe.Writer(), "東京都\n\x1b[K");
    EXPECT_EQ(pipe.Drain(), "東京都\n\x1b[K");
}

}  // namespace
}  // namespace teebasket::cli
