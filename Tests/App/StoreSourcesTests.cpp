// Source folders, the sample and the archive folder through the store.
#include <gtest/gtest.h>

#include "App/Support/StoreHarness.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using app::AppSheet;

namespace {

std::vector<std::string> sourcePaths(const app::AppStore& store) {
    std::vector<std::string> out;
    for (const SourceFolder& s : store.workspace().sources) out.push_back(s.path);
    return out;
}

}  // namespace

TEST(StoreSources, ConnectingAddsNewFoldersOnceInOrderThenRescans) {
    TempDir library, root;
    fs::create_directories(root / "a");
    fs::create_directories(root / "b");
    fs::create_symlink(root / "a", root / "link-to-a");
    StoreHarness h(library.path());
    auto& store = h.store();
    h.platform().answers.push_back({root / "b", root / "a/", root / "link-to-a", root / "a" / "."});
    store.chooseSourceFolders();
    ASSERT_EQ(h.platform().requests.size(), 1u);
    EXPECT_TRUE(h.platform().requests[0].multiple);
    EXPECT_EQ(store.activity(), "正在连接来源文件夹…");
    ASSERT_TRUE(h.step());
    // The same folder by a trailing slash, a link or "." counts once.
    EXPECT_EQ(sourcePaths(store), (std::vector<std::string>{(root / "b").string(), (root / "a").string()}));
    EXPECT_EQ(Repository(library.path()).loadWorkspace().sources.size(), 2u);
    EXPECT_EQ(store.accessScopes().size(), 2u);
    // Then a loud scan runs.
    EXPECT_TRUE(store.isBusy());
    EXPECT_TRUE(store.hasScanWorker());
    h.settle();
    // Connecting only known folders adds nothing and rescans.
    store.connectFolders({root / "a", root / "link-to-a"});
    h.settle();
    EXPECT_EQ(store.workspace().sources.size(), 2u);
    EXPECT_TRUE(store.workspace().lastScan);
}

TEST(StoreSources, TogglingClosesAccessAndRescansOnlyWhenEnabling) {
    TempDir library, a, b;
    StoreHarness h(library.path());
    auto& store = h.store();
    store.connectFolders({a.path(), b.path()});
    h.settle();
    const UUID first = store.workspace().sources[0].id;
    store.toggleSource(first, false);
    EXPECT_FALSE(store.workspace().sources[0].enabled);
    EXPECT_EQ(store.accessScopes().size(), 1u);
    EXPECT_EQ(h.jobs().pending(), 0u);
    EXPECT_FALSE(Repository(library.path()).loadWorkspace().sources[0].enabled);
    store.toggleSource(first, true);
    EXPECT_TRUE(store.isBusy());
    h.settle();
    EXPECT_EQ(store.accessScopes().size(), 2u);
    // An unknown identifier changes and saves nothing.
    const auto before = fs::last_write_time(library / "workspace.json");
    store.toggleSource(UUID::make(), false);
    EXPECT_EQ(fs::last_write_time(library / "workspace.json"), before);
}

TEST(StoreSources, TheSampleConnectsItsThreeFoldersOrSaysItIsMissing) {
    TempDir library, resources;
    for (const char* name : {"视频输出", "图片输出", "文案输出"}) {
        fs::create_directories(resources / "RudidEdevov" / name);
        writeFile(resources / "RudidEdevov" / name / "a.txt", name);
    }
    StoreHarness h(library.path(), resources.path());
    h.store().loadRudidEdevov();
    EXPECT_EQ(h.store().notice(), "示例素材实际分布在 3 个目录，项目由扫描结果自动建立。");
    h.settle();
    EXPECT_EQ(h.store().workspace().sources.size(), 3u);
    // With a folder missing nothing is connected.
    TempDir library2, broken;
    fs::create_directories(broken / "RudidEdevov" / "视频输出");
    StoreHarness h2(library2.path(), broken.path());
    h2.store().loadRudidEdevov();
    EXPECT_EQ(h2.store().error(), "找不到分散素材示例");
    EXPECT_EQ(h2.jobs().pending(), 0u);
    EXPECT_TRUE(h2.store().workspace().sources.empty());
}

