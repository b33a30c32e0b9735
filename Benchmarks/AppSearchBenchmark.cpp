// The library views at scale: 20,000 assets in 500 projects with 2,000 in the inbox, on a real
// store over a real library folder. Prints the time a search keystroke takes to filter the
// overview's projects and the inbox against a frame budget of 16 ms, the same filter done the
// literal way (every text folded on every call), the search index's background build, and the
// GUI-thread cost of rebuilding the views' models after a change.
//
// `AppSearchBenchmark --write-library DIR` only writes the generated library into DIR (for
// looking at the app at this size) and exits.
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "AppBenchmarkSupport.hpp"
#include "GeneratedText.hpp"
#include "../Tests/App/Support/TestLanes.hpp"
#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Stores/ProjectSearch.hpp"
#include "Sorvik/Support/SearchText.hpp"
#include "Sorvik/Views/Overview/Logic/OverviewLogic.hpp"
#include "Sorvik/Views/Overview/Logic/ProjectCardModel.hpp"
#include "Sorvik/Views/Sidebar/Logic/SidebarModel.hpp"
#include "SorvikCore/Repository.hpp"

using namespace sorvik;
using namespace sorvik::app;
using sorvik::bench::kFiller;
using sorvik::bench::pick;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kProjects = 500;
constexpr std::size_t kAssets = 20000;
constexpr std::size_t kInbox = 2000;
constexpr double kFrameBudgetMs = 16.0;

// The project names of this library: the searches below are made for them.
const std::vector<std::string> kLatin{"Aurora", "Nebula", "Zephyr", "Summit", "Harbor", "Lumen",  "Cedar", "Falcon",
                                      "Orchid", "Vertex", "Willow", "Comet",  "Meadow", "Quartz", "Ember", "Atlas"};
const std::vector<std::string> kKinds{"Launch", "Tour", "Campaign", "Series", "Collection", "Festival"};
const std::vector<std::string> kHan{"星河", "夏日", "秋季", "春风", "山海", "晨光", "青禾", "云端",
                                    "流光", "洱海", "月影", "长风", "海潮", "松间", "雪域", "花信"};
const std::vector<std::string> kHanKinds{"骑行", "新品", "发布会", "系列", "特辑", "企划", "联名", "专场"};

struct Generated {
    std::vector<Delivery> projects;
    std::vector<IndexedAsset> assets;
};

DeliveryFile makeFile(const std::string& stem, const std::string& folder, std::mt19937& random) {
    static const std::vector<std::string> extensions{".jpg", ".png", ".heic", ".mp4", ".mov", ".txt", ".srt", ".json"};
    const std::string ext = pick(extensions, random);
    const std::string name = stem + ext;
    DeliveryFile file(UUID::make(), name, folder + "/" + name, FileRole::extra, 100000 + random() % 5000000, "");
    file.reference = FileReference::make(fs::path("/srv/media") / folder / name, Date{790000000}, std::nullopt);
    if (ext == ".jpg" || ext == ".png" || ext == ".heic") {
        file.role = random() % 3 == 0 ? FileRole::cover : FileRole::extra;
        file.width = 1080;
        file.height = 1440;
    } else if (ext == ".mp4" || ext == ".mov") {
        file.role = FileRole::video;
        file.duration = 10.0 + random() % 120;
    } else if (ext == ".txt" || ext == ".srt") {
        file.role = ext == ".txt" ? FileRole::copy : FileRole::subtitle;
        std::string body = ext == ".txt" ? "# " + stem + "\n" : "";
        const int sentences = ext == ".txt" ? 20 : 40;
        for (int s = 0; s < sentences; ++s) {
            if (ext == ".srt")
                body += std::to_string(s + 1) + "\n00:00:0" + std::to_string(s % 10) + ",000 --> 00:00:0" +
                        std::to_string(s % 10) + ",900\n";
            body += pick(kFiller, random);
            body += "\n";
        }
        file.text = body;
    } else {
        file.text = R"({"prompt":"a quiet harbor at dawn","project":")" + stem + "\"}";
    }
    return file;
}

