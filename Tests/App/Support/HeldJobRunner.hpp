#pragma once
// A job runner for tests: the store's jobs wait until the test runs them.
#include <chrono>
#include <cstddef>
#include <deque>

#include "Sorvik/Stores/JobRunner.hpp"

namespace sorvik::app {

/// Holds jobs until the test releases them; they then run on the releasing thread.
class HeldJobRunner final : public JobRunner {
public:
    void submit(Job job) override;
    void abandonRunning() override { ++abandoned_; }
    bool shutdown(std::chrono::milliseconds patience) override;

    std::size_t pending() const { return jobs_.size(); }
    /// How often the store gave up a running job.
    int abandoned() const { return abandoned_; }
    /// Runs the oldest held job; false when none is held.
    bool runNext();
    /// Makes shutdown run the held jobs before it returns, as a worker busy when the app quits
    /// finishes its job after it was asked to stop; else shutdown drops them.
    void runOnShutdown() { runOnShutdown_ = true; }

private:
    std::deque<Job> jobs_;
    bool closed_ = false;
    bool runOnShutdown_ = false;
    int abandoned_ = 0;
};

}  // namespace sorvik::app
