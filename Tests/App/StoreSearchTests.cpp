// The store's search over projects and the inbox: the matching rules, their exactness against the
// rules applied literally, and the index built in the background for a large library.
#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "App/Support/LibraryFixtures.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Stores/ProjectSearch.hpp"
#include "Sorvik/Support/SearchText.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using app::AppStore;
using app::StoreChange;

namespace {

/// Keeps every job until the test runs it, oldest first or in any order.
class QueueLane : public app::BackgroundLane {
public:
    void post(Job job) override { jobs.push_back(std::move(job)); }
    std::deque<Job> jobs;
};

std::vector<std::string> names(const std::vector<const Delivery*>& projects) {
    std::vector<std::string> out;
    for (const Delivery* project : projects) out.push_back(project->name);
    return out;
}

std::vector<std::string> matching(AppStore& store, const std::string& search) {
    store.setSearch(search);
    return names(store.matchingProjects());
}

/// The rules applied literally: every text folded on every call.
std::vector<UUID> literalProjects(const AppStore& store) {
    const app::SearchText needle(store.search());
    std::unordered_map<UUID, const IndexedAsset*> first;
    for (const IndexedAsset& asset : store.workspace().assets) first.try_emplace(asset.id(), &asset);
    std::vector<const Delivery*> found;
    for (const Delivery& project : store.deliveries()) {
        bool hit = needle.foundIn(project.name);
        for (const std::string& keyword : project.keywords.value_or(std::vector<std::string>{}))
            hit = hit || needle.foundIn(keyword);
        for (const DeliveryFile& file : project.files) {
            hit = hit || needle.foundIn(file.name) || needle.foundIn(file.effectiveText().value_or(""));
            const auto it = first.find(file.id);
            hit = hit || (it != first.end() && needle.foundIn(it->second->searchableText()));
        }
        if (hit) found.push_back(&project);
    }
    std::stable_sort(found.begin(), found.end(), [](auto* a, auto* b) { return a->updatedAt > b->updatedAt; });
    std::vector<UUID> ids;
    for (const Delivery* project : found) ids.push_back(project->id);
    return ids;
}

std::vector<UUID> literalInbox(const AppStore& store) {
    const app::SearchText needle(store.search());
    std::vector<UUID> ids;
    for (const IndexedAsset& asset : store.workspace().assets) {
        if (!asset.projectID && !asset.isMissing && needle.foundIn(asset.searchableText())) ids.push_back(asset.id());
    }
    return ids;
}

/// The files of `project` whose first asset's searchable text, else whose name, holds the search.
std::vector<char> literalFiles(const AppStore& store, const Delivery& project) {
    const app::SearchText needle(store.search());
    std::vector<char> out;
    for (const DeliveryFile& file : project.files) {
        const IndexedAsset* first = nullptr;
        for (const IndexedAsset& asset : store.workspace().assets) {
            if (asset.id() == file.id) {
                first = &asset;
                break;
            }
        }
        out.push_back(needle.foundIn(first ? first->searchableText() : file.name));
    }
    return out;
}

std::vector<UUID> ids(const std::vector<const Delivery*>& projects) {
    std::vector<UUID> out;
    for (const Delivery* project : projects) out.push_back(project->id);
    return out;
}

std::vector<UUID> ids(const std::vector<const IndexedAsset*>& assets) {
    std::vector<UUID> out;
    for (const IndexedAsset* asset : assets) out.push_back(asset->id());
    return out;
}

/// A library where each project is found by exactly one kind of text.
WorkspaceState ruleLibrary() {
    WorkspaceState state;
    Delivery byName = makeProject("Harbor Launch", 100);
    Delivery byAlias = makeProject("Project Two", 200);
    byAlias.keywords = std::vector<std::string>{"Blue Tide"};
    Delivery byFileName = makeProject("Project Three", 300);
    addFile(state, byFileName, makeFile("sunset_v2.png"));
    Delivery byText = makeProject("Project Four", 400);
    addFile(state, byText, makeFile("copy.txt", "/media/out", FileRole::copy, std::string("关于洱海的故事")));
    Delivery byRecognised = makeProject("Project Five", 500);
    DeliveryFile poster = makeFile("poster.jpg");
    byRecognised.files.push_back(poster);
    IndexedAsset posterAsset = makeAsset(poster, byRecognised.id);
    posterAsset.recognizedText = "限时优惠";
    state.assets.push_back(posterAsset);
    Delivery byEdit = makeProject("Project Six", 600);
    DeliveryFile edited = makeFile("script.txt", "/media/out", FileRole::copy, std::string("old words"));
    edited.editedText = "Straße der Lieder";
    addFile(state, byEdit, edited);
    state.projects = {byName, byAlias, byFileName, byText, byRecognised, byEdit};
    IndexedAsset loose = makeAsset(makeFile("IMG_4012.heic"));
    loose.recognizedText = "扫码了解";
    IndexedAsset gone = makeAsset(makeFile("IMG_4013.heic"));
    gone.isMissing = true;
    state.assets.push_back(loose);
    state.assets.push_back(gone);
    return state;
}

}  // namespace