Generated generate() {
    std::mt19937 random(2025);
    Generated lib;
    const std::size_t assigned = kAssets - kInbox;
    for (std::size_t p = 0; p < kProjects; ++p) {
        const std::string number = std::to_string(p + 1);
        std::string name = p % 2 ? kHan[p / 2 % kHan.size()] + kHanKinds[p / 32 % kHanKinds.size()] + " " + number
                                 : kLatin[p / 2 % kLatin.size()] + " " + kKinds[p / 32 % kKinds.size()] + " " + number;
        Delivery project(UUID::make(), name, {}, DeliveryTemplate::flexible());
        project.createdAt = project.updatedAt = Date{790000000.0 + static_cast<double>(random() % 7776000)};
        project.keywords = std::vector<std::string>{"Code " + pick(kLatin, random) + "-" + number};
        if (p % 3 != 0) project.discoveryKey = name;
        const std::size_t files = assigned / kProjects;
        const int folders = 1 + static_cast<int>(random() % 4);
        for (std::size_t f = 0; f < files; ++f) {
            const std::string folder = "Clients/" + name + "/Output " + std::to_string(f % folders);
            DeliveryFile file = makeFile(name + "_" + std::to_string(f + 1), folder, random);
            IndexedAsset asset(file, std::nullopt, folder, name);
            asset.projectID = project.id;
            asset.reason = "名称与项目一致";
            if (file.isImage() && random() % 5 == 0) asset.recognizedText = "限时优惠 扫码了解 " + name;
            project.files.push_back(std::move(file));
            lib.assets.push_back(std::move(asset));
        }
        lib.projects.push_back(std::move(project));
    }
    for (std::size_t i = 0; i < kInbox; ++i) {
        const std::string folder = "下载/" + std::to_string(2020 + random() % 5);
        IndexedAsset asset(makeFile("IMG_" + std::to_string(4000 + i), folder, random), std::nullopt, folder,
                           std::nullopt);
        asset.assignment = AssignmentMode::unassigned;
        asset.reason = "暂时没有足够的项目线索";
        lib.assets.push_back(std::move(asset));
    }
    return lib;
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

template <class F>
double timeMs(F&& work) {
    const auto start = Clock::now();
    work();
    return ms(Clock::now() - start);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

/// The filter as the store did it before the index: every text folded on every call.
std::size_t literalFilter(const std::string& search, const std::vector<Delivery>& projects,
                          const std::vector<IndexedAsset>& assets) {
    const SearchText needle(search);
    std::unordered_map<UUID, const IndexedAsset*> byID;
    for (const IndexedAsset& asset : assets) byID.try_emplace(asset.id(), &asset);
    std::size_t found = 0;
    for (const Delivery& project : projects) {
        bool hit = needle.foundIn(project.name);
        for (std::size_t k = 0; !hit && project.keywords && k < project.keywords->size(); ++k)
            hit = needle.foundIn((*project.keywords)[k]);
        for (std::size_t f = 0; !hit && f < project.files.size(); ++f) {
            const DeliveryFile& file = project.files[f];
            hit = needle.foundIn(file.name) || needle.foundIn(file.effectiveText().value_or(""));
            if (!hit) {
                const auto it = byID.find(file.id);
                hit = it != byID.end() && needle.foundIn(it->second->searchableText());
            }
        }
        found += hit;
    }
    for (const IndexedAsset& asset : assets) {
        if (!asset.projectID && !asset.isMissing && needle.foundIn(asset.searchableText())) ++found;
    }
    return found;
}

void waitForIndex(AppStore& store) {
    QElapsedTimer waited;
    waited.start();
    while (!store.projectSearch().index() && waited.elapsed() < 60000) QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const Generated lib = generate();
    WorkspaceState state(lib.projects);
    state.assets = lib.assets;
    state.automaticScan = false;

    if (argc == 3 && std::string(argv[1]) == "--write-library") {
        Repository(fs::path(argv[2])).saveWorkspace(state);
        std::printf("wrote %zu projects and %zu assets to %s\n", lib.projects.size(), lib.assets.size(), argv[2]);
        return 0;
    }

    const fs::path folder = fs::temp_directory_path() / ("sorvik-search-bench-" + std::to_string(::getpid()));
    Repository(folder).saveWorkspace(state);
    bench::BenchmarkPlatform platform;
    Preferences preferences(std::make_unique<MemoryPreferenceStorage>());
    QElapsedTimer started;
    started.start();
    AppStore store(LibraryChoice{folder, {}}, platform, preferences, std::make_unique<WorkerThread>(), AppLocations{});
    const double loadMs = static_cast<double>(started.elapsed());
    waitForIndex(store);
    const double firstIndexMs = static_cast<double>(started.elapsed()) - loadMs;

    std::size_t textBytes = 0;
    for (const IndexedAsset& asset : store.workspace().assets) textBytes += asset.searchableText().size();
    std::printf("library: %zu projects, %zu assets (%zu in the inbox), %.1f MB of searchable text; loaded in %.0f ms\n",
                store.deliveries().size(), store.workspace().assets.size(), store.unassigned().size(),
                static_cast<double>(textBytes) / 1e6, loadMs);

    // The index: built on its own thread after every change of the data.
    std::vector<double> builds;
    for (int run = 0; run < 3; ++run) {
        builds.push_back(timeMs([&] { (void)SearchIndex::build(store.deliveries(), store.workspace().assets, 0); }));
    }
    ProjectSearch probe(app, {});
    probe.setSynchronousLimit(0);
    const double snapshotMs = timeMs([&] { probe.dataChanged(1, store.deliveries(), store.workspace().assets); });
    probe.shutdown();
    std::printf(
        "search index: build %.0f ms off the GUI thread (first one ready %.0f ms after loading); "
        "GUI-thread copy handed to it %.1f ms; %.1f MB folded\n",
        median(builds), firstIndexMs, snapshotMs,
        static_cast<double>(store.projectSearch().index()->textBytes()) / 1e6);

    // Keystrokes: each prefix of a few searches, as typed.
    const std::vector<std::string> searches{"洱海骑行", "harbor", "Code Ember", "IMG_45", "zzqx"};
    std::vector<double> keystrokes;
    std::vector<double> literal;
    std::size_t lastProjects = 0;
    std::size_t lastInbox = 0;
    for (const std::string& search : searches) {
        const QString typed = QString::fromStdString(search);
        for (qsizetype n = 1; n <= typed.size(); ++n) {
            const std::string prefix = typed.left(n).toStdString();
            keystrokes.push_back(timeMs([&] {
                store.setSearch(prefix);
                lastProjects = store.matchingProjects().size();
                lastInbox = store.matchingUnassigned().size();
            }));
        }
        literal.push_back(timeMs([&] { (void)literalFilter(search, store.deliveries(), store.workspace().assets); }));
        std::printf("  \"%s\": %zu projects, %zu inbox assets\n", search.c_str(), lastProjects, lastInbox);
    }
    const double keystroke = median(keystrokes);
    const double worst = *std::max_element(keystrokes.begin(), keystrokes.end());
    const double literalMs = median(literal);
    std::printf(
        "keystroke (projects and inbox filtered): median %.2f ms, worst %.2f ms over %zu keystrokes; "
        "budget %.0f ms: median at %.0f%% of it, worst at %.0f%%\n",
        keystroke, worst, keystrokes.size(), kFrameBudgetMs, 100 * keystroke / kFrameBudgetMs,
        100 * worst / kFrameBudgetMs);
    std::printf("literal filter (every text folded per call): median %.0f ms, %.0fx the indexed keystroke\n", literalMs,
                literalMs / keystroke);

    // Models of the views after a change of the projects, on the GUI thread.
    store.setSearch("");
    std::vector<double> cardRebuild, cardShown, sidebarRebuild, counts;
    auto lane = std::make_unique<HeldLane>();
    HeldLane& held = *lane;
    ProjectCardModel cards(std::move(lane));
    SidebarModel sidebar;
    double locationsMs = 0;
    for (int run = 0; run < 5; ++run) {
        cardRebuild.push_back(timeMs([&] { cards.setProjects(store.deliveriesSnapshot(), store.repository()); }));
        cardShown.push_back(timeMs([&] { cards.setShown(store.matchingProjects()); }));
        sidebarRebuild.push_back(timeMs([&] {
            sidebar.setProjects(store.deliveries());
            sidebar.setSelection(store.section(), store.selectedID());
        }));
        counts.push_back(timeMs([&] { (void)overviewCounts(store.deliveries(), store.workspace()); }));
        locationsMs = timeMs([&] { held.runHeld(); });
    }
    std::printf(
        "after a change of the projects (GUI thread): cards %.1f ms, cards shown %.2f ms, sidebar %.1f ms, "
        "counts line %.1f ms; together %.0f%% of a frame\n",
        median(cardRebuild), median(cardShown), median(sidebarRebuild), median(counts),
        100 * (median(cardRebuild) + median(cardShown) + median(sidebarRebuild) + median(counts)) / kFrameBudgetMs);
    std::printf("card locations and folder counts (off the GUI thread): %.1f ms\n", locationsMs);
    std::error_code ignored;
    store.shutdown();
    fs::remove_all(folder, ignored);
    return 0;
}
