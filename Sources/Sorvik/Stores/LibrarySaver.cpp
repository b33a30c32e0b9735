#include "Sorvik/Stores/LibrarySaver.hpp"

namespace sorvik::app {

LibrarySaver::LibrarySaver(bool inBackground, Finished finished) : finished_(std::move(finished)) {
    if (inBackground) thread_ = std::thread([this] { run(); });
}

LibrarySaver::~LibrarySaver() { shutdown(); }

void LibrarySaver::write(const Pending& pending) {
    std::exception_ptr failure;
    try {
        pending.repository.saveWorkspace(*pending.state);
    } catch (...) {
        failure = std::current_exception();
    }
    if (finished_) finished_(pending.generation, failure);
}

void LibrarySaver::save(const Repository& repository, std::shared_ptr<const WorkspaceState> state,
                        std::uint64_t generation) {
    if (!thread_.joinable()) {
        write(Pending{repository, std::move(state), generation});
        return;
    }
    {
        std::lock_guard lock(mutex_);
        waiting_ = std::make_unique<Pending>(Pending{repository, std::move(state), generation});
    }
    wake_.notify_one();
}

void LibrarySaver::drain() {
    if (!thread_.joinable()) return;
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !waiting_ && !writing_; });
}

void LibrarySaver::shutdown() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void LibrarySaver::run() {
    for (;;) {
        std::unique_ptr<Pending> next;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return waiting_ || stopping_; });
            if (!waiting_) {
                idle_.notify_all();
                return;
            }
            next = std::move(waiting_);
            writing_ = true;
        }
        write(*next);
        {
            std::lock_guard lock(mutex_);
            writing_ = false;
        }
        idle_.notify_all();
    }
}

}  // namespace sorvik::app
