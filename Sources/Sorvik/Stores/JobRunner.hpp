#pragma once
// Where the store's long work runs: off the GUI thread, one job after another. A job that was
// given up (Stop, Quit) is never waited for: it may be stuck in the kernel on a dead mount.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace sorvik::app {

class JobRunner {
public:
    using Job = std::function<void()>;
    virtual ~JobRunner() = default;
    /// Queues a job. A job never throws: the store wraps every job in its own catch.
    virtual void submit(Job job) = 0;
    /// The running job, if any, is no longer waited for: later jobs start without it.
    virtual void abandonRunning() = 0;
    /// Drops queued jobs and accepts no more, then waits at most `patience` for running jobs;
    /// true when none is left running. Never joins a job that does not return. Idempotent.
    virtual bool shutdown(std::chrono::milliseconds patience) = 0;
};

/// The store's own worker: jobs run in the order submitted on one thread. A thread whose job is
/// abandoned is left to finish on its own, detached, and a fresh thread takes the later jobs; the
/// threads share only a state they co-own.
class WorkerThread final : public JobRunner {
public:
    WorkerThread();
    ~WorkerThread() override;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    void submit(Job job) override;
    void abandonRunning() override;
    bool shutdown(std::chrono::milliseconds patience) override;
    /// Threads alive now, abandoned ones included.
    int threadCount() const;

private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared, std::uint64_t generation);
    void startThread();  // with the lock held

    std::shared_ptr<Shared> shared_;
};

}  // namespace sorvik::app
