// Scans through the store: completion, stop, failures, progress, edits made meanwhile and
// choosers that run the timer inside their event loop.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "App/Support/StoreHarness.hpp"
#include "SorvikCore/MediaModule.hpp"
#include "SorvikCore/Repository.hpp"
#include "Support/ScanSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using app::AppSheet;

namespace {

/// A library with one source holding copy texts about one topic, connected and saved.
struct ScanFixture {
    TempDir library;
    TempDir source;
    SourceFolder folder = SourceFolder::make(source.path());

    explicit ScanFixture(bool automaticScan = false) {
        fs::create_directories(source / "Aurora Launch");
        writeFile(source / "Aurora Launch" / "Aurora Launch copy.txt", "Aurora Launch\nbody text");
        writeFile(source / "Aurora Launch" / "Aurora Launch notes.md", "# Aurora Launch\nmore");
        writeFile(source / "loose.txt", "nothing in common");
        WorkspaceState state;
        state.sources = {folder};
        state.automaticScan = automaticScan;
        state.recognizeImageText = false;
        Repository(library.path()).saveWorkspace(state);
    }
};

}  // namespace

TEST(StoreScan, ALoudScanIndexesGroupsSavesAndReports) {
    ScanFixture f;
    StoreHarness h(f.library.path());
    auto& store = h.store();
    h.platform().clock = Date{12345};
    store.scanFolders(false);
    EXPECT_TRUE(store.isBusy());
    EXPECT_TRUE(store.hasScanWorker());
    EXPECT_EQ(store.activity(), "正在发现新素材…");
    ASSERT_TRUE(h.step());  // the walk
    EXPECT_EQ(store.activity(), "正在关联项目…");
    ASSERT_TRUE(h.settle());
    EXPECT_FALSE(store.isBusy());
    EXPECT_FALSE(store.hasScanWorker());
    EXPECT_EQ(store.workspace().assets.size(), 3u);
    EXPECT_EQ(store.workspace().lastScan, Date{12345});
    ASSERT_TRUE(store.workspace().scanSummary);
    EXPECT_EQ(*store.workspace().scanSummary, "读取 3 件 · 复用 0 件索引 · 重连 0 件");
    EXPECT_EQ(store.notice(), store.workspace().scanSummary);
    // The saved library holds the result.
    const WorkspaceState saved = Repository(f.library.path()).loadWorkspace();
    EXPECT_EQ(saved.assets.size(), 3u);
    EXPECT_EQ(saved.projects.size(), store.deliveries().size());
}

TEST(StoreScan, NothingToScanOpensTheSourcesSheetOnlyWhenLoud) {
    TempDir library;
    StoreHarness h(library.path());
    h.store().scanFolders(true);
    EXPECT_FALSE(h.store().sheet());
    EXPECT_EQ(h.jobs().pending(), 0u);
    h.store().scanFolders(false);
    EXPECT_EQ(h.store().sheet(), AppSheet::sources());
    EXPECT_FALSE(h.store().isBusy());
}

TEST(StoreScan, ALoudCallWhileBusyOpensTheSheetAndStartsNothing) {
    ScanFixture f;
    StoreHarness h(f.library.path());
    h.store().scanFolders(true);
    ASSERT_EQ(h.jobs().pending(), 1u);
    h.store().scanFolders(false);
    EXPECT_EQ(h.store().sheet(), AppSheet::sources());
    EXPECT_EQ(h.jobs().pending(), 1u);
    h.settle();
}

TEST(StoreScan, StopDuringTheWalkKeepsTheLastCompleteIndex) {
    ScanFixture f;
    StoreHarness h(f.library.path());
    auto& store = h.store();
    store.scanFolders(false);
    h.settle();
    const auto assets = store.workspace().assets.size();
    writeFile(f.source / "new.txt", "new");
    store.scanFolders(false);
    store.stopScan();
    EXPECT_EQ(store.activity(), "正在结束扫描…");
    store.stopScan();  // twice: the same outcome
    h.settle();
    EXPECT_EQ(store.notice(), "已停止扫描，保留上一次完整索引。");
    EXPECT_EQ(store.workspace().assets.size(), assets);
    EXPECT_FALSE(store.isBusy());
    EXPECT_FALSE(store.error());
}

