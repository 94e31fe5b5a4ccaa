// SignalStop: Ctrl-C (SIGINT), SIGTERM and SIGHUP during a run, handled on a
// thread of their own.
//
// The signals are blocked in every thread and collected with sigwait, so the
// actions run as ordinary code (they may allocate and print), never inside an
// asynchronous signal handler. A later signal is taken only once the action
// of the one before has returned, so an action must never wait on anything
// that output can hold (a lock held around a write to a full pipe): a second
// Ctrl-C has to end the program whatever state standard error is in.
#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace teebasket::cli {

class SignalStop {
  public:
    // `firstSignal` runs for the first signal; `furtherSignal` for each later
    // one (it may end the process). Construct before any other thread starts,
    // so that every thread inherits the blocked signals.
    SignalStop(std::function<void()> firstSignal, std::function<void()> furtherSignal);
    // Stops the waiting thread and unblocks the signals.
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    int SignalsReceived() const { return received_.load(); }

  private:
    void Wait();

    std::function<void()> firstSignal_;
    std::function<void()> furtherSignal_;
    sigset_t waited_{};
    sigset_t previousMask_{};
    std::atomic<int> received_{0};
    std::atomic<bool> closing_{false};
    std::thread thread_;
};

}  // namespace teebasket::cli
