#pragma once
// A value the GUI thread owns and hands to workers as immutable snapshots. Handing one out costs
// a pointer; the first change while a snapshot is still held copies the value once (copy on
// write), so a snapshot never sees a later change.
#include <atomic>
#include <memory>
#include <utility>
#include <vector>

namespace sorvik::app {

template <class T>
class SharedState {
public:
    SharedState() : value_(std::make_shared<T>()), leases_(std::make_shared<std::atomic<long>>(0)) {}
    explicit SharedState(T value)
        : value_(std::make_shared<T>(std::move(value))), leases_(std::make_shared<std::atomic<long>>(0)) {}

    const T& operator*() const { return *value_; }
    const T* operator->() const { return value_.get(); }

    /// The value as it is now, for another thread to read for as long as it holds it.
    std::shared_ptr<const T> share() const {
        leases_->fetch_add(1, std::memory_order_relaxed);
        // The release pairs with the acquire in `edit`: the holder's reads end before the value changes.
        return std::shared_ptr<const T>(value_.get(), [value = value_, leases = leases_](const T*) {
            leases->fetch_sub(1, std::memory_order_release);
        });
    }
    /// Whether a snapshot handed out is still held.
    bool isShared() const { return leases_->load(std::memory_order_acquire) != 0; }

    /// The value to change in place; copied first while a snapshot of it is held. References
    /// into the value taken before stay valid until `releaseRetired`.
    T& edit() {
        if (isShared()) adopt(std::make_shared<T>(std::as_const(*value_)));
        return *value_;
    }
    /// Replaces the value; snapshots keep the old one, and so does this until `releaseRetired`.
    void assign(T value) {
        if (isShared()) {
            adopt(std::make_shared<T>(std::move(value)));
        } else {
            *value_ = std::move(value);
        }
    }

    /// The value to be replaced soon: moved out when no snapshot holds it, else copied.
    T take() {
        if (isShared()) return *value_;
        return std::move(*value_);
    }
    /// Lets go of the values replaced since the last call, once nothing on this thread refers to them.
    void releaseRetired() { retired_.clear(); }

private:
    void adopt(std::shared_ptr<T> value) {
        retired_.push_back(std::move(value_));
        value_ = std::move(value);
        leases_ = std::make_shared<std::atomic<long>>(0);
    }

    std::shared_ptr<T> value_;
    std::shared_ptr<std::atomic<long>> leases_;
    std::vector<std::shared_ptr<T>> retired_;
};

}  // namespace sorvik::app
