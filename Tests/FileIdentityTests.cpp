// File identities across scans: a new file that takes a deleted file's inode number is a new
// file; records saved with the older "<device>:<inode>" form match no file by identity.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/Repository.hpp"
#include "Support/ScanSupport.hpp"

using namespace sorvik;
using namespace sorvik::test;
namespace fs = std::filesystem;

namespace {

constexpr const char* movedOut = "原文件已移出来源或被删除；重新连接来源后可恢复。";
constexpr std::time_t someDate = 1700000000;

void setModified(const fs::path& path) {
    const struct timespec times[2] = {{someDate, 0}, {someDate, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

ino_t inodeOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_ino;
}

const IndexedAsset* byName(const ScanResult& result, const std::string& name) {
    for (const auto& asset : result.assets)
        if (asset.file.name == name) return &asset;
    return nullptr;
}

/// The old form of an identity: device and inode number only.
std::string oldForm(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

}  // namespace

TEST(FileIdentity, ANewFileOnADeletedFilesInodeIsANewAsset) {
    TempDir src;
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    ScanResult first;
    IndexedAsset draft;
    bool reused = false;
    // ext4 hands a freed inode number to the next file at once; try a few times all the same.
    for (int attempt = 0; attempt < 20 && !reused; ++attempt) {
        writeFile(src / "draft.txt", "same size");
        setModified(src / "draft.txt");
        first = scan({source});
        ASSERT_EQ(first.assets.size(), 1u);
        const ino_t before = inodeOf(src / "draft.txt");
        fs::remove(src / "draft.txt");
        writeFile(src / "download.txt", "SAME SIZE");
        reused = inodeOf(src / "download.txt") == before;
        if (!reused) fs::remove(src / "download.txt");
    }
    if (!reused) GTEST_SKIP() << "the file system never gave the freed inode number to the next file";
    // Same size and date as the deleted draft: only the identity tells them apart.
    setModified(src / "download.txt");
    IndexedAsset& record = first.assets[0];
    record.projectID = UUID::make();
    record.assignment = AssignmentMode::manual;
    record.file.editedText = "改过的文案";
    draft = record;

    const ScanResult second = scan({source}, first.assets);
    ASSERT_EQ(second.assets.size(), 2u);
    const IndexedAsset* download = byName(second, "download.txt");
    ASSERT_TRUE(download);
    EXPECT_NE(download->id(), draft.id());
    EXPECT_EQ(download->projectID, std::nullopt);
    EXPECT_EQ(download->assignment, AssignmentMode::automatic);
    EXPECT_EQ(download->file.editedText, std::nullopt);
    EXPECT_FALSE(download->file.sourceUpdatePending);
    EXPECT_FALSE(download->sourceChanged);
    EXPECT_EQ(download->file.text, "SAME SIZE");
    EXPECT_NE(download->file.reference->identity, draft.file.reference->identity);

    const IndexedAsset* gone = byName(second, "draft.txt");
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->id(), draft.id());
    EXPECT_TRUE(gone->isMissing);
    EXPECT_EQ(gone->file.inspectionError, movedOut);
    EXPECT_EQ(gone->file.editedText, "改过的文案");
    EXPECT_EQ(gone->projectID, draft.projectID);
    EXPECT_EQ(second.inspectedCount, 1);
    EXPECT_EQ(second.reusedCount, 0);
    EXPECT_EQ(second.movedCount, 0);
}

TEST(FileIdentity, ARenameInPlaceKeepsItsRecordAndCountsAsMoved) {
    TempDir src;
    writeFile(src / "a.txt", "text");
    writeFile(src / "keep.txt", "other");
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    const ScanResult first = scan({source});
    const IndexedAsset before = *byName(first, "a.txt");
    ASSERT_TRUE(before.file.reference->identity);
    EXPECT_TRUE(FolderIndexer::isLifetimeIdentity(*before.file.reference->identity));

    fs::rename(src / "a.txt", src / "b.txt");
    const ScanResult second = scan({source}, first.assets);
    ASSERT_EQ(second.assets.size(), 2u);
    const IndexedAsset* after = byName(second, "b.txt");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->id(), before.id());
    EXPECT_FALSE(after->isMissing);
    EXPECT_EQ(after->file.reference->path, (src / "b.txt").string());
    EXPECT_EQ(after->file.reference->identity, before.file.reference->identity);
    EXPECT_EQ(second.reusedCount, 2);
    EXPECT_EQ(second.movedCount, 1);
    EXPECT_EQ(second.inspectedCount, 0);
}

TEST(FileIdentity, OldFormRecordsMatchByPathOnlyAndTakeTheNewForm) {
    TempDir src;
    writeFile(src / "renamed.txt", "text one");
    writeFile(src / "stays.txt", "text two");
    TempDir outside;
    writeFile(outside / "linked.txt", "text three");
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    TempDir libraryFolder;
    Repository repository(libraryFolder.path());

    // A library saved before identities carried a birth time: "<device>:<inode>".
    WorkspaceState state;
    state.sources = {source};
    state.assets = scan({source}).assets;
    const auto linked = repository.linkFiles({outside / "linked.txt"});
    ASSERT_EQ(linked.size(), 1u);
    EXPECT_TRUE(FolderIndexer::isLifetimeIdentity(linked[0].file.reference->identity.value_or("")));
    state.assets.push_back(linked[0]);
    ASSERT_EQ(state.assets.size(), 3u);
    for (auto& asset : state.assets) asset.file.reference->identity = oldForm(asset.file.reference->path);
    repository.saveWorkspace(state);
    const std::string saved = readFile(libraryFolder / "workspace.json");
    ASSERT_NE(saved.find("\"" + oldForm(src / "stays.txt") + "\""), std::string::npos);
    const WorkspaceState loaded = repository.loadWorkspace();
    const IndexedAsset renamedBefore = *std::find_if(
        loaded.assets.begin(), loaded.assets.end(), [](const IndexedAsset& a) { return a.file.name == "renamed.txt"; });

    fs::rename(src / "renamed.txt", src / "moved.txt");
    const ScanResult result = scan({source}, loaded.assets);
    ASSERT_EQ(result.assets.size(), 4u);

    // The moved file is not found through the old form: a new asset, its old record missing.
    const IndexedAsset* moved = byName(result, "moved.txt");
    ASSERT_TRUE(moved);
    EXPECT_NE(moved->id(), renamedBefore.id());
    const IndexedAsset* missing = byName(result, "renamed.txt");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->id(), renamedBefore.id());
    EXPECT_TRUE(missing->isMissing);
    EXPECT_EQ(missing->file.inspectionError, movedOut);
    EXPECT_EQ(missing->file.reference->identity, renamedBefore.file.reference->identity);  // kept as it was

