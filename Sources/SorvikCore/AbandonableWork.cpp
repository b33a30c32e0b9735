#include "SorvikCore/AbandonableWork.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>
#include <sys/sysmacros.h>
#include <thread>

#include "SorvikCore/Models.hpp"

namespace sorvik::abandonable {

struct Pool::Job {
    enum class Phase { queued, running, finished, abandoned };
    Work work;
    Phase phase = Phase::queued;  // guarded by the pool's mutex
    std::exception_ptr failure;   // guarded by the pool's mutex
    std::atomic<Clock::rep> lastBeat{0};
    std::stop_source stop;
};

struct Pool::State {
    std::mutex mutex;
    std::condition_variable workAdded;  // for idle threads
    std::condition_variable jobEnded;   // for the waiting caller
    std::deque<Handle> queue;
    std::vector<Handle> running;
    std::size_t live = 0;  // threads that take jobs; a thread lost to a stuck job no longer counts
    std::size_t idle = 0;
    std::size_t target = 1;
    std::size_t spare = 0;  // replacements for lost threads still allowed
    bool closed = false;
    std::chrono::nanoseconds quiet{};

    static void work(const std::shared_ptr<State>& self);
    /// Starts one more thread; false when none can be made. Called with the mutex held.
    bool spawn(const std::shared_ptr<State>& self);
    /// Called with the mutex held.
    void giveUp(const std::shared_ptr<State>& self, const Handle& job);
};

namespace {

Clock::rep now() { return Clock::now().time_since_epoch().count(); }

}  // namespace

bool Pool::State::spawn(const std::shared_ptr<State>& self) {
    try {
        std::thread(&State::work, self).detach();
    } catch (const std::system_error&) {
        return false;
    }
    ++live;
    return true;
}

void Pool::State::work(const std::shared_ptr<State>& self) {
    State& s = *self;
    std::unique_lock lock(s.mutex);
    for (;;) {
        ++s.idle;
        s.workAdded.wait(lock, [&] { return s.closed || !s.queue.empty(); });
        --s.idle;
        if (s.closed) {
            --s.live;
            return;
        }
        Handle job = std::move(s.queue.front());
        s.queue.pop_front();
        job->phase = Job::Phase::running;
        job->lastBeat.store(now(), std::memory_order_relaxed);
        s.running.push_back(job);
        lock.unlock();

        std::exception_ptr failure;
        Job* const raw = job.get();
        const Beat beat = [raw] { raw->lastBeat.store(now(), std::memory_order_relaxed); };
        try {
            job->work(job->stop.get_token(), beat);
        } catch (...) {
            failure = std::current_exception();
        }
        job->work = nullptr;  // what the work owns goes with it, on this thread

        lock.lock();
        std::erase(s.running, job);
        const bool lost = job->phase == Job::Phase::abandoned;
        if (!lost) {
            job->phase = Job::Phase::finished;
            job->failure = std::move(failure);
        }
        s.jobEnded.notify_all();
        if (lost) return;  // a replacement has taken this thread's place
    }
}

void Pool::State::giveUp(const std::shared_ptr<State>& self, const Handle& job) {
    if (job->phase == Job::Phase::queued) {
        std::erase(queue, job);
        job->phase = Job::Phase::abandoned;
        job->work = nullptr;
        return;
    }
    if (job->phase != Job::Phase::running) return;
    job->phase = Job::Phase::abandoned;
    job->stop.request_stop();
    std::erase(running, job);
    --live;
    if (spare > 0 && !closed) {
        --spare;
        spawn(self);
    }
}

Pool::Pool(std::size_t threads, std::chrono::nanoseconds quietLimit) : state_(std::make_shared<State>()) {
    state_->target = std::max<std::size_t>(threads, 1);
    state_->spare = std::max<std::size_t>(state_->target, 4);
    state_->quiet = quietLimit;
}

Pool::~Pool() {
    const std::lock_guard lock(state_->mutex);
    state_->closed = true;
    for (const Handle& job : state_->queue) {
        job->phase = Job::Phase::abandoned;
        job->work = nullptr;
    }
    state_->queue.clear();
    for (const Handle& job : state_->running) job->stop.request_stop();
    state_->workAdded.notify_all();
}

Pool::Handle Pool::submit(Work work) {
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    const std::lock_guard lock(state_->mutex);
    state_->queue.push_back(job);
    if (state_->idle < state_->queue.size() && state_->live < state_->target) state_->spawn(state_);
    state_->workAdded.notify_one();
    return job;
}

Pool::Outcome Pool::wait(const Handle& job, std::stop_token stop) {
    const std::shared_ptr<State> s = state_;
    // Declared before the lock: a stop already requested runs the callback here and now.
    const std::stop_callback wake(stop, [s] {
        const std::lock_guard lock(s->mutex);
        s->jobEnded.notify_all();
    });
    std::unique_lock lock(s->mutex);
    for (;;) {
        if (stop.stop_requested()) throw CancellationError();
        if (job->phase == Job::Phase::finished) {
            if (job->failure) std::rethrow_exception(job->failure);
            return Outcome::finished;
        }
        if (job->phase == Job::Phase::abandoned) return Outcome::abandoned;
        // Every silent job is given up here, so that the jobs queued behind it get a thread.
        const Clock::time_point current = Clock::now();
        Clock::time_point next = current + s->quiet;
        for (const Handle& other : std::vector<Handle>(s->running)) {
            const Clock::time_point deadline =
                Clock::time_point(Clock::duration(other->lastBeat.load(std::memory_order_relaxed))) + s->quiet;
            if (deadline <= current) s->giveUp(s, other);
            else next = std::min(next, deadline);
        }
        if (job->phase == Job::Phase::abandoned) return Outcome::abandoned;
        if (job->phase == Job::Phase::queued && s->live == 0) {
            s->giveUp(s, job);  // no thread is left to run it
            return Outcome::abandoned;
        }
        s->jobEnded.wait_until(lock, next);
    }
}

void Pool::abandon(const Handle& job) {
    const std::lock_guard lock(state_->mutex);
    state_->giveUp(state_, job);
}

namespace {

/// A mount point as the kernel's table writes it: space, tab, line feed and backslash as
/// three octal digits after a backslash.
std::string unescaped(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
                out += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool isWithin(std::string_view path, std::string_view folder) {
    if (!path.starts_with(folder)) return false;
    return path.size() == folder.size() || folder == "/" || path[folder.size()] == '/';
}

}  // namespace

MountTable::MountTable() {
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        if (fields >> id >> parent >> device >> root >> point) points_.push_back(unescaped(point));
    }
}

std::string MountTable::mountOf(std::string_view path) const {
    const std::string* best = nullptr;
    for (const std::string& point : points_)
        if (isWithin(path, point) && (!best || point.size() > best->size())) best = &point;
    return best ? *best : std::string("/");
}

bool isLocalDisk(std::uint64_t device) {
    static constexpr std::string_view local[] = {"ext2", "ext3", "ext4", "xfs", "btrfs", "tmpfs", "f2fs", "overlay"};
    const std::string wanted = std::to_string(::major(device)) + ":" + std::to_string(::minor(device));
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers;
        if (!(fields >> id >> parent >> numbers) || numbers != wanted) continue;
        // The file system type follows the separator " - ".
        const auto separator = line.find(" - ");
        if (separator == std::string::npos) return false;
        std::istringstream rest(line.substr(separator + 3));
        std::string type;
        rest >> type;
        return std::find(std::begin(local), std::end(local), type) != std::end(local);
    }
    return false;
}

}  // namespace sorvik::abandonable
