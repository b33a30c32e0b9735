#pragma once
// Runs independent steps on a few threads while failing as a sequential loop would.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace sorvik::ordered {

/// Calls step(i) for every i below count, on up to eight threads. When steps fail, the
/// exception rethrown is that of the lowest failing index; every lower index has run, and
/// no index above a known failure is started.
template <typename Step>
void forEach(std::size_t count, Step&& step) {
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
    const std::size_t threads =
        std::min<std::size_t>(count, std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8));
    {
        std::vector<std::jthread> workers;
        for (std::size_t t = 1; t < threads; ++t) workers.emplace_back(work);
        work();
    }
    const std::size_t first = firstFailure.load();
    if (first < count) std::rethrow_exception(failures[first]);
}

}  // namespace sorvik::ordered
