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
    /// Writes "templates.json" the same way, after a workspace save handed over before it; only the
    /// newest list waiting is written. Reported through `presetsFinished`, as saves are.
    void savePresets(const Repository& repository, std::vector<TemplatePreset> presets, std::uint64_t generation);
    void setPresetsFinished(Finished finished) { shared_->presetsFinished = std::move(finished); }
    /// Asked before the state of save `generation` changes: gives that save up while it waits or is
    /// still being encoded (a newer save follows the change), and lets go of its snapshots. False
    /// when no save was written for a while: this one is written then, so that a stream of
    /// changes never keeps the library from being saved. A save given up is not reported: the
    /// caller hands over a newer one (see `gaveUp`).
    bool yield(std::uint64_t generation);
    /// Whether `yield` gave save `generation` up.
    bool gaveUp(std::uint64_t generation) const;
    /// How long the library on disk may fall behind: 5 s unless a test changes it.
    void setMaxBehind(std::chrono::milliseconds limit) { shared_->maxBehind = limit; }
    /// Returns once everything handed over has been written, or false when `limit` passed first.
    bool drain(std::chrono::milliseconds limit);
    /// Writes what is waiting within `limit`, then stops; a write still running after that is left
    /// to finish on its own, unreported. Idempotent. False when such a write was left running.
    bool shutdown(std::chrono::milliseconds limit = std::chrono::seconds(5));

private:
    struct Pending {
        Repository repository;
        std::shared_ptr<const WorkspaceState> state;
        std::shared_ptr<const std::vector<Delivery>> projects;
        std::uint64_t generation;
        std::stop_source giveUp = {};
    };
    struct PresetsPending {
        Repository repository;
        std::vector<TemplatePreset> presets;
        std::uint64_t generation;
    };
    // Shared with the thread, which may outlive the saver when it is left behind.
    struct Shared {
        Finished finished;
        Finished presetsFinished;
        std::unique_ptr<PresetsPending> presetsWaiting;
        mutable std::mutex mutex;
        std::condition_variable wake;
        std::condition_variable idle;
        std::unique_ptr<Pending> waiting;
        bool writing = false;
        bool stopping = false;
        // The save being encoded (its snapshots still held), and how to give it up.
        std::uint64_t encoding = 0;
        std::stop_source giveUp;
        // The last save given up, and when a save was last written (or the library read).
        std::uint64_t givenUp = 0;
        std::chrono::steady_clock::time_point lastWritten = std::chrono::steady_clock::now();
        std::chrono::milliseconds maxBehind = std::chrono::seconds(5);
        // Held while `finished` runs, so that shutdown never returns during a report.
        std::mutex reporting;
        bool abandoned = false;
    };
    static void run(const std::shared_ptr<Shared>& shared);
    /// What a write ended with: done, failed, or given up for a newer state.
    struct Outcome {
        std::exception_ptr failure;
        bool gaveWay = false;
        std::uint64_t givenUp = 0;
    };
    static Outcome write(Pending& pending, Shared* shared);
    static void writePresets(PresetsPending& pending, Shared& shared);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    bool leftRunning_ = false;  // a write outlived shutdown
};

}  // namespace sorvik::app
