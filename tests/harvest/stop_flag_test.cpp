// StopFlag across threads: a stop requested on one thread ends a pause on
// another at once, and Reset readies it for the next run.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "Unithread.h"

using namespace teebasket;
using namespace std::chrono_literals;

TEST(StopFlag, ARequestFromAnotherThreadEndsAPauseAtOnce) {
    StopFlag stop;
    auto pause = std::async(std::launch::async, [&stop] { return stop.SleepFor(600s); });
    std::this_thread::sleep_for(50ms);
    stop.Request();
    ASSERT_EQ(pause.wait_for(30s), std::future_status::ready) << "the pause did not end";
    EXPECT_FALSE(pause.get());
    EXPECT_TRUE(stop.Requested());
    // A pause that begins after the request ends at once too.
    EXPECT_FALSE(stop.SleepFor(600s));

    stop.Reset();
    EXPECT_FALSE(stop.Requested());
    EXPECT_TRUE(stop.SleepFor(1ms));
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
