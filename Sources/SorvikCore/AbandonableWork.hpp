#pragma once
// Work on file systems that may stop answering: run on threads the caller never joins, waited
// for with a deadline that moves with the work's progress, and given up without waiting.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <exception>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik::abandonable {

using Clock = std::chrono::steady_clock;

/// The time a scan waits for work that makes no progress before giving it up.
inline constexpr std::chrono::milliseconds defaultQuietLimit{10'000};

/// Called by running work each time it gets on (an entry read, a file done). Cheap.
using Beat = std::function<void()>;
/// The work of one job. Its token is asked to stop when the job is given up or its pool ends.
using Work = std::function<void(std::stop_token, const Beat&)>;

/// Threads that run jobs in the order they were submitted. Nothing here ever waits for a job
/// without bound: a job that makes no progress for the quiet limit is given up and its thread
/// is left to finish (or stay stuck) on its own, holding only what the job owns. A thread lost
/// that way is replaced, up to a fixed number of spare threads.
///
/// The pool is used from one thread; the work runs on its own threads.
class Pool {
public:
    struct Job;
    using Handle = std::shared_ptr<Job>;
    enum class Outcome { finished, abandoned };

    Pool(std::size_t threads, std::chrono::nanoseconds quietLimit);
    /// Never waits: queued jobs never start, running ones are asked to stop and left.
    ~Pool();
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    Handle submit(Work work);

    /// Waits until the job has finished (rethrowing what its work threw) or has been given up,
    /// because it made no progress for the quiet limit, or because no thread is left to run it.
    /// Throws CancellationError as soon as `stop` is requested.
    Outcome wait(const Handle& job, std::stop_token stop);

    /// Gives the job up: a queued job never starts, a running one is asked to stop and left.
    void abandon(const Handle& job);

private:
    struct State;
    std::shared_ptr<State> state_;
};

/// One function applied to a list of items in order on a pool, as one job that counts each item
/// as progress. When an item hangs, it gives no result, nor does any later item of the same
/// group (by `groupOf`, asked only then); the others go on in a new job.
template <typename Item, typename Result>
class Batch {
public:
    using Each = std::function<Result(const Item&)>;
    using GroupOf = std::function<std::string(const Item&)>;

    /// Starts the work at once; `each` runs on the pool's threads and must own what it uses.
    Batch(Pool& pool, std::vector<Item> items, Each each, GroupOf groupOf)
        : pool_(pool), items_(std::move(items)), each_(std::move(each)), groupOf_(std::move(groupOf)),
          results_(items_.size()) {
        startFrom(0);
    }

    /// The result of every item, nothing for those that hung. Throws CancellationError when
    /// `stop` is requested.
    std::vector<std::optional<Result>> finish(std::stop_token stop) && {
        while (job_) {
            const Pool::Outcome outcome = pool_.wait(job_, stop);
            const std::size_t done = part_->done.load(std::memory_order_acquire);
            for (std::size_t k = 0; k < done; ++k) results_[part_->indices[k]] = std::move(part_->results[k]);
            job_.reset();
            if (outcome == Pool::Outcome::finished || done >= part_->indices.size()) break;
            const std::size_t hung = part_->indices[done];
            hungGroups_.insert(groupOf_(items_[hung]));
            startFrom(hung + 1);
        }
        return std::move(results_);
    }

private:
    struct Part {
        std::vector<std::size_t> indices;
        std::vector<Item> items;
        std::vector<std::optional<Result>> results;
        std::atomic<std::size_t> done{0};  // results below it are final
    };

    void startFrom(std::size_t first) {
        auto part = std::make_shared<Part>();
        for (std::size_t i = first; i < items_.size(); ++i) {
            if (!hungGroups_.empty() && hungGroups_.contains(groupOf_(items_[i]))) continue;
            part->indices.push_back(i);
            part->items.push_back(items_[i]);
        }
        if (part->indices.empty()) return;
        part->results.resize(part->items.size());
        part_ = part;
        job_ = pool_.submit([part, each = each_](std::stop_token stop, const Beat& beat) {
            for (std::size_t k = 0; k < part->items.size(); ++k) {
                if (stop.stop_requested()) return;
                Result result = each(part->items[k]);
                if (stop.stop_requested()) return;
                part->results[k] = std::move(result);
                part->done.store(k + 1, std::memory_order_release);
                beat();
            }
        });
    }

    Pool& pool_;
    std::vector<Item> items_;
    Each each_;
    GroupOf groupOf_;
    std::vector<std::optional<Result>> results_;
    std::set<std::string> hungGroups_;
    std::shared_ptr<Part> part_;
    Pool::Handle job_;
};

/// The mount points of this process, read from the kernel's table (never from a file system
/// that may hang).
class MountTable {
public:
    MountTable();
    /// The longest mount point that `path` (absolute) is or lies below; "/" when none is known.
    std::string mountOf(std::string_view path) const;

private:
    std::vector<std::string> points_;
};

/// Whether the device (st_dev) holds a local disk file system, as the kernel's table says:
/// opening one of its files returns. One of FUSE, a network or anything unknown may never.
bool isLocalDisk(std::uint64_t device);

}  // namespace sorvik::abandonable