TEST(StoreArchive, FoldersThatCoverASourceAreRefusedOnResolvedPaths) {
    TempDir library, root;
    fs::create_directories(root / "work" / "src");
    fs::create_directories(root / "work" / "src2");
    fs::create_directories(root / "work" / "src" / "inner");
    fs::create_directories(root / "elsewhere");
    fs::create_directory_symlink(root / "work", root / "elsewhere" / "alias");
    StoreHarness h(library.path());
    auto& store = h.store();
    store.connectFolders({root / "work" / "src"});
    h.settle();
    const std::string refusal = "归档位置不能覆盖整个来源目录，请选择一个独立文件夹。";
    for (const fs::path& candidate : {fs::path("/"), root / "work" / "src", root / "work", root / "elsewhere" / "alias",
                                      root / "work" / "src" / "..", root / "elsewhere" / "alias" / "src"}) {
        h.platform().answers.push_back({candidate});
        store.chooseArchiveFolder();
        h.settle();
        EXPECT_EQ(store.error(), refusal) << candidate;
        EXPECT_FALSE(store.workspace().archiveFolder) << candidate;
        store.clearError();
    }
    // A sibling, a sibling whose name extends the source's and a folder inside it are fine.
    for (const fs::path& candidate : {root / "elsewhere", root / "work" / "src2", root / "work" / "src" / "inner"}) {
        h.platform().answers.push_back({candidate});
        store.chooseArchiveFolder();
        h.settle();
        EXPECT_FALSE(store.error()) << candidate;
        ASSERT_TRUE(store.workspace().archiveFolder) << candidate;
        EXPECT_EQ(store.workspace().archiveFolder->path, candidate.string());
    }
    EXPECT_EQ(h.platform().requests.back().canCreateFolders, true);
    EXPECT_FALSE(h.platform().requests.back().multiple);
}

TEST(StoreArchive, ArchiveNowWithoutAFolderOpensTheSheet) {
    TempDir library;
    StoreHarness h(library.path());
    h.store().archiveNow();
    EXPECT_EQ(h.store().sheet(), AppSheet::sources());
    EXPECT_FALSE(h.store().isBusy());
}

TEST(StoreArchive, AutomaticArchivingAfterAScanKeepsTheStoreBusyUntilItEnds) {
    TempDir library, source, archive;
    fs::create_directories(source / "Comet Tour");
    writeFile(source / "Comet Tour" / "Comet Tour script.txt", "Comet Tour\ntext");
    writeFile(source / "Comet Tour" / "Comet Tour caption.md", "Comet Tour\ncaption");
    StoreHarness h(library.path());
    auto& store = h.store();
    store.connectFolders({source.path()});
    h.settle();
    ASSERT_FALSE(store.deliveries().empty());
    h.platform().answers.push_back({archive.path()});
    store.chooseArchiveFolder();
    h.settle();
    ASSERT_TRUE(store.workspace().archiveFolder);
    store.setAutomaticArchive(true);  // saves and archives at once
    EXPECT_TRUE(store.isBusy());
    h.settle();
    EXPECT_FALSE(store.isBusy());
    const auto archived = store.workspace().archives.size();
    EXPECT_GT(archived, 0u);
    ASSERT_TRUE(store.notice());
    EXPECT_EQ(*store.notice(), "已自动归档 " + std::to_string(archived) + " 件新版本，原文件未移动。");
    // A new version, then a scan: busy through the archiving run.
    writeFile(source / "Comet Tour" / "Comet Tour script.txt", "Comet Tour\nchanged text, longer");
    store.scanFolders(true);
    ASSERT_TRUE(h.step());  // walk
    ASSERT_TRUE(h.step());  // grouping; the archiving run is now held
    EXPECT_TRUE(store.isBusy());
    EXPECT_EQ(store.activity(), "正在按项目归档…");
    // The scan's result is applied: there is nothing left for Stop to discard.
    EXPECT_FALSE(store.hasScanWorker());
    EXPECT_EQ(h.jobs().pending(), 1u);
    h.settle();
    EXPECT_FALSE(store.isBusy());
    EXPECT_GT(store.workspace().archives.size(), archived);
    EXPECT_EQ(Repository(library.path()).loadWorkspace().archives.size(), store.workspace().archives.size());
}

TEST(StoreArchive, ASilentRunsFailureIsANoticeALoudOnesAnAlert) {
    TempDir library, source, parent;
    fs::create_directories(source / "Nova");
    writeFile(source / "Nova" / "Nova one.txt", "Nova\none");
    writeFile(source / "Nova" / "Nova two.txt", "Nova\ntwo");
    const fs::path archive = parent / "archive";
    fs::create_directories(archive);
    StoreHarness h(library.path());
    auto& store = h.store();
    store.connectFolders({source.path()});
    h.settle();
    h.platform().answers.push_back({archive});
    store.chooseArchiveFolder();
    h.settle();
    // The archive folder becomes a file: every run fails.
    fs::remove_all(archive);
    writeFile(archive, "in the way");
    store.archiveNow();
    h.settle();
    ASSERT_TRUE(store.error());
    EXPECT_EQ(store.error()->rfind("归档未完成：", 0), 0u);
    store.clearError();
    // Switching automatic archiving on archives loudly at once.
    store.setAutomaticArchive(true);
    h.settle();
    ASSERT_TRUE(store.error());
    store.clearError();
    // A silent scan with automatic archiving: a retry notice, no alert.
    store.scanFolders(true);
    h.settle();
    EXPECT_FALSE(store.error());
    ASSERT_TRUE(store.notice());
    EXPECT_EQ(store.notice()->rfind("归档暂未完成，下次扫描会重试：", 0), 0u);
}
