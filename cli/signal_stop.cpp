#include "SignalStop.h"

#include <pthread.h>

namespace teebasket::cli {

namespace {

// Wakes the waiting thread when the run is over; sent only by this process
// to that thread.
constexpr int kWakeSignal = SIGUSR1;

}  // namespace

SignalStop::SignalStop(std::function<void()> firstSignal, std::function<void()> furtherSignal)
    : firstSignal_(std::move(firstSignal)), furtherSignal_(std::move(furtherSignal)) {
    sigemptyset(&waited_);
    sigaddset(&waited_, SIGINT);
    sigaddset(&waited_, SIGTERM);
    sigaddset(&waited_, SIGHUP);
    sigaddset(&waited_, kWakeSignal);
    pthread_sigmask(SIG_BLOCK, &waited_, &previousMask_);
    thread_ = std::thread([this] { Wait(); });
}

SignalStop::~SignalStop() {
    closing_.store(true);
    pthread_kill(thread_.native_handle(), kWakeSignal);
    thread_.join();
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void SignalStop::Wait() {
    for (;;) {
        int signal = 0;
        if (sigwait(&waited_, &signal) != 0) {
            continue;
        }
        if (signal == kWakeSignal) {
            if (closing_.load()) {
                return;
            }
            continue;  // not ours
        }
        if (received_.fetch_add(1) == 0) {
            firstSignal_();
        } else {
            furtherSignal_();
        }
    }
}

}  // namespace teebasket::cli
