// Warm rescan of an unchanged tree after a save and reload of the library, against
// `find SRC -type f -printf '%s %T@ %i\n'` over the same tree, at each file count asked for (the
// scan's limit raised to it). Several repetitions, each the best of a few rounds of both,
// alternated; prints the median and the worst ratio per count, and how the time per file grows
// from the smallest count to each larger one.
// Usage: RescanBenchmark [--files=N[,N...]] [repetitions]   (default: --files=20000,100000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <unistd.h>

#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/Repository.hpp"

using namespace sorvik;
namespace fs = std::filesystem;

namespace {

constexpr int rounds = 5;
constexpr int defaultRepetitions = 5;
constexpr double ratioTarget = 1.2;
constexpr double perFileGrowthTarget = 1.3;

const std::string& tinyPNG() {
    static const unsigned char bytes[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00,
        0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00,
        0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01,
        0x0D, 0x0A, 0x2D, 0xB4, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    static const std::string png(reinterpret_cast<const char*>(bytes), sizeof bytes);
    return png;
}

void write(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

template <typename F>
double bestSeconds(F&& work) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

/// One file count's figures: per repetition, the best scan and find times.
struct Measured {
    int files = 0;
    std::vector<double> scanSeconds;
    std::vector<double> findSeconds;
    bool reusedAll = false;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Measured measure(int fileCount, int repetitions) {
    Measured measured;
    measured.files = fileCount;
    char templ[] = "/tmp/sorvik-rescan-XXXXXX";
    if (!::mkdtemp(templ)) std::exit(1);
    const fs::path base = fs::canonical(templ);
    const fs::path src = base / "src";
    // Small files: texts and images, 100 per folder, 1000 per named project folder.
    for (int i = 0; i < fileCount; ++i) {
        const fs::path folder = src / ("项目" + std::to_string(i / 1000)) / ("batch" + std::to_string(i / 100));
        if (i % 100 == 0) fs::create_directories(folder);
        if (i % 2 == 0)
            write(folder / ("copy" + std::to_string(i) + ".txt"), "夏日新品 " + std::to_string(i) + "\n正文");
        else write(folder / ("image" + std::to_string(i) + ".png"), tinyPNG());
    }

    Repository repository(base / "Library");
    const SourceFolder source = SourceFolder::make(src);
    // The limit is raised to the count here only; the app keeps its own.
    const auto scan = [&](const std::vector<SourceFolder>& sources, const std::vector<IndexedAsset>& previous) {
        return FolderIndexer::scan(sources, previous, {repository.root() / "files"}, repository.root(), false,
                                   std::max(20000, fileCount), [](const std::string&) {});
    };
    const ScanResult first = scan({source}, {});
    WorkspaceState state;
    state.sources = {source};
    state.assets = first.assets;
    repository.saveWorkspace(state);
    const WorkspaceState loaded = repository.loadWorkspace();

    ScanResult warm;
    const std::string find = "find '" + src.string() + "' -type f -printf '%s %T@ %i\\n' > /dev/null";
    for (int r = 0; r < repetitions; ++r) {
        const double scanSeconds = bestSeconds([&] { warm = scan(loaded.sources, loaded.assets); });
        const double findSeconds = bestSeconds([&] {
            if (std::system(find.c_str()) != 0) std::fprintf(stderr, "find failed\n");
        });
        std::printf("%d files, repetition %d: warm rescan %.1f ms, find %.1f ms, ratio %.2f\n", fileCount, r + 1,
                    scanSeconds * 1000, findSeconds * 1000, scanSeconds / findSeconds);
        std::fflush(stdout);
        measured.scanSeconds.push_back(scanSeconds);
        measured.findSeconds.push_back(findSeconds);
    }
    std::printf("%d files: first scan inspected %lld; warm rescan reused %lld, inspected %lld, moved %lld\n", fileCount,
                static_cast<long long>(first.inspectedCount), static_cast<long long>(warm.reusedCount),
                static_cast<long long>(warm.inspectedCount), static_cast<long long>(warm.movedCount));
    measured.reusedAll = warm.reusedCount == fileCount && warm.inspectedCount == 0;
    std::error_code ec;
    fs::remove_all(base, ec);
    return measured;
}

}  // namespace

int main(int argc, char** argv) {
    // As the app does, whose timer rescans.
    FolderIndexer::keepLargeBlocksInHeap();
    std::vector<int> counts;
    int repetitions = defaultRepetitions;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.starts_with("--files=")) {
            for (std::size_t at = 8; at < arg.size();) {
                const std::size_t comma = std::min(arg.find(',', at), arg.size());
                counts.push_back(std::max(1, std::atoi(arg.substr(at, comma - at).c_str())));
                at = comma + 1;
            }
        } else if (!arg.empty() && arg[0] != '-') {
            repetitions = std::max(1, std::atoi(arg.c_str()));
        } else {
            std::fprintf(stderr, "usage: RescanBenchmark [--files=N[,N...]] [repetitions]\n");
            return 2;
        }
    }
    if (counts.empty()) counts = {20000, 100000};
    std::sort(counts.begin(), counts.end());

    std::vector<Measured> all;
    for (const int count : counts) all.push_back(measure(count, repetitions));

    bool ok = true;
    for (const Measured& m : all) {
        std::vector<double> ratios;
        for (std::size_t r = 0; r < m.scanSeconds.size(); ++r) ratios.push_back(m.scanSeconds[r] / m.findSeconds[r]);
        std::sort(ratios.begin(), ratios.end());
        std::printf(
            "%d files: warm rescan %.1f ms, find %.1f ms (medians of %d); ratio median %.2f, worst %.2f "
            "(target: worst at most %.2f)\n",
            m.files, median(m.scanSeconds) * 1000, median(m.findSeconds) * 1000, repetitions, ratios[ratios.size() / 2],
            ratios.back(), ratioTarget);
        if (!m.reusedAll) {
            std::printf("FAILED: at %d files not every file was reused\n", m.files);
            ok = false;
        }
    }
    // The cost per file at each larger count against the smallest: 1.00 is linear.
    const Measured& smallest = all.front();
    for (std::size_t k = 1; k < all.size(); ++k) {
        const Measured& m = all[k];
        const double scanGrowth = (median(m.scanSeconds) / m.files) / (median(smallest.scanSeconds) / smallest.files);
        const double findGrowth = (median(m.findSeconds) / m.files) / (median(smallest.findSeconds) / smallest.files);
        std::printf("time per file, %d against %d files: warm rescan %.2f, find %.2f (target: rescan at most %.2f)\n",
                    m.files, smallest.files, scanGrowth, findGrowth, perFileGrowthTarget);
    }
    return ok ? 0 : 1;
}
