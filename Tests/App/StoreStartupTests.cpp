// Start-up, library choice, recovery mode, saving, selection and project updates.
#include <gtest/gtest.h>

#include <thread>

#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Stores/LibraryPreload.hpp"
#include "SorvikCore/Localization.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using app::AppSheet;
using app::WorkspaceSection;

namespace {

Delivery project(const std::string& name, double updated = 1000) {
    Delivery d(UUID::make(), name, {}, DeliveryTemplate::flexible());
    d.createdAt = d.updatedAt = Date{updated};
    return d;
}

DeliveryFile textFile(const std::string& name) {
    DeliveryFile f(UUID::make(), name, "files/" + name, FileRole::copy, 4, "");
    return f;
}

void writeLibrary(const fs::path& root, const WorkspaceState& state) {
    Repository repository(root);
    repository.saveWorkspace(state);
}

}  // namespace

TEST(LibraryChoice, FirstDataDirWinsAndTrailingOneIsIgnored) {
    const fs::path def = "/home/u/.local/share/Sorvik";
    auto choice = app::chooseLibrary({"--data-dir", "/a", "--data-dir", "/b"}, std::nullopt, def, "/cwd");
    EXPECT_EQ(choice.folder, fs::path("/a"));
    // A trailing "--data-dir" without a value: the environment, else the default.
    choice = app::chooseLibrary({"x", "--data-dir"}, std::string("/env"), def, "/cwd");
    EXPECT_EQ(choice.folder, fs::path("/env"));
    choice = app::chooseLibrary({"--data-dir"}, std::nullopt, def, "/cwd");
    EXPECT_EQ(choice.folder, def);
    // The first "--data-dir" decides even when it is the trailing one.
    choice = app::chooseLibrary({"--data-dir", "/a"}, std::string("/env"), def, "/cwd");
    EXPECT_EQ(choice.folder, fs::path("/a"));
}

TEST(LibraryChoice, RelativeIsMadeAbsoluteAndEmptyIsRefused) {
    const fs::path def = "/d";
    EXPECT_EQ(app::chooseLibrary({"--data-dir", "lib"}, std::nullopt, def, "/work").folder, fs::path("/work/lib"));
    EXPECT_EQ(app::chooseLibrary({}, std::string("rel/x"), def, "/w").folder, fs::path("/w/rel/x"));
    // An empty value never means the current folder.
    const auto emptyEnv = app::chooseLibrary({}, std::string(), def, "/w");
    EXPECT_FALSE(emptyEnv.folder);
    EXPECT_FALSE(emptyEnv.failure.empty());
    EXPECT_FALSE(app::chooseLibrary({"--data-dir", ""}, std::nullopt, def, "/w").folder);
}

TEST(StoreStartup, LoadsTheLibrarySelectsTheFirstProjectAndSchedulesTheTimer) {
    TempDir dir;
    WorkspaceState state;
    state.projects = {project("One"), project("Two")};
    writeLibrary(dir.path(), state);
    StoreHarness h(dir.path());
    auto& store = h.store();
    EXPECT_FALSE(store.recoveryMode());
    ASSERT_EQ(store.deliveries().size(), 2u);
    ASSERT_TRUE(store.selectedID());
    EXPECT_EQ(*store.selectedID(), state.projects[0].id);
    EXPECT_TRUE(store.isTimerScheduled());
    // No sources: no silent scan at start.
    EXPECT_EQ(h.jobs().pending(), 0u);
    EXPECT_FALSE(store.isBusy());
}

TEST(StoreStartup, EmptyLibraryChoiceEntersRecoveryWithAClearMessage) {
    StoreHarness h(app::LibraryChoice{std::nullopt, "资料库位置为空"});
    EXPECT_TRUE(h.store().recoveryMode());
    ASSERT_TRUE(h.store().error());
    EXPECT_EQ(*h.store().error(), "资料库读取失败：资料库位置为空\n原资料库已保留，请先在设置中查看位置。");
    EXPECT_EQ(h.store().repository(), nullptr);
    EXPECT_FALSE(h.store().persist());
}

TEST(StoreRecovery, AnUnreadableWorkspaceIsNeverWrittenWhateverIsTried) {
    TempDir dir;
    TempDir sources;
    fs::create_directories(sources / "a");
    writeFile(sources / "a" / "note.txt", "hello");
    const std::string broken = "{\"projects\": [}";
    writeFile(dir / "workspace.json", broken);
    StoreHarness h(dir.path());
    auto& store = h.store();
    ASSERT_TRUE(store.recoveryMode());
    ASSERT_TRUE(store.error());
    EXPECT_EQ(store.error()->rfind("资料库读取失败：", 0), 0u);
    EXPECT_FALSE(store.isTimerScheduled());
    store.clearError();

    // Every operation that would change the library.
    EXPECT_FALSE(store.persist());
    store.newDelivery();
    store.update(std::nullopt, [](Delivery& d) { d.name = "x"; });
    store.setAutomaticScan(false);
    store.connectFolders({sources / "a"});
    store.archiveNow();
    h.platform().answers.push_back({sources.path()});
    store.chooseArchiveFolder();
    store.loadRudidEdevov();
    store.importURLs({sources / "a" / "note.txt"});
    store.savePreset(DeliveryTemplate::video());
    store.tick();
    store.scanFolders(true);
    h.settle();

    EXPECT_EQ(readFile(dir / "workspace.json"), broken);
    EXPECT_FALSE(fs::exists(dir / "templates.json"));
    EXPECT_TRUE(store.deliveries().empty());
    EXPECT_FALSE(store.isBusy());
    EXPECT_FALSE(store.workspace().archiveFolder);
    EXPECT_TRUE(store.workspace().sources.empty());
    // A loud scan only opens the sources sheet.
    store.scanFolders(false);
    EXPECT_EQ(store.sheet(), AppSheet::sources());
    EXPECT_EQ(h.jobs().pending(), 0u);
}

