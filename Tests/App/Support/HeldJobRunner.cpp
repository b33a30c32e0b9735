#include "App/Support/HeldJobRunner.hpp"

namespace sorvik::app {

void HeldJobRunner::submit(Job job) {
    if (!closed_) jobs_.push_back(std::move(job));
}

bool HeldJobRunner::shutdown(std::chrono::milliseconds) {
    closed_ = true;
    if (runOnShutdown_)
        while (runNext()) {
        }
    jobs_.clear();
    return true;
}

bool HeldJobRunner::runNext() {
    if (jobs_.empty()) return false;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    job();
    return true;
}

}  // namespace sorvik::app
