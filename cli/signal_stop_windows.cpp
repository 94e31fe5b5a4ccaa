// Stop requests on Windows. The system calls a console control handler on a
// thread of its own for each event; the handler only counts the request and
// wakes the waiting thread, which runs the actions one after the other, as
// on Linux.
#include <windows.h>

#include <climits>
#include <mutex>
#include <thread>
#include <utility>

#include "SignalStop.h"

namespace teebasket::cli {

namespace {

// When the console window closes, or at logoff or shutdown, the system ends
// the process as soon as the handler returns, and after 5 s at the latest.
// The handler holds it for a graceful stop first, then asks for the quick
// one, which closes the partial file at its last whole line.
constexpr DWORD kGraceForTheStop = 2000;
constexpr DWORD kGraceForTheQuickStop = 2500;

// The handler's way to the SignalStop in force: its request count (a
// semaphore), or null when there is none. Before there is one, Ctrl-C and
// Ctrl-Break are counted in `heldRequests` while `holding` (HoldStopRequests).
std::mutex requestsMutex;
HANDLE requests = nullptr;
bool holding = false;
LONG heldRequests = 0;

bool EndsTheProcess(DWORD event) {
    return event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

bool PostRequest(DWORD event) {
    const std::lock_guard lock(requestsMutex);
    if (requests == nullptr) {
        // The system ends the process once the handler returns from these
        // anyway: they keep its default.
        if (!holding || EndsTheProcess(event)) {
            return false;
        }
        ++heldRequests;
        return true;
    }
    return ::ReleaseSemaphore(requests, 1, nullptr) != 0;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && !EndsTheProcess(event)) {
        return FALSE;
    }
    if (!PostRequest(event)) {
        return FALSE;  // the system's default: the process ends
    }
    if (EndsTheProcess(event)) {
        ::Sleep(kGraceForTheStop);
        PostRequest(event);
        ::Sleep(kGraceForTheQuickStop);
    }
    return TRUE;
}

}  // namespace

void HoldStopRequests() {
    {
        const std::lock_guard lock(requestsMutex);
        holding = true;
    }
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

struct SignalStop::Waiter {
    HANDLE requests = nullptr;  // one count per request
    std::atomic<bool> closing{false};
    std::thread thread;
};

SignalStop::SignalStop(std::function<void()> firstSignal, std::function<void()> furtherSignal)
    : firstSignal_(std::move(firstSignal)),
      furtherSignal_(std::move(furtherSignal)),
      waiter_(std::make_unique<Waiter>()) {
    Waiter& waiter = *waiter_;
    waiter.requests = ::CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr);
    if (waiter.requests == nullptr) {
        // The requests keep the system's default: the process ends.
        const std::lock_guard lock(requestsMutex);
        holding = false;
        return;
    }
    LONG held = 0;
    {
        const std::lock_guard lock(requestsMutex);
        requests = waiter.requests;
        held = std::exchange(heldRequests, 0);
    }
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    // Requests held back so far: the run then starts stopped, as it would
    // had they come just after it began.
    for (; held > 0; --held) {
        Dispatch();
    }
    waiter.thread = std::thread([this, &waiter] {
        for (;;) {
            if (::WaitForSingleObject(waiter.requests, INFINITE) != WAIT_OBJECT_0 ||
                waiter.closing.load()) {
                return;
            }
            Dispatch();
        }
    });
}

SignalStop::~SignalStop() {
    if (waiter_->requests == nullptr) {
        return;
    }
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    {
        const std::lock_guard lock(requestsMutex);
        requests = nullptr;
        holding = false;
    }
    waiter_->closing.store(true);
    ::ReleaseSemaphore(waiter_->requests, 1, nullptr);
    waiter_->thread.join();
    ::CloseHandle(waiter_->requests);
}

}  // namespace teebasket::cli
