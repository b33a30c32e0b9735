#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "SorvikCore/AssetImport.hpp"
#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/Hashing.hpp"
#include "Support/TestSupport.hpp"

namespace sorvik {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

using test::withoutPermissionOverride;

template <typename F>
std::string messageOf(F&& f) {
    try {
        f();
    } catch (const SorvikError& error) {
        return error.what();
    }
    return "(no SorvikError)";
}

class ImportTest : public ::testing::Test {
protected:
    ImportTest() : repository(dir / "library") {}

    fs::path file(const std::string& relative, const std::string& content) {
        writeFile(dir / relative, content);
        return dir / relative;
    }
    fs::path fifo(const std::string& relative) {
        fs::create_directories((dir / relative).parent_path());
        EXPECT_EQ(::mkfifo((dir / relative).c_str(), 0600), 0);
        return dir / relative;
    }
    std::vector<std::string> names(const std::vector<DeliveryFile>& files) {
        std::vector<std::string> out;
        for (const auto& f : files) out.push_back(f.name);
        return out;
    }
    bool filesFolderExists() const { return fs::exists(dir / "library" / "files"); }

    test::TempDir dir;
    Repository repository;
};

// Linking

TEST_F(ImportTest, LinksSupportedOriginalsInPlace) {
    const fs::path notes = file("src/notes.txt", "hello");
    const fs::path other = file("src/data.xyz", "x");
    const auto assets = repository.linkFiles({notes, other});
    ASSERT_EQ(assets.size(), 1u);
    const IndexedAsset& asset = assets[0];
    EXPECT_FALSE(asset.sourceID);
    EXPECT_EQ(asset.relativeFolder, "");
    EXPECT_FALSE(asset.folderHint);
    EXPECT_FALSE(asset.projectID);
    EXPECT_EQ(asset.assignment, AssignmentMode::automatic);
    EXPECT_EQ(asset.file.name, "notes.txt");
    EXPECT_EQ(asset.file.relativePath, "");
    EXPECT_EQ(asset.file.sha256, "");
    EXPECT_EQ(asset.file.text, "hello");
    EXPECT_EQ(asset.file.role, FileRole::copy);
    ASSERT_TRUE(asset.file.reference);
    EXPECT_EQ(asset.file.reference->path, notes.string());
    EXPECT_EQ(asset.file.reference->identity, FolderIndexer::identity(notes));
    struct stat st {};
    ASSERT_EQ(::stat(notes.c_str(), &st), 0);
    EXPECT_EQ(asset.file.reference->modifiedAt, Date::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec));
    EXPECT_TRUE(fs::is_empty(dir / "library"));  // linking writes nothing
}

TEST_F(ImportTest, LinkingRefusesWhatIsNotOneRegularFile) {
    std::vector<fs::path> many(501, dir / "missing.png");
    EXPECT_EQ(messageOf([&] { repository.linkFiles(many); }), "一次最多关联 500 个文件。");

    // A FIFO with an image name must fail at once, never block.
    const fs::path pipe = fifo("src/pipe.png");
    EXPECT_EQ(messageOf([&] { repository.linkFiles({pipe}); }), "只支持普通文件：pipe.png");
    const fs::path target = file("src/real.png", "x");
    fs::create_symlink(target, dir / "src/link.png");
    EXPECT_EQ(messageOf([&] { repository.linkFiles({target, dir / "src/link.png"}); }), "只支持普通文件：link.png");
    EXPECT_THROW(repository.linkFiles({dir / "src/gone.png"}), std::system_error);

    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(repository.linkFiles({target}, stop.get_token()), CancellationError);
}

TEST_F(ImportTest, LinkingOneByOneCollectsFailures) {
    const fs::path good = file("src/good.txt", "fine");
    const fs::path pipe = fifo("src/pipe.png");
    const auto batch = repository.linkFilesReportingFailures({good, dir / "src/missing.png", pipe, dir / "x.xyz"});
    ASSERT_EQ(batch.assets.size(), 1u);
    EXPECT_EQ(batch.assets[0].file.name, "good.txt");
    ASSERT_EQ(batch.failures.size(), 2u);
    EXPECT_TRUE(batch.failures[0].starts_with("missing.png: ")) << batch.failures[0];
    EXPECT_EQ(batch.failures[1], "pipe.png: 只支持普通文件：pipe.png");

    EXPECT_TRUE(repository.linkFilesReportingFailures({}).assets.empty());
    std::vector<fs::path> exactly(500, dir / "x.xyz");
    EXPECT_TRUE(repository.linkFilesReportingFailures(exactly).failures.empty());
    exactly.push_back(good);
    EXPECT_EQ(messageOf([&] { repository.linkFilesReportingFailures(exactly); }), "一次最多关联 500 个文件。");
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(repository.linkFilesReportingFailures({good}, stop.get_token()), CancellationError);
}