TEST(StoreSearch, EachKindOfTextFindsItsProject) {
    TempDir dir;
    writeLibrary(dir.path(), ruleLibrary());
    StoreHarness h(dir.path());
    AppStore& store = h.store();
    EXPECT_EQ(matching(store, "harbor"), std::vector<std::string>{"Harbor Launch"});
    EXPECT_EQ(matching(store, "TIDE"), std::vector<std::string>{"Project Two"});
    EXPECT_EQ(matching(store, "Sunset_V2"), std::vector<std::string>{"Project Three"});
    EXPECT_EQ(matching(store, "洱海"), std::vector<std::string>{"Project Four"});
    EXPECT_EQ(matching(store, "优惠"), std::vector<std::string>{"Project Five"});
    // The edited text replaces the extracted one; letter case is folded fully (ß is ss).
    EXPECT_EQ(matching(store, "STRASSE"), std::vector<std::string>{"Project Six"});
    EXPECT_TRUE(matching(store, "old words").empty());
    EXPECT_TRUE(matching(store, "nothing like it").empty());
    // The search is used as typed: a trailing space is part of it.
    EXPECT_EQ(matching(store, "Harbor "), std::vector<std::string>{"Harbor Launch"});
    EXPECT_TRUE(matching(store, "Launch ").empty());
}

TEST(StoreSearch, NoMatchSpansTwoTextsOfAProject) {
    TempDir dir;
    WorkspaceState state;
    Delivery project = makeProject("Alpha", 100);
    project.keywords = std::vector<std::string>{"Beta"};
    addFile(state, project, makeFile("gamma.png"));
    state.projects = {project};
    writeLibrary(dir.path(), state);
    StoreHarness h(dir.path());
    EXPECT_TRUE(matching(h.store(), "alphabeta").empty());
    EXPECT_TRUE(matching(h.store(), "betagamma").empty());
    EXPECT_TRUE(matching(h.store(), std::string("alpha\0beta", 10)).empty());
    EXPECT_EQ(matching(h.store(), "lph").size(), 1u);
}

TEST(StoreSearch, ProjectsAreNewestFirstWithTiesInListOrder) {
    TempDir dir;
    WorkspaceState state;
    state.projects = {makeProject("Old A", 100), makeProject("New", 300), makeProject("Old B", 100),
                      makeProject("Old C", 100)};
    writeLibrary(dir.path(), state);
    StoreHarness h(dir.path());
    EXPECT_EQ(matching(h.store(), ""), (std::vector<std::string>{"New", "Old A", "Old B", "Old C"}));
    EXPECT_EQ(matching(h.store(), "old"), (std::vector<std::string>{"Old A", "Old B", "Old C"}));
    // A change stamps the project: it moves to the front.
    h.platform().clock = Date{500};
    h.store().update(h.store().deliveries()[3].id, [](Delivery& d) { d.name = "Old C renamed"; });
    EXPECT_EQ(matching(h.store(), "old"), (std::vector<std::string>{"Old C renamed", "Old A", "Old B"}));
}

TEST(StoreSearch, TheInboxListsPresentUnassignedAssetsThatMatch) {
    TempDir dir;
    writeLibrary(dir.path(), ruleLibrary());
    StoreHarness h(dir.path());
    AppStore& store = h.store();
    ASSERT_EQ(store.unassigned().size(), 1u);
    EXPECT_EQ(store.matchingUnassigned().size(), 1u);
    store.setSearch("扫码");
    ASSERT_EQ(store.matchingUnassigned().size(), 1u);
    EXPECT_EQ(store.matchingUnassigned()[0]->file.name, "IMG_4012.heic");
    // The missing one has the same name stem but is never listed.
    store.setSearch("IMG_401");
    EXPECT_EQ(store.matchingUnassigned().size(), 1u);
    store.setSearch("harbor");
    EXPECT_TRUE(store.matchingUnassigned().empty());
}

