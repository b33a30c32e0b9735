#include "Sorvik/Stores/LibrarySaver.hpp"

namespace sorvik::app {

LibrarySaver::LibrarySaver(bool inBackground, Finished finished) : shared_(std::make_shared<Shared>()) {
    shared_->finished = std::move(finished);
    if (inBackground) thread_ = std::thread([shared = shared_] { run(shared); });
}

LibrarySaver::~LibrarySaver() { shutdown(); }

std::exception_ptr LibrarySaver::write(Pending& pending) {
    try {
        const std::string text = pending.repository.workspaceText(
            *pending.state, pending.projects ? *pending.projects : pending.state->projects);
        // The snapshots are let go before the disk is touched, so that the store's next change copies nothing.
        pending.state.reset();
        pending.projects.reset();
        pending.repository.saveWorkspaceText(text);
    } catch (...) {
        return std::current_exception();
    }
    return {};
}

void LibrarySaver::save(const Repository& repository, std::shared_ptr<const WorkspaceState> state,
                        std::uint64_t generation) {
    save(repository, std::move(state), nullptr, generation);
}

void LibrarySaver::save(const Repository& repository, std::shared_ptr<const WorkspaceState> state,
                        std::shared_ptr<const std::vector<Delivery>> projects, std::uint64_t generation) {
    if (!thread_.joinable()) {
        if (shared_->abandoned) return;
        // In place the report may save again (a waiter's follow-up): no lock is held around it.
        Pending pending{repository, std::move(state), std::move(projects), generation};
        const std::exception_ptr failure = write(pending);
        if (shared_->finished) shared_->finished(generation, failure);
        return;
    }
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->stopping) return;
        shared_->waiting =
            std::make_unique<Pending>(Pending{repository, std::move(state), std::move(projects), generation});
    }
    shared_->wake.notify_one();
}

bool LibrarySaver::drain(std::chrono::milliseconds limit) {
    if (!thread_.joinable()) return true;
    std::unique_lock lock(shared_->mutex);
    return shared_->idle.wait_for(lock, limit, [this] { return !shared_->waiting && !shared_->writing; });
}

void LibrarySaver::shutdown(std::chrono::milliseconds limit) {
    if (!thread_.joinable()) {
        shared_->abandoned = true;
        return;
    }
    bool finished = false;
    {
        std::unique_lock lock(shared_->mutex);
        shared_->stopping = true;
        shared_->wake.notify_one();
        finished = shared_->idle.wait_for(lock, limit, [this] { return !shared_->waiting && !shared_->writing; });
    }
    {
        // From here on nothing is reported: whoever was told about saves may go away.
        std::lock_guard report(shared_->reporting);
        shared_->abandoned = true;
    }
    if (finished) {
        thread_.join();
    } else {
        // Stuck in the kernel on the library's file system: joining could wait forever.
        thread_.detach();
    }
}

void LibrarySaver::run(const std::shared_ptr<Shared>& shared) {
    for (;;) {
        std::unique_ptr<Pending> next;
        {
            std::unique_lock lock(shared->mutex);
            shared->wake.wait(lock, [&] { return shared->waiting || shared->stopping; });
            if (!shared->waiting) {
                shared->idle.notify_all();
                return;
            }
            next = std::move(shared->waiting);
            shared->writing = true;
        }
        const std::exception_ptr failure = write(*next);
        const std::uint64_t generation = next->generation;
        next.reset();
        {
            std::lock_guard report(shared->reporting);
            if (!shared->abandoned && shared->finished) shared->finished(generation, failure);
        }
        {
            std::lock_guard lock(shared->mutex);
            shared->writing = false;
        }
        shared->idle.notify_all();
    }
}

}  // namespace sorvik::app
