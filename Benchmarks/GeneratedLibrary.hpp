#pragma once
// The library the benchmarks of library files and of the app's start-up load: 20,000 indexed
// originals in 500 projects of 40 files, as the app keeps them; and a timed child process.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "GeneratedText.hpp"
#include "SorvikCore/WorkspaceModels.hpp"

extern char** environ;

namespace sorvik::bench {

inline constexpr std::size_t projectCount = 500;
inline constexpr std::size_t filesPerProject = 40;

inline std::string hex(std::mt19937_64& random, std::size_t length) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(length, '0');
    for (auto& c : out) c = digits[random() % 16];
    return out;
}

/// A library as the app keeps one: indexed originals in source folders, every one of them in
/// a project, texts read from the text files, inspection results, a few drafts and archives;
/// `projects` projects of filesPerProject files.
inline WorkspaceState generateLibrary(std::size_t projects = projectCount) {
    std::mt19937_64 random(2024);
    WorkspaceState state;
    for (int s = 0; s < 6; ++s)
        state.sources.push_back(SourceFolder::make("/home/editor/素材/来源" + std::to_string(s)));
    for (std::size_t p = 0; p < projects; ++p) {
        const std::string name = p % 2 ? pick(kHanWords, random) + "企划" + std::to_string(p)
                                       : pick(kLatinWords, random) + " Launch " + std::to_string(p);
        Delivery project(UUID::make(), name, {}, p % 3 ? DeliveryTemplate::video() : DeliveryTemplate::graphic());
        project.keywords = std::vector<std::string>{"Code " + pick(kLatinWords, random) + "-" + std::to_string(p)};
        if (p % 5 == 0)
            project.exports.push_back(
                ExportReceipt::make(Date::now(), "/home/editor/交付/" + name, 12, hex(random, 64)));
        for (std::size_t f = 0; f < filesPerProject; ++f) {
            const std::string ext = pick(kExtensions, random);
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
                    body += pick(kFiller, random) + "\n";
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

struct Run {
    double seconds = 0;
    long peakKiB = 0;  // the child's maximum resident set
    std::string out;
    int status = -1;
};

/// Runs a program, its standard output captured (or thrown away), timing the whole process.
inline Run spawn(const std::vector<std::string>& args, bool capture) {
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
    const auto start = std::chrono::steady_clock::now();
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
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

}  // namespace sorvik::bench