// Planning a drop

TEST_F(ImportTest, PlanSortsChosenItems) {
    const fs::path clip = file("drop/CLIP.MOV", "v");
    const fs::path notes = file("drop/notes.xyz", "n");
    fs::create_directories(dir / "drop/folder");
    fs::create_directories(dir / "drop/Tool.app/Contents");
    fs::create_symlink(clip, dir / "drop/clip-link.mov");
    fs::create_directory_symlink(dir / "drop/folder", dir / "drop/folder-link");
    const fs::path pipe = fifo("drop/pipe.png");

    const AssetImportPlan plan({clip, dir / "drop/folder", notes, dir / "drop/Tool.app", dir / "drop/./CLIP.MOV",
                                dir / "drop/clip-link.mov", dir / "drop/folder-link", pipe, dir / "drop/gone.png",
                                fs::path()});
    EXPECT_EQ(plan.files, std::vector<fs::path>{clip});
    EXPECT_EQ(plan.folders, std::vector<fs::path>{dir / "drop/folder"});
    // Even an empty path is only skipped: planning never fails.
    EXPECT_EQ(plan.skipped, (std::vector<std::string>{"notes.xyz", "Tool.app", "pipe.png", "gone.png", ""}));
}

// Importing copies

TEST_F(ImportTest, ImportsSupportedFilesInNameOrder) {
    const fs::path b = file("chosen/b.png", "bbbb");
    const fs::path a = file("chosen/a.png", "aa");
    file("chosen/.hidden.png", "h");
    fs::create_symlink(a, dir / "chosen/link.png");
    fifo("chosen/pipe.png");
    file("chosen/notes.xyz", "n");
    const fs::path c = file("chosen/sub/c.txt", "copy text");
    const UUID project = UUID::make();

    const ImportResult result = repository.importFiles({dir / "chosen"}, project);
    EXPECT_EQ(names(result.files), (std::vector<std::string>{"a.png", "b.png", "c.txt"}));
    EXPECT_EQ(result.skipped, (std::vector<std::string>{"link.png", "pipe.png", "notes.xyz"}));

    const fs::path projectFolder = dir / "library" / "files" / project.string();
    ASSERT_EQ(std::distance(fs::directory_iterator(projectFolder), fs::directory_iterator()), 1);
    const std::string batch = fs::directory_iterator(projectFolder)->path().filename().string();
    ASSERT_TRUE(UUID::parse(batch));
    const std::vector<fs::path> sources{a, b, c};
    for (std::size_t i = 0; i < result.files.size(); ++i) {
        const DeliveryFile& f = result.files[i];
        const std::string prefix = "files/" + project.string() + "/" + batch + "/";
        EXPECT_TRUE(f.relativePath.starts_with(prefix)) << f.relativePath;
        const std::string copyName = f.relativePath.substr(prefix.size());
        EXPECT_TRUE(UUID::parse(copyName.substr(0, 36))) << copyName;
        EXPECT_EQ(copyName.substr(36), fs::path(sources[i]).extension().string());
        EXPECT_FALSE(f.reference);
        EXPECT_EQ(f.sha256, hashing::sha256File(sources[i]));
        EXPECT_EQ(f.bytes, static_cast<std::int64_t>(fs::file_size(sources[i])));
        EXPECT_EQ(readFile(repository.fileURL(f)), readFile(sources[i]));
    }
    EXPECT_EQ(result.files[2].text, "copy text");
    EXPECT_EQ(result.files[2].role, FileRole::copy);
}

TEST_F(ImportTest, ChosenFilesAreSortedDeduplicatedAndSpecialFilesSkipped) {
    const fs::path ten = file("c/img10.png", "10");
    const fs::path nine = file("c/img9.png", "9");
    const fs::path one = file("c/IMG1.png", "1");
    const fs::path pipe = fifo("c/pipe.png");
    fs::create_symlink(one, dir / "c/link.png");
    const ImportResult result =
        repository.importFiles({ten, pipe, nine, dir / "c/link.png", one, dir / "c/../c/img9.png"}, UUID::make());
    EXPECT_EQ(names(result.files), (std::vector<std::string>{"IMG1.png", "img9.png", "img10.png"}));
    EXPECT_EQ(result.skipped, (std::vector<std::string>{"pipe.png", "link.png"}));
}

