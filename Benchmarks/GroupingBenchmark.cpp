// Grouping of 20,000 generated assets against 500 projects with two aliases each, compared
// with `grep -c -i -F -f terms.txt texts.txt` over the same texts and terms: as they run, and
// with both pinned to one CPU (grouping's threads then take turns on it, as one thread would);
// then names with pieces made only of separators against long runs of separators, which must
// stay linear.
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "GeneratedText.hpp"
#include "SorvikCore/ProjectMatcher.hpp"

extern char** environ;

using namespace sorvik;
using namespace sorvik::bench;
namespace PM = sorvik::ProjectMatcher;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kAssets = 20000;
constexpr std::size_t kProjects = 500;

struct Library {
    std::vector<Delivery> projects;
    std::vector<IndexedAsset> assets;
};

Library generate() {
    std::mt19937 random(2024);
    Library lib;
    std::vector<std::string> topics;
    for (std::size_t p = 0; p < kProjects; ++p) {
        std::string name, latinAlias, hanAlias;
        const std::string number = std::to_string(p);
        if (p % 2 == 0) {
            name =
                kLatinWords[p / 2 % kLatinWords.size()] + " " + kLatinKinds[p / 60 % kLatinKinds.size()] + " " + number;
        } else {
            name = kHanWords[p / 2 % kHanWords.size()] + kHanKinds[p / 36 % kHanKinds.size()] + number;
        }
        latinAlias = "Code " + kLatinWords[random() % kLatinWords.size()] + "-" + number;
        hanAlias = kHanWords[random() % kHanWords.size()] + "企划" + number + "号";
        Delivery d(UUID::make(), name, {}, DeliveryTemplate::flexible());
        d.keywords = std::vector<std::string>{latinAlias, hanAlias};
        lib.projects.push_back(std::move(d));
        topics.push_back(name);
    }
    // Topics that name no project, shared by several files.
    for (int t = 0; t < 400; ++t)
        topics.push_back(t % 2 ? pick(kHanWords, random) + pick(kHanKinds, random) + "新" + std::to_string(t)
                               : pick(kLatinWords, random) + " Idea " + std::to_string(t));

    const std::vector<std::string> suffixes{"", "_v2", " final", "_封面", " cover", "_03", "-1080x1920", "_成片"};
    const std::vector<std::string>& extensions = kExtensions;
    for (std::size_t i = 0; i < kAssets; ++i) {
        const std::string ext = pick(extensions, random);
        const std::string topic = topics[random() % topics.size()];
        std::string name;
        switch (random() % 4) {
            case 0: name = "IMG_" + std::to_string(1000 + i); break;
            case 1:
                name = "2024-0" + std::to_string(1 + random() % 9) + "-1" + std::to_string(random() % 10) + "_" + topic;
                break;
            default: name = topic + pick(suffixes, random); break;
        }
        name += ext;
        std::string folder;
        switch (random() % 4) {
            case 0: folder = "下载"; break;
            case 1: folder = "Clients/" + topics[random() % topics.size()] + "/Rendered Media"; break;
            case 2: folder = "素材/" + std::to_string(2020 + random() % 5) + "/输出"; break;
            default: folder = "output/images"; break;
        }
        DeliveryFile file(UUID::make(), name, folder + "/" + name, FileRole::extra, 1000, "");
        if (ext == ".txt" || ext == ".srt") {
            file.role = ext == ".txt" ? FileRole::copy : FileRole::subtitle;
            std::string body = ext == ".txt" ? "# " + topics[random() % topics.size()] + "\n" : "";
            const int sentences = ext == ".txt" ? 20 : 60;
            for (int s = 0; s < sentences; ++s) {
                if (ext == ".srt")
                    body += std::to_string(s + 1) + "\n00:00:0" + std::to_string(s % 10) + ",000 --> 00:00:0" +
                            std::to_string(s % 10) + ",900\n";
                body += pick(kFiller, random);
                if (random() % 25 == 0) body += topics[random() % topics.size()];
                body += "\n";
            }
            file.text = body;
        } else if (ext == ".json") {
            file.text = R"({"prompt":"a quiet harbor at dawn","model":"x","project":")" +
                        topics[random() % topics.size()] + "\"}";
        }
        IndexedAsset a(std::move(file), std::nullopt, folder, PM::folderTopic(folder));
        if ((ext == ".png" || ext == ".jpg") && random() % 5 == 0)
            a.recognizedText =
                "限时优惠 " + (random() % 2 ? topics[random() % topics.size()] : std::string("扫码了解"));
        lib.assets.push_back(std::move(a));
    }
    return lib;
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

/// Runs grep on the files and returns its wall time; its count goes to *count.
double timeGrep(const std::filesystem::path& terms, const std::filesystem::path& texts, std::string* count) {
    int out[2];
    if (pipe(out) != 0) std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string termsPath = terms.string(), textsPath = texts.string();
    std::vector<char*> argv{const_cast<char*>("grep"),
                            const_cast<char*>("-c"),
                            const_cast<char*>("-i"),
                            const_cast<char*>("-F"),
                            const_cast<char*>("-f"),
                            const_cast<char*>(termsPath.c_str()),
                            const_cast<char*>(textsPath.c_str()),
                            nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "grep", &actions, nullptr, argv.data(), environ) != 0) std::exit(1);
    close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    int status = 0;
    waitpid(pid, &status, 0);
    const auto elapsed = Clock::now() - start;
    close(out[0]);
    posix_spawn_file_actions_destroy(&actions);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    *count = text;
    return seconds(elapsed);
}

}  // namespace

