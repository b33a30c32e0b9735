// First scan of 2,000 new images and short videos, inspected on one thread and on all of them.
// Prints both times and the speed-up; the two results must be the same.
#include <chrono>
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
constexpr int baseImages = 6;

bool run(const std::string& command) {
    if (std::system(command.c_str()) == 0) return true;
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    return false;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/// The base images: JPEGs and PNGs of a few sizes, made by vips.
bool makeBaseImages(const fs::path& folder) {
    const std::string at = "cd '" + folder.string() + "' && ";
    return run(at + "vips xyz xyz.v 800 600 && vips gaussnoise noise.v 640 480 && "
                    "vips cast xyz.v xyz8.v uchar && vips cast noise.v noise8.v uchar && "
                    "vips copy xyz8.v base0.jpg && vips copy noise8.v base1.jpg && vips copy xyz8.v base2.png && "
                    "vips copy noise8.v base3.png && vips resize noise8.v base4.jpg 1.5 && vips resize xyz8.v base5.png 0.5");
}

/// The scan's assets as JSON, fresh identifiers replaced by positions, and its counters.
std::string comparable(const ScanResult& result) {
    std::string out;
    for (std::size_t i = 0; i < result.assets.size(); ++i) {
        std::string text = json::dumpCompact(coding::encode(result.assets[i]));
        const std::string id = result.assets[i].id().string();
        for (std::size_t at; (at = text.find(id)) != std::string::npos;) text.replace(at, id.size(), std::to_string(i));
        out += text + "\n";
    }
    out += std::to_string(result.inspectedCount) + " " + std::to_string(result.sourceErrors.size());
    return out;
}

}  // namespace

int main() {
    char templ[] = "/tmp/sorvik-firstscan-XXXXXX";
    if (!::mkdtemp(templ)) return 1;
    const fs::path base = fs::canonical(templ);
    const fs::path work = base / "work", src = base / "src", library = base / "Library";
    fs::create_directories(work);
    fs::create_directories(library);

    const auto generationStart = std::chrono::steady_clock::now();
    if (!makeBaseImages(work)) return 1;
    // Each copy differs by the bytes after the image's end, which decoders ignore.
    std::vector<std::string> images;
    for (int b = 0; b < baseImages; ++b) {
        const std::string ext = b == 2 || b == 3 || b == 5 ? ".png" : ".jpg";
        images.push_back(readAll(work / ("base" + std::to_string(b) + ext)));
    }
    for (int i = 0; i < imageCount; ++i) {
        const int b = i % baseImages;
        const std::string ext = b == 2 || b == 3 || b == 5 ? ".png" : ".jpg";
        const fs::path folder = src / ("批次" + std::to_string(i / 100));
        if (i % 100 == 0) fs::create_directories(folder);
        std::ofstream out(folder / ("image" + std::to_string(i) + ext), std::ios::binary);
        out << images[b] << "copy " << i;
    }
    // Short clips, each encoded by ffmpeg with its own content, four at a time.
    fs::create_directories(src / "视频");
    const std::string clips = "seq 0 " + std::to_string(videoCount - 1) +
                              " | xargs -P 4 -I{} ffmpeg -nostdin -loglevel error -f lavfi "
                              "-i 'testsrc=size=160x120:rate=10:duration=0.5' -vf 'hue=h={},format=yuv420p' "
                              "-c:v libx264 -preset ultrafast '" +
                              (src / "视频").string() + "/clip{}.mp4'";
    if (!run(clips)) return 1;
    const double generationSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - generationStart).count();

    const SourceFolder source = SourceFolder::make(src);
    const auto scan = [&](unsigned threads, double& seconds) {
        const auto start = std::chrono::steady_clock::now();
        ScanResult result = FolderIndexer::scan({source}, {}, {library / "files"}, library, false, 20000,
                                                [](const std::string&) {}, {}, threads);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return result;
    };
    double warmup = 0, serialSeconds = 0, parallelSeconds = 0;
    scan(0, warmup);  // file contents into the page cache, libraries loaded
    const ScanResult serial = scan(1, serialSeconds);
    const ScanResult parallel = scan(0, parallelSeconds);

    std::size_t failedInspections = 0;
    for (const IndexedAsset& asset : serial.assets)
        if (asset.file.inspectionError) ++failedInspections;
    std::printf("generated %d images and %d videos in %.1f s; %u cores\n", imageCount, videoCount,
                generationSeconds, std::thread::hardware_concurrency());
    std::printf("inspected %lld, with an inspection error %zu\n", static_cast<long long>(serial.inspectedCount),
                failedInspections);
    std::printf("first scan: one thread %.0f ms, all threads %.0f ms, speed-up %.2f (target at least 4.00 on 8 cores)\n",
                serialSeconds * 1000, parallelSeconds * 1000, serialSeconds / parallelSeconds);
    const bool same = comparable(serial) == comparable(parallel);
    const bool ok = same && serial.inspectedCount == imageCount + videoCount && failedInspections == 0;
    std::error_code ec;
    fs::remove_all(base, ec);
    if (!same) std::printf("FAILED: the results differ\n");
    if (!ok && same) std::printf("FAILED: not every file was inspected cleanly\n");
    return ok ? 0 : 1;
}
