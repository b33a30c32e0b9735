#pragma once
// A FUSE file system served by a thread of the test, for files and mounts that stop answering.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Support/TestSupport.hpp"

namespace sorvik::test {

/// One folder of files over the kernel's FUSE device. It answers lookups, attributes, listings,
/// opens and reads, except the opens or reads of the files it is told to hold, and everything
/// while it is silent: those requests wait unanswered until released. Unmounting closes the
/// device, which returns every call still waiting. Needs root and "/dev/fuse": `skipReason`
/// says why it could not mount.
class StallingMount {
public:
    enum class Hold { none, open, read };
    struct File {
        std::string name;
        std::string content;
        Hold hold = Hold::none;
    };

    explicit StallingMount(std::vector<File> files, bool silent = false);
    ~StallingMount();
    StallingMount(const StallingMount&) = delete;
    StallingMount& operator=(const StallingMount&) = delete;

    const std::string& skipReason() const { return skip_; }
    const std::filesystem::path& path() const { return dir_.path(); }

    /// Requests the kernel sent so far, all kinds.
    std::uint64_t requests() const { return requests_.load(); }
    /// Opens and reads the kernel asked of the file so far.
    int opens(const std::string& name);
    int reads(const std::string& name);
    /// Whether a request waits unanswered now.
    bool holding();

    /// Answers what waits and everything from now on: the file system comes back.
    void answerAll();

private:
    void serve();
    void handle(const std::vector<char>& request);
    void reply(std::uint64_t unique, int error, const void* data = nullptr, std::size_t size = 0);
    bool held(const std::vector<char>& request);
    void wake();

    TempDir dir_;  // outlives the mount
    std::vector<File> files_;
    int fd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    bool mounted_ = false;
    std::string skip_;
    std::atomic<std::uint64_t> requests_{0};

    std::mutex mutex_;
    bool silent_ = false;                       // guarded
    bool released_ = false;                     // guarded: holds no longer apply
    bool stopping_ = false;                     // guarded
    std::map<std::string, int> opens_, reads_;  // guarded
    std::vector<std::vector<char>> waiting_;    // guarded
    std::thread server_;
};

}  // namespace sorvik::test
