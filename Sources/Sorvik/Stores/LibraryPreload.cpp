#include "Sorvik/Stores/LibraryPreload.hpp"

#include <thread>

namespace sorvik::app {

LibraryPreload::LibraryPreload(const std::filesystem::path& folder) : folder_(folder) {
    // Detached: a process that leaves early (another copy has the library) does not wait for it.
    // The thread keeps only the shared result alive.
    std::thread([folder, result = result_] {
        std::optional<WorkspaceState> state;
        std::exception_ptr failure;
        Repository::FilesStamp before{}, after{};
        bool identified = false;
        try {
            const Repository repository(folder);
            before = repository.workspaceStamp();
            try {
                state = repository.loadWorkspace();
            } catch (...) {
                failure = std::current_exception();
            }
            after = repository.workspaceStamp();
            identified = true;
        } catch (...) {
            // The folder could not be made or looked at: the store reads it again and says why.
        }
        std::function<void()> then;
        {
            std::lock_guard lock(result->mutex);
            result->state = std::move(state);
            result->failure = std::move(failure);  // the thread keeps no share of it
            result->before = before;
            result->after = after;
            result->identified = identified;
            result->finished = true;
            then = std::move(result->then);
            result->done.notify_all();
        }
        if (then) then();
    }).detach();
}

bool LibraryPreload::finished() const {
    std::lock_guard lock(result_->mutex);
    return result_->finished;
}

bool LibraryPreload::waitFinished(std::chrono::milliseconds limit) const {
    std::unique_lock lock(result_->mutex);
    return result_->done.wait_for(lock, limit, [this] { return result_->finished; });
}

void LibraryPreload::whenFinished(std::function<void()> then) {
    {
        std::lock_guard lock(result_->mutex);
        if (!result_->finished) {
            result_->then = std::move(then);
            return;
        }
    }
    then();
}

std::optional<WorkspaceState> LibraryPreload::take() {
    std::unique_lock lock(result_->mutex);
    result_->done.wait(lock, [this] { return result_->finished; });
    if (!result_->identified || result_->before != result_->after) return std::nullopt;
    try {
        if (Repository(folder_).workspaceStamp() != result_->after) return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
    if (result_->failure) std::rethrow_exception(std::exchange(result_->failure, nullptr));
    std::optional<WorkspaceState> state = std::move(result_->state);
    result_->state.reset();
    return state;
}

}  // namespace sorvik::app
