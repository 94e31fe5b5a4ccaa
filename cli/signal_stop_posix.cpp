// Stop requests on Linux: SIGINT, SIGTERM and SIGHUP are blocked in every
// thread and collected with sigwait on a thread of their own.
#include <pthread.h>
#include <signal.h>

#include <thread>

#include "SignalStop.h"

namespace teebasket::cli {

namespace {

// Wakes the waiting thread when the run is over; sent only by this process
// to that thread.
constexpr int kWakeSignal = SIGUSR1;

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    return signals;
}

}  // namespace

void HoldStopRequests() {
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

struct SignalStop::Waiter {
    sigset_t waited{};
    sigset_t previousMask{};
    std::atomic<bool> closing{false};
    std::thread thread;
};

SignalStop::SignalStop(std::function<void()> firstSignal, std::function<void()> furtherSignal)
    : firstSignal_(std::move(firstSignal)),
      furtherSignal_(std::move(furtherSignal)),
      waiter_(std::make_unique<Waiter>()) {
    Waiter& waiter = *waiter_;
    waiter.waited = StopSignals();
    sigaddset(&waiter.waited, kWakeSignal);
    pthread_sigmask(SIG_BLOCK, &waiter.waited, &waiter.previousMask);
    // Requests held back so far: the run then starts stopped, as it would
    // had they come just after it began.
    const sigset_t held = StopSignals();
    const timespec noWait{};
    while (sigtimedwait(&held, nullptr, &noWait) > 0) {
        Dispatch();
    }
    waiter.thread = std::thread([this, &waiter] {
        for (;;) {
            int signal = 0;
            if (sigwait(&waiter.waited, &signal) != 0) {
                continue;
            }
            if (signal == kWakeSignal) {
                if (waiter.closing.load()) {
                    return;
                }
                continue;  // not ours
            }
            Dispatch();
        }
    });
}

SignalStop::~SignalStop() {
    waiter_->closing.store(true);
    pthread_kill(waiter_->thread.native_handle(), kWakeSignal);
    waiter_->thread.join();
    pthread_sigmask(SIG_SETMASK, &waiter_->previousMask, nullptr);
}

}  // namespace teebasket::cli
