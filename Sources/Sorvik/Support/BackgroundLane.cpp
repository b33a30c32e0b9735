#include "Sorvik/Support/BackgroundLane.hpp"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace sorvik::app {

ThreadLane::ThreadLane() : thread_([this](std::stop_token lifetime) { run(lifetime); }) {}

ThreadLane::~ThreadLane() {
    {
        std::lock_guard lock(mutex_);
        queued_.reset();
        running_.request_stop();
    }
    thread_.request_stop();
    wake_.notify_all();
    thread_.join();
}

void ThreadLane::post(Job job) {
    {
        std::lock_guard lock(mutex_);
        queued_ = std::move(job);
        running_.request_stop();
    }
    wake_.notify_all();
}

void ThreadLane::run(std::stop_token lifetime) {
    // Below the GUI thread: this work only refreshes derived data. Linux applies nice per thread.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10);
    while (true) {
        Job job;
        std::stop_token token;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, lifetime, [this] { return queued_.has_value(); });
            if (lifetime.stop_requested()) return;
            job = std::move(*queued_);
            queued_.reset();
            running_ = std::stop_source();
            token = running_.get_token();
        }
        job(token);
    }
}

}  // namespace sorvik::app
