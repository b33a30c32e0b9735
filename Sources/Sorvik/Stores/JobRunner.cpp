#include "Sorvik/Stores/JobRunner.hpp"

#include <system_error>
#include <thread>

namespace sorvik::app {

struct WorkerThread::Shared {
    std::mutex mutex;
    std::condition_variable wake;   // a job is queued, the runner closed, or the thread was replaced
    std::condition_variable ended;  // a thread left
    std::deque<Job> queue;
    std::uint64_t current = 0;  // the generation of the thread that takes queued jobs
    bool currentBusy = false;
    bool closed = false;
    int threads = 0;
};

WorkerThread::WorkerThread() : shared_(std::make_shared<Shared>()) {
    std::lock_guard lock(shared_->mutex);
    startThread();
}

WorkerThread::~WorkerThread() {
    {
        std::lock_guard lock(shared_->mutex);
        // Shut down already: who did so has waited as long as was worth it.
        if (shared_->closed) return;
    }
    shutdown(std::chrono::seconds(2));
}

void WorkerThread::startThread() {
    // Detached: a thread stuck in a system call is never joined; it holds the shared state itself.
    std::thread(run, shared_, shared_->current).detach();
    ++shared_->threads;
}

void WorkerThread::submit(Job job) {
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->closed) return;
        shared_->queue.push_back(std::move(job));
    }
    shared_->wake.notify_all();
}

void WorkerThread::abandonRunning() {
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->closed || !shared_->currentBusy) return;
        ++shared_->current;
        shared_->currentBusy = false;
        try {
            startThread();
        } catch (const std::system_error&) {
            // No thread to be had: the later jobs wait for the old one after all.
            --shared_->current;
            shared_->currentBusy = true;
            return;
        }
    }
    shared_->wake.notify_all();
}

bool WorkerThread::shutdown(std::chrono::milliseconds patience) {
    std::deque<Job> dropped;
    std::unique_lock lock(shared_->mutex);
    shared_->closed = true;
    dropped.swap(shared_->queue);
    shared_->wake.notify_all();
    const bool finished = shared_->ended.wait_for(lock, patience, [this] { return shared_->threads == 0; });
    lock.unlock();
    return finished;  // the dropped jobs go outside the lock
}

int WorkerThread::threadCount() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->threads;
}

void WorkerThread::run(std::shared_ptr<Shared> shared, std::uint64_t generation) {
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->wake.wait(lock,
                          [&] { return shared->closed || shared->current != generation || !shared->queue.empty(); });
        if (shared->closed || shared->current != generation) break;
        Job job = std::move(shared->queue.front());
        shared->queue.pop_front();
        shared->currentBusy = true;
        lock.unlock();
        job();
        job = nullptr;  // what the job holds goes before the thread counts as ended
        lock.lock();
        if (shared->current == generation) shared->currentBusy = false;
    }
    --shared->threads;
    shared->ended.notify_all();
}

}  // namespace sorvik::app