TEST(StoreScan, StopWhileGroupingDiscardsTheGroupedResult) {
    ScanFixture f;
    StoreHarness h(f.library.path());
    auto& store = h.store();
    store.scanFolders(true);
    ASSERT_TRUE(h.step());  // walked; grouping is held
    store.stopScan();
    h.settle();
    EXPECT_EQ(store.notice(), "已停止扫描，保留上一次完整索引。");
    EXPECT_TRUE(store.workspace().assets.empty());
    EXPECT_FALSE(Repository(f.library.path()).loadWorkspace().lastScan);
}

TEST(StoreScan, ProgressOfAnEndedScanIsDropped) {
    ScanFixture f;
    StoreHarness h(f.library.path());
    auto& store = h.store();
    store.scanFolders(true);
    ASSERT_TRUE(store.scanToken());
    const UUID token = *store.scanToken();
    store.reportScanProgress(token, "正在索引 1 / 3 件素材…");
    EXPECT_EQ(store.activity(), "正在索引 1 / 3 件素材…");
    store.reportScanProgress(UUID::make(), "from another scan");
    EXPECT_EQ(store.activity(), "正在索引 1 / 3 件素材…");
    h.settle();
    const std::string last = store.activity();
    store.reportScanProgress(token, "late");
    EXPECT_EQ(store.activity(), last);
}

TEST(StoreScan, ASilentFailureGoesToTheSummaryWithoutAnAlert) {
    ScanFixture f;
    StoreHarness h(f.library.path());
    auto& store = h.store();
    store.setScanLimit(1);
    store.scanFolders(true);
    h.settle();
    EXPECT_FALSE(store.error());
    ASSERT_TRUE(store.workspace().scanSummary);
    EXPECT_EQ(*store.workspace().scanSummary, "扫描未完成：本次扫描超过 1 件，请选择更具体的来源文件夹。");
    EXPECT_FALSE(store.workspace().lastScan);
    // A loud one raises the alert instead.
    store.scanFolders(false);
    h.settle();
    EXPECT_EQ(store.error(), "本次扫描超过 1 件，请选择更具体的来源文件夹。");
}

TEST(StoreScan, ALoudScanWithOneUnreadableSourceNamesItAndClearsTheOthers) {
    ScanFixture f;
    TempDir other;
    {
        WorkspaceState state = Repository(f.library.path()).loadWorkspace();
        SourceFolder missing = SourceFolder::make(other / "gone");
        SourceFolder stale = SourceFolder::make(other.path());
        stale.lastError = "old problem";
        state.sources.push_back(missing);
        state.sources.push_back(stale);
        Repository(f.library.path()).saveWorkspace(state);
    }
    StoreHarness h(f.library.path());
    auto& store = h.store();
    store.scanFolders(false);
    h.settle();
    const auto& sources = store.workspace().sources;
    ASSERT_EQ(sources.size(), 3u);
    EXPECT_FALSE(sources[0].lastError);
    EXPECT_TRUE(sources[1].lastError);
    EXPECT_FALSE(sources[2].lastError);
    EXPECT_EQ(store.notice(), "部分来源不可用，请在来源设置中查看。其余素材已更新。");
    EXPECT_FALSE(store.error());
}

