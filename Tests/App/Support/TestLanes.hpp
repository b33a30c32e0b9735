#pragma once
// Background lanes for tests: one that runs each job at once, one that holds it for the test.
#include <optional>
#include <stop_token>

#include "Sorvik/Support/BackgroundLane.hpp"

namespace sorvik::app {

/// Runs every job at once on the posting thread (tests, small data).
class InlineLane final : public BackgroundLane {
public:
    void post(Job job) override { job(std::stop_token{}); }
};

/// Holds the newest job until the test runs it.
class HeldLane final : public BackgroundLane {
public:
    void post(Job job) override { held_ = std::move(job); }
    bool holding() const { return held_.has_value(); }
    /// Runs the held job on this thread; false when none is held.
    bool runHeld() {
        if (!held_) return false;
        Job job = std::move(*held_);
        held_.reset();
        job(std::stop_token{});
        return true;
    }

private:
    std::optional<Job> held_;
};

}  // namespace sorvik::app
