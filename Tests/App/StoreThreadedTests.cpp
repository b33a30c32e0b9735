// The store with its real worker and saver threads.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include "App/Support/StoreHarness.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;

namespace {

std::unique_ptr<app::AppStore> threadedStore(const fs::path& library, FakePlatform& platform,
                                             app::Preferences& preferences) {
    return std::make_unique<app::AppStore>(app::LibraryChoice{library, {}}, platform, preferences,
                                           std::make_unique<app::WorkerThread>(), app::AppLocations{});
}

}  // namespace

TEST(StorePersist, SavesInTheBackgroundAreWrittenNewestLastAndFlushedAtShutdown) {
    TempDir dir;
    sorvik::test::FakePlatform platform;
    app::Preferences preferences(std::make_unique<app::MemoryPreferenceStorage>());
    auto store = threadedStore(dir.path(), platform, preferences);
    int answered = 0;
    for (int i = 0; i < 20; ++i) {
        store->newDelivery();
        store->persist([&](bool ok) { answered += ok ? 1 : 0; });
    }
    store->flushSaves();
    EXPECT_EQ(answered, 20);
    EXPECT_EQ(Repository(dir.path()).loadWorkspace().projects.size(), 20u);
    store->newDelivery();
    store->shutdown();
    // The last change is on disk once the store has shut down.
    EXPECT_EQ(Repository(dir.path()).loadWorkspace().projects.size(), 21u);
}

TEST(StoreThreads, QuittingDuringAScanStopsTheWorkerAndNoResultArrivesLater) {
    TempDir dir, source;
    for (int i = 0; i < 3000; ++i) {
        if (i % 100 == 0) fs::create_directories(source / std::to_string(i / 100));
        writeFile(source / std::to_string(i / 100) / ("note " + std::to_string(i) + ".txt"),
                  "text " + std::to_string(i));
    }
    sorvik::test::FakePlatform platform;
    app::Preferences preferences(std::make_unique<app::MemoryPreferenceStorage>());
    auto store = threadedStore(dir.path(), platform, preferences);
    store->connectFolders({source.path()});
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->hasScanWorker(); }, 20000));
    int emitted = 0;
    QObject::connect(store.get(), &app::AppStore::changed, [&] { ++emitted; });
    store->shutdown();
    const int afterShutdown = emitted;
    QCoreApplication::processEvents();
    EXPECT_EQ(emitted, afterShutdown);
    store.reset();
    QCoreApplication::processEvents();
    // The connected source was saved before the scan started.
    EXPECT_EQ(Repository(dir.path()).loadWorkspace().sources.size(), 1u);
}

TEST(StoreThreads, AScanOnTheWorkerCompletesAndSaves) {
    TempDir dir, source;
    for (int i = 0; i < 50; ++i) writeFile(source / ("Comet Tour " + std::to_string(i) + ".txt"), "Comet Tour");
    sorvik::test::FakePlatform platform;
    app::Preferences preferences(std::make_unique<app::MemoryPreferenceStorage>());
    auto store = threadedStore(dir.path(), platform, preferences);
    store->connectFolders({source.path()});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !store->isBusy() && store->workspace().lastScan; }, 30000));
    store->flushSaves();
    EXPECT_EQ(Repository(dir.path()).loadWorkspace().assets.size(), 50u);
}

TEST(StorePersist, SavesGivenUpForNewerChangesEndWithTheNewestOnDisk) {
    // Changes coming faster than a large library is encoded give the older saves up: the newest
    // state is still written, and nothing stays marked unsaved.
    TempDir dir;
    WorkspaceState state;
    Delivery project(UUID::make(), "Project", {}, DeliveryTemplate::flexible());
    for (int i = 0; i < 4000; ++i) {
        IndexedAsset asset;
        asset.file = DeliveryFile(UUID::make(), "clip-" + std::to_string(i) + ".mp4", "", FileRole::video, 4, "");
        asset.recognizedText = std::string(200, 'x');
        asset.projectID = project.id;
        state.assets.push_back(asset);
        project.files.push_back(asset.file);
    }
    state.projects.push_back(project);
    Repository(dir.path()).saveWorkspace(state);
    sorvik::test::FakePlatform platform;
    app::Preferences preferences(std::make_unique<app::MemoryPreferenceStorage>());
    auto store = threadedStore(dir.path(), platform, preferences);
    for (int i = 0; i < 40; ++i) store->update(project.id, [i](Delivery& d) { d.name = "Name " + std::to_string(i); });
    store->flushSaves();
    EXPECT_FALSE(store->hasUnsavedChanges());
    EXPECT_FALSE(store->error());
    const WorkspaceState saved = Repository(dir.path()).loadWorkspace();
    ASSERT_EQ(saved.projects.size(), 1u);
    EXPECT_EQ(saved.projects[0].name, "Name 39");
    EXPECT_EQ(saved.assets.size(), 4000u);
    store->shutdown();
}
