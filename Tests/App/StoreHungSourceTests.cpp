// The store's timer scans with a source on a mount that stopped answering.
#include <gtest/gtest.h>

#include <chrono>

#include "SorvikCore/Repository.hpp"
#include "Support/StallingMount.hpp"
#include "App/Support/StoreHarness.hpp"

using namespace sorvik;
using namespace sorvik::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(HungSource, TimerScansWaitOnADeadSourceOnce) {
    StallingMount mount({{"poster.txt", "p"}}, true);
    if (!mount.skipReason().empty()) GTEST_SKIP() << mount.skipReason();
    TempDir library;
    TempDir healthy;
    writeFile(healthy / "a.txt", "a");
    WorkspaceState state;
    state.sources = {SourceFolder::make(mount.path()), SourceFolder::make(healthy.path())};
    state.automaticScan = false;  // no start-up scan: the quiet limit is set first
    state.recognizeImageText = false;
    Repository(library.path()).saveWorkspace(state);

    StoreHarness h(library.path());
    auto& store = h.store();
    constexpr auto quiet = 2000ms;
    constexpr double quietSeconds = std::chrono::duration<double>(quiet).count();
    store.setScanQuietLimit(quiet);
    store.setAutomaticScan(true);
    ASSERT_TRUE(h.settle());
    // The time the store stays busy for one beat of the timer.
    const auto beat = [&] {
        store.tick();
        EXPECT_TRUE(store.isBusy());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(h.settle());
        EXPECT_FALSE(store.isBusy());
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    const auto checkErrors = [&] {
        ASSERT_EQ(store.workspace().sources.size(), 2u);
        EXPECT_EQ(store.workspace().sources[0].lastError, "来源文件夹没有响应，本次扫描已跳过。");
        EXPECT_FALSE(store.workspace().sources[1].lastError);
        ASSERT_EQ(store.workspace().assets.size(), 1u);
        EXPECT_EQ(store.workspace().assets[0].file.name, "a.txt");
    };
    EXPECT_GE(beat(), quietSeconds);  // the scan that finds the mount dead waits once
    checkErrors();

    const std::uint64_t requests = mount.requests();
    for (int interval = 0; interval < 2; ++interval) {
        SCOPED_TRACE(interval);
        EXPECT_LT(beat(), quietSeconds / 2);    // a healthy scan's time, not the limit's
        EXPECT_EQ(mount.requests(), requests);  // the dead mount is not asked again
        checkErrors();
    }
}