TEST(StoreRecovery, UnreadablePresetsKeepTheProjectsButSelectNothing) {
    TempDir dir;
    WorkspaceState state;
    state.projects = {project("Kept")};
    writeLibrary(dir.path(), state);
    writeFile(dir / "templates.json", "[{\"id\": 1}]");
    StoreHarness h(dir.path());
    EXPECT_TRUE(h.store().recoveryMode());
    ASSERT_EQ(h.store().deliveries().size(), 1u);
    EXPECT_EQ(h.store().deliveries()[0].name, "Kept");
    EXPECT_FALSE(h.store().selectedID());
    EXPECT_FALSE(h.store().isTimerScheduled());
}

TEST(StorePersist, AssetsTakeTheFirstProjectsFileRecord) {
    TempDir dir;
    WorkspaceState state;
    DeliveryFile shared = textFile("shared.txt");
    Delivery first = project("First");
    Delivery second = project("Second");
    DeliveryFile inFirst = shared;
    inFirst.role = FileRole::cover;
    DeliveryFile inSecond = shared;
    inSecond.role = FileRole::extra;
    first.files = {inFirst};
    second.files = {inSecond};
    state.projects = {first, second};
    state.assets = {IndexedAsset(shared, std::nullopt, "", std::nullopt)};
    writeLibrary(dir.path(), state);
    StoreHarness h(dir.path());
    ASSERT_TRUE(h.store().persist());
    EXPECT_EQ(h.store().workspace().assets[0].file.role, FileRole::cover);
    EXPECT_EQ(Repository(dir.path()).loadWorkspace().assets[0].file.role, FileRole::cover);
}

TEST(StorePersist, AFailedSaveKeepsTheStateAndSaysSo) {
    TempDir dir;
    const fs::path library = dir / "lib";
    StoreHarness h(library);
    h.store().newDelivery();
    ASSERT_EQ(h.store().deliveries().size(), 1u);
    // The library folder replaced by a file: saving cannot succeed, nor is it tried again.
    fs::remove_all(library);
    writeFile(library, "not a folder");
    std::optional<bool> saved;
    EXPECT_TRUE(h.store().persist([&](bool ok) { saved = ok; }));
    h.deliver();
    EXPECT_EQ(saved, false);
    ASSERT_TRUE(h.store().error());
    EXPECT_EQ(h.store().error()->rfind("资料库文件夹“" + library.string() + "”已被移走或替换", 0), 0u);
    EXPECT_TRUE(h.store().recoveryMode());
    EXPECT_EQ(h.store().deliveries().size(), 1u);
}

TEST(StoreProjects, UpdateStampsSavesAndFollowsTheSelection) {
    TempDir dir;
    WorkspaceState state;
    state.projects = {project("A"), project("B")};
    writeLibrary(dir.path(), state);
    StoreHarness h(dir.path());
    auto& store = h.store();
    h.platform().clock = Date{5000};
    store.update(std::nullopt, [](Delivery& d) { d.name = "A2"; });
    EXPECT_EQ(store.deliveries()[0].name, "A2");
    EXPECT_EQ(store.deliveries()[0].updatedAt, Date{5000});
    EXPECT_EQ(Repository(dir.path()).loadWorkspace().projects[0].name, "A2");
    store.update(state.projects[1].id, [](Delivery& d) { d.name = "B2"; });
    EXPECT_EQ(store.deliveries()[1].name, "B2");
    // Nothing selected: an update without an identifier changes nothing.
    store.deleteProject(state.projects[0].id);
    EXPECT_FALSE(store.selectedID());
    const auto before = store.deliveries();
    store.update(std::nullopt, [](Delivery& d) { d.name = "never"; });
    EXPECT_EQ(store.deliveries()[0].name, before[0].name);
}

