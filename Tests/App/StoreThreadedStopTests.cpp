// Stop and shutdown while a job of the real worker does not return, as a walk stuck in the kernel
// on a dead mount or a long decode would: nothing waits for it, and its late result is dropped.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "App/Support/StoreHarness.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;

namespace {

constexpr int deadline = 20000;  // ms

/// Where gated jobs wait until the test opens it; deaf to stop requests, as a system call is.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int waiting = 0;
    int finished = 0;

    void pass() {
        std::unique_lock lock(mutex);
        ++waiting;
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
    }
    void done() {
        std::lock_guard lock(mutex);
        ++finished;
        changed.notify_all();
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    int waitingNow() {
        std::lock_guard lock(mutex);
        return waiting;
    }
    bool waitFor(const std::function<bool()>& condition) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(deadline), condition);
    }
};

/// The real worker; the jobs whose numbers (from 1) are listed wait at the gate first.
class GatedRunner final : public app::JobRunner {
public:
    GatedRunner(std::shared_ptr<Gate> gate, std::vector<int> gated)
        : gate_(std::move(gate)), gated_(std::move(gated)) {}
    void submit(Job job) override {
        const bool held = std::find(gated_.begin(), gated_.end(), ++count_) != gated_.end();
        inner_.submit([gate = gate_, held, job = std::move(job)] {
            if (held) gate->pass();
            job();
            if (held) gate->done();
        });
    }
    void abandonRunning() override {
        ++abandoned;
        inner_.abandonRunning();
    }
    bool shutdown(std::chrono::milliseconds patience) override { return inner_.shutdown(patience); }
    int threadCount() const { return inner_.threadCount(); }
    int abandoned = 0;

private:
    std::shared_ptr<Gate> gate_;
    std::vector<int> gated_;
    int count_ = 0;
    app::WorkerThread inner_;
};

/// A library with one source of a few texts; no automatic scan.
struct StuckFixture {
    TempDir library;
    TempDir source;
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    FakePlatform platform;
    app::Preferences preferences{std::make_unique<app::MemoryPreferenceStorage>()};
    GatedRunner* runner = nullptr;
    std::unique_ptr<app::AppStore> store;

    explicit StuckFixture(std::vector<int> gated) {
        for (int i = 0; i < 4; ++i) writeFile(source / ("Comet Tour " + std::to_string(i) + ".txt"), "Comet Tour");
        WorkspaceState state;
        state.sources = {SourceFolder::make(source.path())};
        state.automaticScan = false;
        state.recognizeImageText = false;
        Repository(library.path()).saveWorkspace(state);
        auto jobs = std::make_unique<GatedRunner>(gate, std::move(gated));
        runner = jobs.get();
        store = std::make_unique<app::AppStore>(app::LibraryChoice{library.path(), {}}, platform, preferences,
                                                std::move(jobs), app::AppLocations{});
    }
    ~StuckFixture() {
        // A job still at the gate finishes before the test's folders go.
        gate->release();
        if (store) store->shutdown();
        gate->waitFor([this] { return gate->finished == gate->waiting; });
    }
    bool waitIdle() {
        return QTest::qWaitFor([&] { return !store->isBusy(); }, deadline);
    }
};

}  // namespace

