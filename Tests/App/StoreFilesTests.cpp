// Linking dropped or chosen files, and removing a project file with its one-step undo, through the
// store on a real library and real files.
#include <gtest/gtest.h>

#include "App/Support/LibrarySupport.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Stores/LinkReport.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;

namespace {

const IndexedAsset& assetOf(const app::AppStore& store, const UUID& id) {
    return assetIn(store.workspace().assets, id);
}

std::vector<fs::path> textFiles(const fs::path& folder, int count) {
    std::vector<fs::path> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back(folder / ("note-" + std::to_string(i) + ".txt"));
        writeFile(paths.back(), "line " + std::to_string(i) + "\n");
    }
    return paths;
}

/// Project A with a.png, b.png and c.png, selected; project B empty.
struct SelectedProject {
    TempDir library, originals;
    Delivery a = projectNamed("Harbor Launch");
    Delivery b = projectNamed("Cedar Tour");
    IndexedAsset first = indexedAsset(originalAt(originals / "a.png"), a.id);
    IndexedAsset second = indexedAsset(originalAt(originals / "b.png"), a.id);
    IndexedAsset third = indexedAsset(originalAt(originals / "c.png"), a.id);
    std::unique_ptr<StoreHarness> harness;

    SelectedProject() {
        writeLibrary(library.path(), libraryOf({a, b}, {first, second, third}));
        harness = std::make_unique<StoreHarness>(library.path());
        store().select(a.id);
    }
    app::AppStore& store() { return harness->store(); }
    const Delivery& project() { return *store().selected(); }
};

}  // namespace

