// The store on a library whose disk stops answering: the GUI thread never waits on it. Each test
// prints the longest time the GUI thread did not answer.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "App/Support/LibrarySupport.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Stores/LibraryPreload.hpp"
#include "Support/FuseMount.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;

namespace {

/// The longest gap between the beats of a 10 ms timer on the GUI thread.
class Heartbeat {
public:
    Heartbeat() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { beat(); });
        clock_.start();
        timer_.start();
    }
    void restart() {
        clock_.restart();
        longest_ = 0;
    }
    qint64 longestMs() {
        beat();
        return longest_;
    }

private:
    void beat() { longest_ = std::max(longest_, clock_.restart()); }
    QElapsedTimer clock_;
    QTimer timer_;
    qint64 longest_ = 0;
};

struct StalledLibrary : ::testing::Test {
    void SetUp() override {
        if (!disk.skipReason().empty()) GTEST_SKIP() << disk.skipReason();
        store = std::make_unique<app::AppStore>(app::LibraryChoice{disk.path(), {}}, platform, preferences,
                                                std::make_unique<app::WorkerThread>(), app::AppLocations{});
        ASSERT_FALSE(store->recoveryMode()) << store->error().value_or("");
    }
    /// A preset saved: its write is held by the disk.
    void savePresetOnStalledDisk() {
        QElapsedTimer call;
        call.start();
        store->savePreset(DeliveryTemplate::video());
        presetCallMs = call.elapsed();
        ASSERT_TRUE(QTest::qWaitFor([&] { return disk.held() > 0; }, 10000)) << "the write never reached the disk";
    }

    FuseMount disk{FuseMount::Hold::writes};
    FakePlatform platform;
    app::Preferences preferences{std::make_unique<app::MemoryPreferenceStorage>()};
    std::unique_ptr<app::AppStore> store;
    qint64 presetCallMs = 0;
};

}  // namespace

TEST_F(StalledLibrary, APresetAndTheQuitThatWaitsForItKeepTheWindowAnswering) {
    Heartbeat heart;
    savePresetOnStalledDisk();
    EXPECT_LT(presetCallMs, 200);
    EXPECT_EQ(store->presets().size(), 1u);
    EXPECT_TRUE(store->hasUnsavedChanges());

    // Quitting waits for the write with the event loop running and says it is saving.
    bool saidSaving = false;
    QTimer::singleShot(300, [&] { saidSaving = store->isBusy() && store->activity() == "正在保存更改…"; });
    heart.restart();
    QElapsedTimer quit;
    quit.start();
    store->saveBeforeQuit();
    const qint64 quitMs = quit.elapsed();
    const qint64 stall = heart.longestMs();
    EXPECT_TRUE(saidSaving);
    EXPECT_FALSE(store->isBusy());
    ASSERT_EQ(platform.quitQuestions.size(), 1u);
    EXPECT_EQ(platform.quitQuestions.front().library, disk.path());
    EXPECT_GE(quitMs, 4000) << "the question came before the limit";
    EXPECT_LT(stall, 250);
    // Quit without saving: nothing more is waited for.
    QElapsedTimer end;
    end.start();
    store->shutdown();
    EXPECT_LT(end.elapsed(), 1000);
    std::printf("longest GUI stall on a stalled library: preset save %lld ms, quit %lld ms (question after %lld ms)\n",
                static_cast<long long>(presetCallMs), static_cast<long long>(stall), static_cast<long long>(quitMs));
}

TEST_F(StalledLibrary, AQuitSignalEndsTheWaitWithoutAsking) {
    savePresetOnStalledDisk();
    QTimer::singleShot(200, [&] { store->interruptQuit(); });
    QElapsedTimer quit;
    quit.start();
    store->saveBeforeQuit();
    EXPECT_LT(quit.elapsed(), 3000);
    EXPECT_TRUE(platform.quitQuestions.empty());
    // The shutdown still tries to write, for a bounded time.
    quit.restart();
    store->shutdown();
    EXPECT_LT(quit.elapsed(), 8000);
}

TEST(LoadingLibrary, ALibraryThatTakesLongToReadIsLoadingAndQuitDoesNotWaitForIt) {
    // A large workspace file whose reading never ends: how long it would take does not matter.
    FuseMount disk(FuseMount::Hold::reads, "workspace.json", 100'000'000);
    if (!disk.skipReason().empty()) GTEST_SKIP() << disk.skipReason();
    FakePlatform platform;
    app::Preferences preferences(std::make_unique<app::MemoryPreferenceStorage>());
    app::LibraryChoice choice{disk.path(), {}};
    choice.preload = std::make_shared<app::LibraryPreload>(disk.path());
    QElapsedTimer clock;
    clock.start();
    app::AppStore store(choice, platform, preferences, std::make_unique<app::WorkerThread>(), app::AppLocations{});
    store.finishStarting();
    const qint64 startMs = clock.elapsed();
    EXPECT_LT(startMs, 1000);
    EXPECT_TRUE(store.isLoading());
    EXPECT_TRUE(store.isBusy());
    EXPECT_EQ(store.activity(), "正在读取资料库…");
    EXPECT_FALSE(store.recoveryMode());
    ASSERT_TRUE(QTest::qWaitFor([&] { return disk.held() > 0; }, 10000));
    EXPECT_TRUE(store.isLoading());
    clock.restart();
    store.shutdown();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(store.hasUnsavedChanges());
    std::printf("store ready for the window on a library whose reading never ends: %lld ms\n",
                static_cast<long long>(startMs));
}

TEST(LoadingLibrary, TheLibraryOpensOnceItsReadingEnds) {
    TempDir library;
    writeLibrary(library.path(), libraryOf({projectNamed("Harbor Launch")}, {}));
    FakePlatform platform;
    app::Preferences preferences(std::make_unique<app::MemoryPreferenceStorage>());
    app::LibraryChoice choice{library.path(), {}};
    choice.preload = std::make_shared<app::LibraryPreload>(library.path());
    app::AppStore store(choice, platform, preferences, std::make_unique<app::WorkerThread>(), app::AppLocations{});
    store.finishStarting();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !store.isLoading() && !store.deliveries().empty(); }, 10000));
    EXPECT_FALSE(store.isBusy());
    EXPECT_EQ(store.deliveries().front().name, "Harbor Launch");
    EXPECT_TRUE(store.isTimerScheduled());
}
