// First scan of 2,000 new images and short videos, inspected on one thread and on all of them,
// for two kinds of image: full-size pictures as the tools and cameras make them, and small
// ones (icons, thumbnails). Prints the times and speed-ups; the two results must be the same.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/Json.hpp"

using namespace sorvik;
namespace fs = std::filesystem;

namespace {

constexpr int imageCount = 1800;
constexpr int videoCount = 200;

bool run(const std::string& command) {
    if (std::system(command.c_str()) == 0) return true;
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    return false;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/// Runs the vips commands in `folder` and gives the names of the base images they made, or
/// nothing when a command fails.
std::vector<std::string> makeBases(const fs::path& folder, const std::string& commands,
                                   std::vector<std::string> names) {
    if (!run("cd '" + folder.string() + "' && " + commands)) return {};
    return names;
}

/// Smooth colour fields like generated artwork, with a little grain for the photographs.
std::vector<std::string> makeFullSizeBases(const fs::path& folder) {
    return makeBases(
        folder,
        "vips perlin p1.v 2048 1536 --cell-size 96 --uchar --seed 1 && "
        "vips perlin p2.v 2048 1536 --cell-size 96 --uchar --seed 2 && "
        "vips perlin p3.v 2048 1536 --cell-size 96 --uchar --seed 3 && "
        "vips bandjoin 'p1.v p2.v p3.v' smooth.v && vips gaussnoise grain.v 2048 1536 --sigma 6 --mean 0 && "
        "vips add smooth.v grain.v grainy.v && vips cast grainy.v photo.v uchar && "
        "vips copy photo.v photo.jpg[Q=88] && "
        "vips extract_area smooth.v art.v 0 0 1024 1024 && vips copy art.v art.png && "
        "vips extract_area smooth.v screen.v 0 0 1280 720 && vips copy screen.v screen.png && "
        "vips resize photo.v frame.v 0.625 && vips copy frame.v frame.jpg[Q=85] && "
        "vips extract_area photo.v poster.v 0 0 1080 1350 && vips copy poster.v poster.jpg[Q=90] && "
        "vips extract_area smooth.v web.v 100 100 768 768 && vips copy web.v web.webp",
        {"art.png", "frame.jpg", "photo.jpg", "poster.jpg", "screen.png", "web.webp"});
}

std::vector<std::string> makeSmallBases(const fs::path& folder) {
    return makeBases(folder,
                     "vips xyz xyz.v 800 600 && vips gaussnoise noise.v 640 480 && "
                     "vips cast xyz.v xyz8.v uchar && vips cast noise.v noise8.v uchar && "
                     "vips copy xyz8.v small0.jpg && vips copy noise8.v small1.jpg && vips copy xyz8.v small2.png && "
                     "vips copy noise8.v small3.png && vips resize noise8.v small4.jpg 1.5 && "
                     "vips resize xyz8.v small5.png 0.5",
                     {"small0.jpg", "small1.jpg", "small2.png", "small3.png", "small4.jpg", "small5.png"});
}

/// A source tree of imageCount copies of the bases, in folders of 100, and the clips linked in.
bool makeTree(const fs::path& work, const std::vector<std::string>& bases, const fs::path& clips,
              const fs::path& tree) {
    std::vector<std::string> contents;
    for (const std::string& base : bases) contents.push_back(readAll(work / base));
    for (int i = 0; i < imageCount; ++i) {
        const std::size_t b = static_cast<std::size_t>(i) % bases.size();
        const fs::path folder = tree / ("批次" + std::to_string(i / 100));
        if (i % 100 == 0) fs::create_directories(folder);
        // Each copy differs by the bytes after the image's end, which decoders ignore.
        std::ofstream out(folder / ("image" + std::to_string(i) + fs::path(bases[b]).extension().string()),
                          std::ios::binary);
        out << contents[b] << "copy " << i;
        if (!out) return false;
    }
    fs::create_directories(tree / "视频");
    for (const auto& clip : fs::directory_iterator(clips))
        fs::create_hard_link(clip.path(), tree / "视频" / clip.path().filename());
    return true;
}

/// The scan's assets as JSON, fresh identifiers replaced by positions, and its counters.
std::string comparable(const ScanResult& result) {
    std::string out;
    for (std::size_t i = 0; i < result.assets.size(); ++i) {
        std::string text = coding::text(result.assets[i]);
        const std::string id = result.assets[i].id().string();
        for (std::size_t at; (at = text.find(id)) != std::string::npos;) text.replace(at, id.size(), std::to_string(i));
        out += text + "\n";
    }
    out += std::to_string(result.inspectedCount) + " " + std::to_string(result.sourceErrors.size());
    return out;
}

struct Outcome {
    double serialSeconds = 0;
    double parallelSeconds = 0;
    bool ok = false;
};

/// Scans the tree once to warm the page cache and the libraries, then on one thread and on all
/// threads, twice each, keeping the faster run of each.
Outcome measure(const fs::path& tree, const fs::path& library) {
    const SourceFolder source = SourceFolder::make(tree);
    const auto scan = [&](unsigned threads, double& best) {
        const auto start = std::chrono::steady_clock::now();
        ScanResult result = FolderIndexer::scan(
            {source}, {}, {library / "files"}, library, false, 20000, [](const std::string&) {}, {}, threads);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        return result;
    };
    double warmup = 1e9;
    scan(0, warmup);
    Outcome outcome;
    outcome.serialSeconds = outcome.parallelSeconds = 1e9;
    ScanResult serial, parallel;
    for (int round = 0; round < 2; ++round) {
        serial = scan(1, outcome.serialSeconds);
        parallel = scan(0, outcome.parallelSeconds);
    }
    std::size_t failedInspections = 0;
    for (const IndexedAsset& asset : serial.assets)
        if (asset.file.inspectionError) ++failedInspections;
    const bool same = comparable(serial) == comparable(parallel);
    outcome.ok = same && serial.inspectedCount == imageCount + videoCount && failedInspections == 0;
    if (!same) std::printf("FAILED: the results differ\n");
    if (same && !outcome.ok)
        std::printf("FAILED: %lld inspected, %zu with an inspection error\n",
                    static_cast<long long>(serial.inspectedCount), failedInspections);
    return outcome;
}

}  // namespace

int main() {
    char templ[] = "/tmp/sorvik-firstscan-XXXXXX";
    if (!::mkdtemp(templ)) return 1;
    const fs::path base = fs::canonical(templ);
    const fs::path work = base / "work", clips = base / "clips", library = base / "Library";
    fs::create_directories(work);
    fs::create_directories(clips);
    fs::create_directories(library);
    const auto cleanUp = [&] {
        std::error_code ec;
        fs::remove_all(base, ec);
    };

    const auto generationStart = std::chrono::steady_clock::now();
    const std::vector<std::string> fullSize = makeFullSizeBases(work), small = makeSmallBases(work);
    // Short clips, each encoded by ffmpeg with its own content, four at a time.
    const std::string encode = "seq 0 " + std::to_string(videoCount - 1) +
                               " | xargs -P 4 -I{} ffmpeg -nostdin -loglevel error -f lavfi "
                               "-i 'testsrc=size=160x120:rate=10:duration=0.5' -vf 'hue=h={},format=yuv420p' "
                               "-c:v libx264 -preset ultrafast '" +
                               clips.string() + "/clip{}.mp4'";
    if (fullSize.empty() || small.empty() || !run(encode) || !makeTree(work, fullSize, clips, base / "full") ||
        !makeTree(work, small, clips, base / "small")) {
        cleanUp();
        return 1;
    }
    std::printf("generated 2 x (%d images and %d videos) in %.1f s; %u cores\n", imageCount, videoCount,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - generationStart).count(),
                std::thread::hardware_concurrency());

    bool ok = true;
    const auto report = [&](const char* label, const std::vector<std::string>& bases, const fs::path& tree,
                            const char* target) {
        std::uintmax_t smallest = UINTMAX_MAX, largest = 0;
        for (const std::string& name : bases) {
            smallest = std::min(smallest, fs::file_size(work / name));
            largest = std::max(largest, fs::file_size(work / name));
        }
        const Outcome outcome = measure(tree, library);
        std::printf("first scan, %s (%ju-%ju KB): one thread %.0f ms, all threads %.0f ms, speed-up %.2f%s\n", label,
                    smallest / 1024, largest / 1024, outcome.serialSeconds * 1000, outcome.parallelSeconds * 1000,
                    outcome.serialSeconds / outcome.parallelSeconds, target);
        ok = ok && outcome.ok;
    };
    report("full-size images", fullSize, base / "full", " (target at least 4.00 on 8 cores)");
    // Small images cost little to decode, so libvips's per-image setup, which takes its global
    // locks, is most of their work: they show how far those locks hold the scan back.
    report("small images", small, base / "small", "");
    cleanUp();
    return ok ? 0 : 1;
}