TEST_F(ImportTest, BatchWithoutSupportedFilesLeavesNoFolder) {
    const fs::path x = file("c/a.xyz", "x");
    const fs::path y = file("c/b.doc", "y");
    const ImportResult result = repository.importFiles({x, y}, UUID::make());
    EXPECT_TRUE(result.files.empty());
    EXPECT_EQ(result.skipped, (std::vector<std::string>{"a.xyz", "b.doc"}));
    EXPECT_FALSE(filesFolderExists());
}

TEST_F(ImportTest, LimitsRefuseBeforeCopying) {
    std::vector<fs::path> chosen;
    for (int i = 0; i < 501; ++i) chosen.push_back(file("many/f" + std::to_string(i) + ".txt", ""));
    EXPECT_EQ(messageOf([&] { repository.importFiles({dir / "many"}, UUID::make()); }),
              "一次最多导入 500 个文件，请缩小选择范围。");
    EXPECT_EQ(messageOf([&] { repository.importFiles(chosen, UUID::make()); }), "一次最多导入 500 个文件。");
    chosen.pop_back();
    EXPECT_EQ(repository.importFiles(chosen, UUID::make()).files.size(), 500u);
}

TEST_F(ImportTest, CancelledOrFailedImportLeavesNoBatchFolder) {
    const fs::path a = file("c/a.png", "a");
    const fs::path b = file("c/b.png", "b");
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(repository.importFiles({a, b}, UUID::make(), stop.get_token()), CancellationError);
    EXPECT_FALSE(filesFolderExists());

    // An earlier batch stays; the failing one goes after a.png was already copied.
    const UUID project = UUID::make();
    const ImportResult earlier = repository.importFiles({a}, project);
    ASSERT_EQ(earlier.files.size(), 1u);
    fs::permissions(b, fs::perms::none);
    withoutPermissionOverride([&] { EXPECT_THROW(repository.importFiles({a, b}, project), std::system_error); });
    const fs::path projectFolder = dir / "library" / "files" / project.string();
    EXPECT_EQ(std::distance(fs::directory_iterator(projectFolder), fs::directory_iterator()), 1);
    EXPECT_TRUE(fs::exists(repository.fileURL(earlier.files[0])));

    withoutPermissionOverride([&] { EXPECT_THROW(repository.importFiles({b}, UUID::make()), std::system_error); });
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "library" / "files"), fs::directory_iterator()), 1);
}

TEST_F(ImportTest, UnreadableFoldersAreNamed) {
    file("c/a.png", "a");
    file("c/locked/inner.png", "i");
    fs::permissions(dir / "c/locked", fs::perms::none);
    withoutPermissionOverride([&] {
        const ImportResult result = repository.importFiles({dir / "c"}, UUID::make());
        EXPECT_EQ(names(result.files), std::vector<std::string>{"a.png"});
        EXPECT_EQ(result.skipped, std::vector<std::string>{"locked"});
        EXPECT_EQ(messageOf([&] { repository.importFiles({dir / "c/locked"}, UUID::make()); }),
                  "无法读取文件夹：locked");
    });
}

TEST_F(ImportTest, NamesThatAreNotUTF8NeverReachTheLibrary) {
    // Library files hold text: such a name would make every later save fail.
    const fs::path bad = file("c/caf\xe9.png", "x");
    const fs::path good = file("c/good.png", "g");
    EXPECT_THROW(repository.linkFiles({bad}), std::system_error);
    const auto batch = repository.linkFilesReportingFailures({bad, good});
    EXPECT_EQ(batch.assets.size(), 1u);
    ASSERT_EQ(batch.failures.size(), 1u);
    EXPECT_TRUE(batch.failures[0].starts_with("caf?.png: ")) << batch.failures[0];
    EXPECT_EQ(AssetImportPlan({bad, good}).skipped, std::vector<std::string>{"caf?.png"});
    const ImportResult result = repository.importFiles({dir / "c"}, UUID::make());
    EXPECT_EQ(names(result.files), std::vector<std::string>{"good.png"});
    EXPECT_EQ(result.skipped, std::vector<std::string>{"caf?.png"});
}

// Merging linked assets

class LinkAssetsTest : public ImportTest {
protected:
    IndexedAsset link(const fs::path& path) {
        auto assets = repository.linkFiles({path});
        EXPECT_EQ(assets.size(), 1u);
        return assets.at(0);
    }
};

