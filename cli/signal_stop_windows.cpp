// Stop requests on Windows. The system calls a console control handler on a
// thread of its own for each event; the handler only counts the request and
// wakes the waiting thread, which runs the actions one after the other, as
// on Linux.
#include <windows.h>

#include <climits>
#include <mutex>
#include <thread>

#include "SignalStop.h"

namespace teebasket::cli {

namespace {

// When the console window closes, or at logoff or shutdown, the system ends
// the process as soon as the handler returns, and after 5 s at the latest.
// The handler holds it for a graceful stop first, then asks for the quick
// one, which closes the CSV file at its last whole line.
constexpr DWORD kGraceForTheStop = 2000;
constexpr DWORD kGraceForTheQuickStop = 2500;

// The handler's way to the SignalStop in force: its request count (a
// semaphore), or null when there is none.
std::mutex requestsMutex;
HANDLE requests = nullptr;

bool PostRequest() {
    const std::lock_guard lock(requestsMutex);
    return requests != nullptr && ::ReleaseSemaphore(requests, 1, nullptr) != 0;
}

bool EndsTheProcess(DWORD event) {
    return event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && !EndsTheProcess(event)) {
        return FALSE;
    }
    if (!PostRequest()) {
        return FALSE;  // the system's default: the process ends
    }
    if (EndsTheProcess(event)) {
        ::Sleep(kGraceForTheStop);
        PostRequest();
        ::Sleep(kGraceForTheQuickStop);
    }
    return TRUE;
}

}  // namespace

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
        return;  // the requests keep the system's default: the process ends
    }
    {
        const std::lock_guard lock(requestsMutex);
        requests = waiter.requests;
    }
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
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
    }
    waiter_->closing.store(true);
    ::ReleaseSemaphore(waiter_->requests, 1, nullptr);
    waiter_->thread.join();
    ::CloseHandle(waiter_->requests);
}

}  // namespace teebasket::cli