TEST(StoreFiles, UndoPutsTheFileBackInPlaceWithItsProjectAndReason) {
    SelectedProject f;
    auto& store = f.store();
    store.removeFile(f.second.file);
    EXPECT_EQ(fileNames(f.project()), (std::vector<std::string>{"a.png", "c.png"}));
    EXPECT_EQ(store.notice(), "已从交付中移除“b.png”。原文件仍在。");
    const IndexedAsset& unlinked = assetOf(store, f.second.id());
    EXPECT_FALSE(unlinked.projectID);
    EXPECT_EQ(unlinked.assignment, AssignmentMode::unassigned);
    EXPECT_EQ(unlinked.reason, "已从项目解除关联");
    ASSERT_TRUE(store.canUndo());

    store.undoRemove();
    EXPECT_EQ(fileNames(f.project()), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
    const IndexedAsset& back = assetOf(store, f.second.id());
    EXPECT_EQ(back.projectID, f.a.id);
    EXPECT_EQ(back.assignment, AssignmentMode::manual);
    EXPECT_EQ(back.reason, "已确认项目关联");
    EXPECT_EQ(store.notice(), "已撤销移除，后续编辑与新文件已保留。");
    EXPECT_FALSE(store.canUndo());
    const WorkspaceState saved = Repository(f.library.path()).loadWorkspace();
    EXPECT_EQ(fileNames(saved.projects[0]), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
    EXPECT_EQ(saved.assets[1].reason, "已确认项目关联");
}

TEST(StoreFiles, RemovingTheProjectsOwnRecordNamesTheFileRemoved) {
    SelectedProject f;
    auto& store = f.store();
    // The record handed in is the project's own, which the removal shifts.
    store.removeFile(f.project().files.front());
    EXPECT_EQ(fileNames(f.project()), (std::vector<std::string>{"b.png", "c.png"}));
    EXPECT_EQ(store.notice(), "已从交付中移除“a.png”。原文件仍在。");
}

TEST(StoreFiles, UndoIsOnlyForTheSelectedProjectAndNotWhileBusy) {
    SelectedProject f;
    auto& store = f.store();
    store.removeFile(f.second.file);
    store.select(f.b.id);
    EXPECT_FALSE(store.canUndo());
    store.undoRemove();
    store.select(f.a.id);
    EXPECT_EQ(f.project().files.size(), 2u);
    TempDir folder;
    store.connectFolders({folder.path()});
    store.undoRemove();
    EXPECT_EQ(f.project().files.size(), 2u);
    ASSERT_TRUE(f.harness->settle());
}

TEST(StoreFiles, AnAssetAssignedElsewhereAfterItsRemovalIsNotTakenBack) {
    SelectedProject f;
    auto& store = f.store();
    store.removeFile(f.second.file);
    store.assign(assetOf(store, f.second.id()), f.b.id);
    ASSERT_TRUE(f.harness->settle());
    // The new assignment drops the pending undo.
    EXPECT_FALSE(store.canUndo());
    store.undoRemove();
    EXPECT_EQ(assetOf(store, f.second.id()).projectID, f.b.id);
    EXPECT_EQ(fileNames(f.project()), (std::vector<std::string>{"a.png", "c.png"}));
}

TEST(StoreFiles, FiveHundredFilesLinkAndFiveHundredAndOneLinkNone) {
    TempDir library, originals;
    StoreHarness h(library.path());
    auto& store = h.store();
    std::vector<fs::path> paths = textFiles(originals.path(), 501);
    store.importURLs({paths.begin(), paths.end() - 1});
    EXPECT_EQ(store.activity(), "正在读取与检查文件…");
    ASSERT_TRUE(h.settle());
    EXPECT_EQ(store.workspace().assets.size(), 500u);
    EXPECT_EQ(store.notice(), "已连接 0 个文件夹，关联 500 个文件，跳过 0 项。");
    EXPECT_FALSE(store.error());

    TempDir other;
    StoreHarness second(other.path());
    second.store().importURLs(paths);
    ASSERT_TRUE(second.settle());
    EXPECT_EQ(second.store().error(), "一次最多关联 500 个文件。");
    EXPECT_TRUE(second.store().workspace().assets.empty());
    EXPECT_FALSE(second.store().isBusy());
    EXPECT_FALSE(fs::exists(other / "workspace.json"));
}

TEST(StoreFiles, AFolderThatIsAlreadyASourceAddsNoSourceButStillRescans) {
    TempDir library, originals, links;
    writeFile(originals / "poster.png", "not really a picture");
    const fs::path link = links / "originals";
    fs::create_symlink(originals.path(), link);
    StoreHarness h(library.path());
    auto& store = h.store();
    store.connectFolders({originals.path()});
    ASSERT_TRUE(h.settle());
    ASSERT_EQ(store.workspace().sources.size(), 1u);
    const auto lastScan = store.workspace().lastScan;

    h.platform().clock = Date{900000000};
    store.importURLs({link});
    ASSERT_TRUE(h.step());  // the link job
    ASSERT_TRUE(h.step());  // the merge
    EXPECT_EQ(store.workspace().sources.size(), 1u);
    EXPECT_EQ(store.notice(), "已连接 0 个文件夹，关联 0 个文件，跳过 0 项。");
    // A silent rescan follows once linking is done.
    h.deliver();
    EXPECT_TRUE(store.hasScanWorker());
    ASSERT_TRUE(h.settle());
    EXPECT_NE(store.workspace().lastScan, lastScan);
    EXPECT_EQ(store.workspace().sources.size(), 1u);
}

TEST(StoreFiles, EachLinkFailureShowsItsMessageInTheInterfaceLanguage) {
    TempDir library;
    StoreHarness h(library.path());
    h.preferences().setLanguage("en");
    // The name is the longest linked name the line starts with, even when it holds ": ".
    EXPECT_EQ(app::linkFailureLine("a: b.png: 只支持普通文件：a: b.png", {"a", "a: b.png"}),
              "a: b.png: Only regular files are supported: a: b.png");
    // A platform error stays as it is; a line of an unknown name is translated whole.
    EXPECT_EQ(app::linkFailureLine("x.png: cannot read \"/x.png\": No such file or directory", {"x.png"}),
              "x.png: cannot read \"/x.png\": No such file or directory");
    EXPECT_EQ(app::linkFailureLine("只支持普通文件：y.png", {"x.png"}), "Only regular files are supported: y.png");
    h.preferences().setLanguage("zh-Hans");
    EXPECT_EQ(app::linkFailureLine("a.png: 只支持普通文件：a.png", {"a.png"}), "a.png: 只支持普通文件：a.png");
}

TEST(StoreFiles, LinkingTheRemovedOriginalAgainDropsTheUndo) {
    SelectedProject f;
    auto& store = f.store();
    writeFile(f.originals / "b.png", "picture");
    store.removeFile(f.second.file);
    ASSERT_TRUE(store.canUndo());
    store.importURLs({f.originals / "b.png"});
    ASSERT_TRUE(f.harness->settle());
    EXPECT_FALSE(store.canUndo());
    // Linked on the project page: the file belongs to the selected project again, once.
    EXPECT_EQ(std::count(f.project().files.begin(), f.project().files.end(), assetOf(store, f.second.id()).file), 1);
}
