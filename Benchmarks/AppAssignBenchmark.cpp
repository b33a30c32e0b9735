// An inbox assignment on a library of 20,000 assets in 500 projects: the longest time the GUI
// thread is held, with the matching inline (regroup and save on the GUI thread) and as the store
// runs it (matching on its worker, then the save). Also the project page's search over a project
// of 5,000 files, per keystroke, and the inbox's rows for a search.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "AppBenchmarkSupport.hpp"
#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/InboxLogic.hpp"
#include "Sorvik/Views/ProjectDetailLogic.hpp"
#include "SorvikCore/ProjectMatcher.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::app;

namespace {

constexpr std::size_t kAssets = 20000;
constexpr std::size_t kProjects = 500;
constexpr std::size_t kLargeProject = 5000;

const std::vector<std::string> kWords{"Aurora", "Nebula", "Zephyr", "Summit", "Harbor", "Lumen", "Cedar", "Falcon",
                                      "Orchid", "Vertex", "Willow", "Comet", "Meadow", "Quartz", "Ember", "Atlas",
                                      "星河", "夏日", "秋季", "春风", "山海", "晨光", "青禾", "云端"};

/// Projects named after topics; the first holds about 5,000 files, the others share the rest; one
/// in five assets carries no clue and waits in the inbox.
WorkspaceState generate() {
    std::mt19937 random(12);
    WorkspaceState state;
    for (std::size_t p = 0; p < kProjects; ++p) {
        Delivery project(UUID::make(), kWords[p % kWords.size()] + " Launch " + std::to_string(p), {},
                         DeliveryTemplate::flexible());
        project.keywords = std::vector<std::string>{"Code " + std::to_string(p)};
        state.projects.push_back(std::move(project));
    }
    const std::vector<std::string> extensions{".png", ".jpg", ".mp4", ".mov", ".txt", ".srt"};
    for (std::size_t i = 0; i < kAssets; ++i) {
        const std::string extension = extensions[random() % extensions.size()];
        const bool waiting = i % 5 == 4;
        const std::size_t p = i < kLargeProject ? 0 : 1 + random() % (kProjects - 1);
        const std::string name = waiting ? "IMG_" + std::to_string(10000 + i) + extension
                                         : state.projects[p].name + " shot " + std::to_string(i) + extension;
        const std::string folder = "Clients/" + kWords[random() % kWords.size()] + "/Rendered " + std::to_string(i % 97);
        DeliveryFile file(UUID::make(), name, "", FileRole::extra, 1000 + static_cast<std::int64_t>(i), "");
        file.reference = FileReference::make("/media/library/" + folder + "/" + name, Date{700000000}, std::nullopt);
        if (extension == ".txt" || extension == ".srt") {
            std::string body;
            for (int s = 0; s < 20; ++s) body += "今天我们来聊一聊这次拍摄的幕后故事，The light was soft. ";
            file.text = body;
        }
        // As a scan leaves them: matched by the matcher, so every regroup matches them again.
        state.assets.emplace_back(std::move(file), std::nullopt, folder, std::nullopt);
    }
    ProjectMatcher::Grouping grouping = ProjectMatcher::group(state.assets, state.projects, {});
    state.assets = std::move(grouping.assets);
    state.projects = std::move(grouping.projects);
    return state;
}

double ms(qint64 nanoseconds) { return static_cast<double>(nanoseconds) / 1e6; }

/// Runs queued calls until the store is idle; the longest single stretch the GUI thread was held.
double longestStall(AppStore& store, double* total) {
    double longest = 0;
    *total = 0;
    QElapsedTimer waited;
    waited.start();
    while (store.isBusy() && waited.elapsed() < 60000) {
        QElapsedTimer timer;
        timer.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const double held = ms(timer.nsecsElapsed());
        longest = std::max(longest, held);
        *total += held;
        if (held < 0.2) usleep(200);
    }
    return longest;
}

const IndexedAsset* firstWaiting(const AppStore& store) {
    const std::vector<const IndexedAsset*> waiting = store.unassigned();
    return waiting.empty() ? nullptr : waiting.front();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const fs::path dir = fs::temp_directory_path() / ("sorvik-assign-" + std::to_string(getpid()));
    fs::create_directories(dir);
    {
        Repository(dir).saveWorkspace(generate());
    }
    bench::BenchmarkPlatform platform;
    Preferences preferences(std::make_unique<MemoryPreferenceStorage>());
    AppStore store(LibraryChoice{dir, {}}, platform, preferences, std::make_unique<WorkerThread>(), AppLocations{});
    store.setAutomaticScan(false);
    const std::size_t waitingBefore = store.unassigned().size();

    // The matching inline, as a literal reading would run it: update, regroup and save at once.
    constexpr int kRuns = 3;
    std::vector<double> inline_, grouping, saving, held, assignCall, stall;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        store.regroup();
        grouping.push_back(ms(timer.nsecsElapsed()));
        timer.restart();
        store.persist();
        saving.push_back(ms(timer.nsecsElapsed()));
        inline_.push_back(grouping.back() + saving.back());
    }
    // The store's assignment: the call itself, then what its completion holds.
    const UUID target = store.deliveries()[7].id;
    for (int run = 0; run < kRuns; ++run) {
        const IndexedAsset* asset = firstWaiting(store);
        if (!asset) return 1;
        QElapsedTimer timer;
        timer.start();
        store.assign(*asset, target);
        assignCall.push_back(ms(timer.nsecsElapsed()));
        double total = 0;
        stall.push_back(std::max(assignCall.back(), longestStall(store, &total)));
        held.push_back(assignCall.back() + total);
    }
    std::sort(inline_.begin(), inline_.end());
    std::sort(grouping.begin(), grouping.end());
    std::sort(saving.begin(), saving.end());
    std::sort(assignCall.begin(), assignCall.end());
    std::sort(stall.begin(), stall.end());
    std::sort(held.begin(), held.end());

