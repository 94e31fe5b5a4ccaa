// StopFlag: the stop request of a run. Any thread sets it; the run polls it
// between steps, its pauses and retry waits end early, and a download in
// progress is given up.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "Unicommon.h"

namespace teebasket {

class StopFlag : public FetchStop {
  public:
    void Request();
    bool Requested() const { return requested_.load(std::memory_order_acquire); }
    bool StopRequested() const override { return Requested(); }
    // Sleeps for `duration` or until a stop is requested. Returns false when
    // the stop was requested.
    bool SleepFor(std::chrono::milliseconds duration) const;
    // Sleeps until `time` or until a stop is requested. Returns false when
    // the stop was requested.
    bool SleepUntil(std::chrono::steady_clock::time_point time) const;

  private:
    std::atomic<bool> requested_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;
};

}  // namespace teebasket
