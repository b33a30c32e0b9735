// Start-up of the desktop app on a library of 20,000 assets in 500 projects, to its first shown
// window, against `sorvik-agent projects` on the same library, both as whole processes.
// Target: at most 1.3x. Each figure is the median of several runs with the file in the page cache.
//
//   AppStartupBenchmark [--runs=N]
//   AppStartupBenchmark --write-library DIR   (only writes the library, for profiling)
//
// The app side is this program started again with "--child LIBRARY": it builds the app exactly
// as `sorvik` does (offscreen), shows the main window and ends the moment the window is exposed.
#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "AppBenchmarkSupport.hpp"
#include "GeneratedLibrary.hpp"
#include "Sorvik/App/SorvikApp.hpp"
#include "Sorvik/Stores/LibraryPreload.hpp"
#include "SorvikCore/Repository.hpp"

using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::bench;
namespace fs = std::filesystem;

namespace {

void writeLibrary(const fs::path& library) {
    const Repository repository(library);
    WorkspaceState state = generateLibrary();
    // Nothing to scan at start: the benchmark times loading and the first window only.
    state.sources.clear();
    repository.saveWorkspace(state);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int child(int argc, char** argv, const fs::path& library) {
    // As the app's main does: the library is read while Qt starts and the window is built.
    LibraryChoice choice{library, {}};
    choice.preload = std::make_shared<LibraryPreload>(library);
    bench::useOffscreenPlatform();
    QApplication app(argc, argv);
    SorvikApp sorvik(app, choice, std::make_unique<MemoryPreferenceStorage>(), AppLocations{});
    sorvik.showMainWindow();
    QElapsedTimer waited;
    waited.start();
    while (!(sorvik.mainWindow().windowHandle() && sorvik.mainWindow().windowHandle()->isExposed())) {
        if (waited.elapsed() > 30000) return 1;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    // The first shown window is the end of start-up: leave without tearing anything down.
    std::fflush(stdout);
    ::_exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--child") return child(argc, argv, argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--write-library") {
        writeLibrary(argv[2]);
        return 0;
    }
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.starts_with("--runs=")) {
            runs = std::max(1, std::atoi(a.c_str() + 7));
        } else {
            std::fprintf(stderr, "usage: AppStartupBenchmark [--runs=N]\n");
            return 2;
        }
    }
    const fs::path root = fs::temp_directory_path() / ("sorvik-startup-benchmark-" + std::to_string(::getpid()));
    const fs::path library = root / "Library";
    writeLibrary(library);
    std::printf("library: %zu assets in %zu projects; workspace.json %.1f MB\n", projectCount * filesPerProject,
                projectCount, double(fs::file_size(library / "workspace.json")) / 1e6);
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    // Warm the page cache and the shared libraries of both programs.
    spawn({SORVIK_AGENT_PATH, "--data-dir", library.string(), "projects"}, false);
    spawn({self, "--child", library.string()}, false);
    std::vector<double> agent, app;
    for (int i = 0; i < runs; ++i) {
        const Run a = spawn({SORVIK_AGENT_PATH, "--data-dir", library.string(), "projects"}, false);
        const Run b = spawn({self, "--child", library.string()}, false);
        if (a.status != 0 || b.status != 0) {
            std::fprintf(stderr, "a run failed (agent %d, app %d)\n", a.status, b.status);
            return 1;
        }
        agent.push_back(a.seconds);
        app.push_back(b.seconds);
    }
    const double agentSeconds = median(agent), appSeconds = median(app);
    std::printf("sorvik-agent projects   %7.3f s\n", agentSeconds);
    std::printf("app to first window     %7.3f s   ratio %.2fx (target <= 1.3x)\n", appSeconds,
                appSeconds / agentSeconds);
    fs::remove_all(root);
    return 0;
}
