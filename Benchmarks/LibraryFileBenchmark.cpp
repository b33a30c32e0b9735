// Loading and saving a library of 20,000 assets (or --assets=N) in projects of 40 files, written
// by the core's own saveWorkspace, against python3's json module on the same file:
//   load (loadWorkspace)               at most 0.15x  python3 -c 'json.load(open(FILE))', the whole run
//   `sorvik-agent projects`, whole run at most 0.15x  the same
//   the agent's peak memory            at most 1.2x   the file's size
//   save (saveWorkspace, fsync)        at most 0.3x   json.dumps(sort_keys, compact, ensure_ascii=False)
//                                                     + writing the text to a file with fsync, timed in python
// The file is in the page cache for every side; each figure is the median of several runs.
//
//   LibraryFileBenchmark [--runs=N] [--assets=N] [--dir=PATH] [--keep]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "GeneratedLibrary.hpp"
#include "SorvikCore/Repository.hpp"

extern char** environ;

using namespace sorvik;
using namespace sorvik::bench;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

/// The times python3 prints, one per line, as a median.
double pythonMedian(const std::string& python, const std::string& script, const fs::path& file, int runs) {
    const Run run = spawn({python, "-c", script, file.string(), std::to_string(runs)}, true);
    if (run.status != 0) {
        std::cerr << "python3 failed\n";
        std::exit(1);
    }
    std::vector<double> times;
    for (std::size_t at = 0; at < run.out.size();) {
        const std::size_t end = run.out.find('\n', at);
        times.push_back(std::atof(run.out.substr(at, end - at).c_str()));
        at = end == std::string::npos ? run.out.size() : end + 1;
    }
    return median(times);
}

const char* loadScript = R"(import json, sys
with open(sys.argv[1], encoding='utf-8') as f:
    json.load(f)
)";

const char* loadOnlyScript = R"(import json, sys, time
for _ in range(int(sys.argv[2])):
    start = time.perf_counter()
    with open(sys.argv[1], encoding='utf-8') as f:
        json.load(f)
    print(time.perf_counter() - start)
)";

const char* saveScript = R"(import json, os, sys, time
with open(sys.argv[1], encoding='utf-8') as f:
    library = json.load(f)
for _ in range(int(sys.argv[2])):
    start = time.perf_counter()
    text = json.dumps(library, sort_keys=True, separators=(',', ':'), ensure_ascii=False)
    with open(sys.argv[1] + '.python', 'w', encoding='utf-8') as f:
        f.write(text)
        f.flush()
        os.fsync(f.fileno())
    print(time.perf_counter() - start)
os.remove(sys.argv[1] + '.python')
)";

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    bool keep = false;
    std::size_t projects = projectCount;
    fs::path root = fs::temp_directory_path() / ("sorvik-library-benchmark-" + std::to_string(::getpid()));
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.starts_with("--runs=")) runs = std::max(1, std::atoi(a.c_str() + 7));
        else if (a.starts_with("--dir=")) root = a.substr(6);
        else if (a.starts_with("--assets="))
            projects = std::max<std::size_t>(1, std::strtoull(a.c_str() + 9, nullptr, 10) / filesPerProject);
        else if (a == "--keep") keep = true;
        else {
            std::cerr << "usage: LibraryFileBenchmark [--runs=N] [--assets=N] [--dir=PATH] [--keep]\n";
            return 2;
        }
    }
    const std::string python = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    try {
        fs::create_directories(root);
        const Repository repository(root / "Library");
        const fs::path file = repository.root() / "workspace.json";
        // Generated in a child process: a process started from this one counts this one's
        // largest resident set as its own, so this one stays small until the agent has run.
        if (const pid_t child = ::fork(); child == 0) {
            try {
                repository.saveWorkspace(generateLibrary(projects));
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        } else {
            int status = 0;
            ::waitpid(child, &status, 0);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("cannot generate the library");
        }
        const double size = static_cast<double>(fs::file_size(file));
        std::printf("library: %zu assets in %zu projects of %zu files; workspace.json %.1f MB\n",
                    projects * filesPerProject, projects, filesPerProject, size / 1e6);

        // The whole agent, with the file in the page cache.
        std::vector<double> agentTimes;
        long agentPeak = 0;
        for (int i = 0; i <= runs; ++i) {
            const Run run = spawn({SORVIK_AGENT_PATH, "--data-dir", repository.root().string(), "projects"}, false);
            if (run.status != 0) throw std::runtime_error("sorvik-agent failed");
            if (i == 0) continue;  // warms the cache
            agentTimes.push_back(run.seconds);
            agentPeak = std::max(agentPeak, run.peakKiB);
        }
        const double agent = median(agentTimes);
        const fs::path emptyLibrary = root / "Empty";
        fs::create_directories(emptyLibrary);
        const Run idle = spawn({SORVIK_AGENT_PATH, "--data-dir", emptyLibrary.string(), "projects"}, false);

        std::vector<double> loads;
        WorkspaceState loaded;
        for (int i = 0; i < runs; ++i) {
            loaded = WorkspaceState{};
            const auto start = Clock::now();
            loaded = repository.loadWorkspace();
            loads.push_back(seconds(Clock::now() - start));
        }
        const double load = median(loads);
        std::vector<double> pythonRuns;
        for (int i = 0; i < runs; ++i)
            pythonRuns.push_back(spawn({python, "-c", loadScript, file.string()}, false).seconds);
        const double pythonLoad = median(pythonRuns);
        const double pythonLoadOnly = pythonMedian(python, loadOnlyScript, file, runs);

        // Save: the records written whole, synced and renamed into place.
        std::vector<double> saves;
        for (int i = 0; i < runs; ++i) {
            const auto start = Clock::now();
            repository.saveWorkspace(loaded);
            saves.push_back(seconds(Clock::now() - start));
        }
        const double save = median(saves);
        const double pythonSave = pythonMedian(python, saveScript, file, runs);

        const double peakBytes = static_cast<double>(agentPeak) * 1024.0;
        std::printf("python3 -c 'json.load(...)'   %7.3f s   (json.load alone %.3f s)\n", pythonLoad, pythonLoadOnly);
        std::printf("load (loadWorkspace)          %7.3f s   ratio %.2fx (target <= 0.15x)\n", load, load / pythonLoad);
        std::printf("sorvik-agent projects         %7.3f s   ratio %.2fx (target <= 0.15x)\n", agent,
                    agent / pythonLoad);
        std::printf(
            "agent peak memory             %7.1f MB  ratio %.2fx of the file (target <= 1.2x);"
            " %.1f MB with an empty library\n",
            peakBytes / 1e6, peakBytes / size, static_cast<double>(idle.peakKiB) * 1024.0 / 1e6);
        std::printf("python3 dumps + write + fsync %7.3f s\n", pythonSave);
        std::printf("save (saveWorkspace, fsync)   %7.3f s   ratio %.2fx (target <= 0.3x)\n", save, save / pythonSave);
        std::printf("(medians of %d runs; %s)\n", runs, python.c_str());
        if (keep) std::printf("library kept in %s\n", repository.root().c_str());
        else fs::remove_all(root);
    } catch (const std::exception& e) {
        std::cerr << "failed: " << e.what() << "\n";
        if (!keep) fs::remove_all(root);
        return 1;
    }
    return 0;
}
