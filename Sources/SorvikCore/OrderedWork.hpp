#pragma once
// Runs independent steps on a few threads while failing as a sequential loop would.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <stop_token>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace sorvik::ordered {

/// The number of threads forEach uses by default: one per core, at most eight.
inline std::size_t defaultThreads() { return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8); }

/// Calls step(i) or step(i, token) for every i below count, on up to `threads` threads
/// (0: defaultThreads()). When steps fail, the exception rethrown is that of the lowest
/// failing index; every lower index has run, no index above a known failure is started, and
/// the tokens of the steps above it that are still running are asked to stop, so their work
/// ends early. Every token also stops when `stop` does. Where no thread can be created, the
/// calling thread does all the work.
template <typename Step>
void forEach(std::size_t count, std::size_t threads, Step&& step, std::stop_token stop = {}) {
    std::vector<std::exception_ptr> failures(count);
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> firstFailure{count};
    std::mutex mutex;
    std::vector<std::pair<std::size_t, std::stop_source*>> running;  // guarded by mutex

    auto work = [&] {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= count || i > firstFailure.load()) return;
            std::stop_source own;
            std::stop_callback forward(stop, [&own] { own.request_stop(); });
            {
                const std::lock_guard lock(mutex);
                if (i > firstFailure.load()) return;
                running.emplace_back(i, &own);
            }
            try {
                if constexpr (std::is_invocable_v<Step&, std::size_t, std::stop_token>) step(i, own.get_token());
                else step(i);
            } catch (...) {
                failures[i] = std::current_exception();
                std::size_t known = firstFailure.load();
                while (i < known && !firstFailure.compare_exchange_weak(known, i)) {
                }
                const std::lock_guard lock(mutex);
                for (const auto& [index, source] : running)
                    if (index > firstFailure.load()) source->request_stop();
            }
            const std::lock_guard lock(mutex);
            std::erase_if(running, [i](const auto& entry) { return entry.first == i; });
        }
    };
    const std::size_t used = std::min<std::size_t>(count, threads == 0 ? defaultThreads() : threads);
    {
        std::vector<std::jthread> workers;
        for (std::size_t t = 1; t < used; ++t) {
            try {
                workers.emplace_back(work);
            } catch (const std::system_error&) {
                break;  // no more threads: those running, and this one, share the work
            }
        }
        work();
    }
    const std::size_t first = firstFailure.load();
    if (first < count) std::rethrow_exception(failures[first]);
}

/// forEach on up to eight threads, one per core.
template <typename Step>
void forEach(std::size_t count, Step&& step, std::stop_token stop = {}) {
    forEach(count, 0, std::forward<Step>(step), std::move(stop));
}

}  // namespace sorvik::ordered
