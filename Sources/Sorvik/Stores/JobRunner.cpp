#include "Sorvik/Stores/JobRunner.hpp"

namespace sorvik::app {

WorkerThread::WorkerThread() : thread_([this](std::stop_token stop) { run(stop); }) {}

WorkerThread::~WorkerThread() { shutdown(); }

void WorkerThread::submit(Job job) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        queue_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void WorkerThread::shutdown() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        queue_.clear();
    }
    thread_.request_stop();
    if (thread_.joinable()) thread_.join();
}

void WorkerThread::run(std::stop_token stop) {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait(lock, stop, [this] { return !queue_.empty(); })) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        job();
    }
}

void HeldJobRunner::submit(Job job) {
    if (!closed_) jobs_.push_back(std::move(job));
}

void HeldJobRunner::shutdown() {
    closed_ = true;
    jobs_.clear();
}

bool HeldJobRunner::runNext() {
    if (jobs_.empty()) return false;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    job();
    return true;
}

}  // namespace sorvik::app
