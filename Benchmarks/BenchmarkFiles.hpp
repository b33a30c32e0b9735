#pragma once
// What the export benchmarks share: source files of random content and shell commands that must
// succeed.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "SorvikCore/Models.hpp"

namespace sorvik::bench {

/// Runs a shell command; the benchmark ends when it fails.
inline void run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::cerr << "command failed: " << command.substr(0, 300) << "\n";
        std::exit(1);
    }
}

/// A file of `bytes` pseudo-random bytes from `seed` (xorshift), written a mebibyte at a time.
inline void writeSource(const std::filesystem::path& path, std::uint64_t bytes, std::uint64_t seed) {
    std::ofstream out(path, std::ios::binary);
    std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::uint64_t written = 0; written < bytes;) {
        for (auto& v : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            v = x;
        }
        const std::uint64_t n = std::min<std::uint64_t>(bytes - written, block.size() * 8);
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        written += n;
    }
}

/// One set of files of the export benchmarks.
struct ExportSet {
    std::string name;
    std::size_t count;
    std::uint64_t bytes;
};

/// The set's files of random content in `folder`, as attachments of a delivery that refer to them.
inline std::vector<DeliveryFile> makeSourceFiles(const std::filesystem::path& folder, const ExportSet& set) {
    std::vector<DeliveryFile> files;
    for (std::size_t i = 0; i < set.count; ++i) {
        const std::filesystem::path path = folder / ("file" + std::to_string(i) + ".bin");
        writeSource(path, set.bytes, i + 1);
        struct stat st {};
        ::stat(path.c_str(), &st);
        DeliveryFile file(UUID::make(), path.filename().string(), "", FileRole::extra,
                          static_cast<std::int64_t>(st.st_size), "");
        file.reference = FileReference::make(path, Date::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec), {});
        files.push_back(file);
    }
    return files;
}

/// The export benchmarks' options: [--quick] [--only=large|medium|small] [--dir=PATH] [--runs=N].
struct ExportOptions {
    bool quick = false;
    std::string only;
    std::filesystem::path root;
    int runs = 0;
};

/// The options from the command line; prints the usage and returns false on anything else.
inline bool parseExportOptions(int argc, char** argv, const char* program, ExportOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick") options.quick = true;
        else if (a.starts_with("--only=")) options.only = a.substr(7);
        else if (a.starts_with("--dir=")) options.root = a.substr(6);
        else if (a.starts_with("--runs=")) options.runs = std::atoi(a.c_str() + 7);
        else {
            std::cerr << "usage: " << program << " [--quick] [--only=large|medium|small] [--dir=PATH] [--runs=N]\n";
            return false;
        }
    }
    return true;
}

/// Runs `benchmark` on 1 file of 2 GiB, 200 of 5 MB and 2,000 of 4 KB (--quick: 128 MiB, 40 and
/// 400), `largeRuns` times for the large set and `runs` times for the others unless --runs says;
/// removes the root folder afterwards. The exit status of the program.
inline int runExportSets(const ExportOptions& options, int largeRuns, int runs,
                         const std::function<void(const ExportSet&, const std::filesystem::path&, int)>& benchmark) {
    const bool quick = options.quick;
    const std::vector<ExportSet> sets{
        {"large", 1, quick ? (128ull << 20) : (2ull << 30)},
        {"medium", quick ? 40u : 200u, 5'000'000},
        {"small", quick ? 400u : 2000u, 4096},
    };
    try {
        for (const auto& set : sets) {
            if (!options.only.empty() && set.name != options.only) continue;
            const int count = options.runs > 0 ? options.runs : (set.name == "large" && !quick ? largeRuns : runs);
            benchmark(set, options.root, count);
        }
        std::filesystem::remove_all(options.root);
    } catch (const std::exception& e) {
        std::cerr << "failed: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace sorvik::bench
