// Snapshots of the store's state handed to other threads: never changed under their holders, and
// given up, rather than copied, by holders whose work the change makes stale.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Sorvik/Stores/SharedState.hpp"

using sorvik::app::SharedState;

TEST(SharedState, ASnapshotNeverSeesALaterChange) {
    SharedState<std::vector<int>> state(std::vector<int>{1, 2, 3});
    const std::shared_ptr<const std::vector<int>> held = state.share();
    const int* before = state->data();
    state.edit().push_back(4);
    EXPECT_EQ(*held, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(*state, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_NE(state->data(), before);
    // Once let go, the next change is made in place.
    const int* now = state->data();
    state.edit().push_back(5);
    EXPECT_EQ(state->data(), now);
    // The old value lives until the owner lets go of what it replaced.
    EXPECT_EQ(held->size(), 3u);
    state.releaseRetired();
    EXPECT_EQ(held->size(), 3u);
}

TEST(SharedState, AHolderThatGivesUpItsSnapshotSavesTheCopy) {
    SharedState<std::vector<int>> state(std::vector<int>(1000, 7));
    std::atomic<bool> asked = false;
    std::shared_ptr<const std::vector<int>> held = state.share([&] {
        asked = true;
        return true;
    });
    // The holder's worker sees the request and drops the snapshot.
    std::jthread worker([&](std::stop_token stop) {
        while (!asked && !stop.stop_requested()) std::this_thread::yield();
        held.reset();
    });
    const int* before = state->data();
    state.edit()[0] = 8;
    EXPECT_TRUE(asked);
    EXPECT_EQ(state->data(), before);
    EXPECT_EQ((*state)[0], 8);
}

TEST(SharedState, AChangeCopiesWhenAnyHolderKeepsItsSnapshot) {
    SharedState<std::vector<int>> state(std::vector<int>{1});
    std::atomic<int> asked = 0;
    // One holder refuses; another keeps its snapshot without being asked; a third never lets go in time.
    {
        auto refusing = state.share([&] { return ++asked, false; });
        state.edit().push_back(2);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(*refusing, std::vector<int>{1});
    }
    {
        auto giving = state.share([&] { return ++asked, true; });
        auto keeping = state.share();
        state.edit().push_back(3);
        EXPECT_EQ(asked, 1);  // not asked: the change copies anyway
        EXPECT_EQ(*giving, (std::vector<int>{1, 2}));
    }
    {
        state.setPatience(std::chrono::milliseconds(1));
        auto slow = state.share([&] { return ++asked, true; });
        state.edit().push_back(4);
        EXPECT_EQ(asked, 2);
        EXPECT_EQ(*slow, (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(*state, (std::vector<int>{1, 2, 3, 4}));
    }
    // `take` asks too: a holder that gives way lets the value be moved out.
    auto giving = state.share([&] { return ++asked, true; });
    std::jthread worker([&](std::stop_token) {
        while (asked < 3) std::this_thread::yield();
        giving.reset();
    });
    state.setPatience(std::chrono::seconds(5));
    EXPECT_EQ(state.take(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(asked, 3);
}
