#pragma once
// Runs independent steps on a few threads while failing as a sequential loop would.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

namespace sorvik::ordered {

/// The number of threads forEach uses by default: one per core, at most eight.
inline std::size_t defaultThreads() { return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8); }

/// Calls step(i) for every i below count, on up to `threads` threads (0: defaultThreads()).
/// When steps fail, the exception rethrown is that of the lowest failing index; every lower
/// index has run, and no index above a known failure is started.
template <typename Step>
void forEach(std::size_t count, std::size_t threads, Step&& step) {
    std::vector<std::exception_ptr> failures(count);
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> firstFailure{count};
    auto work = [&] {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= count || i > firstFailure.load()) return;
            try {
                step(i);
            } catch (...) {
                failures[i] = std::current_exception();
                std::size_t known = firstFailure.load();
                while (i < known && !firstFailure.compare_exchange_weak(known, i)) {
                }
            }
        }
    };
    const std::size_t used = std::min<std::size_t>(count, threads == 0 ? defaultThreads() : threads);
    {
        std::vector<std::jthread> workers;
        for (std::size_t t = 1; t < used; ++t) workers.emplace_back(work);
        work();
    }
    const std::size_t first = firstFailure.load();
    if (first < count) std::rethrow_exception(failures[first]);
}

/// forEach on up to eight threads, one per core.
template <typename Step>
void forEach(std::size_t count, Step&& step) {
    forEach(count, 0, std::forward<Step>(step));
}

}  // namespace sorvik::ordered