TEST(StoreScan, EditsMadeWhileAScanRunsSurviveItsCompletion) {
    ScanFixture f;
    {
        WorkspaceState state = Repository(f.library.path()).loadWorkspace();
        Delivery d(UUID::make(), "Sunday Market", {}, DeliveryTemplate::flexible());
        state.projects = {d};
        Repository(f.library.path()).saveWorkspace(state);
    }
    writeFile(f.source / "loose.txt", "the zephyr campaign");
    StoreHarness h(f.library.path());
    auto& store = h.store();
    const UUID id = store.deliveries()[0].id;
    store.scanFolders(true);
    // The walk finishes, then the project is renamed and given an alias before grouping lands.
    ASSERT_TRUE(h.step());
    store.update(id, [](Delivery& d) { d.name = "Renamed Market"; });
    store.update(id, [](Delivery& d) { d.keywords = std::vector<std::string>{"zephyr"}; });
    h.settle();
    const Delivery* project = nullptr;
    for (const Delivery& d : store.deliveries())
        if (d.id == id) project = &d;
    ASSERT_NE(project, nullptr);
    EXPECT_EQ(project->name, "Renamed Market");
    ASSERT_TRUE(project->keywords);
    // Grouped against the new alias: the matching file joined the project.
    ASSERT_EQ(project->files.size(), 1u);
    EXPECT_EQ(project->files[0].name, "loose.txt");
    const WorkspaceState saved = Repository(f.library.path()).loadWorkspace();
    bool found = false;
    for (const Delivery& d : saved.projects) found |= d.id == id && d.name == "Renamed Market";
    EXPECT_TRUE(found);
}

TEST(StoreScan, TheTimerStartsNothingInsideAChooserOrUnderTheAlert) {
    ScanFixture f(true);
    StoreHarness h(f.library.path());
    auto& store = h.store();
    h.settle();  // the start-up scan
    ASSERT_FALSE(store.isBusy());
    // A tick inside the chooser's event loop.
    h.platform().whileChoosing = [&] { store.tick(); };
    store.chooseSourceFolders();
    EXPECT_EQ(h.jobs().pending(), 0u);
    EXPECT_FALSE(store.isBusy());
    // Under the alert.
    store.setScanLimit(1);
    store.scanFolders(false);
    h.settle();
    ASSERT_TRUE(store.error());
    store.tick();
    EXPECT_EQ(h.jobs().pending(), 0u);
    store.clearError();
    store.tick();
    EXPECT_EQ(h.jobs().pending(), 1u);
    h.settle();
}

TEST(StoreScan, AJobStartedInsideAChooserIsNotOverlapped) {
    ScanFixture f;
    TempDir archive;
    StoreHarness h(f.library.path());
    auto& store = h.store();
    // While the archive chooser is open a scan starts; when it closes the store is busy.
    h.platform().whileChoosing = [&] { store.scanFolders(false); };
    h.platform().answers.push_back({archive.path()});
    store.chooseArchiveFolder();
    EXPECT_EQ(h.jobs().pending(), 1u);  // only the scan
    h.settle();
    EXPECT_FALSE(store.workspace().archiveFolder);
    // The same for the export chooser.
    store.newDelivery();
    store.setSheet(std::nullopt);
    h.platform().answers.push_back({archive.path()});
    store.chooseExportDestination(true);
    EXPECT_EQ(h.jobs().pending(), 1u);
    h.settle();
    EXPECT_TRUE(fs::is_empty(archive.path()));
}

TEST(StoreScan, TheTimerRespectsSettingsSheetsAndBusy) {
    ScanFixture f(true);
    StoreHarness h(f.library.path());
    auto& store = h.store();
    ASSERT_EQ(h.jobs().pending(), 1u);  // start-up scan of a library with sources
    store.tick();                       // busy
    EXPECT_EQ(h.jobs().pending(), 1u);
    h.settle();
    store.setSheet(AppSheet::sources());
    store.tick();
    EXPECT_EQ(h.jobs().pending(), 0u);
    store.setSheet(std::nullopt);
    store.setShowWarnings(true);
    store.tick();
    EXPECT_EQ(h.jobs().pending(), 0u);
    store.setShowWarnings(false);
    store.setAutomaticScan(false);
    store.tick();
    EXPECT_EQ(h.jobs().pending(), 0u);
    store.setAutomaticScan(true);
    store.tick();
    EXPECT_EQ(h.jobs().pending(), 1u);
    h.settle();
}

