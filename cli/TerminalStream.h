// TerminalStream: the CLI's UTF-8 text on standard error and output, the
// parts that differ between the platforms (terminal_stream_posix.cpp,
// terminal_stream_windows.cpp). Text may hold "\r" (back to the start of the
// line) and kEraseToLineEnd, as a terminal takes them; a Windows console gets
// the same effect through its own calls.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

namespace teebasket::cli {

// Erases from the cursor to the end of the line (ANSI "erase in line").
inline constexpr std::string_view kEraseToLineEnd = "\x1b[K";

// Whether `stream` is a terminal (on Windows, a console).
bool IsTerminal(std::FILE* stream);

// The width of the terminal behind `stream` in columns; 0 when it cannot be
// told.
int TerminalColumns(std::FILE* stream);

// Writes the UTF-8 text `utf8` to `stream` and flushes it. A Windows console
// receives it as UTF-16; elsewhere the bytes go as they are (no "\n" becomes
// "\r\n", on Windows neither). Failures are ignored: this is progress and
// messages, and the exit code tells the outcome.
void WriteText(std::FILE* stream, std::string_view utf8);

// Writes to a stream with a bound on the wait, for text that must never keep
// its writer: the progress, which must not hold up the run, and the Ctrl-C
// notes, while standard error is a pipe that nobody reads or a terminal that
// takes nothing (a paused one).
class BoundedWriter {
  public:
    explicit BoundedWriter(std::FILE* stream);
    ~BoundedWriter();
    BoundedWriter(const BoundedWriter&) = delete;
    BoundedWriter& operator=(const BoundedWriter&) = delete;

    // Writes `utf8` as WriteText does, but waits for room at most `limit`;
    // what has not been written by then is dropped.
    void Write(std::string_view utf8, std::chrono::milliseconds limit);

    // Writes `utf8` only as far as the stream takes it without waiting; the
    // rest is dropped. Returns whether all of it was written. A line of at
    // most 4096 bytes (PIPE_BUF) goes into a pipe whole or not at all.
    bool TryWrite(std::string_view utf8);

    // Waits at most `limit` for what TryWrite has handed over to be written,
    // so that text written after it comes after it. (Windows writes it on a
    // thread of its own; Linux has written it already.)
    void Flush(std::chrono::milliseconds limit);

  private:
    std::FILE* stream_;
    // Linux: the stream's pipe or terminal opened once more, non-blocking,
    // or -1. Unused on Windows.
    std::intptr_t twin_ = -1;
    // Linux: the stream is a socket (the journal's stream under systemd),
    // whose writes can be asked not to wait one by one.
    bool socket_ = false;
    // Windows: the thread that carries out TryWrite's writes, one at a time.
    struct Queue;
    std::unique_ptr<Queue> queue_;
};

}  // namespace teebasket::cli