TEST(StoreSearch, AgreesWithTheRulesAppliedLiterallyOnARandomLibrary) {
    std::mt19937 random(7);
    const std::vector<std::string> words{"Harbor", "harbour", "星河",   "洱海骑行", "Straße", "STRASSE", "Ünïcode",
                                         "cover",  "_v2",     "IMG_40", "片",       "Ab",     "ab",      "x y"};
    auto phrase = [&](int count) {
        std::string out;
        for (int i = 0; i < count; ++i) out += words[random() % words.size()] + (random() % 3 ? "" : " ");
        return out;
    };
    TempDir dir;
    WorkspaceState state;
    for (int p = 0; p < 40; ++p) {
        Delivery project = makeProject(phrase(2), 100 + random() % 5);
        if (random() % 2) project.keywords = std::vector<std::string>{phrase(1), phrase(2)};
        const int files = static_cast<int>(random() % 6);
        for (int f = 0; f < files; ++f) {
            DeliveryFile file = makeFile(phrase(1) + std::to_string(f) + ".txt", "/media/" + phrase(1), FileRole::copy,
                                         random() % 2 ? std::optional<std::string>(phrase(6)) : std::nullopt);
            if (random() % 4 == 0) file.editedText = phrase(3);
            project.files.push_back(file);
            // Some files have no asset; some assets differ from the project's copy of the file.
            if (random() % 5 == 0) continue;
            IndexedAsset asset = makeAsset(file, project.id, phrase(1));
            if (random() % 4 == 0) asset.file.text = phrase(4);
            if (random() % 3 == 0) asset.recognizedText = phrase(2);
            asset.folderHint = phrase(1);
            state.assets.push_back(asset);
        }
        state.projects.push_back(project);
    }
    for (int a = 0; a < 60; ++a) {
        IndexedAsset asset = makeAsset(makeFile(phrase(2) + ".png"), std::nullopt, phrase(1));
        asset.isMissing = random() % 6 == 0;
        state.assets.push_back(asset);
    }
    writeLibrary(dir.path(), state);

    for (const bool background : {false, true}) {
        StoreHarness h(dir.path());
        AppStore& store = h.store();
        if (background) {
            // Indexed on a lane: after a change, the new index answers once it has arrived.
            auto lane = std::make_unique<QueueLane>();
            QueueLane& queue = *lane;
            store.projectSearch().setLane(std::move(lane));
            store.projectSearch().setSynchronousLimit(0);
            store.update(store.deliveries()[0].id, [](Delivery& d) { d.name += " edited"; });
            store.updateSearchIndexNow();
            ASSERT_EQ(queue.jobs.size(), 1u);
            queue.jobs.front()({});
            h.deliver();
            ASSERT_NE(store.projectSearch().index(), nullptr);
        }
        std::size_t found = 0;
        for (int n = 0; n < 300; ++n) {
            std::string needle = words[random() % words.size()];
            if (random() % 2) needle += words[random() % words.size()];
            if (random() % 3 == 0) needle = needle.substr(0, 1 + random() % needle.size());
            store.setSearch(needle);
            EXPECT_EQ(ids(store.matchingProjects()), literalProjects(store)) << needle;
            EXPECT_EQ(ids(store.matchingUnassigned()), literalInbox(store)) << needle;
            const Delivery& project = store.deliveries()[random() % store.deliveries().size()];
            EXPECT_EQ(store.matchingFiles(project), literalFiles(store, project)) << needle;
            found += !literalProjects(store).empty();
        }
        // Most searches find something, so the comparison covers matches as well as misses.
        EXPECT_GT(found, 150u);
    }
}

TEST(StoreSearch, ALargeLibraryIsIndexedInTheBackgroundAndAnOlderBuildIsDropped) {
    TempDir dir;
    writeLibrary(dir.path(), ruleLibrary());
    StoreHarness h(dir.path());
    AppStore& store = h.store();
    auto lane = std::make_unique<QueueLane>();
    QueueLane& queue = *lane;
    store.projectSearch().setLane(std::move(lane));
    store.projectSearch().setSynchronousLimit(0);
    const UUID harbor = store.deliveries()[0].id;

    // A burst of changes hands the index its data once, when they settle.
    store.update(harbor, [](Delivery& d) { d.name = "Renamed Once"; });
    store.update(harbor, [](Delivery& d) { d.name = "Renamed Twice"; });
    EXPECT_EQ(queue.jobs.size(), 0u);
    store.updateSearchIndexNow();
    ASSERT_EQ(queue.jobs.size(), 1u);
    store.update(harbor, [](Delivery& d) { d.name = "Renamed Twice"; });
    store.updateSearchIndexNow();
    ASSERT_EQ(queue.jobs.size(), 2u);
    // Before any index exists, the rules are applied directly: the results are already right.
    EXPECT_EQ(matching(store, "twice"), std::vector<std::string>{"Renamed Twice"});

    // The first build finishes last of all: it is for data that has changed since, and is dropped.
    std::deque<app::BackgroundLane::Job> jobs = std::move(queue.jobs);
    jobs.front()({});
    h.deliver();
    EXPECT_EQ(store.projectSearch().index(), nullptr);
    h.changes.clear();
    jobs.back()({});
    h.deliver();
    ASSERT_NE(store.projectSearch().index(), nullptr);
    // The views are told that the results of the typed text may have changed.
    ASSERT_FALSE(h.changes.empty());
    EXPECT_TRUE(h.changes.back().testFlag(StoreChange::search));
    EXPECT_EQ(matching(store, "twice"), std::vector<std::string>{"Renamed Twice"});
    EXPECT_EQ(matching(store, "扫码").size(), 0u);
    EXPECT_EQ(store.matchingUnassigned().size(), 1u);

    // A stopped build posts nothing.
    store.update(harbor, [](Delivery& d) { d.name = "Third"; });
    store.updateSearchIndexNow();
    ASSERT_EQ(queue.jobs.size(), 1u);
    std::stop_source stopped;
    stopped.request_stop();
    queue.jobs.front()(stopped.get_token());
    h.changes.clear();
    h.deliver();
    EXPECT_TRUE(h.changes.empty());
}
