#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <stdexcept>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Json.hpp"
#include "SorvikCore/Repository.hpp"
#include "SorvikCore/UnicodeText.hpp"
#include "Support/ScanSupport.hpp"

using namespace sorvik;
using namespace sorvik::test;
namespace fs = std::filesystem;

namespace {

const std::string movedOut = "原文件已移出来源或被删除；重新连接来源后可恢复。";

IndexedAsset assetAt(const fs::path& path, std::optional<UUID> source) {
    DeliveryFile file(UUID::make(), path.filename().string(), "", FileRole::cover, 3, "");
    file.reference = FileReference::make(path, Date{1}, std::nullopt);
    return IndexedAsset(file, source, "", std::nullopt);
}

}  // namespace

TEST(FolderScan, IndexesSupportedFilesInSortedOrderWithRelativeFolders) {
    TempDir src;
    writeFile(src / "b.txt", "b");
    writeFile(src / "A.PNG", tinyPNG());
    writeFile(src / "视频输出/封面/c.md", "c");
    writeFile(src / "notes.xyz", "unsupported");
    writeFile(src / "noextension", "x");
    Scanner scan;
    const auto source = SourceFolder::make(src.path());
    const ScanResult result = scan({source});

    EXPECT_EQ(names(result), (std::vector<std::string>{"A.PNG", "b.txt", "c.md"}));
    EXPECT_TRUE(result.sourceErrors.empty());
    EXPECT_EQ(result.inspectedCount, 3);
    EXPECT_EQ(result.reusedCount, 0);
    EXPECT_EQ(findAsset(result, "A.PNG")->relativeFolder, "");
    EXPECT_EQ(findAsset(result, "A.PNG")->file.role, FileRole::cover);
    const IndexedAsset* nested = findAsset(result, "c.md");
    EXPECT_EQ(nested->relativeFolder, "视频输出/封面");
    EXPECT_EQ(nested->sourceID, source.id);
    ASSERT_TRUE(nested->file.reference);
    EXPECT_EQ(nested->file.reference->path, (src / "视频输出/封面/c.md").string());
    EXPECT_EQ(nested->file.reference->identity, FolderIndexer::identity(src / "视频输出/封面/c.md"));
    EXPECT_EQ(nested->file.sha256, "");  // never fingerprinted during a scan
}

TEST(FolderScan, SkipsHiddenBundleIgnoredAndLinkedEntries) {
    TempDir src, outside;
    writeFile(src / "keep.txt", "k");
    writeFile(src / ".hidden.txt", "h");
    writeFile(src / ".hiddenfolder/in.txt", "h");
    writeFile(src / "Tool.app/Contents/icon.png", tinyPNG());
    writeFile(src / "Doc.Pages/preview.png", tinyPNG());  // extension compared lower-cased
    for (const auto& name : FolderIndexer::ignoredDirectories()) writeFile(src / name / "x.txt", "x");
    writeFile(src / "sub/node_modules/y.txt", "y");
    writeFile(outside / "target.txt", "t");
    writeFile(outside / "dir/inner.txt", "i");
    fs::create_symlink(outside / "target.txt", src / "link.txt");
    fs::create_directory_symlink(outside / "dir", src / "linkdir");
    ::mkfifo((src / "pipe.txt").c_str(), 0644);  // not a regular file: never opened

    Scanner scan;
    const ScanResult result = scan({SourceFolder::make(src.path())});
    EXPECT_EQ(names(result), std::vector<std::string>{"keep.txt"});
    EXPECT_TRUE(result.sourceErrors.empty());
}

