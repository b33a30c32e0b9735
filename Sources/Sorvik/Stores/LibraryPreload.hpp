#pragma once
// "workspace.json" read and decoded on a thread of its own from the first moment of start-up,
// while the app builds its window. The files are read before this process holds the library's
// lock, so what was read is used only when the files are still those that were read.
#include <chrono>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "SorvikCore/Repository.hpp"

namespace sorvik::app {

class LibraryPreload {
public:
    /// Starts reading the library in `folder`.
    explicit LibraryPreload(const std::filesystem::path& folder);

    /// Waits for the reading. The state read, or what the reading threw, when the library's files
    /// are still those that were read; none when they changed since (read them again then).
    /// Only once.
    std::optional<WorkspaceState> take();
    /// Whether the reading has ended.
    bool finished() const;
    /// Waits up to `limit` for the reading to end; whether it did.
    bool waitFinished(std::chrono::milliseconds limit) const;
    /// Calls `then` once the reading has ended: at once when it has, else on the reading thread.
    void whenFinished(std::function<void()> then);

private:
    struct Result {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::optional<WorkspaceState> state;
        std::exception_ptr failure;
        /// The files' stamp before and after the reading; unequal when a save came between.
        Repository::FilesStamp before{}, after{};
        bool identified = false;
        std::function<void()> then;
    };

    std::filesystem::path folder_;
    std::shared_ptr<Result> result_ = std::make_shared<Result>();
};

}  // namespace sorvik::app