int main() {
    const Library lib = generate();

    const auto dir = std::filesystem::temp_directory_path() / ("sorvik-grouping-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto termsPath = dir / "terms.txt", textsPath = dir / "texts.txt";
    std::size_t textBytes = 0;
    {
        std::ofstream terms(termsPath), texts(textsPath);
        for (const auto& p : lib.projects) {
            terms << p.name << '\n';
            for (const auto& k : *p.keywords) terms << k << '\n';
        }
        for (const auto& a : lib.assets) {
            std::string t = a.searchableText();
            std::replace(t.begin(), t.end(), '\n', ' ');
            textBytes += t.size() + 1;
            texts << t << '\n';
        }
    }

    constexpr int kRuns = 5;
    PM::Grouping result;
    std::string grepCount;
    const auto medians = [&](double* groupTime, double* grepTime) {
        std::vector<double> groupTimes, grepTimes;
        for (int run = 0; run < kRuns; ++run) {
            const auto start = Clock::now();
            result = PM::group(lib.assets, lib.projects, {});
            groupTimes.push_back(seconds(Clock::now() - start));
        }
        for (int run = 0; run < kRuns; ++run) grepTimes.push_back(timeGrep(termsPath, textsPath, &grepCount));
        std::sort(groupTimes.begin(), groupTimes.end());
        std::sort(grepTimes.begin(), grepTimes.end());
        *groupTime = groupTimes[kRuns / 2];
        *grepTime = grepTimes[kRuns / 2];
    };
    double groupTime = 0, grepTime = 0;
    medians(&groupTime, &grepTime);

    // Both sides on one CPU; grep inherits the affinity.
    double oneGroupTime = 0, oneGrepTime = 0;
    cpu_set_t all, one;
    CPU_ZERO(&one);
    bool pinned = false;
    if (sched_getaffinity(0, sizeof all, &all) == 0) {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &all)) {
                CPU_SET(cpu, &one);
                break;
            }
        }
        pinned = sched_setaffinity(0, sizeof one, &one) == 0;
    }
    if (pinned) {
        medians(&oneGroupTime, &oneGrepTime);
        sched_setaffinity(0, sizeof all, &all);
    }

    std::size_t assigned = 0;
    for (const auto& a : result.assets) assigned += a.projectID.has_value();

    // The literal cost: one asset against every project through matchingProjects.
    const std::size_t sample = 20;
    const auto literalStart = Clock::now();
    for (std::size_t i = 0; i < sample; ++i) (void)PM::matchingProjects(lib.assets[i * 997 % kAssets], lib.projects);
    const double perAsset = seconds(Clock::now() - literalStart) / sample;

    std::printf("assets %zu, projects %zu (two aliases each), texts %.1f MB, %u hardware threads\n", kAssets, kProjects,
                static_cast<double>(textBytes) / 1e6, std::thread::hardware_concurrency());
    std::printf("grouping: %.3f s (median of %d); %zu assets assigned, %zu projects after grouping\n", groupTime, kRuns,
                assigned, result.projects.size());
    std::printf("grep -c -i -F -f terms.txt texts.txt: %.3f s (median of %d), %s matching lines\n", grepTime, kRuns,
                grepCount.c_str());
    std::printf("ratio grouping / grep: %.2f (target at most 3)\n", groupTime / grepTime);
    if (pinned)
        std::printf("on one CPU: grouping %.3f s, grep %.3f s (medians of %d), ratio %.2f\n", oneGroupTime, oneGrepTime,
                    kRuns, oneGroupTime / oneGrepTime);
    else std::printf("on one CPU: not measured (the affinity could not be set)\n");
    std::printf("literal matching, one pass over all assets (estimated from %zu): %.0f s\n", sample,
                perAsset * static_cast<double>(kAssets));

    // Separator-only pieces ("Brand - - Sale") against runs of dashes: time per run length,
    // and the whole grouping again with such names and runs in some of the texts.
    auto timeMatches = [](std::size_t dashes) {
        const std::string text = "ab " + std::string(dashes, '-');
        const auto start = Clock::now();
        const bool found = PM::matches("ab - - cd", text) || PM::matches("- - ab", "x" + text + "abc") ||
                           PM::matches("ab - - - - - - - - - - cd", text);
        if (found) std::exit(1);
        return seconds(Clock::now() - start);
    };
    const double shortRun = timeMatches(2000), longRun = timeMatches(200000);
    std::printf(
        "separator pieces, three terms against 2,000 dashes: %.2f ms; against 200,000: %.2f ms "
        "(ratio %.0f for 100 times the text: linear)\n",
        shortRun * 1e3, longRun * 1e3, longRun / shortRun);

    Library heavy = lib;
    for (std::size_t p = 0; p < kProjects; p += 10)
        heavy.projects[p].keywords->push_back("Brand - _ - Sale " + std::to_string(p));
    for (std::size_t i = 0; i < kAssets; i += 50) {
        auto& text = heavy.assets[i].file.text;
        text = text.value_or("") + " brand " + std::string(2000, '-') + " _ sale";
    }
    std::vector<double> heavyTimes;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = Clock::now();
        (void)PM::group(heavy.assets, heavy.projects, {});
        heavyTimes.push_back(seconds(Clock::now() - start));
    }
    std::sort(heavyTimes.begin(), heavyTimes.end());
    std::printf(
        "grouping with 50 separator-piece aliases and 400 texts holding 2,000-dash runs: %.3f s "
        "(median of %d), ratio to plain grouping %.2f\n",
        heavyTimes[kRuns / 2], kRuns, heavyTimes[kRuns / 2] / groupTime);

    std::filesystem::remove_all(dir);
    return 0;
}
