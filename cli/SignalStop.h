// SignalStop: the requests to stop that reach a console program during a
// run, each handled on a thread of its own: Ctrl-C, SIGTERM and SIGHUP on
// Linux (signal_stop_posix.cpp); Ctrl-C, Ctrl-Break and the closing of the
// console window, logoff or shutdown on Windows (signal_stop_windows.cpp).
//
// The actions run as ordinary code (they may allocate and print), never inside
// an asynchronous signal handler. A later request is taken only once the
// action of the one before has returned, so an action must never wait on
// anything that output can hold (a lock held around a write to a full pipe): a
// second Ctrl-C has to end the program whatever state standard error is in.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace teebasket::cli {

// Holds back the stop requests from the start of the program until a
// SignalStop takes them, instead of leaving them to the system's default,
// which ends the process at once. Call first thing in main, before any other
// thread starts. A request held back is taken when the SignalStop is made.
void HoldStopRequests();

class SignalStop {
  public:
    // `firstSignal` runs for the first request; `furtherSignal` for each later
    // one (it may end the process). Construct before any other thread starts,
    // so that every thread inherits the blocked signals (Linux). Requests that
    // HoldStopRequests held back run their actions here, on the constructing
    // thread, before it returns.
    SignalStop(std::function<void()> firstSignal, std::function<void()> furtherSignal);
    // Stops the waiting thread and gives the requests back to the system.
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    int SignalsReceived() const { return received_.load(); }

  private:
    // The platform's way of waiting for the requests.
    struct Waiter;

    // Runs the action for one more request; on the waiting thread.
    void Dispatch();

    std::function<void()> firstSignal_;
    std::function<void()> furtherSignal_;
    std::atomic<int> received_{0};
    std::unique_ptr<Waiter> waiter_;
};

}  // namespace teebasket::cli
