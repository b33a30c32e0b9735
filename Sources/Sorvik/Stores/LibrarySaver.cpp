#include "Sorvik/Stores/LibrarySaver.hpp"

namespace sorvik::app {

LibrarySaver::LibrarySaver(bool inBackground, Finished finished) : shared_(std::make_shared<Shared>()) {
    shared_->finished = std::move(finished);
    if (inBackground) thread_ = std::thread([shared = shared_] { run(shared); });
}

LibrarySaver::~LibrarySaver() { shutdown(); }

LibrarySaver::Outcome LibrarySaver::write(Pending& pending, Shared* shared) {
    try {
        std::string text;
        try {
            text = pending.repository.workspaceText(*pending.state,
                                                    pending.projects ? *pending.projects : pending.state->projects,
                                                    pending.giveUp.get_token());
        } catch (const CancellationError&) {
            pending.state.reset();
            pending.projects.reset();
            return {nullptr, true};
        }
        // The snapshots are let go before the disk is touched, so that the store's next change copies nothing.
        pending.state.reset();
        pending.projects.reset();
        if (shared) {
            std::lock_guard lock(shared->mutex);
            shared->encoding = 0;
        }
        pending.repository.saveWorkspaceText(text);
    } catch (...) {
        return {std::current_exception(), false};
    }
    return {};
}

void LibrarySaver::writePresets(PresetsPending& pending, Shared& shared) {
    std::exception_ptr failure;
    try {
        pending.repository.savePresets(pending.presets);
    } catch (...) {
        failure = std::current_exception();
    }
    std::lock_guard report(shared.reporting);
    if (!shared.abandoned && shared.presetsFinished) shared.presetsFinished(pending.generation, std::move(failure));
}

void LibrarySaver::savePresets(const Repository& repository, std::vector<TemplatePreset> presets,
                               std::uint64_t generation) {
    auto pending = std::make_unique<PresetsPending>(PresetsPending{repository, std::move(presets), generation});
    if (!thread_.joinable()) {
        if (!shared_->abandoned) writePresets(*pending, *shared_);
        return;
    }
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->stopping) return;
        shared_->presetsWaiting = std::move(pending);
    }
    shared_->wake.notify_one();
}

bool LibrarySaver::yield(std::uint64_t generation) {
    if (!thread_.joinable()) return true;  // written in place: nothing is held
    std::unique_ptr<Pending> dropped;
    {
        std::lock_guard lock(shared_->mutex);
        const bool waits = shared_->waiting && shared_->waiting->generation == generation;
        const bool encodes = shared_->encoding == generation;
        if (!waits && !encodes) return true;              // written, or its snapshots let go already
        if (shared_->givenUp == generation) return true;  // asked already, for its other snapshot
        // While changes keep coming faster than saves end, the library on disk falls behind: a
        // save is given up only while the last one written is recent.
        if (std::chrono::steady_clock::now() - shared_->lastWritten > shared_->maxBehind) return false;
        shared_->givenUp = generation;
        if (waits) {
            dropped = std::move(shared_->waiting);
        } else {
            shared_->giveUp.request_stop();
        }
    }
    // Let go here, outside the lock; the saver may be idle now.
    dropped.reset();
    shared_->idle.notify_all();
    return true;
}

bool LibrarySaver::gaveUp(std::uint64_t generation) const {
    std::lock_guard lock(shared_->mutex);
    return generation != 0 && shared_->givenUp == generation;
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
        const Outcome outcome = write(pending, nullptr);
        if (shared_->finished) shared_->finished(generation, outcome.failure);
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
    return shared_->idle.wait_for(
        lock, limit, [this] { return !shared_->waiting && !shared_->presetsWaiting && !shared_->writing; });
}

bool LibrarySaver::shutdown(std::chrono::milliseconds limit) {
    if (!thread_.joinable()) {
        shared_->abandoned = true;
        return !leftRunning_;
    }
    bool finished = false;
    {
        std::unique_lock lock(shared_->mutex);
        shared_->stopping = true;
        shared_->wake.notify_one();
        finished = shared_->idle.wait_for(
            lock, limit, [this] { return !shared_->waiting && !shared_->presetsWaiting && !shared_->writing; });
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
        leftRunning_ = true;
    }
    return !leftRunning_;
}

void LibrarySaver::run(const std::shared_ptr<Shared>& shared) {
    for (;;) {
        std::unique_ptr<Pending> next;
        std::unique_ptr<PresetsPending> presets;
        {
            std::unique_lock lock(shared->mutex);
            shared->wake.wait(lock, [&] { return shared->waiting || shared->presetsWaiting || shared->stopping; });
            // The workspace first: presets handed over after it are written after it.
            if (!shared->waiting && shared->presetsWaiting) {
                presets = std::move(shared->presetsWaiting);
                shared->writing = true;
            } else if (!shared->waiting) {
                shared->idle.notify_all();
                return;
            } else {
                next = std::move(shared->waiting);
                shared->writing = true;
                shared->encoding = next->generation;
                shared->giveUp = next->giveUp;
            }
        }
        if (presets) {
            writePresets(*presets, *shared);
            presets.reset();
            {
                std::lock_guard lock(shared->mutex);
                shared->writing = false;
            }
            shared->idle.notify_all();
            continue;
        }
        Outcome outcome = write(*next, shared.get());
        const std::uint64_t generation = next->generation;
        const bool failed = outcome.failure != nullptr;
        next.reset();
        if (!outcome.gaveWay) {
            // Handed over whole: the failure is let go on the thread that reads it.
            std::lock_guard report(shared->reporting);
            if (!shared->abandoned && shared->finished) shared->finished(generation, std::move(outcome.failure));
        }
        {
            std::lock_guard lock(shared->mutex);
            shared->writing = false;
            shared->encoding = 0;
            if (!outcome.gaveWay && !failed) shared->lastWritten = std::chrono::steady_clock::now();
        }
        shared->idle.notify_all();
    }
}

}  // namespace sorvik::app
