#pragma once
// Calls from worker threads to an object of the GUI thread. Workers hold the mailbox, never the
// object: once it is closed (the object shuts down) nothing more is posted, so a job that returns
// late, even after the object is gone, touches nothing of it.
#include <QMetaObject>
#include <QObject>
#include <memory>
#include <mutex>
#include <utility>

namespace sorvik::app {

class Mailbox {
public:
    explicit Mailbox(QObject* receiver) : receiver_(receiver) {}

    /// Queues `call` on the receiver's thread; false when closed. Qt drops a call still queued
    /// when the receiver is destroyed.
    template <class Call>
    bool post(Call&& call) {
        std::lock_guard lock(mutex_);
        if (!receiver_) return false;
        QMetaObject::invokeMethod(receiver_, std::forward<Call>(call), Qt::QueuedConnection);
        return true;
    }

    /// Waits for a post under way, then refuses every later one.
    void close() {
        std::lock_guard lock(mutex_);
        receiver_ = nullptr;
    }

private:
    std::mutex mutex_;
    QObject* receiver_;
};

}  // namespace sorvik::app
