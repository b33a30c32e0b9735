// Inspects 1,000 generated JPEGs and 100 short MP4s and compares the rate with `vipsheader`
// (all JPEGs in one process) and `ffprobe` (one process per video, it takes one input).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchmarkSupport.hpp"
#include "SorvikCore/Inspector.hpp"

namespace fs = std::filesystem;
using namespace sorvik::bench;

namespace {

constexpr int imageCount = 1000;
constexpr int videoCount = 100;

std::vector<fs::path> filesWithExtension(const fs::path& dir, const std::string& ext) {
    std::vector<fs::path> out;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ext) out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

int main() {
    char pattern[] = "/tmp/sorvik-inspection-bench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const fs::path dir = pattern;
    const std::string d = quoted(dir.string());

    std::printf("generating %d JPEGs (1280x720) and %d MP4s (1 s, 640x360, H.264) in %s\n", imageCount, videoCount,
                dir.c_str());
    run("ffmpeg -v error -f lavfi -i testsrc2=size=1280x720:rate=25 -frames:v " + std::to_string(imageCount) +
        " -q:v 3 " + d + "/img_%04d.jpg");
    run("ffmpeg -v error -f lavfi -i testsrc2=size=640x360:rate=25 -t " + std::to_string(videoCount) +
        " -c:v libx264 -pix_fmt yuv420p -g 25 -force_key_frames 'expr:gte(t,n_forced)' -f segment"
        " -segment_time 1 -reset_timestamps 1 " +
        d + "/clip_%03d.mp4");
    const auto images = filesWithExtension(dir, ".jpg");
    const auto videos = filesWithExtension(dir, ".mp4");

    // Warm the page cache so every contender reads from memory.
    run("cat " + d + "/* > /dev/null");

    int errors = 0;
    auto start = Clock::now();
    for (const auto& path : images)
        if (sorvik::FileInspector::inspect(path, "", std::nullopt, false).inspectionError) ++errors;
    const double oursImages = seconds(start);
    start = Clock::now();
    for (const auto& path : videos)
        if (sorvik::FileInspector::inspect(path, "", std::nullopt, false).inspectionError) ++errors;
    const double oursVideos = seconds(start);

    std::string vipsCommand = "vipsheader";
    for (const auto& path : images) vipsCommand += " " + quoted(path.string());
    vipsCommand += " > /dev/null";
    start = Clock::now();
    run(vipsCommand);
    const double vipsheader = seconds(start);

    start = Clock::now();
    for (const auto& path : videos)
        run("ffprobe -v error -show_entries format=duration:stream=width,height -of csv=p=0 " + quoted(path.string()) +
            " > /dev/null");
    const double ffprobe = seconds(start);

    const double oursTotal = oursImages + oursVideos, toolsTotal = vipsheader + ffprobe;
    const auto rate = [](std::size_t n, double s) { return static_cast<double>(n) / s; };
    std::printf("files: %zu JPEG, %zu MP4; inspection errors: %d\n", images.size(), videos.size(), errors);
    std::printf("%-26s %10s %12s\n", "", "seconds", "files/s");
    std::printf("%-26s %10.3f %12.1f\n", "inspect JPEG", oursImages, rate(images.size(), oursImages));
    std::printf("%-26s %10.3f %12.1f\n", "vipsheader JPEG (1 proc)", vipsheader, rate(images.size(), vipsheader));
    std::printf("%-26s %10.3f %12.1f\n", "inspect MP4", oursVideos, rate(videos.size(), oursVideos));
    std::printf("%-26s %10.3f %12.1f\n", "ffprobe MP4 (1 per file)", ffprobe, rate(videos.size(), ffprobe));
    const std::size_t all = images.size() + videos.size();
    std::printf("%-26s %10.3f %12.1f\n", "inspect all", oursTotal, rate(all, oursTotal));
    std::printf("%-26s %10.3f %12.1f\n", "vipsheader + ffprobe", toolsTotal, rate(all, toolsTotal));
    std::printf("ratio JPEG  (inspect rate / vipsheader rate): %.2f\n", vipsheader / oursImages);
    std::printf("ratio MP4   (inspect rate / ffprobe rate):    %.2f\n", ffprobe / oursVideos);
    std::printf("ratio total (inspect rate / tools rate):      %.2f  (target >= 1)\n", toolsTotal / oursTotal);

    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return errors == 0 ? 0 : 1;
}
