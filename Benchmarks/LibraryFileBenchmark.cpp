// Loading and saving a library of 20,000 assets in 500 projects of 40 files, written by the
// core's own saveWorkspace, against python3's json module on the same file:
//   load (loadWorkspace)               at most 0.25x  python3 -c 'json.load(open(FILE))', the whole run
//   `sorvik-agent projects`, whole run at most 0.35x  the same
//   the agent's peak memory            at most 2.5x   the file's size
//   save (saveWorkspace, fsync)        at most 0.3x   json.dumps(sort_keys, compact, ensure_ascii=False)
//                                                     + writing the text to a file with fsync, timed in python
// The file is in the page cache for every side; each figure is the median of several runs.
//
//   LibraryFileBenchmark [--runs=N] [--dir=PATH]
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

#include "GeneratedText.hpp"
#include "SorvikCore/Repository.hpp"

extern char** environ;

using namespace sorvik;
using namespace sorvik::bench;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t projectCount = 500;
constexpr std::size_t filesPerProject = 40;

std::string hex(std::mt19937_64& random, std::size_t length) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(length, '0');
    for (auto& c : out) c = digits[random() % 16];
    return out;
}

/// A library as the app keeps one: indexed originals in source folders, every one of them in
/// a project, texts read from the text files, inspection results, a few drafts and archives.
WorkspaceState generate() {
    std::mt19937_64 random(2024);
    const auto pick = [&](const std::vector<std::string>& list) { return list[random() % list.size()]; };
    WorkspaceState state;
    for (int s = 0; s < 6; ++s)
        state.sources.push_back(SourceFolder::make("/home/editor/素材/来源" + std::to_string(s)));
    for (std::size_t p = 0; p < projectCount; ++p) {
        const std::string name =
            p % 2 ? pick(kHanWords) + "企划" + std::to_string(p) : pick(kLatinWords) + " Launch " + std::to_string(p);
        Delivery project(UUID::make(), name, {}, p % 3 ? DeliveryTemplate::video() : DeliveryTemplate::graphic());
        project.keywords = std::vector<std::string>{"Code " + pick(kLatinWords) + "-" + std::to_string(p)};
        if (p % 5 == 0)
            project.exports.push_back(
                ExportReceipt::make(Date::now(), "/home/editor/交付/" + name, 12, hex(random, 64)));
        for (std::size_t f = 0; f < filesPerProject; ++f) {
            const std::string ext = pick(kExtensions);
            const std::string fileName = name + (f % 3 ? "_v" + std::to_string(f) : " final") + ext;
            const SourceFolder& source = state.sources[random() % state.sources.size()];
            const std::string folder = std::to_string(2020 + random() % 5) + "/输出/" + name;
            DeliveryFile file(UUID::make(), fileName, "", FileRole::extra,
                              static_cast<std::int64_t>(random() % 90'000'000), hex(random, 64));
            if (ext == ".png" || ext == ".jpg") {
                file.role = FileRole::cover;
                file.width = 1080;
                file.height = 1440;
                if (f % 7 == 0) file.crop = CropSpec{0.75, 0.5, 0.4};
            } else if (ext == ".mp4" || ext == ".mov") {
                file.role = FileRole::video;
                file.width = 1920;
                file.height = 1080;
                file.duration = static_cast<double>(random() % 600'000) / 1000.0;
            } else {
                file.role = ext == ".srt" ? FileRole::subtitle : FileRole::copy;
                std::string body =
                    ext == ".json" ? "{\"prompt\":\"a quiet harbor at dawn\",\"project\":\"" + name + "\"}" : "";
                const int lines = ext == ".srt" ? 50 : ext == ".txt" ? 20 : 0;
                for (int l = 0; l < lines; ++l) {
                    if (ext == ".srt")
                        body += std::to_string(l + 1) + "\n00:00:0" + std::to_string(l % 10) + ",000 --> 00:00:0" +
                                std::to_string(l % 10) + ",900\n";
                    body += pick(kFiller) + "\n";
                }
                file.text = body;
                if (f % 11 == 0) file.editedText = body + "（修改）";
            }
            file.reference = FileReference::make(
                source.path + "/" + folder + "/" + fileName,
                Date::fromTimespec(1700000000 + static_cast<std::int64_t>(random() % 9'000'000), 123456789),
                std::to_string(2049) + ":" + std::to_string(random() % 9'000'000));
            IndexedAsset asset(file, source.id, folder, name);
            asset.projectID = project.id;
            asset.assignment = f % 4 ? AssignmentMode::automatic : AssignmentMode::manual;
            asset.reason = f % 4 ? "文件夹名称匹配项目" : "手动归入项目";
            asset.didAttemptOCR = file.role == FileRole::cover;
            if (asset.didAttemptOCR && f % 5 == 0) asset.recognizedText = "限时优惠 " + name;
            project.files.push_back(std::move(file));
            state.assets.push_back(std::move(asset));
        }
        state.projects.push_back(std::move(project));
    }
    for (std::size_t i = 0; i < state.assets.size(); i += 50)
        state.archives.push_back(ArchiveRecord{UUID::make(), state.assets[i].id(), Date::now(), 1234,
                                               "/home/editor/归档/a" + std::to_string(i), hex(random, 64),
                                               Date::now()});
    state.lastScan = Date::now();
    state.scanSummary = "已扫描 20000 个文件";
    return state;
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Run {
    double seconds = 0;
    long peakKiB = 0;  // the child's maximum resident set
    std::string out;
    int status = -1;
};

/// Runs a program, its standard output captured (or thrown away), timing the whole process.
Run spawn(const std::vector<std::string>& args, bool capture) {
    int pipeFds[2] = {-1, -1};
    if (capture && ::pipe(pipeFds) != 0) std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (capture) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Run run;
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::cerr << "cannot run " << args[0] << "\n";
        std::exit(1);
    }
    if (capture) {
        ::close(pipeFds[1]);
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
            run.out.append(buffer, static_cast<std::size_t>(n));
        ::close(pipeFds[0]);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    run.seconds = seconds(Clock::now() - start);
    run.peakKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    posix_spawn_file_actions_destroy(&actions);
    return run;
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
    fs::path root = fs::temp_directory_path() / ("sorvik-library-benchmark-" + std::to_string(::getpid()));
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.starts_with("--runs="))
            runs = std::max(1, std::atoi(a.c_str() + 7));
        else if (a.starts_with("--dir="))
            root = a.substr(6);
        else if (a == "--keep")
            keep = true;
        else {
            std::cerr << "usage: LibraryFileBenchmark [--runs=N] [--dir=PATH] [--keep]\n";
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
                repository.saveWorkspace(generate());
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
                    projectCount * filesPerProject, projectCount, filesPerProject, size / 1e6);

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
        std::printf("load (loadWorkspace)          %7.3f s   ratio %.2fx (target <= 0.25x)\n", load, load / pythonLoad);
        std::printf("sorvik-agent projects         %7.3f s   ratio %.2fx (target <= 0.35x)\n", agent,
                    agent / pythonLoad);
        std::printf(
            "agent peak memory             %7.1f MB  ratio %.2fx of the file (target <= 2.5x);"
            " %.1f MB with an empty library\n",
            peakBytes / 1e6, peakBytes / size, static_cast<double>(idle.peakKiB) * 1024.0 / 1e6);
        std::printf("python3 dumps + write + fsync %7.3f s\n", pythonSave);
        std::printf("save (saveWorkspace, fsync)   %7.3f s   ratio %.2fx (target <= 0.3x)\n", save, save / pythonSave);
        std::printf("(medians of %d runs; %s)\n", runs, python.c_str());
        if (keep)
            std::printf("library kept in %s\n", repository.root().c_str());
        else
            fs::remove_all(root);
    } catch (const std::exception& e) {
        std::cerr << "failed: " << e.what() << "\n";
        if (!keep) fs::remove_all(root);
        return 1;
    }
    return 0;
}
