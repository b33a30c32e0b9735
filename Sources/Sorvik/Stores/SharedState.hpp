#pragma once
// A value the GUI thread owns and hands to workers as immutable snapshots. Handing one out costs
// a pointer; the first change while a snapshot is still held copies the value once (copy on
// write), so a snapshot never sees a later change.
//
// A holder whose work the change makes stale anyway (a save, an index of the old data) may take a
// snapshot that it gives up when asked: before copying, a change asks every such holder to let go
// and waits a moment for them, and changes the value in place once none holds it.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace sorvik::app {

template <class T>
class SharedState {
public:
    /// Asked on the owning thread before the value changes: true when the holder lets go of its
    /// snapshot soon (its worker sees the request and drops it); false when it keeps it.
    using Yield = std::function<bool()>;

    SharedState() : value_(std::make_shared<T>()), leases_(std::make_shared<Leases>()) {}
    explicit SharedState(T value)
        : value_(std::make_shared<T>(std::move(value))), leases_(std::make_shared<Leases>()) {}

    const T& operator*() const { return *value_; }
    const T* operator->() const { return value_.get(); }

    /// The value as it is now, for another thread to read for as long as it holds it.
    std::shared_ptr<const T> share() const { return lease(true); }
    /// The same for a holder that gives the snapshot up when `yield` is asked.
    std::shared_ptr<const T> share(Yield yield) const {
        if (!isShared()) yielders_.clear();
        yielders_.push_back(std::move(yield));
        return lease(false);
    }
    /// Whether a snapshot handed out is still held.
    bool isShared() const { return leases_->all.load(std::memory_order_acquire) != 0; }

    /// The value to change in place; copied first while a snapshot of it is held that its holder
    /// does not give up. References into the value taken before stay valid until `releaseRetired`.
    T& edit() {
        if (isShared() && !reclaim()) adopt(std::make_shared<T>(std::as_const(*value_)));
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
        if (isShared() && !reclaim()) return *value_;
        return std::move(*value_);
    }
    /// Lets go of the values replaced since the last call, once nothing on this thread refers to them.
    void releaseRetired() { retired_.clear(); }

    /// How long a change waits for the holders asked to let go (tests).
    void setPatience(std::chrono::microseconds patience) { patience_ = patience; }

private:
    struct Leases {
        std::atomic<long> all{0};
        /// Of them, the snapshots whose holders never give them up.
        std::atomic<long> kept{0};
    };

    std::shared_ptr<const T> lease(bool kept) const {
        leases_->all.fetch_add(1, std::memory_order_relaxed);
        if (kept) leases_->kept.fetch_add(1, std::memory_order_relaxed);
        // The release pairs with the acquire in `isShared`: the holder's reads end before the value changes.
        return std::shared_ptr<const T>(value_.get(), [value = value_, leases = leases_, kept](const T*) {
            if (kept) leases->kept.fetch_sub(1, std::memory_order_relaxed);
            leases->all.fetch_sub(1, std::memory_order_release);
        });
    }

    /// Asks the holders to let go; true once none holds the value any more.
    bool reclaim() {
        if (yielders_.empty() || leases_->kept.load(std::memory_order_acquire) != 0) return false;
        const std::vector<Yield> asked = std::exchange(yielders_, {});
        bool all = true;
        for (const Yield& yield : asked) all = yield() && all;
        if (!all) return false;
        // The holders' workers stop within a moment; under heavy load they may not, and the value
        // is copied after all.
        const auto deadline = std::chrono::steady_clock::now() + patience_;
        while (isShared()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        return true;
    }

    void adopt(std::shared_ptr<T> value) {
        retired_.push_back(std::move(value_));
        value_ = std::move(value);
        leases_ = std::make_shared<Leases>();
        yielders_.clear();
    }

    std::shared_ptr<T> value_;
    std::shared_ptr<Leases> leases_;
    std::vector<std::shared_ptr<T>> retired_;
    // Who to ask before the current value changes; touched on the owning thread only.
    mutable std::vector<Yield> yielders_;
    std::chrono::microseconds patience_ = std::chrono::milliseconds(30);
};

}  // namespace sorvik::app
