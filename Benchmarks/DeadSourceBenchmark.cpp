// The share of time the store is busy scanning while one of its sources sits on a mount that
// never answers: the timer's scans over 90 s (one every 30 s, as the app's timer runs them),
// each as long as the store's scan job, with and without the memory of what did not answer.
// The dead mount is a FUSE file system whose requests are never read; needs root.
// Usage: DeadSourceBenchmark [quiet limit in seconds, 10 by default]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/StallMemory.hpp"

using namespace sorvik;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int windowSeconds = 90;
constexpr int intervalSeconds = 30;

/// Seconds the store stays busy over the window: the sum of its timer scans.
double busySeconds(const std::vector<SourceFolder>& sources, const fs::path& library, std::chrono::milliseconds quiet,
                   StallMemory* memory) {
    double busy = 0;
    std::vector<IndexedAsset> previous;
    for (int beat = 0; beat < windowSeconds / intervalSeconds; ++beat) {
        const auto start = Clock::now();
        ScanResult result = FolderIndexer::scan(sources, previous, {}, library, false, 20000, {}, {}, 0, quiet, memory);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("  scan %d: %.3f s, %zu assets, %zu source errors\n", beat + 1, seconds, result.assets.size(),
                    result.sourceErrors.size());
        busy += seconds;
        previous = std::move(result.assets);
    }
    return busy;
}

}  // namespace

int main(int argc, char** argv) {
    const std::chrono::milliseconds quiet(1000 * (argc > 1 ? std::atoi(argv[1]) : 10));
    if (::geteuid() != 0) {
        std::printf("skipped: mounting needs root\n");
        return 0;
    }
    const fs::path root = fs::temp_directory_path() / ("sorvik-dead-source-" + std::to_string(::getpid()));
    const fs::path dead = root / "dead", healthy = root / "healthy", library = root / "library";
    fs::create_directories(dead);
    fs::create_directories(healthy);
    fs::create_directories(library);
    for (int i = 0; i < 200; ++i) std::ofstream(healthy / ("note_" + std::to_string(i) + ".txt")) << "note " << i;
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    const std::string options = "fd=" + std::to_string(fd) + ",rootmode=40000,user_id=0,group_id=0";
    if (fd < 0 ||
        ::mount("sorvik-dead", dead.c_str(), "fuse.sorvik-dead", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        std::printf("skipped: no FUSE mount here: %s\n", std::strerror(errno));
        return 0;
    }
    const std::vector<SourceFolder> sources{SourceFolder::make(dead), SourceFolder::make(healthy)};
    const std::vector<SourceFolder> healthyOnly{sources[1]};

    std::printf("healthy source alone:\n");
    const double alone = busySeconds(healthyOnly, library, quiet, nullptr);
    std::printf("dead source beside it, remembered:\n");
    StallMemory memory;
    const double remembered = busySeconds(sources, library, quiet, &memory);
    std::printf("dead source beside it, not remembered (each scan waits):\n");
    const double forgotten = busySeconds(sources, library, quiet, nullptr);

    const double quietSeconds = std::chrono::duration<double>(quiet).count();
    std::printf(
        "quiet limit %.0f s; busy over %d s: healthy %.2f s (%.1f%%), dead remembered %.2f s (%.1f%%), "
        "dead not remembered %.2f s (%.1f%%)\n",
        quietSeconds, windowSeconds, alone, 100 * alone / windowSeconds, remembered, 100 * remembered / windowSeconds,
        forgotten, 100 * forgotten / windowSeconds);
    std::printf("waits beyond a healthy scan: %.2f quiet limits (target <= 1.2)\n",
                (remembered - alone) / quietSeconds);

    ::umount2(dead.c_str(), MNT_DETACH);
    ::close(fd);  // the stuck walks return
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
