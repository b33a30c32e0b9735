// Assigning inbox assets, making projects from them, matching again after new aliases, and
// deleting and restoring projects, through the store on a real library.
#include <gtest/gtest.h>

#include "App/Support/LibrarySupport.hpp"
#include "App/Support/StoreHarness.hpp"
#include "SorvikCore/ProjectMatcher.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using app::AppSheet;
using app::WorkspaceSection;

namespace {

const IndexedAsset& assetOf(const app::AppStore& store, const UUID& id) {
    return assetIn(store.workspace().assets, id);
}
const Delivery& projectOf(const app::AppStore& store, const UUID& id) { return projectIn(store.deliveries(), id); }

/// Two projects: A holds a.png, B holds c.png; b.png and d.png wait in the inbox.
struct TwoProjects {
    TempDir library, originals;
    Delivery a = projectNamed("Harbor Launch");
    Delivery b = projectNamed("Cedar Tour");
    IndexedAsset inA = indexedAsset(originalAt(originals / "a.png"), a.id);
    IndexedAsset waiting = indexedAsset(originalAt(originals / "b.png"));
    IndexedAsset inB = indexedAsset(originalAt(originals / "c.png"), b.id);
    IndexedAsset other = indexedAsset(originalAt(originals / "d.png"));
    std::unique_ptr<StoreHarness> harness;

    TwoProjects() {
        writeLibrary(library.path(), libraryOf({a, b}, {inA, waiting, inB, other}));
        harness = std::make_unique<StoreHarness>(library.path());
    }
    app::AppStore& store() { return harness->store(); }
};

}  // namespace

