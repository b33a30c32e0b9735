#pragma once
// Where the store's long work runs: off the GUI thread, one job after another.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace sorvik::app {

class JobRunner {
public:
    using Job = std::function<void()>;
    virtual ~JobRunner() = default;
    /// Queues a job. A job never throws: the store wraps every job in its own catch.
    virtual void submit(Job job) = 0;
    /// Waits for the running job, drops queued ones and accepts no more; idempotent.
    virtual void shutdown() = 0;
};

/// The store's own worker: one thread that runs jobs in the order submitted.
class WorkerThread final : public JobRunner {
public:
    WorkerThread();
    ~WorkerThread() override;
    void submit(Job job) override;
    void shutdown() override;

private:
    void run(std::stop_token stop);

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<Job> queue_;
    bool closed_ = false;
    std::jthread thread_;
};

/// Holds jobs until the test releases them; they then run on the releasing thread.
class HeldJobRunner final : public JobRunner {
public:
    void submit(Job job) override;
    void shutdown() override;

    std::size_t pending() const { return jobs_.size(); }
    /// Runs the oldest held job; false when none is held.
    bool runNext();

private:
    std::deque<Job> jobs_;
    bool closed_ = false;
};

}  // namespace sorvik::app
