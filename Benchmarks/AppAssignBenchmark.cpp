// An inbox assignment on a library of 20,000 assets in 500 projects (`--assets=N` for another
// size): the longest time the GUI thread is held, with the matching inline (regroup and save on the GUI thread) and as
// the store runs it (matching on its worker, then the save). Also the project page's search over a project of 5,000
// files, per keystroke, and the inbox's rows for a search.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "AppBenchmarkSupport.hpp"
#include "GeneratedAppLibrary.hpp"
#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Stores/ProjectSearch.hpp"
#include "Sorvik/Views/Inbox/Logic/InboxLogic.hpp"
#include "Sorvik/Views/Project/Logic/ProjectDetailLogic.hpp"
#include "SorvikCore/ProjectMatcher.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::app;

namespace {

constexpr std::size_t kDefaultAssets = 20000;
constexpr std::size_t kProjects = 500;
constexpr std::size_t kLargeProject = 6250;  // 5,000 of them with a clue

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

std::size_t assetsArgument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--assets=", 9) == 0) {
            const long long value = std::atoll(argv[i] + 9);
            if (value > static_cast<long long>(kLargeProject)) return static_cast<std::size_t>(value);
        }
    }
    return kDefaultAssets;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t assets = assetsArgument(argc, argv);
    QCoreApplication app(argc, argv);
    const fs::path dir = fs::temp_directory_path() / ("sorvik-assign-" + std::to_string(getpid()));
    fs::create_directories(dir);
    { Repository(dir).saveWorkspace(bench::topicLibrary(assets, kProjects, kLargeProject)); }
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
        const WorkspaceState& workspace = store.workspace();
        ProjectMatcher::Grouping regrouped = ProjectMatcher::group(
            workspace.assets, store.deliveries(), workspace.deletedProjects.value_or(std::vector<Delivery>{}));
        (void)regrouped;
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
    // Typed once the search index has caught up with the assignments.
    const SearchIndex* before = store.projectSearch().index();
    store.updateSearchIndexNow();
    QElapsedTimer waited;
    waited.start();
    while (store.projectSearch().index() == before && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const auto keystroke = [&](const std::string& text, std::size_t& hits) {
        QElapsedTimer timer;
        timer.start();
        store.setSearch(text);
        hits = visibleFiles(*large, store.matchingFiles(*large), FileFilter::all).size();
        return ms(timer.nsecsElapsed());
    };
    std::size_t firstHits = 0, nextHits = 0;
    const double firstKey = keystroke("s", firstHits);
    const double nextKey = keystroke("sh", nextHits);
    QElapsedTimer timer;
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
    std::printf("ratio GUI-thread total / 100 ms target (at 100,000 assets): %.2f; longest stretch / inline: %.2f\n",
                held[kRuns / 2] / 100.0, stall[kRuns / 2] / inline_[kRuns / 2]);
    std::printf("project page of %zu files: first keystroke %.1f ms (%zu shown), next keystroke %.1f ms (%zu shown)\n",
                large->files.size(), firstKey, firstHits, nextKey, nextHits);
    std::printf("inbox rows for a search: %.1f ms (%zu shown)\n", inboxKey, inboxHits);
    store.shutdown();
    fs::remove_all(dir);
    return 0;
}
