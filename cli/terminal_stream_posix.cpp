// Terminal text on Linux: the bytes as they are, the width from the
// terminal, and bounded writes through a non-blocking twin of the stream.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string>

#include "TerminalStream.h"

namespace teebasket::cli {

namespace {

// A descriptor of its own, with O_NONBLOCK, on the pipe or terminal behind
// `fd`, or -1. Reopening gives a new open file description, so the flag does
// not reach the stream's own writes.
int OpenNonBlockingTwin(int fd) {
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
        return -1;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    return ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
}

// Writes `text` to `fd`, waiting for room at most until `limit` has passed;
// what has not been written by then is dropped. Each write takes at most
// PIPE_BUF bytes, which a pipe that polls writable takes without blocking.
void WriteWithin(int fd, std::string_view text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!text.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        pollfd entry{fd, POLLOUT, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || (entry.revents & POLLOUT) == 0) {
            return;
        }
        const ssize_t written =
            ::write(fd, text.data(), std::min<std::size_t>(text.size(), PIPE_BUF));
        if (written < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

// How a descriptor is kept from waiting.
enum class NoWait {
    NonBlocking,  // the non-blocking twin: a write without room fails with EAGAIN
    Socket,       // send with MSG_DONTWAIT
    Poll,         // poll first: a pipe that polls writable takes PIPE_BUF bytes at once
};

bool IsSocket(int fd) {
    struct stat info {};
    return fd >= 0 && ::fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode);
}

// Writes as much of `text` to `fd` as it takes without waiting; true when it
// took all. A pipe takes a write of up to PIPE_BUF bytes whole or not at all.
bool WriteWithoutWaiting(int fd, NoWait way, std::string_view text) {
    while (!text.empty()) {
        if (way == NoWait::Poll) {
            pollfd entry{fd, POLLOUT, 0};
            int ready = 0;
            do {
                ready = ::poll(&entry, 1, 0);
            } while (ready < 0 && errno == EINTR);
            if (ready <= 0 || (entry.revents & POLLOUT) == 0) {
                return false;
            }
        }
        const std::size_t size = std::min<std::size_t>(text.size(), PIPE_BUF);
        const ssize_t written = way == NoWait::Socket
                                    ? ::send(fd, text.data(), size, MSG_DONTWAIT | MSG_NOSIGNAL)
                                    : ::write(fd, text.data(), size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

struct BoundedWriter::Queue {};

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

int TerminalColumns(std::FILE* stream) {
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0) {
        return size.ws_col;
    }
    return 0;
}

void WriteText(std::FILE* stream, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

BoundedWriter::BoundedWriter(std::FILE* stream)
    : stream_(stream),
      twin_(OpenNonBlockingTwin(::fileno(stream))),
      socket_(IsSocket(::fileno(stream))) {}

BoundedWriter::~BoundedWriter() {
    if (twin_ >= 0) {
        ::close(static_cast<int>(twin_));
    }
}

// Straight to the descriptor: the stream is flushed after every write of
// WriteText, so nothing of it is left behind in a buffer. Without a twin
// (a file, say) the stream's own descriptor is polled.
void BoundedWriter::Write(std::string_view utf8, std::chrono::milliseconds limit) {
    WriteWithin(twin_ >= 0 ? static_cast<int>(twin_) : ::fileno(stream_), utf8, limit);
}

bool BoundedWriter::TryWrite(std::string_view utf8) {
    if (twin_ >= 0) {
        return WriteWithoutWaiting(static_cast<int>(twin_), NoWait::NonBlocking, utf8);
    }
    return WriteWithoutWaiting(::fileno(stream_), socket_ ? NoWait::Socket : NoWait::Poll, utf8);
}

void BoundedWriter::Flush(std::chrono::milliseconds) {}

}  // namespace teebasket::cli
