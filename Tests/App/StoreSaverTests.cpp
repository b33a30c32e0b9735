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
