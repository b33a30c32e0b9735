#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "SorvikCore/AssetReuse.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/Repository.hpp"
#include "Support/ScanSupport.hpp"

using namespace sorvik;
using namespace sorvik::test;
namespace fs = std::filesystem;

namespace {

/// Sets the modification time of a file, so a rewrite can keep or change it on purpose.
void setModified(const fs::path& path, std::time_t seconds, long nanoseconds = 0) {
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

IndexedAsset& asset(ScanResult& result, const std::string& name) {
    for (auto& a : result.assets)
        if (a.file.name == name) return a;
    throw std::runtime_error(name + " not indexed");
}

}  // namespace

TEST(AssetReuse, RenamedFileIsReusedMovedAndKeepsItsEdits) {
    TempDir src;
    writeFile(src / "素材/cover.png", tinyPNG());
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    ScanResult first = scan({source});
    IndexedAsset& before = asset(first, "cover.png");
    const UUID project = UUID::make();
    before.projectID = project;
    before.assignment = AssignmentMode::manual;
    before.reason = "用户指定";
    before.file.crop = CropSpec{0.75, 0.2, 0.4};
    before.file.editedText = "说明";
    before.didAttemptOCR = true;
    before.recognizedText = "海报";

    fs::rename(src / "素材/cover.png", src / "素材/renamed.png");  // same size, date and inode
    const ScanResult second = scan({source}, first.assets);
    ASSERT_EQ(second.assets.size(), 1u);
    const IndexedAsset& after = second.assets[0];
    EXPECT_EQ(second.reusedCount, 1);
    EXPECT_EQ(second.movedCount, 1);
    EXPECT_EQ(second.inspectedCount, 0);
    EXPECT_EQ(after.id(), before.id());
    EXPECT_EQ(after.file.name, "renamed.png");
    EXPECT_EQ(after.file.crop, before.file.crop);
    EXPECT_EQ(after.file.editedText, "说明");
    EXPECT_EQ(after.projectID, project);
    EXPECT_EQ(after.assignment, AssignmentMode::manual);
    EXPECT_EQ(after.reason, "用户指定");
    EXPECT_EQ(after.recognizedText, "海报");
    EXPECT_FALSE(after.sourceChanged);
    EXPECT_FALSE(after.isMissing);
    ASSERT_TRUE(after.file.reference);
    EXPECT_EQ(after.file.reference->path, (src / "素材/renamed.png").string());
    EXPECT_EQ(after.file.reference->identity, before.file.reference->identity);
}

TEST(AssetReuse, RecordsOfOneIdentityAreEachClaimedOnceInTheirOrder) {
    // Hard links: one file, one identity, two records.
    TempDir src;
    writeFile(src / "a/one.txt", "same");
    fs::create_hard_link(src / "a/one.txt", src / "a/two.txt");
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    ScanResult first = scan({source});
    ASSERT_EQ(first.assets.size(), 2u);
    ASSERT_EQ(first.assets[0].file.reference->identity, first.assets[1].file.reference->identity);
    first.assets[1].reason = "second";

    fs::rename(src / "a", src / "b");
    const ScanResult moved = scan({source}, first.assets);
    ASSERT_EQ(moved.assets.size(), 2u);
    EXPECT_EQ(moved.reusedCount, 2);
    EXPECT_EQ(moved.movedCount, 2);
    EXPECT_EQ(moved.assets[0].id(), first.assets[0].id());
    EXPECT_EQ(moved.assets[1].id(), first.assets[1].id());
    EXPECT_EQ(moved.assets[1].reason, "second");
    EXPECT_EQ(moved.assets[1].file.reference->path, (src / "b/two.txt").string());

    // A third name, met before "two.txt", leaves that file its own record: it is a new file.
    fs::create_hard_link(src / "b/one.txt", src / "b/three.txt");
    const ScanResult third = scan({source}, moved.assets);
    ASSERT_EQ(names(third), (std::vector<std::string>{"one.txt", "three.txt", "two.txt"}));
    EXPECT_EQ(third.reusedCount, 2);
    EXPECT_EQ(third.inspectedCount, 1);
    EXPECT_EQ(third.movedCount, 0);
    EXPECT_EQ(third.assets[0].id(), first.assets[0].id());
    EXPECT_EQ(third.assets[2].id(), first.assets[1].id());
    EXPECT_NE(third.assets[1].id(), first.assets[0].id());
    EXPECT_NE(third.assets[1].id(), first.assets[1].id());
}

TEST(AssetReuse, ChangedFileIsInspectedAgainAndKeepsIdentityRoleEditsAndProject) {
    TempDir src;
    writeFile(src / "notes.txt", "old");
    writeFile(src / "plain.txt", "old");
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    ScanResult first = scan({source});
    const UUID project = UUID::make();
    for (auto& a : first.assets) {
        a.projectID = project;
        a.reason = "共同文件名主题";
        a.recognizedText = "旧";
        a.file.role = FileRole::extra;  // the user's role choice
    }
    asset(first, "notes.txt").file.editedText = "我的修改";

    writeFile(src / "notes.txt", "new content");
    writeFile(src / "plain.txt", "new content");
    const ScanResult second = scan({source}, first.assets);
    EXPECT_EQ(second.inspectedCount, 2);
    EXPECT_EQ(second.reusedCount, 0);
    EXPECT_EQ(second.movedCount, 0);
    for (std::size_t i = 0; i < 2; ++i) {
        const IndexedAsset& a = second.assets[i];
        EXPECT_EQ(a.id(), first.assets[i].id());
        EXPECT_EQ(a.file.role, FileRole::extra);
        EXPECT_EQ(a.file.text, "new content");
        EXPECT_EQ(a.projectID, project);
        EXPECT_EQ(a.reason, "");
        EXPECT_EQ(a.recognizedText, std::nullopt);
        EXPECT_TRUE(a.sourceChanged);
    }
    EXPECT_EQ(second.assets[0].file.editedText, "我的修改");
    EXPECT_EQ(second.assets[0].file.sourceUpdatePending, true);
    EXPECT_EQ(second.assets[1].file.sourceUpdatePending, std::nullopt);

    // The next scan that finds it unchanged reuses it and clears the change flag only.
    const ScanResult third = scan({source}, second.assets);
    EXPECT_EQ(third.reusedCount, 2);
    EXPECT_FALSE(third.assets[0].sourceChanged);
    EXPECT_EQ(third.assets[0].file.sourceUpdatePending, true);
}

TEST(AssetReuse, SameSizeNewerDateIsInspectedAgain) {
    TempDir src;
    writeFile(src / "a.txt", "abc");
    setModified(src / "a.txt", 1700000000, 5);
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    const ScanResult first = scan({source});
    setModified(src / "a.txt", 1700000000, 1005);  // one microsecond later
    const ScanResult second = scan({source}, first.assets);
    EXPECT_EQ(second.inspectedCount, 1);
    EXPECT_TRUE(second.assets[0].sourceChanged);
}

TEST(AssetReuse, VanishedAndReappearingFiles) {
    TempDir src;
    writeFile(src / "a.txt", "a");
    writeFile(src / "b.txt", "b");
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    const ScanResult first = scan({source});
    const std::string kept = test::readFile(src / "b.txt");
    fs::rename(src / "b.txt", src.path().parent_path() / (src.path().filename().string() + "-b.txt"));

    const ScanResult second = scan({source}, first.assets);
    ASSERT_EQ(names(second), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(second.assets[1].isMissing);
    EXPECT_EQ(second.assets[1].file.inspectionError, "原文件已移出来源或被删除；重新连接来源后可恢复。");
    EXPECT_EQ(second.assets[1].id(), first.assets[1].id());

    // Back unchanged at its path: a missing record is never reused.
    fs::rename(src.path().parent_path() / (src.path().filename().string() + "-b.txt"), src / "b.txt");
    const ScanResult third = scan({source}, second.assets);
    EXPECT_EQ(third.inspectedCount, 1);
    EXPECT_EQ(third.reusedCount, 1);
    const IndexedAsset& back = third.assets[1];
    EXPECT_EQ(back.id(), first.assets[1].id());
    EXPECT_FALSE(back.isMissing);
    EXPECT_TRUE(back.sourceChanged);
    EXPECT_EQ(back.file.inspectionError, std::nullopt);
}

TEST(AssetReuse, LinkedFilesAreRecheckedAndMarkedWhenGone) {
    TempDir dir;
    writeFile(dir / "linked.txt", "l");
    struct stat info {};
    ASSERT_EQ(::lstat((dir / "linked.txt").c_str(), &info), 0);
    DeliveryFile file(UUID::make(), "linked.txt", "", FileRole::copy, 1, "");
    file.reference =
        FileReference::make(dir / "linked.txt", Date::fromTimespec(info.st_mtim.tv_sec, info.st_mtim.tv_nsec),
                            FolderIndexer::identity(dir / "linked.txt"));
    IndexedAsset linked(file, std::nullopt, "", std::nullopt);
    IndexedAsset noReference(DeliveryFile(UUID::make(), "x.txt", "", FileRole::copy, 1, ""), std::nullopt, "",
                             std::nullopt);
    Scanner scan;
    ScanResult result = scan({}, {linked, noReference});
    ASSERT_EQ(result.assets.size(), 2u);
    EXPECT_EQ(result.reusedCount, 1);
    EXPECT_FALSE(result.assets[0].isMissing);
    EXPECT_EQ(result.assets[1].file, noReference.file);  // kept exactly as it was

    fs::remove(dir / "linked.txt");
    result = scan({}, result.assets);
    EXPECT_TRUE(result.assets[0].isMissing);
    EXPECT_EQ(result.assets[0].file.inspectionError, "原文件暂时不可用。");
    EXPECT_TRUE(result.sourceErrors.empty());

    // A link left where the original was, pointing nowhere, is no file either.
    fs::create_symlink(dir / "nowhere.txt", dir / "linked.txt");
    result = scan({}, {linked});
    EXPECT_TRUE(result.assets[0].isMissing);
    EXPECT_EQ(result.assets[0].file.inspectionError, "原文件暂时不可用。");
}

TEST(AssetReuse, UninspectableFileIsTheSourceErrorAndItsRecordGoesMissing) {
    TempDir src;
    writeFile(src / "a.txt", "a");
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    const ScanResult first = scan({source});
    writeFile(src / "a.txt", "changed");
    fs::permissions(src / "a.txt", fs::perms::none);
    ScanResult second;
    test::withoutPermissionOverride([&] { second = scan({source}, first.assets); });
    ASSERT_TRUE(second.sourceErrors.contains(source.id));
    EXPECT_TRUE(second.sourceErrors.at(source.id).starts_with("部分文件暂时无法读取："));
    ASSERT_EQ(second.assets.size(), 1u);
    EXPECT_TRUE(second.assets[0].isMissing);
}

TEST(AssetReuse, SaveReloadRescanReusesEverything) {
    TempDir src;
    for (int i = 0; i < 30; ++i) {
        writeFile(src / ("dir" + std::to_string(i % 3)) / ("f" + std::to_string(i) + ".txt"),
                  "text " + std::to_string(i));
        writeFile(src / ("dir" + std::to_string(i % 3)) / ("p" + std::to_string(i) + ".png"), tinyPNG());
    }
    // Times with nanoseconds survive the library's JSON exactly.
    setModified(src / "dir0/f0.txt", 1712345678, 123456789);
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    const ScanResult first = scan({source});
    ASSERT_EQ(first.assets.size(), 60u);

    Repository repository(scan.library.path());
    WorkspaceState state;
    state.sources = {source};
    state.assets = first.assets;
    repository.saveWorkspace(state);
    const WorkspaceState loaded = repository.loadWorkspace();

    const ScanResult second = scan(loaded.sources, loaded.assets);
    EXPECT_EQ(second.reusedCount, 60);
    EXPECT_EQ(second.inspectedCount, 0);
    EXPECT_EQ(second.movedCount, 0);
    ASSERT_EQ(second.assets.size(), first.assets.size());
    for (std::size_t i = 0; i < first.assets.size(); ++i) {
        EXPECT_EQ(second.assets[i].file, first.assets[i].file);
        EXPECT_EQ(second.assets[i].folderHint, first.assets[i].folderHint);
    }
}

TEST(AssetReuse, RecognitionIsCappedPerScanAndNotRepeated) {
    TempDir src;
    for (int i = 0; i < 25; ++i) writeFile(src / ("IMG_" + std::to_string(1000 + i) + ".png"), tinyPNG());
    writeFile(src / "夏日新品海报.png", tinyPNG());  // its name names a topic: never recognised
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    const ScanResult off = scan({source});
    EXPECT_EQ(off.ocrCount, 0);
    for (const auto& a : off.assets) EXPECT_FALSE(a.didAttemptOCR);

    scan.recognizeText = true;
    const ScanResult first = scan({source}, off.assets);
    EXPECT_EQ(first.ocrCount, 20);
    for (std::size_t i = 0; i < first.assets.size(); ++i)
        EXPECT_EQ(first.assets[i].didAttemptOCR, i < 20) << first.assets[i].file.name;

    const ScanResult second = scan({source}, first.assets);
    EXPECT_EQ(second.ocrCount, 5);
    const ScanResult third = scan({source}, second.assets);
    EXPECT_EQ(third.ocrCount, 0);
    EXPECT_EQ(third.reusedCount, 26);
}

TEST(AssetReuse, InspectingAheadStopsWithCancellation) {
    TempDir src;
    std::vector<AssetReuse::Candidate> candidates;
    for (int i = 0; i < 40; ++i) {
        const fs::path path = src / (std::to_string(i) + ".png");
        writeFile(path, tinyPNG());
        struct statx status {};
        ASSERT_EQ(files::statusAt(AT_FDCWD, path.c_str(), status), 0);
        candidates.push_back({path.string(), std::nullopt, "", status, std::nullopt, false});
    }
    const std::vector<IndexedAsset> previous;
    AssetReuse::Reuser reuser(previous, false);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(reuser.inspectAhead(candidates, 4, stop.get_token()), CancellationError);

    // Results inspected ahead are what process then records, in order: the files are gone
    // by then, so inspecting them again would record nothing.
    AssetReuse::Reuser ahead(previous, false);
    ahead.inspectAhead(candidates, 4, {});
    for (const auto& candidate : candidates) fs::remove(candidate.path);
    std::map<UUID, std::string> errors;
    for (const auto& candidate : candidates) ahead.process(candidate, errors, {});
    const ScanResult result = std::move(ahead).finish(errors);
    ASSERT_EQ(result.assets.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(result.assets[i].file.name, std::to_string(i) + ".png");
        EXPECT_EQ(result.assets[i].file.width, 1);
    }
    EXPECT_EQ(result.inspectedCount, 40);
}
