// The progress and the Ctrl-C note on Windows, on a standard error that
// nobody reads (an anonymous pipe, as when the output of teebasket-cli.exe is
// piped into a program that has stopped reading), and the text that reaches
// a pipe.
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

// A pipe that nobody reads never holds up the run: the progress returns at
// once (its writes wait on a thread of their own, or are dropped), and so does
// a note.
TEST(TerminalProgressOnAFullPipe, NeverHoldsUpTheRun) {
    PipeStream pipe;
    pipe.Fill();
    TerminalProgress progress(pipe.Writer(), /*terminal=*/false, /*quiet=*/false);
    auto run = std::async(std::launch::async, [&] {
        HarvestReport run;
        run.prefectureCount = 40;
        progress.ProgressStart(run);
        for (int row = 0; row < 40; ++row) {
            run.currentPrefecture = PrefectureNameAnsi(row);
            progress.ProgressStep(run);
            run.courseTotal = 20;
            for (run.courseIndex = 1; run.courseIndex <= 20; ++run.courseIndex) {
                progress.StatusUpdate(run);
            }
        }
        progress.RunEnded(run);
    });
    EXPECT_EQ(run.wait_for(20s), std::future_status::ready) << "a progress write waited";
    auto note = std::async(std::launch::async, [&] { progress.Note("stopping"); });
    EXPECT_EQ(note.wait_for(20s), std::future_status::ready)
        << "the note waited for a pipe that nobody reads";
    // Read until both are through, so that the test can end.
    WaitUntil([&] {
        pipe.Drain();
        return run.wait_for(0s) == std::future_status::ready &&
               note.wait_for(0s) == std::future_status::ready;
    });
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