TEST(StoreInbox, AssignListsTheAssetInItsProjectAtOnceAndKeepsOtherAssignments) {
    TwoProjects f;
    auto& store = f.store();
    store.assign(f.waiting, f.b.id);
    // Shown in the chosen project at once; the matching runs on the worker.
    EXPECT_TRUE(store.isBusy());
    EXPECT_FALSE(store.hasScanWorker());
    EXPECT_EQ(fileNames(projectOf(store, f.b.id)), (std::vector<std::string>{"c.png", "b.png"}));
    EXPECT_TRUE(assetOf(store, f.waiting.id()).projectID == f.b.id);
    ASSERT_TRUE(f.harness->settle());
    EXPECT_FALSE(store.isBusy());
    EXPECT_EQ(fileNames(projectOf(store, f.b.id)), (std::vector<std::string>{"b.png", "c.png"}));
    EXPECT_EQ(fileNames(projectOf(store, f.a.id)), (std::vector<std::string>{"a.png"}));
    const IndexedAsset& assigned = assetOf(store, f.waiting.id());
    EXPECT_EQ(assigned.assignment, AssignmentMode::manual);
    EXPECT_EQ(assigned.reason, "已确认项目关联");
    EXPECT_EQ(store.unassigned().size(), 1u);
    // Saved after the matching.
    const WorkspaceState saved = Repository(f.library.path()).loadWorkspace();
    ASSERT_EQ(saved.projects.size(), 2u);
    EXPECT_EQ(saved.projects[1].files.size(), 2u);

    // Moving an assigned asset takes it out of its old project.
    store.assign(f.inA, f.b.id);
    ASSERT_TRUE(f.harness->settle());
    EXPECT_TRUE(projectOf(store, f.a.id).files.empty());
    EXPECT_EQ(fileNames(projectOf(store, f.b.id)), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
}

TEST(StoreInbox, AssignDoesNothingWhileBusyOrForAProjectThatIsGone) {
    TwoProjects f;
    auto& store = f.store();
    TempDir folder;
    store.connectFolders({folder.path()});
    ASSERT_TRUE(store.isBusy());
    store.assign(f.waiting, f.b.id);
    EXPECT_FALSE(assetOf(store, f.waiting.id()).projectID);
    EXPECT_EQ(projectOf(store, f.b.id).files.size(), 1u);
    ASSERT_TRUE(f.harness->settle());

    // An identifier that names no live project would hide the asset everywhere.
    store.assign(f.waiting, UUID::make());
    EXPECT_FALSE(store.isBusy());
    EXPECT_FALSE(assetOf(store, f.waiting.id()).projectID);
    // Nor does an asset that is no longer indexed.
    store.assign(indexedAsset(originalAt(f.originals / "gone.png")), f.b.id);
    EXPECT_FALSE(store.isBusy());
    EXPECT_EQ(projectOf(store, f.b.id).files.size(), 1u);
}

TEST(StoreInbox, AProjectChangedWhileMatchingRunsKeepsTheChangeAndTheAssignment) {
    TwoProjects f;
    auto& store = f.store();
    store.assign(f.waiting, f.a.id);
    store.update(f.b.id, [](Delivery& d) { d.name = "Cedar Tour 2"; });
    ASSERT_TRUE(f.harness->settle());
    EXPECT_EQ(projectOf(store, f.b.id).name, "Cedar Tour 2");
    EXPECT_EQ(fileNames(projectOf(store, f.a.id)), (std::vector<std::string>{"a.png", "b.png"}));
    EXPECT_EQ(Repository(f.library.path()).loadWorkspace().projects[1].name, "Cedar Tour 2");
}

TEST(StoreInbox, CreateProjectNamesItAfterTheFileSelectsItAndOpensItsRules) {
    TempDir library, originals;
    IndexedAsset asset = indexedAsset(originalAt(originals / "IMG_0001.v2.png"));
    ASSERT_FALSE(ProjectMatcher::hint(asset)) << ProjectMatcher::hint(asset)->title;
    writeLibrary(library.path(), libraryOf({projectNamed("Old")}, {asset}));
    StoreHarness h(library.path());
    auto& store = h.store();
    store.createProject(asset);
    ASSERT_EQ(store.deliveries().size(), 2u);
    // Everything before the last dot.
    EXPECT_EQ(store.deliveries().front().name, "IMG_0001.v2");
    EXPECT_EQ(store.deliveries().front().templ, DeliveryTemplate::flexible());
    EXPECT_EQ(store.selectedID(), store.deliveries().front().id);
    EXPECT_EQ(store.section(), WorkspaceSection::project);
    EXPECT_EQ(store.sheet(), AppSheet::projectRules());
    ASSERT_TRUE(h.settle());
    EXPECT_EQ(fileNames(store.deliveries().front()), (std::vector<std::string>{"IMG_0001.v2.png"}));
    EXPECT_TRUE(store.unassigned().empty());
}

TEST(StoreInbox, CreateProjectDoesNothingWhileBusyOrInRecovery) {
    TempDir library, originals, folder;
    IndexedAsset asset = indexedAsset(originalAt(originals / "note.txt"));
    writeLibrary(library.path(), libraryOf({}, {asset}));
    StoreHarness h(library.path());
    h.store().connectFolders({folder.path()});
    h.store().createProject(asset);
    EXPECT_TRUE(h.store().deliveries().empty());
    EXPECT_FALSE(h.store().sheet());
    ASSERT_TRUE(h.settle());

    TempDir broken;
    writeFile(broken / "workspace.json", "{");
    StoreHarness recovery(broken.path());
    recovery.store().createProject(asset);
    EXPECT_TRUE(recovery.store().deliveries().empty());
}

TEST(StoreInbox, NewAliasesBringMatchingAssetsIntoTheProjectOnceMatchedAgain) {
    TempDir library, originals;
    Delivery project = projectNamed("Untitled");
    IndexedAsset matching(originalAt(originals / "Zephyr poster.png"), std::nullopt, "", std::nullopt);
    matching.reason = "暂时没有足够的项目线索";
    writeLibrary(library.path(), libraryOf({project}, {matching}));
    StoreHarness h(library.path());
    auto& store = h.store();
    store.select(project.id);
    store.update(std::nullopt, [](Delivery& d) {
        d.name = "Spring campaign";
        d.keywords = std::vector<std::string>{"Zephyr"};
    });
    store.regroupAndSave();
    EXPECT_TRUE(store.isBusy());
    ASSERT_TRUE(h.settle());
    EXPECT_EQ(fileNames(projectOf(store, project.id)), (std::vector<std::string>{"Zephyr poster.png"}));
    EXPECT_EQ(Repository(library.path()).loadWorkspace().projects.front().files.size(), 1u);
}

TEST(StoreInbox, DeletingKeepsOriginalsAndRestoringSelectsTheProjectAgain) {
    TwoProjects f;
    auto& store = f.store();
    store.select(f.a.id);
    store.deleteProject(f.a.id);
    EXPECT_FALSE(store.selectedID());
    EXPECT_EQ(store.section(), WorkspaceSection::projects);
    EXPECT_EQ(store.notice(), "项目已删除，原文件保留。可从侧栏恢复。");
    ASSERT_EQ(store.deliveries().size(), 1u);
    const IndexedAsset& orphan = assetOf(store, f.inA.id());
    EXPECT_FALSE(orphan.projectID);
    EXPECT_EQ(orphan.reason, "所属项目已删除，原文件保留");
    EXPECT_EQ(Repository(f.library.path()).loadWorkspace().deletedProjects->size(), 1u);

    store.restoreProject(f.a.id);
    EXPECT_EQ(store.selectedID(), f.a.id);
    EXPECT_EQ(store.section(), WorkspaceSection::project);
    EXPECT_EQ(assetOf(store, f.inA.id()).projectID, f.a.id);
    EXPECT_EQ(assetOf(store, f.inA.id()).assignment, AssignmentMode::manual);
    EXPECT_TRUE(Repository(f.library.path()).loadWorkspace().deletedProjects.value_or(std::vector<Delivery>{}).empty());
}