TEST(StoreStuckJobs, StopDuringAStuckWalkIsIdleAtOnceAndTheNextScanRunsBesideIt) {
    StuckFixture f({1});
    auto& store = *f.store;
    store.scanFolders(false);
    ASSERT_TRUE(f.gate->waitFor([&] { return f.gate->waiting == 1; }));
    const auto start = std::chrono::steady_clock::now();
    store.stopScan();
    std::printf("stop during a stuck walk: %.3f ms\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    // No event processed, nothing waited for: the store is idle when Stop returns.
    EXPECT_FALSE(store.isBusy());
    EXPECT_FALSE(store.hasScanWorker());
    EXPECT_FALSE(store.scanToken());
    EXPECT_EQ(store.notice(), "已停止扫描，保留上一次完整索引。");
    EXPECT_EQ(f.runner->abandoned, 1);
    EXPECT_TRUE(store.workspace().assets.empty());

    // The next scan is not refused and does not queue behind the stuck walk.
    store.scanFolders(false);
    ASSERT_TRUE(store.isBusy());
    ASSERT_TRUE(f.waitIdle());
    EXPECT_EQ(store.workspace().assets.size(), 4u);
    EXPECT_EQ(store.notice(), store.workspace().scanSummary);
    EXPECT_EQ(f.runner->threadCount(), 2);
    const auto lastScan = store.workspace().lastScan;

    // The stuck walk returns at last: its thread ends and its result is dropped.
    store.newDelivery();
    const auto projects = store.deliveries().size();
    f.gate->release();
    ASSERT_TRUE(f.gate->waitFor([&] { return f.gate->finished == 1; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.runner->threadCount() == 1; }, deadline));
    QCoreApplication::processEvents();
    EXPECT_FALSE(store.isBusy());
    EXPECT_EQ(store.workspace().lastScan, lastScan);
    EXPECT_EQ(store.deliveries().size(), projects);
    EXPECT_EQ(store.notice(), std::nullopt);  // cleared by the new project, not set by the late result
}

TEST(StoreStuckJobs, StopDuringAStuckGroupingFreesTheStoreForOtherOperations) {
    StuckFixture f({2});  // the walk runs, the grouping is held
    auto& store = *f.store;
    store.scanFolders(true);
    // The grouping starts from the walk's result, delivered on this thread.
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.gate->waitingNow() == 1; }, deadline));
    EXPECT_EQ(store.activity(), "正在关联项目…");
    store.newDelivery();  // refused while busy
    EXPECT_TRUE(store.deliveries().empty());
    store.stopScan();
    EXPECT_FALSE(store.isBusy());
    EXPECT_EQ(store.notice(), "已停止扫描，保留上一次完整索引。");
    store.newDelivery();
    EXPECT_EQ(store.deliveries().size(), 1u);
    // A source connected now is connected and scanned on the fresh thread.
    TempDir more;
    writeFile(more / "Nova Drop.txt", "Nova Drop");
    store.connectFolders({more.path()});
    ASSERT_TRUE(f.waitIdle());
    EXPECT_EQ(store.workspace().sources.size(), 2u);
    EXPECT_EQ(store.workspace().assets.size(), 5u);
    f.gate->release();
    ASSERT_TRUE(f.gate->waitFor([&] { return f.gate->finished == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(store.workspace().assets.size(), 5u);
}

TEST(StoreStuckJobs, ShutdownSavesWithoutWaitingForAStuckJobAndALateResultFindsNoStore) {
    StuckFixture f({1});
    f.store->setShutdownPatience(std::chrono::milliseconds(50));
    f.store->newDelivery();
    const UUID project = f.store->deliveries().front().id;
    f.store->scanFolders(true);
    ASSERT_TRUE(f.gate->waitFor([&] { return f.gate->waiting == 1; }));
    f.store->shutdown();
    EXPECT_FALSE(f.store->workersEnded());
    const WorkspaceState saved = Repository(f.library.path()).loadWorkspace();
    ASSERT_EQ(saved.projects.size(), 1u);
    EXPECT_EQ(saved.projects.front().id, project);
    // The store goes while its job is stuck; the job then returns into a closed mailbox.
    f.store.reset();
    f.gate->release();
    ASSERT_TRUE(f.gate->waitFor([&] { return f.gate->finished == 1; }));
    QCoreApplication::processEvents();
}

TEST(StoreStuckJobs, ShutdownWithNothingStuckReportsTheWorkersEnded) {
    StuckFixture f({});
    f.store->scanFolders(true);
    ASSERT_TRUE(f.waitIdle());
    f.store->shutdown();
    EXPECT_TRUE(f.store->workersEnded());
}

TEST(WorkerThreadRunner, KeepsOrderAcrossAnAbandonedJobAndIgnoresAbandoningWhenIdle) {
    app::WorkerThread worker;
    worker.abandonRunning();  // nothing runs: no new thread
    EXPECT_EQ(worker.threadCount(), 1);
    auto gate = std::make_shared<Gate>();
    std::mutex mutex;
    std::vector<int> order;
    auto record = [&](int n) {
        std::lock_guard lock(mutex);
        order.push_back(n);
    };
    worker.submit([gate, &record] {
        gate->pass();
        record(0);
    });
    for (int i = 1; i <= 5; ++i) worker.submit([&record, i] { record(i); });
    ASSERT_TRUE(gate->waitFor([&] { return gate->waiting == 1; }));
    worker.abandonRunning();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::lock_guard lock(mutex);
            return order.size() == 5;
        },
        deadline));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(worker.threadCount(), 2);
    EXPECT_FALSE(worker.shutdown(std::chrono::milliseconds(20)));  // the stuck one is not joined
    worker.submit([&record] { record(9); });                       // refused once shut down
    gate->release();
    EXPECT_TRUE(worker.shutdown(std::chrono::milliseconds(deadline)));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5, 0}));
}
