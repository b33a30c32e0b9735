#pragma once
// What the app's benchmarks share: platform seams that need no display and a probe of the GUI
// thread's event loop.
#include <time.h>

#include <QElapsedTimer>
#include <QtGlobal>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "Sorvik/Stores/Platform.hpp"

namespace sorvik::bench {

/// Qt's offscreen platform, on a screen larger than every window and sheet as drawn (they fit
/// themselves to smaller screens).
inline void useOffscreenPlatform() { qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" SORVIK_OFFSCREEN_SCREENS); }

/// Choosers answer with `destination` (or cancel without one); nothing reaches the desktop.
class BenchmarkPlatform : public app::Platform {
public:
    std::filesystem::path destination;
    std::vector<std::filesystem::path> choose(const app::ChooserRequest&) override {
        if (destination.empty()) return {};
        return {destination};
    }
    void copyText(const std::string&) override {}
    void reveal(const std::filesystem::path&, std::function<void()>) override {}
    void open(const std::filesystem::path&, std::function<void()>) override {}
    app::UnsavedQuitChoice askUnsavedQuit(const app::UnsavedQuitRequest&) override {
        return app::UnsavedQuitChoice::quitWithoutSaving;
    }
    Date now() override { return Date::now(); }
};

/// CPU time of the calling thread in milliseconds.
inline double threadMilliseconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

/// Ticks of a short repeating timer on the GUI thread: the longest gap between two ticks, and the
/// most CPU time the thread spent within one gap (the part that is the app's own work).
struct Probe {
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    double lastCPU = 0;
    double longestWork = 0;
    void tick() {
        const qint64 now = clock.elapsed();
        const double cpu = threadMilliseconds();
        if (last > 0) {
            longest = std::max(longest, now - last);
            longestWork = std::max(longestWork, cpu - lastCPU);
        }
        last = now;
        lastCPU = cpu;
    }
};

}  // namespace sorvik::bench
