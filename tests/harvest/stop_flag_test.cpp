// StopFlag across threads: a stop requested on one thread ends a pause on
// another at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "Unithread.h"

using namespace teebasket;
using namespace std::chrono_literals;

TEST(StopFlag, ARequestFromAnotherThreadEndsAPauseAtOnce) {
    StopFlag stop;
    std::atomic<bool> pausing{false};
    auto pause = std::async(std::launch::async, [&] {
        pausing = true;
        return stop.SleepFor(600s);
    });
    ASSERT_TRUE(test::WaitUntil([&] { return pausing.load(); }));
    stop.Request();
    ASSERT_EQ(pause.wait_for(30s), std::future_status::ready) << "the pause did not end";
    EXPECT_FALSE(pause.get());
    EXPECT_TRUE(stop.Requested());
    // A pause that begins after the request ends at once too.
    EXPECT_FALSE(stop.SleepFor(600s));
    EXPECT_FALSE(stop.SleepUntil(std::chrono::steady_clock::now() + 600s));
}

TEST(StopFlag, ManyThreadsWaitingAreAllWoken) {
    StopFlag stop;
    std::vector<std::future<bool>> pauses;
    for (int i = 0; i < 4; ++i) {
        pauses.push_back(std::async(std::launch::async, [&stop] { return stop.SleepFor(600s); }));
    }
    stop.Request();
    for (auto& pause : pauses) {
        ASSERT_EQ(pause.wait_for(30s), std::future_status::ready) << "a pause did not end";
        EXPECT_FALSE(pause.get());
    }
}
