// Warm rescan of an unchanged tree after a save and reload of the library, against
// `find SRC -type f -printf '%s %T@ %i\n'` over the same tree. Several repetitions, each the
// best of a few rounds of both, alternated; prints the median and the worst ratio.
// Usage: RescanBenchmark [repetitions]
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

constexpr int fileCount = 20000;
constexpr int rounds = 5;
constexpr int defaultRepetitions = 7;

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

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : defaultRepetitions;
    char templ[] = "/tmp/sorvik-rescan-XXXXXX";
    if (!::mkdtemp(templ)) return 1;
    const fs::path base = fs::canonical(templ);
    const fs::path src = base / "src";
    // 20,000 small files: texts and images, 100 per folder, in named project folders.
    for (int i = 0; i < fileCount; ++i) {
        const fs::path folder = src / ("项目" + std::to_string(i / 1000)) / ("batch" + std::to_string(i / 100));
        if (i % 100 == 0) fs::create_directories(folder);
        if (i % 2 == 0)
            write(folder / ("copy" + std::to_string(i) + ".txt"), "夏日新品 " + std::to_string(i) + "\n正文");
        else write(folder / ("image" + std::to_string(i) + ".png"), tinyPNG());
    }

    Repository repository(base / "Library");
    const SourceFolder source = SourceFolder::make(src);
    const auto scan = [&](const std::vector<SourceFolder>& sources, const std::vector<IndexedAsset>& previous) {
        return FolderIndexer::scan(sources, previous, {repository.root() / "files"}, repository.root(), false, 20000,
                                   [](const std::string&) {});
    };
    const ScanResult first = scan({source}, {});
    WorkspaceState state;
    state.sources = {source};
    state.assets = first.assets;
    repository.saveWorkspace(state);
    const WorkspaceState loaded = repository.loadWorkspace();

    ScanResult warm;
    const std::string find = "find '" + src.string() + "' -type f -printf '%s %T@ %i\\n' > /dev/null";
    std::vector<double> ratios;
    double scanTotal = 0;
    double findTotal = 0;
    for (int r = 0; r < repetitions; ++r) {
        const double scanSeconds = bestSeconds([&] { warm = scan(loaded.sources, loaded.assets); });
        const double findSeconds = bestSeconds([&] {
            if (std::system(find.c_str()) != 0) std::fprintf(stderr, "find failed\n");
        });
        std::printf("repetition %d: warm rescan %.1f ms, find %.1f ms, ratio %.2f\n", r + 1, scanSeconds * 1000,
                    findSeconds * 1000, scanSeconds / findSeconds);
        ratios.push_back(scanSeconds / findSeconds);
        scanTotal += scanSeconds;
        findTotal += findSeconds;
    }
    std::sort(ratios.begin(), ratios.end());

    std::printf("files: %d, first scan inspected %lld\n", fileCount, static_cast<long long>(first.inspectedCount));
    std::printf("warm rescan: reused %lld, inspected %lld, moved %lld\n", static_cast<long long>(warm.reusedCount),
                static_cast<long long>(warm.inspectedCount), static_cast<long long>(warm.movedCount));
    std::printf("warm rescan %.1f ms, find %.1f ms (means of %d repetitions)\n", scanTotal / repetitions * 1000,
                findTotal / repetitions * 1000, repetitions);
    std::printf("ratio median %.2f, worst %.2f (target: worst at most 2.00)\n", ratios[ratios.size() / 2],
                ratios.back());
    std::error_code ec;
    fs::remove_all(base, ec);
    const bool ok = warm.reusedCount == fileCount && warm.inspectedCount == 0;
    if (!ok) std::printf("FAILED: not every file was reused\n");
    return ok ? 0 : 1;
}