    // Unchanged paths are reused and their references take the new form.
    for (const fs::path& path : {src / "stays.txt", outside / "linked.txt"}) {
        const std::string name = path.filename().string();
        const IndexedAsset* same = byName(result, name);
        ASSERT_TRUE(same) << name;
        EXPECT_FALSE(same->isMissing) << name;
        EXPECT_FALSE(same->sourceChanged) << name;
        EXPECT_EQ(same->file.reference->identity, FolderIndexer::identity(path)) << name;
        EXPECT_TRUE(FolderIndexer::isLifetimeIdentity(*same->file.reference->identity)) << name;
    }
    EXPECT_EQ(result.reusedCount, 2);
    EXPECT_EQ(result.inspectedCount, 1);
    EXPECT_EQ(result.movedCount, 0);
}

TEST(FileIdentity, WithoutABirthTimeTheGenerationStandsIn) {
    TempDir dir;
    writeFile(dir / "a.txt", "a");
    writeFile(dir / "b.txt", "b");
    const auto statusWithoutBirth = [](const fs::path& path) {
        struct statx info {};
        EXPECT_EQ(files::statusAt(AT_FDCWD, path.c_str(), info), 0) << path;
        info.stx_mask &= ~static_cast<unsigned>(STATX_BTIME);
        return info;
    };
    FolderIndexer::IdentityReader read;
    const struct statx a = statusWithoutBirth(dir / "a.txt");
    // Attributes of one file never give an identity with another file's generation.
    EXPECT_EQ(read(a, (dir / "b.txt").string()), std::nullopt);
    // Nor of a file gone since it was listed.
    writeFile(dir / "gone.txt", "g");
    const struct statx gone = statusWithoutBirth(dir / "gone.txt");
    fs::remove(dir / "gone.txt");
    EXPECT_EQ(read(gone, (dir / "gone.txt").string()), std::nullopt);

    files::FileDescriptor fd(::open((dir / "a.txt").c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(fd);
    unsigned generation = 0;
    if (::ioctl(fd.get(), FS_IOC_GETVERSION, &generation) != 0) {
        // Neither birth time nor generation: no identity, moves are found by path only.
        EXPECT_EQ(read(a, (dir / "a.txt").string()), std::nullopt);
        GTEST_SKIP() << "this file system keeps no inode generation";
    }
    const auto identity = read(a, (dir / "a.txt").string());
    ASSERT_TRUE(identity);
    EXPECT_TRUE(identity->ends_with(":g" + std::to_string(generation))) << *identity;
    EXPECT_TRUE(FolderIndexer::isLifetimeIdentity(*identity));
    EXPECT_NE(read(statusWithoutBirth(dir / "b.txt"), (dir / "b.txt").string()), identity);
    // A link is never opened for its generation.
    fs::create_symlink(dir / "a.txt", dir / "link");
    EXPECT_EQ(read(statusWithoutBirth(dir / "link"), (dir / "link").string()), std::nullopt);
}