TEST(FolderScan, LinkLoopsAndBindMountCyclesAreWalkedOnce) {
    TempDir src;
    writeFile(src / "a/x.txt", "x");
    fs::create_directory_symlink(src.path(), src / "a/loop");
    Scanner scan;
    const auto source = SourceFolder::make(src.path());
    ScanResult result = scan({source});
    EXPECT_EQ(names(result), std::vector<std::string>{"x.txt"});
    EXPECT_TRUE(result.sourceErrors.empty());

    // A bind mount of the source below itself: the same folder again, not walked again.
    fs::create_directory(src / "a/again");
    if (::mount(src.path().c_str(), (src / "a/again").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "bind mounts are not permitted here: " << std::strerror(errno);
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{src / "a/again"};
    result = scan({source});
    EXPECT_EQ(names(result), std::vector<std::string>{"x.txt"});
    EXPECT_TRUE(result.sourceErrors.empty());

    // Directly in the source too, where each folder is walked on its own.
    fs::create_directory(src / "b");
    if (::mount(src.path().c_str(), (src / "b").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "bind mounts are not permitted here: " << std::strerror(errno);
    Unmount again{src / "b"};
    result = scan({source});
    EXPECT_EQ(names(result), std::vector<std::string>{"x.txt"});
    EXPECT_TRUE(result.sourceErrors.empty());
}

TEST(FolderScan, FilesAndFoldersOfTheSourceKeepTheirOrderAndTheLastErrorOfEachKind) {
    TempDir src;
    writeFile(src / "0.txt", "0");
    writeFile(src / "a/1.txt", "1");
    writeFile(src / "a/deep/2.txt", "2");
    writeFile(src / "b.txt", "b");
    writeFile(src / "c/3.txt", "3");
    writeFile(src / "c/bad\xff.txt", "not UTF-8");
    writeFile(src / "d.txt", "d");
    writeFile(src / "e/bad\xfe.txt", "not UTF-8 either");
    writeFile(src / "f.txt", "f");
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    ScanResult result = scan({source});
    EXPECT_EQ(names(result), (std::vector<std::string>{"0.txt", "1.txt", "2.txt", "b.txt", "3.txt", "d.txt", "f.txt"}));
    EXPECT_EQ(findAsset(result, "2.txt")->relativeFolder, "a/deep");
    // The last name met that cannot be stored; the source still counts as walked.
    ASSERT_TRUE(result.sourceErrors.contains(source.id));
    EXPECT_NE(result.sourceErrors.at(source.id).find("bad\uFFFD.txt"), std::string::npos);
    EXPECT_NE(result.sourceErrors.at(source.id).find((src / "e").string()), std::string::npos);

    // A folder that cannot be read wins over names, wherever it lies, and nothing goes missing.
    fs::permissions(src / "a/deep", fs::perms::none);
    test::withoutPermissionOverride([&] { result = scan({source}, result.assets); });
    fs::permissions(src / "a/deep", fs::perms::owner_all);
    EXPECT_EQ(names(result), (std::vector<std::string>{"0.txt", "1.txt", "b.txt", "3.txt", "d.txt", "f.txt", "2.txt"}));
    EXPECT_NE(result.sourceErrors.at(source.id).find((src / "a/deep").string()), std::string::npos);
    EXPECT_FALSE(findAsset(result, "2.txt")->isMissing);
}

TEST(FolderScan, UnreadableFolderIsTheSourceErrorAndTheRestIsIndexed) {
    TempDir src;
    writeFile(src / "ok.txt", "ok");
    writeFile(src / "locked/in.txt", "in");
    fs::permissions(src / "locked", fs::perms::none);
    const auto source = SourceFolder::make(src.path());
    const IndexedAsset gone = assetAt(src / "gone.png", source.id);
    Scanner scan;
    ScanResult result;
    test::withoutPermissionOverride([&] { result = scan({source}, {gone}); });
    EXPECT_EQ(names(result), (std::vector<std::string>{"ok.txt", "gone.png"}));
    ASSERT_TRUE(result.sourceErrors.contains(source.id));
    EXPECT_NE(result.sourceErrors.at(source.id).find((src / "locked").string()), std::string::npos);
    EXPECT_FALSE(result.assets[1].isMissing);  // not walked: vanished files are not marked
}

TEST(FolderScan, FolderTooDeepToOpenIsTheSourceError) {
    // A folder whose path exceeds PATH_MAX cannot be opened, even by root.
    TempDir src;
    writeFile(src / "ok.txt", "ok");
    files::FileDescriptor dir(::open(src.path().c_str(), O_RDONLY | O_DIRECTORY));
    const std::string level(200, 'd');
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(::mkdirat(dir.get(), level.c_str(), 0755), 0);
        dir = files::FileDescriptor(::openat(dir.get(), level.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_TRUE(dir);
    }
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    const ScanResult result = scan({source});
    EXPECT_EQ(names(result), std::vector<std::string>{"ok.txt"});
    ASSERT_TRUE(result.sourceErrors.contains(source.id));
    EXPECT_NE(result.sourceErrors.at(source.id).find(std::strerror(ENAMETOOLONG)), std::string::npos);
    shell("rm -rf '" + (src / level).string() + "'");
}

TEST(FolderScan, RootProblemsAndDisabledSources) {
    TempDir base;
    writeFile(base / "plain.txt", "p");
    writeFile(base / "off/z.txt", "z");
    auto missing = SourceFolder::make(base / "nowhere");
    auto file = SourceFolder::make(base / "plain.txt");
    auto disabled = SourceFolder::make(base / "off");
    disabled.enabled = false;
    const IndexedAsset kept = assetAt(base / "off/gone.png", disabled.id);

    Scanner scan;
    const ScanResult result = scan({missing, file, disabled}, {kept});
    ASSERT_EQ(result.sourceErrors.size(), 2u);
    EXPECT_NE(result.sourceErrors.at(missing.id).find(std::strerror(ENOENT)), std::string::npos);
    EXPECT_EQ(result.sourceErrors.at(file.id), "来源文件夹不可用");
    ASSERT_EQ(result.assets.size(), 1u);
    EXPECT_EQ(result.assets[0].file, kept.file);
    EXPECT_FALSE(result.assets[0].isMissing);
}

TEST(FolderScan, CandidateLimitExactlyAndOneOver) {
    TempDir src, linked;
    for (int i = 0; i < 5; ++i) writeFile(src / ("f" + std::to_string(i) + ".txt"), "x");
    writeFile(linked / "extra.txt", "e");
    const auto source = SourceFolder::make(src.path());
    const IndexedAsset link = assetAt(linked / "extra.txt", std::nullopt);
    Scanner scan;
    scan.limit = 5;
    // Linked files do not count against the limit.
    EXPECT_EQ(scan({source}, {link}).assets.size(), 6u);

    writeFile(src / "f5.txt", "x");
    try {
        scan({source});
        FAIL() << "the limit was not enforced";
    } catch (const SorvikError& error) {
        EXPECT_EQ(error.errorDescription(), "本次扫描超过 5 件，请选择更具体的来源文件夹。");
    }
}

TEST(FolderScan, NestedSourcesIndexAFileOnceUnderTheFirst) {
    TempDir src;
    writeFile(src / "inner/a.txt", "a");
    writeFile(src / "top.txt", "t");
    const auto outer = SourceFolder::make(src.path());
    const auto inner = SourceFolder::make(src / "inner");
    Scanner scan;
    ScanResult result = scan({inner, outer});
    ASSERT_EQ(names(result), (std::vector<std::string>{"a.txt", "top.txt"}));
    EXPECT_EQ(result.assets[0].sourceID, inner.id);
    EXPECT_EQ(result.assets[0].relativeFolder, "");

    result = scan({outer, inner}, result.assets);
    ASSERT_EQ(names(result), (std::vector<std::string>{"a.txt", "top.txt"}));
    EXPECT_EQ(result.assets[0].sourceID, outer.id);
    EXPECT_EQ(result.assets[0].relativeFolder, "inner");
    EXPECT_EQ(result.reusedCount, 2);
}

TEST(FolderScan, ExclusionIsByWholeComponents) {
    TempDir a;
    writeFile(a / "files/x.png", tinyPNG());
    writeFile(a / "files2/x.png", tinyPNG());
    const auto source = SourceFolder::make(a.path());
    Scanner scan;
    scan.excluded = {a / "files/"};
    const ScanResult result = scan({source});
    ASSERT_EQ(result.assets.size(), 1u);
    EXPECT_EQ(result.assets[0].relativeFolder, "files2");
}

TEST(FolderScan, ExcludedRootIsWalkedAndLibraryIsNeverIndexed) {
    TempDir a;
    writeFile(a / "archive/old.png", tinyPNG());
    writeFile(a / "work/new.png", tinyPNG());
    Scanner scan;
    // The library folder lies inside the source: none of its files is indexed.
    Repository repository(a / "work/Library");
    WorkspaceState state;
    repository.saveWorkspace(state);
    writeFile(a / "work/Library/files/P/B/C.png", tinyPNG());
    const auto archiveSource = SourceFolder::make(a / "archive");
    const auto work = SourceFolder::make(a / "work");
    const IndexedAsset previous = assetAt(a / "archive/old.png", archiveSource.id);
    const ScanResult result = FolderIndexer::scan({archiveSource, work}, {previous}, {a / "archive"}, repository.root(),
                                                  false, 20000, nullptr);
    ASSERT_EQ(names(result), (std::vector<std::string>{"new.png", "old.png"}));
    EXPECT_TRUE(result.assets[1].isMissing);  // the excluded source was still walked
    EXPECT_EQ(result.assets[1].file.inspectionError, movedOut);
    EXPECT_TRUE(result.sourceErrors.empty());
}

TEST(FolderScan, ProgressEveryTwentyFilesAndCancellationFromTheWorker) {
    TempDir src;
    for (int i = 0; i < 45; ++i) writeFile(src / (std::to_string(100 + i) + ".txt"), "x");
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    scan({source});
    EXPECT_EQ(scan.progress, (std::vector<std::string>{"正在索引 1 / 45 件素材…", "正在索引 21 / 45 件素材…",
                                                       "正在索引 41 / 45 件素材…"}));
    TempDir empty;
    scan({SourceFolder::make(empty.path())});
    EXPECT_TRUE(scan.progress.empty());

    // The scan runs on a worker thread; the progress callback stops it from there.
    std::stop_source stop;
    std::vector<std::string> seen;
    bool cancelled = false;
    std::jthread worker([&] {
        try {
            FolderIndexer::scan(
                {source}, {}, {}, scan.library.path(), false, 20000,
                [&](const std::string& text) {
                    seen.push_back(text);
                    stop.request_stop();
                },
                stop.get_token());
        } catch (const CancellationError&) {
            cancelled = true;
        }
    });
    worker.join();
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(seen.size(), 1u);

    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_THROW(scan({source}, {}, stopped.get_token()), CancellationError);
}

TEST(FolderScan, NamesThatAreNotUTF8AreLeftOutWithAnError) {
    TempDir src, library;
    writeFile(src / "good.txt", "g");
    writeFile(src / std::string("bad\xff.txt"), "b");
    writeFile(src / std::string("dir\xfe/in.txt"), "i");
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    const ScanResult result = scan({source});
    EXPECT_EQ(names(result), std::vector<std::string>{"good.txt"});
    ASSERT_TRUE(result.sourceErrors.contains(source.id));
    const std::string& error = result.sourceErrors.at(source.id);
    EXPECT_TRUE(error.starts_with("部分文件暂时无法读取："));
    EXPECT_TRUE(unicode::isValidUTF8(error));

    // Everything the scan returns can be written into the library.
    WorkspaceState state;
    auto stored = source;
    stored.lastError = error;
    state.sources = {stored};
    state.assets = result.assets;
    EXPECT_NO_THROW(Repository(library.path()).saveWorkspace(state));

    // The source still counts as walked: a vanished file is marked missing.
    const IndexedAsset gone = assetAt(src / "gone.png", source.id);
    EXPECT_TRUE(scan({source}, {gone}).assets.back().isMissing);
}

TEST(FolderScan, FolderHintsFromCopyTitlesAndProjectFile) {
    TempDir src;
    writeFile(src / "素材/a.txt", "夏日新品\n正文一");
    writeFile(src / "素材/b.md", "夏日新品\n正文二");
    writeFile(src / "素材/pic.png", tinyPNG());
    writeFile(src / "drafts/a.txt", "夏日新品\n正文");
    writeFile(src / "drafts/b.txt", "秋季上新\n正文");
    writeFile(src / "drafts/pic.png", tinyPNG());
    writeFile(src / "assets/a.txt", "夏日新品\n正文");
    writeFile(src / "assets/pic.png", tinyPNG());
    writeFile(src / "assets/project.json", R"({"projectName": "IMG_0001", "title": "Spring Launch 2025"})");
    writeFile(src / "root.txt", "冬季促销\n正文");
    writeFile(src / "project.json", R"({"name": "冬季 大促"})");

    Scanner scan;
    const ScanResult result = scan({SourceFolder::make(src.path())});
    const auto hintOf = [&](const std::string& folder, const std::string& name) -> std::optional<std::string> {
        for (const auto& asset : result.assets)
            if (asset.relativeFolder == folder && asset.file.name == name) return asset.folderHint;
        ADD_FAILURE() << folder << "/" << name << " not indexed";
        return std::nullopt;
    };
    EXPECT_EQ(hintOf("素材", "pic.png"), "夏日新品");
    EXPECT_EQ(hintOf("素材", "a.txt"), "夏日新品");
    EXPECT_EQ(hintOf("drafts", "pic.png"), std::nullopt);
    // The raw value of the first key that carries a topic, replacing the title topic.
    EXPECT_EQ(hintOf("assets", "pic.png"), "Spring Launch 2025");
    EXPECT_EQ(hintOf("assets", "a.txt"), "Spring Launch 2025");
    // A root-level file gets no title topic, but the root's project file names it.
    EXPECT_EQ(hintOf("", "root.txt"), "冬季 大促");
}

TEST(FolderScan, ProjectFilesThatAreNotSafeToReadGiveNoHint) {
    TempDir src, elsewhere;
    const std::string valid = R"({"projectName": "Spring Launch"})";
    writeFile(src / "images/pic.png", tinyPNG());
    writeFile(src / "images/project.json",
              R"({"projectName": "Spring Launch", "pad": ")" + std::string(262144, 'x') + "\"}");
    writeFile(src / "videos/pic.png", tinyPNG());
    std::string below = R"({"projectName": "Spring Launch", "pad": ")";
    below += std::string(262143 - below.size() - 2, 'x') + "\"}";
    ASSERT_EQ(below.size(), 262143u);
    writeFile(src / "videos/project.json", below);
    writeFile(src / "media/pic.png", tinyPNG());
    writeFile(src / "media/project.json", "[" + valid + "]");
    writeFile(src / "files/pic.png", tinyPNG());
    ASSERT_EQ(::mkfifo((src / "files/project.json").c_str(), 0644), 0);  // would block a plain open
    writeFile(src / "downloads/pic.png", tinyPNG());
    fs::create_symlink("/dev/zero", src / "downloads/project.json");
    writeFile(elsewhere / "project.json", valid);
    writeFile(src / "exports/pic.png", tinyPNG());
    fs::create_symlink(elsewhere / "project.json", src / "exports/project.json");
    writeFile(src / "renders/pic.png", tinyPNG());
    writeFile(src / "renders/project.json", "{\"projectName\": ");

    Scanner scan;
    const ScanResult result = scan({SourceFolder::make(src.path())});
    int images = 0;
    for (const auto& asset : result.assets) {
        if (asset.file.name != "pic.png") continue;
        ++images;
        if (asset.relativeFolder == "videos") EXPECT_EQ(asset.folderHint, "Spring Launch");
        else EXPECT_EQ(asset.folderHint, std::nullopt) << asset.relativeFolder;
    }
    EXPECT_EQ(images, 7);
}

TEST(FolderScan, IdentityFollowsHardLinksNotSymbolicLinks) {
    TempDir dir;
    writeFile(dir / "a.txt", "a");
    fs::create_hard_link(dir / "a.txt", dir / "b.txt");
    fs::create_symlink(dir / "a.txt", dir / "c.txt");
    EXPECT_EQ(FolderIndexer::identity(dir / "nothing"), std::nullopt);
    ASSERT_TRUE(FolderIndexer::identity(dir / "a.txt"));
    EXPECT_EQ(FolderIndexer::identity(dir / "a.txt"), FolderIndexer::identity(dir / "b.txt"));
    EXPECT_NE(FolderIndexer::identity(dir / "a.txt"), FolderIndexer::identity(dir / "c.txt"));
}

namespace {

/// Every asset as JSON, a new file's fresh identifier replaced by its position; then the
/// counters, the errors and the progress texts.
std::vector<std::string> comparable(const ScanResult& result, const std::vector<IndexedAsset>& previous,
                                    const std::vector<std::string>& progress) {
    std::set<std::string> known;
    for (const auto& asset : previous) known.insert(asset.id().string());
    std::vector<std::string> out;
    for (std::size_t i = 0; i < result.assets.size(); ++i) {
        std::string text = coding::text(result.assets[i]);
        const std::string id = result.assets[i].id().string();
        if (!known.contains(id))
            for (std::size_t at; (at = text.find(id)) != std::string::npos;)
                text.replace(at, id.size(), "new#" + std::to_string(i));
        out.push_back(std::move(text));
    }
    out.push_back(std::to_string(result.inspectedCount) + " " + std::to_string(result.reusedCount) + " " +
                  std::to_string(result.movedCount) + " " + std::to_string(result.ocrCount));
    for (const auto& [source, error] : result.sourceErrors) out.push_back(source.string() + " " + error);
    out.insert(out.end(), progress.begin(), progress.end());
    return out;
}

IndexedAsset& recordOf(std::vector<IndexedAsset>& assets, const std::string& name) {
    for (auto& asset : assets)
        if (asset.file.name == name) return asset;
    throw std::runtime_error(name + " not indexed");
}

}  // namespace

TEST(FolderScan, InspectionOnSeveralThreadsGivesTheOneThreadResult) {
    TempDir src;
    // Enough texts to span several batches of inspection, the interesting files after them.
    for (int i = 0; i < 430; ++i)
        writeFile(src / "copy" / ("t" + std::to_string(1000 + i) + ".txt"), "文案 " + std::to_string(i));
    shell("cd '" + src.path().string() +
          "' && mkdir -p media && cd media && vips black b.png 64 48 && "
          "vips copy b.png b.jpg && vips invert b.png i.png && vips copy i.png r1.jpg && "
          "ffmpeg -loglevel error -f lavfi -i testsrc=size=64x48:rate=10 -t 0.5 -pix_fmt yuv420p v1.mp4 && "
          "ffmpeg -loglevel error -f lavfi -i testsrc=size=48x64:rate=10 -t 0.3 -pix_fmt yuv420p v2.mp4");
    writeFile(src / "media/broken.png", "not an image at all");
    writeFile(src / "media/broken.mp4", "not a video at all");
    writeFile(src / "media/changed.txt", "first");
    writeFile(src / "media/gone.txt", "gone");
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) writeFile(src / "zz" / name, name);
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    std::vector<IndexedAsset> previous = scan({source}).assets;
    ASSERT_EQ(previous.size(), 444u);
    recordOf(previous, "i.png").file.editedText = "说明";

    fs::rename(src / "media/r1.jpg", src / "media/renamed.jpg");
    writeFile(src / "media/changed.txt", "second, longer");
    writeFile(src / "new.png", tinyPNG());  // before the removal, so it cannot take the freed inode
    fs::remove(src / "media/gone.txt");

    // Records that a failing inspection leaves unclaimed, so a guess made before inspecting is
    // wrong: "a.txt" fails but matches, by path, the record "b.txt" then reuses by identity;
    // "c.txt" fails but matches, by identity, the record of "d.txt", which then inspects.
    const auto statOf = [&](const char* name) {
        struct stat st {};
        EXPECT_EQ(::lstat((src / "zz" / name).c_str(), &st), 0);
        return st;
    };
    IndexedAsset& x = recordOf(previous, "a.txt");
    const struct stat b = statOf("b.txt");
    x.file.bytes = b.st_size;
    x.file.reference =
        FileReference::make(x.file.reference->path, Date::fromTimespec(b.st_mtim.tv_sec, b.st_mtim.tv_nsec),
                            FolderIndexer::identity(src / "zz/b.txt"));
    IndexedAsset& y = recordOf(previous, "d.txt");
    y.file.bytes = 999;
    y.file.reference = FileReference::make(y.file.reference->path, y.file.reference->modifiedAt,
                                           FolderIndexer::identity(src / "zz/c.txt"));
    const UUID xID = x.id(), yID = y.id();
    std::erase_if(previous, [](const IndexedAsset& a) { return a.file.name == "b.txt" || a.file.name == "c.txt"; });
    writeFile(src / "zz/a.txt", "a, changed");
    writeFile(src / "zz/c.txt", "c, changed");
    fs::permissions(src / "zz/a.txt", fs::perms::none);
    fs::permissions(src / "zz/c.txt", fs::perms::none);

    std::vector<std::vector<std::string>> runs;
    ScanResult parallel;
    for (const unsigned threads : {1u, 0u, 3u}) {
        scan.threads = threads;
        withoutPermissionOverride([&] { parallel = scan({source}, previous); });
        runs.push_back(comparable(parallel, previous, scan.progress));
    }
    EXPECT_EQ(runs[1], runs[0]);
    EXPECT_EQ(runs[2], runs[0]);

    // And the one-thread result is the sound one.
    EXPECT_EQ(findAsset(parallel, "b.txt")->id(), xID);
    EXPECT_FALSE(findAsset(parallel, "b.txt")->sourceChanged);
    EXPECT_EQ(findAsset(parallel, "d.txt")->id(), yID);
    EXPECT_TRUE(findAsset(parallel, "d.txt")->sourceChanged);
    EXPECT_EQ(findAsset(parallel, "renamed.jpg")->id(), recordOf(previous, "r1.jpg").id());
    EXPECT_TRUE(findAsset(parallel, "i.png")->file.editedText);
    EXPECT_EQ(findAsset(parallel, "broken.png")->file.inspectionError, "无法解码图片");
    EXPECT_TRUE(findAsset(parallel, "broken.mp4")->file.inspectionError->starts_with("无法读取视频："));
    EXPECT_EQ(findAsset(parallel, "v2.mp4")->file.width, 48);
    ASSERT_TRUE(findAsset(parallel, "gone.txt"));
    EXPECT_TRUE(findAsset(parallel, "gone.txt")->isMissing);
    // a.txt and c.txt, the last of them described.
    EXPECT_TRUE(parallel.sourceErrors.at(source.id).starts_with("部分文件暂时无法读取（共 2 件）："));
    EXPECT_NE(parallel.sourceErrors.at(source.id).find("c.txt"), std::string::npos);
    EXPECT_EQ(parallel.inspectedCount, 3);  // changed.txt, new.png, d.txt
    EXPECT_EQ(parallel.movedCount, 2);      // renamed.jpg, b.txt
}

TEST(FolderScan, CancellationDuringParallelInspectionLeavesNoResult) {
    TempDir src;
    for (int i = 0; i < 600; ++i) writeFile(src / ("t" + std::to_string(1000 + i) + ".txt"), "x");
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    // Stopped in the first batch and right after the second was inspected ahead.
    for (const int at : {1, 11}) {
        std::stop_source stop;
        int seen = 0;
        EXPECT_THROW(FolderIndexer::scan(
                         {source}, {}, {}, scan.library.path(), false, 20000,
                         [&](const std::string&) {
                             if (++seen == at) stop.request_stop();
                         },
                         stop.get_token()),
                     CancellationError);
        EXPECT_EQ(seen, at);
    }
}