TEST_F(LinkAssetsTest, AStoppedLinkEndsBeforeItsGroupingWithCancellation) {
    WorkspaceState workspace;
    workspace.projects.push_back(Delivery(UUID::make(), "发布", {}, DeliveryTemplate::flexible()));
    workspace.linkAssets({link(file("src/first.png", "first"))}, std::nullopt);
    ASSERT_EQ(workspace.assets.size(), 1u);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(workspace.linkAssets({link(file("src/cover.png", "first"))}, std::nullopt, stop.get_token()),
                 CancellationError);
    // Nothing is lost: the workspace is as it was.
    ASSERT_EQ(workspace.projects.size(), 1u);
    EXPECT_EQ(workspace.projects[0].name, "发布");
    ASSERT_EQ(workspace.assets.size(), 1u);
    EXPECT_TRUE(workspace.assets[0].file.reference->path.ends_with("/first.png"));
}

TEST_F(LinkAssetsTest, RelinkingAChangedOriginalMarksItPending) {
    const fs::path path = file("src/cover.png", "first");
    WorkspaceState workspace;
    Delivery project(UUID::make(), "发布", {}, DeliveryTemplate::flexible());
    workspace.projects.push_back(project);
    workspace.linkAssets({link(path)}, project.id);
    ASSERT_EQ(workspace.assets.size(), 1u);
    IndexedAsset& stored = workspace.assets[0];
    EXPECT_EQ(stored.projectID, project.id);
    EXPECT_EQ(stored.assignment, AssignmentMode::manual);
    EXPECT_EQ(stored.reason, "已确认项目关联");
    ASSERT_EQ(workspace.projects.size(), 1u);
    ASSERT_EQ(workspace.projects[0].files.size(), 1u);  // regrouped into the project's files
    EXPECT_EQ(workspace.projects[0].files[0].id, stored.id());
    const UUID id = stored.id();
    stored.file.role = FileRole::extra;
    stored.file.crop = CropSpec{0.75, 0.5, 0.5};
    stored.file.editedText = "edited";
    stored.recognizedText = "seen text";
    stored.didAttemptOCR = true;

    // The same file, unchanged: nothing pending, recognised text kept.
    workspace.linkAssets({link(path)}, std::nullopt);
    ASSERT_EQ(workspace.assets.size(), 1u);
    EXPECT_FALSE(workspace.assets[0].file.isSourceUpdatePending());
    EXPECT_EQ(workspace.assets[0].recognizedText, "seen text");

    writeFile(path, "the changed original");
    workspace.linkAssets({link(path)}, std::nullopt);
    ASSERT_EQ(workspace.assets.size(), 1u);
    const IndexedAsset& merged = workspace.assets[0];
    EXPECT_EQ(merged.id(), id);
    EXPECT_EQ(merged.file.role, FileRole::extra);
    EXPECT_EQ(merged.file.crop, (CropSpec{0.75, 0.5, 0.5}));
    EXPECT_EQ(merged.file.editedText, "edited");
    EXPECT_TRUE(merged.file.isSourceUpdatePending());
    EXPECT_FALSE(merged.recognizedText);
    EXPECT_FALSE(merged.didAttemptOCR);
    EXPECT_EQ(merged.file.bytes, 20);
    EXPECT_EQ(merged.projectID, project.id);
    EXPECT_EQ(merged.assignment, AssignmentMode::manual);
    ASSERT_EQ(workspace.projects[0].files.size(), 1u);
    EXPECT_TRUE(workspace.projects[0].files[0].isSourceUpdatePending());
}

TEST_F(LinkAssetsTest, MatchesByIdentityAndIgnoresUnknownProjects) {
    const fs::path path = file("src/a.txt", "text");
    WorkspaceState workspace;
    workspace.linkAssets({link(path)}, UUID::make());
    ASSERT_EQ(workspace.assets.size(), 1u);
    EXPECT_NE(workspace.assets[0].assignment, AssignmentMode::manual);
    EXPECT_EQ(workspace.assets[0].reason.find("已确认项目关联"), std::string::npos);
    const UUID id = workspace.assets[0].id();

    // Renamed in place: the same identity finds the same asset.
    fs::rename(path, dir / "src/b.txt");
    workspace.linkAssets({link(dir / "src/b.txt")}, std::nullopt);
    ASSERT_EQ(workspace.assets.size(), 1u);
    EXPECT_EQ(workspace.assets[0].id(), id);
    EXPECT_EQ(workspace.assets[0].file.name, "b.txt");

    // Two new files in one call are both appended, in order.
    workspace.linkAssets({link(file("src/c.txt", "c")), link(file("src/d.txt", "d"))}, std::nullopt);
    ASSERT_EQ(workspace.assets.size(), 3u);
    EXPECT_EQ(workspace.assets[1].file.name, "c.txt");
    EXPECT_EQ(workspace.assets[2].file.name, "d.txt");
}

}  // namespace
}  // namespace sorvik
