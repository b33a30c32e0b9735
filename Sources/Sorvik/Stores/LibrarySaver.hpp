#pragma once
// Writes "workspace.json" off the GUI thread. Only the newest state waiting is written: a save
// asked for while another is being written replaces any older one still waiting. Waiting for the
// saver is bounded: a library on a file system that stopped answering keeps its thread stuck in the
// kernel, and such a thread is left behind at shutdown instead of being joined.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "SorvikCore/Repository.hpp"

namespace sorvik::app {

class LibrarySaver {
public:
    /// Told which generation was written, with its failure if any; on the saver's thread (or the
    /// caller's, when saving in place). Never called once the saver has shut down.
    using Finished = std::function<void(std::uint64_t generation, std::exception_ptr failure)>;

    /// `inBackground` false: every save is written at once on the calling thread (tests).
    LibrarySaver(bool inBackground, Finished finished);
    ~LibrarySaver();
    LibrarySaver(const LibrarySaver&) = delete;
    LibrarySaver& operator=(const LibrarySaver&) = delete;

    void save(const Repository& repository, std::shared_ptr<const WorkspaceState> state, std::uint64_t generation);
    /// The same with the project list held apart from the state (whose own list is not written).
    void save(const Repository& repository, std::shared_ptr<const WorkspaceState> state,
              std::shared_ptr<const std::vector<Delivery>> projects, std::uint64_t generation);
    /// Returns once everything handed over has been written, or false when `limit` passed first.
    bool drain(std::chrono::milliseconds limit);
    /// Writes what is waiting within `limit`, then stops; a write still running after that is left
    /// to finish on its own, unreported. Idempotent.
    void shutdown(std::chrono::milliseconds limit = std::chrono::seconds(5));

private:
    struct Pending {
        Repository repository;
        std::shared_ptr<const WorkspaceState> state;
        std::shared_ptr<const std::vector<Delivery>> projects;
        std::uint64_t generation;
    };
    // Shared with the thread, which may outlive the saver when it is left behind.
    struct Shared {
        Finished finished;
        std::mutex mutex;
        std::condition_variable wake;
        std::condition_variable idle;
        std::unique_ptr<Pending> waiting;
        bool writing = false;
        bool stopping = false;
        // Held while `finished` runs, so that shutdown never returns during a report.
        std::mutex reporting;
        bool abandoned = false;
    };
    static void run(const std::shared_ptr<Shared>& shared);
    static std::exception_ptr write(Pending& pending);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace sorvik::app
