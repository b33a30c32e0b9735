// The store with its real saver thread (jobs held as in the other store tests): what a save that
// gives way to a change leaves behind.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "App/Support/LibrarySupport.hpp"
#include "App/Support/StoreHarness.hpp"
#include "SorvikCore/Localization.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;

namespace {

/// A store whose saves are written on the saver's thread, with its jobs held.
struct SaverStore {
    FakePlatform platform;
    app::Preferences preferences{std::make_unique<app::MemoryPreferenceStorage>()};
    app::HeldJobRunner* jobs = nullptr;
    std::unique_ptr<app::AppStore> store;

    explicit SaverStore(const fs::path& library) {
        auto held = std::make_unique<app::HeldJobRunner>();
        jobs = held.get();
        store = std::make_unique<app::AppStore>(app::LibraryChoice{library, {}}, platform, preferences, std::move(held),
                                                app::AppLocations{}, /*saveInBackground=*/true);
    }
    ~SaverStore() { store->shutdown(); }
    /// Runs the held jobs and delivers their results; saves are waited for first, so that their
    /// reports are delivered after the saver let go of them.
    void settle() {
        for (int i = 0; i < 100; ++i) {
            store->flushSaves();
            QCoreApplication::processEvents();
            // A save's report may start a job: done once neither is left.
            if (!jobs->runNext() && (store->flushSaves(), jobs->pending() == 0)) break;
        }
    }
};

/// One project of thousands of files, so that encoding a save takes a while.
WorkspaceState largeLibrary(const fs::path& source, const fs::path& originals) {
    std::vector<DeliveryFile> files;
    for (int i = 0; i < 6000; ++i) {
        DeliveryFile file = originalAt(originals / ("clip-" + std::to_string(i) + ".mp4"));
        file.editedText = std::string(300, 'x');
        files.push_back(std::move(file));
    }
    WorkspaceState state = libraryOf({projectNamed("Cedar Tour", std::move(files))}, {});
    state.sources.push_back(SourceFolder::make(source));
    state.recognizeImageText = false;
    return state;
}

}  // namespace

TEST(StoreSaver, ASaveGivenUpForAChangeThatSavesNothingIsFollowedByOneOfTheNewerState) {
    // A silent scan failure edits the workspace without saving; the rename's save, still being
    // encoded, gives way to it and must not be the last word.
    TempDir library, source, originals;
    fs::create_directories(source / "Aurora Launch");
    writeFile(source / "Aurora Launch" / "Aurora Launch copy.txt", "Aurora Launch\nbody text");
    writeFile(source / "Aurora Launch" / "Aurora Launch notes.md", "# Aurora Launch\nmore");
    writeFile(source / "loose.txt", "nothing in common");
    writeLibrary(library.path(), largeLibrary(source.path(), originals.path()));
    SaverStore s(library.path());
    auto& store = *s.store;
    ASSERT_FALSE(store.recoveryMode());
    const UUID project = store.deliveries().at(0).id;
    // The scan at start, and a first save, so that the library on disk counts as fresh to the saver.
    store.update(project, [](Delivery& d) { d.name = "Cedar Tour 1"; });
    s.settle();

    store.setScanLimit(0);
    store.scanFolders(true);
    ASSERT_TRUE(s.jobs->runNext());  // the walk fails beyond the limit; its result waits to be delivered
    store.update(project, [](Delivery& d) { d.name = "Cedar Tour 2"; });
    // Delivered while the rename's save is still being encoded.
    QCoreApplication::sendPostedEvents(&store, QEvent::MetaCall);
    s.settle();
    ASSERT_FALSE(store.isBusy());
    ASSERT_TRUE(store.workspace().scanSummary);
    EXPECT_EQ(store.workspace().scanSummary->rfind("扫描未完成：", 0), 0u) << *store.workspace().scanSummary;
    // The rename is on disk, whether its save was written or given up for the failure's edit.
    EXPECT_EQ(projectIn(Repository(library.path()).loadWorkspace().projects, project).name, "Cedar Tour 2");
}

