#pragma once
// A FUSE file system served by the test itself through /dev/fuse, for disks that stop answering:
// one that never answers at all, one that answers reads but holds every write, and one that
// holds the reading of its one file. Needs root; skipReason() says why it could not be mounted.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "Support/TestSupport.hpp"

namespace sorvik::test {

class FuseMount {
public:
    enum class Hold {
        everything,  // no request is ever answered
        writes,      // an empty folder: reads are answered, a write is never answered
        reads,       // one file of `fileSize` bytes: everything is answered but reading it
    };

    explicit FuseMount(Hold hold, std::string fileName = "workspace.json", std::uint64_t fileSize = 0);
    /// Unmounts; requests still held fail then, so no thread stays blocked.
    ~FuseMount();
    FuseMount(const FuseMount&) = delete;
    FuseMount& operator=(const FuseMount&) = delete;

    /// Why nothing was mounted (no root, no /dev/fuse); empty when mounted.
    const std::string& skipReason() const { return skip_; }
    const std::filesystem::path& path() const { return dir_.path(); }
    /// How many requests have been held unanswered.
    std::size_t held() const { return held_.load(); }

private:
    void serve();

    TempDir dir_;  // outlives the mount
    Hold hold_;
    std::string fileName_;
    std::uint64_t fileSize_;
    int fd_ = -1;
    int stop_[2] = {-1, -1};
    bool mounted_ = false;
    std::string skip_;
    std::atomic<std::size_t> held_{0};
    std::thread server_;
};

}  // namespace sorvik::test
