#pragma once
// Helpers shared by the benchmarks: shell commands on generated files and wall-clock seconds.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace sorvik::bench {

using Clock = std::chrono::steady_clock;

/// The text in single quotes for the shell.
inline std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

/// Runs a shell command; a failure ends the benchmark.
inline void run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "command failed: %s\n", command.c_str());
        std::exit(1);
    }
}

inline double seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace sorvik::bench
