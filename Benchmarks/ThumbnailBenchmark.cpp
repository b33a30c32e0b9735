// File previews on a grid of 2,000 mixed images (JPEG of two sizes, PNG, HEIC, WebP) scrolled one
// screen of 24 cards at a time: the loader's throughput against `vipsthumbnail` making the same
// cover-sized thumbnails, the longest time `picture()` takes on the calling (GUI) thread, and the
// cache's bytes. Then the first screen of an overview (JPEG, HEIC and video cards) filled by the
// loader against decoding the same files one after another on one thread.
//
//   ThumbnailBenchmark [--first-screen]   (only the first screen)
#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "BenchmarkSupport.hpp"
#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"

namespace fs = std::filesystem;
using namespace sorvik::bench;
using namespace sorvik;
using namespace sorvik::app;

namespace {

constexpr int screenCards = 24;
const QSize cardPixels(300, 220);  // an overview card's picture at a pixel ratio of 1

std::vector<fs::path> files(const fs::path& dir, const std::string& prefix) {
    std::vector<fs::path> out;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().starts_with(prefix)) out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

DeliveryFile record(const fs::path& path, std::optional<double> duration = std::nullopt) {
    DeliveryFile file(UUID::make(), path.filename().string(), "files/" + path.filename().string(), FileRole::cover, 1,
                      "");
    file.duration = duration;
    file.reference = FileReference{path.string(), std::nullopt, std::nullopt, Date{1000}};
    return file;
}

struct Timing {
    double longest = 0;     // wall-clock time
    double longestCpu = 0;  // time on the CPU: what the call itself did, without being descheduled
    long calls = 0;
    long overMillisecond = 0;
};

double threadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

/// Asks for every card of the screen as a paint pass does, timing each call.
int paint(ThumbnailLoader& loader, const std::vector<DeliveryFile>& cards, std::size_t first, Timing& timing) {
    int shown = 0;
    for (std::size_t i = first; i < std::min(cards.size(), first + screenCards); ++i) {
        const fs::path location(cards[i].reference->path);
        const double cpuStart = threadCpuSeconds();
        const auto start = Clock::now();
        const QImage picture = loader.picture(cards[i], location, cardPixels);
        const double took = seconds(start);
        timing.longestCpu = std::max(timing.longestCpu, threadCpuSeconds() - cpuStart);
        timing.longest = std::max(timing.longest, took);
        timing.overMillisecond += took > 0.001;
        ++timing.calls;
        shown += !picture.isNull();
    }
    return shown;
}

/// Scrolls through the grid one screen at a time, each screen repainted on every finished
/// picture until it is full. Seconds for the whole grid; `missing` counts cards left empty.
double scroll(ThumbnailLoader& loader, const std::vector<DeliveryFile>& cards, Timing& timing, int& missing) {
    bool repaint = false;
    const auto connection = QObject::connect(&loader, &ThumbnailLoader::pictureReady, [&] { repaint = true; });
    const auto start = Clock::now();
    for (std::size_t first = 0; first < cards.size(); first += screenCards) {
        const int wanted = int(std::min<std::size_t>(screenCards, cards.size() - first));
        int shown = 0;
        while ((shown = paint(loader, cards, first, timing)) < wanted && loader.hasWork()) {
            repaint = false;
            while (!repaint && loader.hasWork()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        missing += wanted - shown;
    }
    QObject::disconnect(connection);
    return seconds(start);
}

long peakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

/// The first screen of an overview (12 JPEG, 6 HEIC and 6 video cards) filled by a fresh loader,
/// against decoding the same files one after another on one thread.
void firstScreen(const fs::path& dir, int& missing) {
    std::vector<DeliveryFile> screen;
    for (int i = 0; i < 12; ++i) screen.push_back(record(files(dir, "a_")[size_t(i) * 50 + 7]));
    for (int i = 0; i < 6; ++i) screen.push_back(record(files(dir, "d_")[size_t(i) * 20 + 3]));
    for (const auto& path : files(dir, "f_video_")) {
        if (screen.size() == screenCards) break;
        screen.push_back(record(path, 2.0));
    }
    std::vector<double> alone, loaded;
    for (int run = 0; run < 3; ++run) {
        auto start = Clock::now();
        for (const auto& card : screen)
            (void)decodeThumbnail(ThumbnailJob{thumbnailLoadKey(card), card.id, card.reference->path, std::nullopt,
                                               thumbnailSources(card), thumbnailSizeClass(cardPixels)});
        alone.push_back(seconds(start));
        ThumbnailLoader fresh;
        Timing timing;
        loaded.push_back(scroll(fresh, screen, timing, missing));
    }
    const double oneThread = *std::min_element(alone.begin(), alone.end());
    const double filled = *std::min_element(loaded.begin(), loaded.end());
    std::printf(
        "first screen (12 JPEG, 6 HEIC, 6 video; best of 3): loader %.3f s, one thread in a row %.3f s,"
        " ratio %.2f\n",
        filled, oneThread, oneThread / filled);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    char pattern[] = "/tmp/sorvik-thumbnail-bench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const fs::path dir = pattern;
    const std::string d = quoted(dir.string());
    const auto video = [&] {
        run("cd " + d +
            " && ffmpeg -v error -f lavfi -i testsrc2=s=1920x1080:r=25 -t 24 -c:v libx264 -pix_fmt yuv420p"
            " -g 25 -force_key_frames 'expr:gte(t,n_forced)' -f segment -segment_time 2 -reset_timestamps 1"
            " f_video_%02d.mp4");
    };
    int missing = 0;
    if (argc > 1 && std::string(argv[1]) == "--first-screen") {
        // Only what the first screen shows.
        run("cd " + d +
            " && ffmpeg -v error -f lavfi -i testsrc2=s=1920x1080:r=25 -frames:v 600 -q:v 3 a_jpeg_%04d.jpg");
        run("cd " + d +
            " && ffmpeg -v error -f lavfi -i testsrc=s=1280x720:r=25 -frames:v 120 c_png_%04d.png"
            " && ls c_png_0*.png | sed 's/\\.png$//' | xargs -P8 -I{} vips copy {}.png d_heic_{}.heic");
        video();
        run("cat " + d + "/* > /dev/null");
        firstScreen(dir, missing);
        fs::remove_all(dir);
        return missing == 0 ? 0 : 1;
    }

    std::printf("generating 2,000 images in %s\n", dir.c_str());
    run("cd " + d + " && ffmpeg -v error -f lavfi -i testsrc2=s=1920x1080:r=25 -frames:v 1000 -q:v 3 a_jpeg_%04d.jpg");
    run("cd " + d + " && ffmpeg -v error -f lavfi -i testsrc2=s=4032x3024:r=25 -frames:v 300 -q:v 3 b_phone_%04d.jpg");
    run("cd " + d + " && ffmpeg -v error -f lavfi -i testsrc=s=1280x720:r=25 -frames:v 700 c_png_%04d.png");
    // HEIC and WebP made from 400 of the PNGs, eight at a time.
    run("cd " + d +
        " && ls c_png_0*.png | head -250 | sed 's/\\.png$//' | xargs -P8 -I{} vips copy {}.png d_heic_{}.heic"
        " && ls c_png_0*.png | tail -150 | sed 's/\\.png$//' | xargs -P8 -I{} vips copy {}.png e_webp_{}.webp"
        " && ls c_png_0*.png | head -400 | xargs rm");
    video();
    std::vector<fs::path> grid;
    for (const char* prefix : {"a_", "b_", "c_", "d_", "e_"})
        for (const auto& path : files(dir, prefix)) grid.push_back(path);
    // Mixed as a library grid would be.
    std::vector<DeliveryFile> cards;
    for (std::size_t i = 0; i < grid.size(); ++i) cards.push_back(record(grid[(i * 7919) % grid.size()]));
    run("cat " + d + "/* > /dev/null");  // every contender reads from memory

    ThumbnailLoader loader;
    Timing timing;
    const double ours = scroll(loader, cards, timing, missing);

    const fs::path out = dir / "out";
    fs::create_directories(out);
    const std::string size = std::to_string(cardPixels.width()) + "x" + std::to_string(cardPixels.height());
    {
        std::ofstream list(dir / "list.txt");
        for (const auto& path : grid) list << path.string() << "\n";
    }
    auto start = Clock::now();
    run("cd " + d + " && xargs -d '\\n' vipsthumbnail --size " + size + " --smartcrop centre -o " +
        quoted(out.string()) + "/%s.v < list.txt");
    const double vipsOne = seconds(start);
    fs::remove_all(out);
    fs::create_directories(out);
    start = Clock::now();
    run("cd " + d + " && xargs -d '\\n' -n 25 -P " + std::to_string(loader.threadCount()) + " vipsthumbnail --size " +
        size + " --smartcrop centre -o " + quoted(out.string()) + "/%s.v < list.txt");
    const double vipsParallel = seconds(start);

    const auto rate = [&](double s) { return double(grid.size()) / s; };
    std::printf(
        "grid: %zu images (1000 JPEG 1920x1080, 300 JPEG 4032x3024, 300 PNG 1280x720, 250 HEIC, 150 WebP),"
        " cards of %dx%d px, %d per screen\n",
        grid.size(), cardPixels.width(), cardPixels.height(), screenCards);
    std::printf("%-44s %9s %10s\n", "", "seconds", "images/s");
    std::printf("%-44s %9.3f %10.1f\n",
                ("loader, " + std::to_string(loader.threadCount()) + " low-priority threads").c_str(), ours,
                rate(ours));
    std::printf("%-44s %9.3f %10.1f\n", "vipsthumbnail, one process", vipsOne, rate(vipsOne));
    std::printf("%-44s %9.3f %10.1f\n",
                ("vipsthumbnail, " + std::to_string(loader.threadCount()) + " processes").c_str(), vipsParallel,
                rate(vipsParallel));
    std::printf("ratio loader rate / vipsthumbnail one process:  %.2f\n", vipsOne / ours);
    std::printf("ratio loader rate / vipsthumbnail %d processes:  %.2f\n", loader.threadCount(), vipsParallel / ours);
    std::printf(
        "longest picture() call on the calling thread: %.3f ms over %ld calls, %ld over 1 ms;"
        " longest on the CPU %.3f ms (%d cards left without a picture)\n",
        timing.longest * 1000, timing.calls, timing.overMillisecond, timing.longestCpu * 1000, missing);
    std::printf("cache: %.1f MB held, limit %.1f MB; peak memory of the process %.1f MB\n",
                double(loader.cacheBytes()) / (1 << 20), double(loader.cacheLimit()) / (1 << 20),
                double(peakKilobytes()) / 1024);

    firstScreen(dir, missing);

    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return missing == 0 ? 0 : 1;
}
