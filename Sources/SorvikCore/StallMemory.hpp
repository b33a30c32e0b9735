#pragma once
// What stopped answering in earlier scans: files whose opening or reading never returned and
// sources whose walk never did, so that later scans do not wait on them again.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <vector>

#include "SorvikCore/Identifier.hpp"

namespace sorvik {

/// Held by a caller across its scans (the app's store holds one) and passed to each; safe to use
/// from any thread. Everything it remembers waits on a thread the scan gave up on: the thread
/// itself is the probe, since the call it is stuck in returns once the file system answers.
/// Then the file or source is forgotten and the next scan tries it again.
class StallMemory {
public:
    /// Set once the work that holds its `Comeback` is gone: it returned, or was dropped unstarted.
    using Answer = std::shared_ptr<const std::atomic<bool>>;
    class Comeback {
    public:
        Comeback() : flag_(std::make_shared<std::atomic<bool>>(false)) {}
        ~Comeback() { flag_->store(true, std::memory_order_release); }
        Comeback(const Comeback&) = delete;
        Comeback& operator=(const Comeback&) = delete;
        Answer answer() const { return flag_; }

    private:
        std::shared_ptr<std::atomic<bool>> flag_;
    };

    /// A stuck file is tried again after this many scans even if its thread is still stuck, as
    /// long as fewer than `stuckThreadLimit` threads of remembered files are.
    static constexpr std::uint64_t fileScans = 10;
    static constexpr std::size_t stuckThreadLimit = 32;
    static constexpr std::size_t fileLimit = 1000;
    static constexpr std::size_t sourceLimit = 256;

    /// Counts a scan, for the files' expiry.
    void beginScan();

    /// Whether a scan skips this file: it got stuck in an earlier scan, has since kept its
    /// device, inode, size and modification time, and its stuck thread has not come back.
    bool skipsFile(const struct statx& info);
    /// Remembers a file whose inspection was given up on while `answer` was not yet set.
    void fileStuck(const struct statx& info, Answer answer);

    /// Whether a scan skips the source at `path`: its walk was given up on and has not come back.
    bool skipsSource(const UUID& source, const std::string& path);
    void sourceSilent(const UUID& source, const std::string& path, Answer answer);

private:
    using FileKey = std::tuple<std::uint64_t, std::uint64_t>;  // device, inode
    struct File {
        std::int64_t size;
        std::int64_t modifiedNs;
        std::uint64_t scan;
        Answer answer;
    };
    struct Source {
        std::string path;
        Answer answer;
    };

    std::size_t stuckThreads() const;

    std::mutex mutex_;
    std::uint64_t scan_ = 0;
    std::map<FileKey, File> files_;
    std::map<UUID, Source> sources_;
};

}  // namespace sorvik