TEST(StoreProjects, NewDeliveryOpensItsRulesAndIsRefusedWhileBusy) {
    TempDir dir;
    TempDir src;
    writeFile(src / "a.txt", "a");
    StoreHarness h(dir.path());
    auto& store = h.store();
    // The name is stored translated into the interface language.
    h.preferences().setLanguage("en");
    store.newDelivery();
    ASSERT_EQ(store.deliveries().size(), 1u);
    EXPECT_EQ(store.deliveries()[0].name, L(InLanguage{"en"}, "未命名项目"));
    EXPECT_NE(store.deliveries()[0].name, "未命名项目");
    h.preferences().setLanguage("zh-Hans");
    store.newDelivery();
    ASSERT_EQ(store.deliveries().size(), 2u);
    EXPECT_EQ(store.deliveries()[0].name, "未命名项目");
    EXPECT_EQ(store.section(), WorkspaceSection::project);
    EXPECT_EQ(store.sheet(), AppSheet::projectRules());
    store.setSheet(std::nullopt);
    store.connectFolders({src.path()});
    ASSERT_TRUE(store.isBusy());
    store.newDelivery();
    EXPECT_EQ(store.deliveries().size(), 2u);
    h.settle();
    EXPECT_FALSE(store.isBusy());
}

TEST(StoreProjects, SelectingClearsTheNoticeAndTheReceiptEvenForTheSameProject) {
    TempDir dir;
    WorkspaceState state;
    state.projects = {project("A")};
    writeLibrary(dir.path(), state);
    StoreHarness h(dir.path());
    auto& store = h.store();
    store.setShowOnlyIssues(true);
    store.setProjectFilter(app::FileFilter::videos);
    store.deleteProject(state.projects[0].id);
    ASSERT_TRUE(store.notice());
    store.restoreProject(state.projects[0].id);
    EXPECT_EQ(store.selectedID(), state.projects[0].id);
    EXPECT_FALSE(store.notice());
    EXPECT_FALSE(store.showOnlyIssues());
    EXPECT_EQ(store.projectFilter(), app::FileFilter::all);
}

TEST(StoreChanges, OneSignalPerOperationAfterTheStateIsConsistent) {
    TempDir dir;
    StoreHarness h(dir.path());
    auto& store = h.store();
    h.changes.clear();
    int seen = 0;
    QObject::connect(&store, &app::AppStore::changed, [&](app::StoreChanges what) {
        ++seen;
        // Everything the operation did is visible when the signal arrives.
        EXPECT_TRUE(what.testFlag(app::StoreChange::projects));
        EXPECT_EQ(store.deliveries().size(), 1u);
        EXPECT_EQ(store.sheet(), AppSheet::projectRules());
    });
    store.newDelivery();
    EXPECT_EQ(seen, 1);
}

TEST(StoreStartup, ALibraryReadAheadIsOpenedOnlyWhenTheStoreFinishesStarting) {
    TempDir dir;
    WorkspaceState state;
    state.projects = {project("One"), project("Two")};
    writeLibrary(dir.path(), state);
    app::LibraryChoice choice{dir.path(), {}};
    choice.preload = std::make_shared<app::LibraryPreload>(dir.path());
    StoreHarness h(choice);
    auto& store = h.store();
    // Views built now see an empty store, not a library in recovery.
    EXPECT_TRUE(store.deliveries().empty());
    EXPECT_FALSE(store.recoveryMode());
    EXPECT_FALSE(store.repository());
    store.finishStarting();
    ASSERT_EQ(store.deliveries().size(), 2u);
    EXPECT_EQ(store.deliveries()[1].name, "Two");
    EXPECT_EQ(store.selectedID(), state.projects[0].id);
    EXPECT_TRUE(store.isTimerScheduled());
    EXPECT_FALSE(store.hasUnsavedChanges());
    // Once only.
    store.finishStarting();
    EXPECT_EQ(store.deliveries().size(), 2u);
}

TEST(StoreStartup, ALibrarySavedAfterItWasReadAheadIsReadAgain) {
    // Another copy of the app saved after this one read the file and before it held the lock:
    // what was read is stale, and saving it would lose that copy's last changes.
    TempDir dir;
    WorkspaceState before;
    before.projects = {project("Before")};
    writeLibrary(dir.path(), before);
    app::LibraryChoice choice{dir.path(), {}};
    choice.preload = std::make_shared<app::LibraryPreload>(dir.path());
    while (!choice.preload->finished()) std::this_thread::yield();
    WorkspaceState after;
    after.projects = {project("After"), project("Also after")};
    writeLibrary(dir.path(), after);
    StoreHarness h(choice);
    h.store().finishStarting();
    ASSERT_EQ(h.store().deliveries().size(), 2u);
    EXPECT_EQ(h.store().deliveries()[0].name, "After");
    EXPECT_FALSE(h.store().recoveryMode());
}

TEST(StoreStartup, AnUnreadableLibraryReadAheadEntersRecoveryAsWithoutIt) {
    TempDir dir;
    const std::string broken = "{\"projects\": [}";
    writeFile(dir / "workspace.json", broken);
    StoreHarness plain(dir.path());
    ASSERT_TRUE(plain.store().error());
    app::LibraryChoice choice{dir.path(), {}};
    choice.preload = std::make_shared<app::LibraryPreload>(dir.path());
    StoreHarness h(choice);
    h.store().finishStarting();
    EXPECT_TRUE(h.store().recoveryMode());
    EXPECT_EQ(h.store().error(), plain.store().error());
    EXPECT_FALSE(h.store().persist());
    EXPECT_EQ(readFile(dir / "workspace.json"), broken);
}
