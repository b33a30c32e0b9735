// The lane that rebuilds derived data: only the newest job matters.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <latch>

#include "Sorvik/Support/BackgroundLane.hpp"

using namespace sorvik::app;

TEST(ThreadLane, ANewerJobReplacesAQueuedOneAndStopsTheRunningOne) {
    std::latch started(1);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> firstSawStop = false;
    std::atomic<bool> replacedRan = false;
    std::promise<void> lastDone;
    {
        ThreadLane lane;
        lane.post([&](std::stop_token stop) {
            started.count_down();
            released.wait();
            firstSawStop = stop.stop_requested();
        });
        started.wait();
        lane.post([&](std::stop_token) { replacedRan = true; });
        lane.post([&](std::stop_token) { lastDone.set_value(); });
        release.set_value();
        ASSERT_EQ(lastDone.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    }
    EXPECT_TRUE(firstSawStop);
    EXPECT_FALSE(replacedRan);
}

TEST(ThreadLane, GoingAwayStopsTheRunningJobAndWaitsForIt) {
    std::latch started(1);
    std::atomic<bool> finished = false;
    {
        ThreadLane lane;
        lane.post([&](std::stop_token stop) {
            started.count_down();
            while (!stop.stop_requested()) std::this_thread::yield();
            finished = true;
        });
        started.wait();
    }
    // The lane's end asked the job to stop and returned only once it had.
    EXPECT_TRUE(finished);
}
