#pragma once
// Writes "workspace.json" off the GUI thread. Only the newest state waiting is written: a save
// asked for while another is being written replaces any older one still waiting. Every state handed
// over is written (or superseded by a newer one) before the saver goes away.
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "SorvikCore/Repository.hpp"

namespace sorvik::app {

class LibrarySaver {
public:
    /// Told which generation was written, with its failure if any; on the saver's thread (or the
    /// caller's, when saving in place).
    using Finished = std::function<void(std::uint64_t generation, std::exception_ptr failure)>;

    /// `inBackground` false: every save is written at once on the calling thread (tests).
    LibrarySaver(bool inBackground, Finished finished);
    ~LibrarySaver();
    LibrarySaver(const LibrarySaver&) = delete;
    LibrarySaver& operator=(const LibrarySaver&) = delete;

    void save(const Repository& repository, std::shared_ptr<const WorkspaceState> state, std::uint64_t generation);
    /// Returns once everything handed over has been written.
    void drain();
    /// Writes what is waiting, then stops; idempotent.
    void shutdown();

private:
    struct Pending {
        Repository repository;
        std::shared_ptr<const WorkspaceState> state;
        std::uint64_t generation;
    };
    void run();
    void write(const Pending& pending);

    Finished finished_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::unique_ptr<Pending> waiting_;
    bool writing_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace sorvik::app
