#pragma once
// A lane for derived data that is rebuilt after every change (search texts, card values): only the
// newest job matters. A job queued and not started yet is replaced by a newer one; a running job is
// asked to stop through its token. Jobs post their own results back (a queued call to a QObject),
// and the receiver drops a result made for an older revision.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace sorvik::app {

class BackgroundLane {
public:
    using Job = std::function<void(std::stop_token)>;
    virtual ~BackgroundLane() = default;
    /// Queues `job` in place of any job not started yet and asks a running one to stop.
    virtual void post(Job job) = 0;
};

/// One thread of its own at low priority. The destructor stops the running job and waits for it.
/// Jobs must catch their own exceptions.
class ThreadLane final : public BackgroundLane {
public:
    ThreadLane();
    ~ThreadLane() override;
    ThreadLane(const ThreadLane&) = delete;
    ThreadLane& operator=(const ThreadLane&) = delete;
    void post(Job job) override;

private:
    void run(std::stop_token lifetime);

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::optional<Job> queued_;
    std::stop_source running_;
    std::jthread thread_;
};

}  // namespace sorvik::app