TEST(StoreScan, ANewFileOnADeletedFilesInodeIsReadNotReconnected) {
    ScanFixture f;
    StoreHarness h(f.library.path());
    auto& store = h.store();
    const fs::path loose = f.source / "loose.txt";
    const fs::path download = f.source / "download.txt";
    bool reused = false;
    // The download takes the deleted file's inode number (ext4 reuses it at once), its size and date.
    for (int attempt = 0; attempt < 20 && !reused; ++attempt) {
        writeFile(loose, "nothing in common");
        store.scanFolders(true);
        ASSERT_TRUE(h.settle());
        struct stat before {};
        ASSERT_EQ(::lstat(loose.c_str(), &before), 0);
        fs::remove(loose);
        writeFile(download, "NOTHING IN COMMON");
        struct stat after {};
        ASSERT_EQ(::lstat(download.c_str(), &after), 0);
        reused = after.st_ino == before.st_ino;
        if (!reused) {
            fs::remove(download);
            continue;
        }
        const struct timespec times[2] = {before.st_mtim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, download.c_str(), times, 0), 0);
    }
    if (!reused) GTEST_SKIP() << "the file system never gave the freed inode number to the next file";
    const auto idOf = [&](const std::string& name) -> std::optional<UUID> {
        for (const IndexedAsset& asset : store.workspace().assets)
            if (asset.file.name == name) return asset.id();
        return std::nullopt;
    };
    const auto looseID = idOf("loose.txt");
    ASSERT_TRUE(looseID);

    store.scanFolders(true);
    ASSERT_TRUE(h.settle());
    ASSERT_TRUE(store.workspace().scanSummary);
    EXPECT_EQ(*store.workspace().scanSummary, "读取 1 件 · 复用 2 件索引 · 重连 0 件");
    EXPECT_EQ(idOf("loose.txt"), looseID);
    ASSERT_TRUE(idOf("download.txt"));
    EXPECT_NE(idOf("download.txt"), looseID);
    for (const IndexedAsset& asset : store.workspace().assets)
        EXPECT_EQ(asset.isMissing, asset.file.name == "loose.txt") << asset.file.name;
}

TEST(StoreScan, AMissingMediaModuleIsSaidOnceInANotice) {
    TempDir library, source;
    writeFile(source / "IMG_2001.png", tinyPNG());
    writeFile(source / "IMG_2002.png", tinyPNG());
    WorkspaceState state;
    state.sources = {SourceFolder::make(source.path())};
    state.recognizeImageText = true;
    Repository(library.path()).saveWorkspace(state);
    media::useModuleFile("libsorvik-media-missing.so");
    StoreHarness h(library.path());
    auto& store = h.store();

    store.scanFolders(true);
    ASSERT_TRUE(h.settle());
    ASSERT_TRUE(store.notice());
    EXPECT_TRUE(store.notice()->starts_with("视频和文字识别暂不可用：")) << *store.notice();
    EXPECT_NE(store.notice()->find("libsorvik-media-missing.so"), std::string::npos) << *store.notice();
    EXPECT_TRUE(store.notice()->ends_with("。安装缺少的软件包后会自动恢复。")) << *store.notice();
    for (const auto& asset : store.workspace().assets) EXPECT_FALSE(asset.didAttemptOCR);
    store.clearNotice();
    writeFile(source / "IMG_2003.png", tinyPNG());  // a scan that needs the module again
    store.scanFolders(true);
    ASSERT_TRUE(h.settle());
    EXPECT_EQ(store.notice(), std::nullopt);

    media::useModuleFile(media::moduleFile);
    store.scanFolders(true);
    ASSERT_TRUE(h.settle());
    for (const auto& asset : store.workspace().assets) EXPECT_TRUE(asset.didAttemptOCR) << asset.file.name;
}