namespace {

/// Replaces the library's "workspace.json" as a sync client or a restore does: a new file renamed
/// over it, holding the library with one more project.
Delivery replaceFromOutside(const fs::path& library) {
    WorkspaceState state = Repository(library).loadWorkspace();
    Delivery added = projectNamed("Restored from backup");
    state.projects.push_back(added);
    TempDir elsewhere;
    Repository(elsewhere.path()).saveWorkspace(state);
    fs::copy_file(elsewhere / "workspace.json", library / "incoming.tmp");
    fs::rename(library / "incoming.tmp", library / "workspace.json");
    return added;
}

std::vector<std::string> projectNames(const std::vector<Delivery>& projects) {
    std::vector<std::string> names;
    for (const Delivery& project : projects) names.push_back(project.name);
    return names;
}

/// The files of the library folder whose name starts with `prefix`.
std::vector<fs::path> filesStartingWith(const fs::path& folder, const std::string& prefix) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(prefix)) found.push_back(entry.path());
    return found;
}

}  // namespace

TEST(StoreSaver, AFileReplacedBehindACleanStoreIsLoadedNotOverwritten) {
    TempDir library, source;
    writeFile(source / "Cedar Tour cover.txt", "cover");
    WorkspaceState state = libraryOf({projectNamed("Cedar Tour")}, {});
    state.sources.push_back(SourceFolder::make(source.path()));
    writeLibrary(library.path(), state);
    SaverStore s(library.path());
    auto& store = *s.store;
    // A scan and its save: the file is the store's own now.
    store.scanFolders(true);
    s.settle();
    ASSERT_FALSE(store.hasUnsavedChanges());

    const Delivery added = replaceFromOutside(library.path());
    const std::string outside = readFile(library / "workspace.json");
    // The next timer scan saves what it found, and meets the other program's file.
    store.scanFolders(true);
    s.settle();
    EXPECT_EQ(readFile(library / "workspace.json"), outside);
    EXPECT_EQ(projectNames(store.deliveries()), (std::vector<std::string>{"Cedar Tour", "Restored from backup"}));
    EXPECT_FALSE(store.hasUnsavedChanges());
    EXPECT_FALSE(store.error()) << *store.error();
    ASSERT_TRUE(store.notice());
    EXPECT_NE(store.notice()->find((library / "workspace.json").string()), std::string::npos) << *store.notice();
    EXPECT_TRUE(filesStartingWith(library.path(), "workspace (").empty());

    // The file read is the store's to write again.
    store.update(added.id, [](Delivery& d) { d.name = "Restored and renamed"; });
    s.settle();
    EXPECT_FALSE(store.hasUnsavedChanges());
    EXPECT_EQ(projectNames(Repository(library.path()).loadWorkspace().projects),
              (std::vector<std::string>{"Cedar Tour", "Restored and renamed"}));
}

TEST(StoreSaver, AFileReplacedBehindAnEditIsKeptAndTheEditIsWrittenBesideIt) {
    TempDir library;
    writeLibrary(library.path(), libraryOf({projectNamed("Cedar Tour")}, {}));
    SaverStore s(library.path());
    auto& store = *s.store;
    const UUID project = store.deliveries().at(0).id;
    store.update(project, [](Delivery& d) { d.name = "Cedar Tour 1"; });
    s.settle();

    replaceFromOutside(library.path());
    const std::string outside = readFile(library / "workspace.json");
    store.update(project, [](Delivery& d) { d.name = "Cedar Tour 2"; });
    s.settle();
    EXPECT_EQ(readFile(library / "workspace.json"), outside);
    const std::vector<fs::path> kept = filesStartingWith(library.path(), "workspace (unsaved changes from Sorvik, ");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].extension(), ".json");
    TempDir reader;
    fs::copy_file(kept[0], reader / "workspace.json");
    EXPECT_EQ(projectNames(Repository(reader.path()).loadWorkspace().projects),
              std::vector<std::string>{"Cedar Tour 2"});
    // The other program's file is shown; the user is told where each is.
    EXPECT_EQ(projectNames(store.deliveries()), (std::vector<std::string>{"Cedar Tour 1", "Restored from backup"}));
    ASSERT_TRUE(store.error());
    EXPECT_NE(store.error()->find((library / "workspace.json").string()), std::string::npos) << *store.error();
    EXPECT_NE(store.error()->find(kept[0].string()), std::string::npos) << *store.error();
    EXPECT_EQ(store.errorLocation(), kept[0]);
    EXPECT_FALSE(store.hasUnsavedChanges());
    {
        LanguageScope english("en");
        EXPECT_NE(L(*store.error()).find("kept in “" + kept[0].string() + "”"), std::string::npos) << L(*store.error());
    }

    store.clearError();
    store.update(project, [](Delivery& d) { d.name = "Cedar Tour 3"; });
    s.settle();
    EXPECT_EQ(projectNames(Repository(library.path()).loadWorkspace().projects),
              (std::vector<std::string>{"Cedar Tour 3", "Restored from backup"}));
    EXPECT_EQ(filesStartingWith(library.path(), "workspace (").size(), 1u);
}

