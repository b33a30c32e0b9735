#pragma once
// Work for one view on Qt's shared thread pool. A result reaches the view on the GUI thread only
// while the view lives: when it goes away, running work is asked to stop and whatever it still
// produces is dropped. Nothing waits for the work, so closing a view never blocks on a decode;
// the application waits for the pool when it ends.
#include <QMetaObject>
#include <QObject>
#include <QThreadPool>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

namespace sorvik::app {

class DetachedJobs {
public:
    /// Results are delivered through `receiver` (a QObject of the GUI thread that outlives this).
    explicit DetachedJobs(QObject* receiver) : shared_(std::make_shared<Shared>()) { shared_->receiver = receiver; }
    ~DetachedJobs() {
        std::lock_guard lock(shared_->mutex);
        shared_->receiver = nullptr;
        shared_->stop.request_stop();
    }
    DetachedJobs(const DetachedJobs&) = delete;
    DetachedJobs& operator=(const DetachedJobs&) = delete;

    /// Runs `work` on the pool; `done` gets its value or its failure on the GUI thread, unless
    /// the owner is gone by then.
    template <class T>
    void run(std::function<T(std::stop_token)> work, std::function<void(std::optional<T>, std::exception_ptr)> done) {
        QThreadPool::globalInstance()->start(
            [shared = shared_, work = std::move(work), done = std::move(done)]() mutable {
                auto value = std::make_shared<std::optional<T>>();
                std::exception_ptr failure;
                const std::stop_token stop = shared->stop.get_token();
                try {
                    if (!stop.stop_requested()) value->emplace(work(stop));
                } catch (...) {
                    failure = std::current_exception();
                }
                std::lock_guard lock(shared->mutex);
                if (!shared->receiver) return;
                // Posted while the receiver is known to live; Qt drops the call with the receiver.
                QMetaObject::invokeMethod(
                    shared->receiver,
                    [value, failure = std::move(failure), done = std::move(done)]() mutable {
                        done(std::move(*value), std::move(failure));
                    },
                    Qt::QueuedConnection);
            });
    }

private:
    struct Shared {
        std::mutex mutex;
        QObject* receiver = nullptr;
        std::stop_source stop;
    };
    std::shared_ptr<Shared> shared_;
};

}  // namespace sorvik::app
