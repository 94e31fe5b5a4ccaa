// Terminal text on Windows. A console takes UTF-16 through WriteConsoleW,
// whatever its code page, and "erase to the end of the line" is done with
// the console's own calls, so that no console mode has to change; files and
// pipes take the UTF-8 bytes. A bounded write runs on a thread of its own,
// whose write is cancelled when the time is up.
#include <windows.h>
// after windows.h
#include <io.h>
#include <process.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "TerminalStream.h"
#include "utf16_windows.h"

namespace teebasket::cli {

namespace {

HANDLE StreamHandle(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

void EraseToLineEnd(HANDLE console) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(console, &info) || info.dwCursorPosition.X >= info.dwSize.X) {
        return;
    }
    const auto count = static_cast<DWORD>(info.dwSize.X - info.dwCursorPosition.X);
    DWORD done = 0;
    ::FillConsoleOutputCharacterW(console, L' ', count, info.dwCursorPosition, &done);
    ::FillConsoleOutputAttribute(console, info.wAttributes, count, info.dwCursorPosition, &done);
}

void WriteWide(HANDLE console, std::wstring_view wide) {
    while (!wide.empty()) {
        const DWORD chunk = wide.size() > 8192 ? 8192 : static_cast<DWORD>(wide.size());
        DWORD written = 0;
        if (!::WriteConsoleW(console, wide.data(), chunk, &written, nullptr) || written == 0) {
            return;
        }
        wide.remove_prefix(written);
    }
}

void WriteToConsole(HANDLE console, std::string_view utf8) {
    for (;;) {
        const std::size_t erase = utf8.find(kEraseToLineEnd);
        WriteWide(console, WideFromUtf8(utf8.substr(0, erase)));
        if (erase == std::string_view::npos) {
            return;
        }
        EraseToLineEnd(console);
        utf8.remove_prefix(erase + kEraseToLineEnd.size());
    }
}

void WriteBytes(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 65536 ? 65536 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
            return;
        }
        bytes.remove_prefix(written);
    }
}

// A write that a thread of its own carries out; the thread owns it, so the
// writer may leave it behind.
struct PendingWrite {
    HANDLE handle;
    bool console;
    std::string text;
};

unsigned __stdcall RunPendingWrite(void* parameter) {
    const std::unique_ptr<PendingWrite> job(static_cast<PendingWrite*>(parameter));
    if (job->console) {
        WriteToConsole(job->handle, job->text);
    } else {
        WriteBytes(job->handle, job->text);
    }
    return 0;
}

// How many writes may wait for the queue's thread; more are dropped.
constexpr std::size_t kMostWaitingWrites = 8;

// What the queue's thread and its owner share; the thread keeps it alive,
// since a thread blocked in a write may outlive the owner.
struct QueueState {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool console = false;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> waiting;
    bool writing = false;
    bool ending = false;
};

unsigned __stdcall RunQueue(void* parameter) {
    const std::unique_ptr<std::shared_ptr<QueueState>> owned(
        static_cast<std::shared_ptr<QueueState>*>(parameter));
    QueueState& state = **owned;
    std::unique_lock lock(state.mutex);
    for (;;) {
        state.changed.wait(lock, [&] { return state.ending || !state.waiting.empty(); });
        if (state.ending) {
            return 0;
        }
        const std::string text = std::move(state.waiting.front());
        state.waiting.pop_front();
        state.writing = true;
        lock.unlock();
        if (state.console) {
            WriteToConsole(state.handle, text);
        } else {
            WriteBytes(state.handle, text);
        }
        lock.lock();
        state.writing = false;
        state.changed.notify_all();
    }
}

}  // namespace

struct BoundedWriter::Queue {
    std::shared_ptr<QueueState> state = std::make_shared<QueueState>();
    HANDLE thread = nullptr;

    Queue(HANDLE handle, bool console) {
        state->handle = handle;
        state->console = console;
        auto shared = std::make_unique<std::shared_ptr<QueueState>>(state);
        thread = reinterpret_cast<HANDLE>(
            ::_beginthreadex(nullptr, 0, &RunQueue, shared.get(), 0, nullptr));
        if (thread != nullptr) {
            shared.release();  // the thread's now
        }
    }
    // A write that blocks is cancelled; a thread that still does not end is
    // left behind with its share of the state.
    ~Queue() {
        if (thread == nullptr) {
            return;
        }
        {
            std::lock_guard lock(state->mutex);
            state->ending = true;
        }
        state->changed.notify_all();
        ::CancelSynchronousIo(thread);
        ::WaitForSingleObject(thread, 1000);
        ::CloseHandle(thread);
    }
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    bool Add(std::string_view text) {
        if (thread == nullptr) {
            return false;
        }
        std::lock_guard lock(state->mutex);
        if (state->waiting.size() >= kMostWaitingWrites) {
            return false;
        }
        state->waiting.emplace_back(text);
        state->changed.notify_all();
        return true;
    }

    void Flush(std::chrono::milliseconds limit) {
        std::unique_lock lock(state->mutex);
        state->changed.wait_for(lock, limit,
                                [&] { return state->waiting.empty() && !state->writing; });
    }
};

bool IsTerminal(std::FILE* stream) {
    return IsConsole(StreamHandle(stream));
}

// The visible window's width, not the buffer's.
int TerminalColumns(std::FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(StreamHandle(stream), &info)) {
        return 0;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}

void WriteText(std::FILE* stream, std::string_view utf8) {
    const HANDLE handle = StreamHandle(stream);
    if (IsConsole(handle)) {
        std::fflush(stream);  // what the stream holds goes first
        WriteToConsole(handle, utf8);
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

BoundedWriter::BoundedWriter(std::FILE* stream) : stream_(stream) {}

BoundedWriter::~BoundedWriter() = default;

bool BoundedWriter::TryWrite(std::string_view utf8) {
    const HANDLE handle = StreamHandle(stream_);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        return false;
    }
    // Only a pipe can keep a write waiting for its reader; a file takes it
    // at once, and a line never goes missing from a log for coming fast.
    if (::GetFileType(handle) == FILE_TYPE_DISK) {
        WriteText(stream_, utf8);
        return true;
    }
    if (!queue_) {
        queue_ = std::make_unique<Queue>(handle, IsConsole(handle));
    }
    return queue_->Add(utf8);
}

void BoundedWriter::Flush(std::chrono::milliseconds limit) {
    if (queue_) {
        queue_->Flush(limit);
    }
}

// Straight to the handle: WriteText flushes the stream after every write, so
// nothing of it is left behind in a buffer.
void BoundedWriter::Write(std::string_view utf8, std::chrono::milliseconds limit) {
    const HANDLE handle = StreamHandle(stream_);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        return;
    }
    auto job =
        std::make_unique<PendingWrite>(PendingWrite{handle, IsConsole(handle), std::string(utf8)});
    const auto thread = reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, &RunPendingWrite, job.get(), 0, nullptr));
    if (thread == nullptr) {
        return;
    }
    job.release();  // the thread's now
    if (::WaitForSingleObject(thread, static_cast<DWORD>(limit.count())) == WAIT_TIMEOUT) {
        ::CancelSynchronousIo(thread);
    }
    ::CloseHandle(thread);
}

}  // namespace teebasket::cli