TEST(StoreSaver, RulesReplacedBehindAPresetSaveAreShownAndThePresetIsKeptBesideThem) {
    TempDir library;
    writeLibrary(library.path(), libraryOf({projectNamed("Cedar Tour")}, {}));
    SaverStore s(library.path());
    auto& store = *s.store;
    auto named = [](const std::string& name) {
        DeliveryTemplate templ = DeliveryTemplate::video();
        templ.name = name;
        return templ;
    };
    auto presetNames = [](const std::vector<TemplatePreset>& presets) {
        std::vector<std::string> names;
        for (const TemplatePreset& preset : presets) names.push_back(preset.templ.name);
        return names;
    };
    store.savePreset(named("Festival"));
    s.settle();
    ASSERT_EQ(presetNames(Repository(library.path()).loadPresets()), std::vector<std::string>{"Festival"});

    // A sync client puts another list in place, atomically.
    TempDir elsewhere;
    Repository(elsewhere.path()).savePresets({TemplatePreset{UUID::make(), named("Broadcast")}});
    fs::copy_file(elsewhere / "templates.json", library / "incoming.tmp");
    fs::rename(library / "incoming.tmp", library / "templates.json");
    const std::string outside = readFile(library / "templates.json");

    store.savePreset(named("Archive"));
    s.settle();
    EXPECT_EQ(readFile(library / "templates.json"), outside);
    EXPECT_EQ(presetNames(store.presets()), std::vector<std::string>{"Broadcast"});
    const std::vector<fs::path> kept = filesStartingWith(library.path(), "templates (unsaved changes from Sorvik, ");
    ASSERT_EQ(kept.size(), 1u);
    TempDir reader;
    fs::copy_file(kept[0], reader / "templates.json");
    EXPECT_EQ(presetNames(Repository(reader.path()).loadPresets()), (std::vector<std::string>{"Festival", "Archive"}));
    ASSERT_TRUE(store.error());
    EXPECT_NE(store.error()->find((library / "templates.json").string()), std::string::npos) << *store.error();
    EXPECT_NE(store.error()->find(kept[0].string()), std::string::npos) << *store.error();
    EXPECT_EQ(store.errorLocation(), kept[0]);
    {
        LanguageScope english("en");
        EXPECT_NE(L(*store.error()).find("kept in “" + kept[0].string() + "”"), std::string::npos) << L(*store.error());
    }
    // The workspace was not replaced, and is not copied.
    EXPECT_TRUE(filesStartingWith(library.path(), "workspace (").empty());

    // The list read is the store's to write again.
    store.clearError();
    store.savePreset(named("Trailer"));
    s.settle();
    EXPECT_EQ(presetNames(Repository(library.path()).loadPresets()),
              (std::vector<std::string>{"Broadcast", "Trailer"}));
    EXPECT_FALSE(store.error()) << *store.error();
}

TEST(StoreSaver, ALibraryFolderReplacedUnderItsPathIsNeverWrittenAgain) {
    TempDir folder;
    const fs::path library = folder / "lib";
    writeLibrary(library, libraryOf({projectNamed("Cedar Tour")}, {}));
    SaverStore s(library);
    auto& store = *s.store;
    const UUID project = store.deliveries().at(0).id;
    store.update(project, [](Delivery& d) { d.name = "Cedar Tour 1"; });
    s.settle();
    const std::string before = readFile(library / "workspace.json");

    // Restored elsewhere and put in its place; another app may hold the new folder now.
    fs::rename(library, folder / "lib.old");
    writeLibrary(library, libraryOf({projectNamed("Other app")}, {}));
    const std::string other = readFile(library / "workspace.json");
    store.update(project, [](Delivery& d) { d.name = "Cedar Tour 2"; });
    s.settle();
    EXPECT_EQ(readFile(library / "workspace.json"), other);
    EXPECT_EQ(readFile(folder / "lib.old" / "workspace.json"), before);
    EXPECT_TRUE(store.recoveryMode());
    ASSERT_TRUE(store.error());
    EXPECT_NE(store.error()->find(library.string()), std::string::npos) << *store.error();
    EXPECT_FALSE(store.isTimerScheduled());
    // Read-only from now on, as a library without its lock.
    EXPECT_FALSE(store.persist());
    store.newDelivery();
    s.settle();
    EXPECT_EQ(readFile(library / "workspace.json"), other);
    EXPECT_EQ(filesStartingWith(library, ".sorvik-").size(), 0u);
}
