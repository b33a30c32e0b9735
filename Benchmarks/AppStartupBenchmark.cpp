// Start-up of the desktop app on a library of 20,000 assets in 500 projects (or --assets=N), to
// its first shown window, against python3 -c 'json.load(open(FILE))' on the same file, both as
// whole processes; `sorvik-agent projects` is shown beside them. Target: at most 0.2x python.
// Each figure is the median of several runs with the file in the page cache.
//
//   AppStartupBenchmark [--runs=N] [--assets=N]
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

void writeLibrary(const fs::path& library, std::size_t projects = projectCount) {
    const Repository repository(library);
    WorkspaceState state = generateLibrary(projects);
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
    std::size_t projects = projectCount;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.starts_with("--runs=")) {
            runs = std::max(1, std::atoi(a.c_str() + 7));
        } else if (a.starts_with("--assets=")) {
            projects = std::max<std::size_t>(1, std::strtoull(a.c_str() + 9, nullptr, 10) / filesPerProject);
        } else {
            std::fprintf(stderr, "usage: AppStartupBenchmark [--runs=N] [--assets=N]\n");
            return 2;
        }
    }
    const fs::path root = fs::temp_directory_path() / ("sorvik-startup-benchmark-" + std::to_string(::getpid()));
    const fs::path library = root / "Library";
    writeLibrary(library, projects);
    const fs::path file = library / "workspace.json";
    std::printf("library: %zu assets in %zu projects; workspace.json %.1f MB\n", projects * filesPerProject, projects,
                double(fs::file_size(file)) / 1e6);
    const std::string python = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    const std::string load = "import json, sys\nwith open(sys.argv[1], encoding='utf-8') as f:\n    json.load(f)\n";
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    // Warm the page cache and the shared libraries of both programs.
    spawn({SORVIK_AGENT_PATH, "--data-dir", library.string(), "projects"}, false);
    spawn({self, "--child", library.string()}, false);
    std::vector<double> agent, app, pythonLoad;
    for (int i = 0; i < runs; ++i) {
        const Run a = spawn({SORVIK_AGENT_PATH, "--data-dir", library.string(), "projects"}, false);
        const Run b = spawn({self, "--child", library.string()}, false);
        const Run c = spawn({python, "-c", load, file.string()}, false);
        if (a.status != 0 || b.status != 0 || c.status != 0) {
            std::fprintf(stderr, "a run failed (agent %d, app %d, python %d)\n", a.status, b.status, c.status);
            return 1;
        }
        agent.push_back(a.seconds);
        app.push_back(b.seconds);
        pythonLoad.push_back(c.seconds);
    }
    const double agentSeconds = median(agent), appSeconds = median(app), pythonSeconds = median(pythonLoad);
    std::printf("python3 json.load        %7.3f s\n", pythonSeconds);
    std::printf("sorvik-agent projects    %7.3f s   ratio %.2fx\n", agentSeconds, agentSeconds / pythonSeconds);
    std::printf("app to first window      %7.3f s   ratio %.2fx (target <= 0.2x); %.2fx the agent\n", appSeconds,
                appSeconds / pythonSeconds, appSeconds / agentSeconds);
    fs::remove_all(root);
    return 0;
}