    // The project page's search over its largest project, and the inbox's rows.
    const Delivery* large = nullptr;
    for (const Delivery& project : store.deliveries()) {
        if (!large || project.files.size() > large->files.size()) large = &project;
    }
    ProjectFileSearch search;
    QElapsedTimer timer;
    timer.start();
    const std::size_t firstHits = search.visible(*large, store.workspace().assets, "s", FileFilter::all).size();
    const double firstKey = ms(timer.nsecsElapsed());
    timer.restart();
    const std::size_t nextHits = search.visible(*large, store.workspace().assets, "sh", FileFilter::all).size();
    const double nextKey = ms(timer.nsecsElapsed());
    store.setSearch("img_1");
    timer.restart();
    const std::size_t inboxHits = inboxRows(store).size();
    const double inboxKey = ms(timer.nsecsElapsed());

    std::printf("library: %zu assets, %zu projects, %zu waiting in the inbox\n", store.workspace().assets.size(),
                store.deliveries().size(), waitingBefore);
    std::printf("inline regroup + save on the GUI thread: %.1f ms (regroup %.1f ms, save %.1f ms; median of %d)\n",
                inline_[kRuns / 2], grouping[kRuns / 2], saving[kRuns / 2], kRuns);
    std::printf("assign: call %.1f ms, longest GUI-thread stretch %.1f ms, GUI-thread total %.1f ms (median of %d)\n",
                assignCall[kRuns / 2], stall[kRuns / 2], held[kRuns / 2], kRuns);
    std::printf("ratio longest stretch / inline: %.2f (target: the stretch under 50 ms)\n",
                stall[kRuns / 2] / inline_[kRuns / 2]);
    std::printf("project page of %zu files: first keystroke %.1f ms (%zu shown), next keystroke %.1f ms (%zu shown)\n",
                large->files.size(), firstKey, firstHits, nextKey, nextHits);
    std::printf("inbox rows for a search: %.1f ms (%zu shown)\n", inboxKey, inboxHits);
    store.shutdown();
    fs::remove_all(dir);
    return 0;
}
