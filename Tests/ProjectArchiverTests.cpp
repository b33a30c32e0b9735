#include <gtest/gtest.h>

#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/Hashing.hpp"
#include "SorvikCore/ProjectArchiver.hpp"
#include "Support/TestSupport.hpp"

namespace sorvik {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

struct timespec modificationTime(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mtim;
}

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

void setTime(const fs::path& path, std::int64_t sec, long nsec) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(sec), nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

/// Every item below the folder, as relative paths.
std::set<std::string> listing(const fs::path& folder) {
    std::set<std::string> out;
    if (!fs::exists(folder)) return out;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        out.insert(fs::relative(entry.path(), folder).string());
    return out;
}

class ArchiverTest : public ::testing::Test {
protected:
    ArchiverTest() : repository(dir / "library") {}

    /// A project file pointing at an original, as linking would record it.
    DeliveryFile original(const std::string& name, const std::string& content, FileRole role) {
        const fs::path path = dir / "src" / name;
        writeFile(path, content);
        DeliveryFile file(UUID::make(), name, "", role, static_cast<std::int64_t>(content.size()), "");
        const auto t = modificationTime(path);
        file.reference =
            FileReference::make(path, Date::fromTimespec(t.tv_sec, t.tv_nsec), FolderIndexer::identity(path));
        return file;
    }

    std::vector<ArchiveRecord> run(const std::vector<Delivery>& projects, const std::vector<ArchiveRecord>& previous,
                                   std::stop_token stop = {}) {
        return ProjectArchiver::archive(
            projects, repository, dir / "archive", previous,
            [this](const std::string& text) { progress.push_back(text); }, stop);
    }

    fs::path sourceOf(const DeliveryFile& file) const { return file.reference->path; }

    test::TempDir dir;
    Repository repository;
    std::vector<std::string> progress;
};

TEST_F(ArchiverTest, ArchivesOnceAndRerunCopiesNothing) {
    Delivery project(UUID::make(), "新品发布", {}, DeliveryTemplate::flexible());
    project.files = {original("主视觉.PNG", "cover bytes", FileRole::cover),
                     original("文案.txt", "title\nbody", FileRole::copy)};
    const auto first = run({project}, {});

    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(progress, (std::vector<std::string>{"正在归档：新品发布 / 主视觉.PNG", "正在归档：新品发布 / 文案.txt"}));
    const std::string projectFolder = "新品发布__" + project.id.string().substr(0, 6);
    const fs::path cover =
        dir / "archive" / projectFolder / "02_封面" / ("主视觉__" + project.files[0].id.string().substr(0, 6) + ".png");
    EXPECT_EQ(first[0].path, cover.string());
    EXPECT_EQ(first[0].assetID, project.files[0].id);
    EXPECT_EQ(first[0].sourceBytes, 11);
    EXPECT_EQ(first[0].sha256, hashing::sha256Hex("cover bytes"));
    EXPECT_EQ(readFile(cover), "cover bytes");
    EXPECT_TRUE(sameTime(modificationTime(cover), modificationTime(sourceOf(project.files[0]))));
    EXPECT_EQ(fs::path(first[1].path).parent_path().filename(), "04_文案");

    const auto before = listing(dir / "archive");
    for (const auto& name : before) EXPECT_EQ(name.find(".sorvik-"), std::string::npos) << name;
    progress.clear();
    const auto second = run({project}, first);
    EXPECT_TRUE(progress.empty());
    ASSERT_EQ(second.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) EXPECT_EQ(second[i].id, first[i].id);
    EXPECT_EQ(listing(dir / "archive"), before);
}

TEST_F(ArchiverTest, SkipsWhatCannotBeArchived) {
    EXPECT_TRUE(run({}, {}).empty());
    EXPECT_TRUE(fs::is_directory(dir / "archive"));

    Delivery project(UUID::make(), "空", {}, DeliveryTemplate::flexible());
    DeliveryFile broken = original("bad.png", "x", FileRole::cover);
    broken.inspectionError = "无法解码图片";
    DeliveryFile gone = original("gone.png", "y", FileRole::cover);
    fs::remove(sourceOf(gone));
    // A FIFO where the original was must be left alone, not read.
    DeliveryFile fifo = original("pipe.png", "z", FileRole::cover);
    fs::remove(sourceOf(fifo));
    ASSERT_EQ(::mkfifo(sourceOf(fifo).c_str(), 0600), 0);
    // An original behind a folder that cannot be searched counts as missing.
    DeliveryFile locked = original("locked.png", "w", FileRole::cover);
    fs::create_directories(dir / "src/locked");
    fs::rename(sourceOf(locked), dir / "src/locked/locked.png");
    locked.reference->path = (dir / "src/locked/locked.png").string();
    fs::permissions(dir / "src/locked", fs::perms::none);
    project.files = {broken, gone, fifo, locked};
    ArchiveRecord earlier;
    earlier.assetID = UUID::make();
    test::withoutPermissionOverride([&] { EXPECT_EQ(run({project}, {earlier}).size(), 1u); });
    fs::permissions(dir / "src/locked", fs::perms::owner_all);
    EXPECT_TRUE(listing(dir / "archive").empty());
    EXPECT_TRUE(progress.empty());
}

TEST_F(ArchiverTest, ChangedFileGetsSuffixedCopyBesideTheFirst) {
    Delivery project(UUID::make(), "P", {}, DeliveryTemplate::flexible());
    project.files = {original("IMG_01.JPG", "one", FileRole::cover)};
    const auto first = run({project}, {});
    ASSERT_EQ(first.size(), 1u);
    const std::string stem = "IMG_01__" + project.files[0].id.string().substr(0, 6);
    EXPECT_EQ(fs::path(first[0].path).filename(), stem + ".jpg");

    writeFile(sourceOf(project.files[0]), "second version");
    const auto second = run({project}, first);
    ASSERT_EQ(second.size(), 2u);
    const std::string name = fs::path(second[1].path).filename().string();
    EXPECT_EQ(name.size(), stem.size() + 1 + 8 + 4);
    EXPECT_TRUE(name.starts_with(stem + "_")) << name;
    EXPECT_TRUE(name.ends_with(".jpg")) << name;
    EXPECT_EQ(readFile(first[0].path), "one");
    EXPECT_EQ(readFile(second[1].path), "second version");
    EXPECT_EQ(second[1].sourceBytes, 14);
}

TEST_F(ArchiverTest, TouchedIdenticalSourceAddsNoRecordOnReruns) {
    Delivery project(UUID::make(), "P", {}, DeliveryTemplate::flexible());
    project.files = {original("a.png", "same", FileRole::cover)};
    const auto first = run({project}, {});
    ASSERT_EQ(first.size(), 1u);
    const auto files = listing(dir / "archive");

    // Touched: same content, a new modification time. The copy is adopted, not made again,
    // and takes the new time, so later runs pass the skip test.
    setTime(sourceOf(project.files[0]), 1700000000, 123456789);
    auto records = run({project}, first);
    EXPECT_EQ(records.size(), 2u);  // the version with its new date, at the same copy
    EXPECT_EQ(records.back().path, first[0].path);
    EXPECT_EQ(listing(dir / "archive"), files);
    EXPECT_TRUE(sameTime(modificationTime(first[0].path), modificationTime(sourceOf(project.files[0]))));
    for (int i = 0; i < 3; ++i) {
        progress.clear();
        const auto again = run({project}, records);
        EXPECT_EQ(again.size(), records.size());
        EXPECT_TRUE(progress.empty());
        records = again;
    }
}

TEST_F(ArchiverTest, CoarseTimestampCopyAddsNoRecord) {
    Delivery project(UUID::make(), "P", {}, DeliveryTemplate::flexible());
    project.files = {original("a.png", "content", FileRole::cover)};
    setTime(sourceOf(project.files[0]), 1700000000, 987654321);
    project.files[0].reference->modifiedAt = Date::fromTimespec(1700000000, 987654321);
    const auto first = run({project}, {});
    ASSERT_EQ(first.size(), 1u);
    const auto files = listing(dir / "archive");

    // The copy's time as a file system with whole seconds would keep it.
    setTime(first[0].path, 1700000000, 0);
    const auto second = run({project}, first);
    EXPECT_EQ(second.size(), 1u);
    EXPECT_EQ(listing(dir / "archive"), files);
    EXPECT_TRUE(sameTime(modificationTime(first[0].path), modificationTime(sourceOf(project.files[0]))));
    progress.clear();
    EXPECT_EQ(run({project}, second).size(), 1u);
    EXPECT_TRUE(progress.empty());
}

TEST_F(ArchiverTest, DeletedOrLinkedCopyIsMadeAgain) {
    Delivery project(UUID::make(), "P", {}, DeliveryTemplate::flexible());
    project.files = {original("a.png", "content", FileRole::cover)};
    const auto first = run({project}, {});
    ASSERT_EQ(first.size(), 1u);

    // Copied again under the free plain name; the record that names it is already there.
    fs::remove(first[0].path);
    const auto second = run({project}, first);
    EXPECT_EQ(second.size(), 1u);
    EXPECT_EQ(progress.size(), 2u);
    EXPECT_EQ(readFile(first[0].path), "content");

    // A link at the candidate name is never adopted and never replaced.
    fs::remove(first[0].path);
    fs::create_symlink(sourceOf(project.files[0]), first[0].path);
    const auto third = run({project}, second);
    ASSERT_EQ(third.size(), 2u);
    EXPECT_NE(third[1].path, first[0].path);
    EXPECT_TRUE(fs::is_symlink(first[0].path));
    EXPECT_FALSE(fs::is_symlink(third[1].path));
    EXPECT_EQ(readFile(third[1].path), "content");
}

TEST_F(ArchiverTest, HardLinkOfTheSourceIsNoArchive) {
    Delivery project(UUID::make(), "P", {}, DeliveryTemplate::flexible());
    project.files = {original("a.png", "content", FileRole::cover)};
    const auto first = run({project}, {});
    fs::remove(first[0].path);
    fs::create_hard_link(sourceOf(project.files[0]), first[0].path);

    const auto second = run({project}, first);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_NE(second[1].path, first[0].path);
    EXPECT_NE(FolderIndexer::identity(second[1].path), FolderIndexer::identity(sourceOf(project.files[0])));
}

TEST_F(ArchiverTest, LeftoverCopyWithSameContentIsAdoptedWithoutCopying) {
    Delivery project(UUID::make(), "P", {}, DeliveryTemplate::flexible());
    project.files = {original("clip.mp4", "video bytes", FileRole::video)};
    const fs::path candidate = dir / "archive" / ("P__" + project.id.string().substr(0, 6)) / "01_成片" /
                               ("clip__" + project.files[0].id.string().substr(0, 6) + ".mp4");
    writeFile(candidate, "video bytes");
    const auto identity = FolderIndexer::identity(candidate);

    const auto records = run({project}, {});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].path, candidate.string());
    EXPECT_EQ(FolderIndexer::identity(candidate), identity);
    EXPECT_TRUE(sameTime(modificationTime(candidate), modificationTime(sourceOf(project.files[0]))));
    EXPECT_EQ(listing(candidate.parent_path()).size(), 1u);

    // Different content at the candidate name is kept; the version goes beside it.
    Delivery other(UUID::make(), "Q", {}, DeliveryTemplate::flexible());
    other.files = {original("b.txt", "new", FileRole::copy)};
    const fs::path taken = dir / "archive" / ("Q__" + other.id.string().substr(0, 6)) / "04_文案" /
                           ("b__" + other.files[0].id.string().substr(0, 6) + ".txt");
    writeFile(taken, "someone else's");
    const auto more = run({other}, records);
    ASSERT_EQ(more.size(), 2u);
    EXPECT_NE(more[1].path, taken.string());
    EXPECT_EQ(readFile(taken), "someone else's");
}

TEST_F(ArchiverTest, RecordCountsOnlyForItsProjectFolder) {
    Delivery project(UUID::make(), "旧名", {}, DeliveryTemplate::flexible());
    project.files = {original("a.png", "content", FileRole::cover)};
    const auto first = run({project}, {});
    project.name = "新名";
    const auto second = run({project}, first);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_NE(second[1].path.find("/新名__"), std::string::npos);
    EXPECT_TRUE(fs::exists(first[0].path));
}

TEST_F(ArchiverTest, RoleFolderLinkedElsewhereStopsTheRun) {
    Delivery project(UUID::make(), "P", {}, DeliveryTemplate::flexible());
    project.files = {original("a.png", "content", FileRole::cover)};
    const fs::path projectFolder = dir / "archive" / ("P__" + project.id.string().substr(0, 6));
    fs::create_directories(projectFolder);
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", projectFolder / "02_封面");
    try {
        run({project}, {});
        FAIL() << "expected a refusal";
    } catch (const SorvikError& error) {
        EXPECT_STREQ(error.what(), "归档路径包含指向其他位置的链接，请更换归档目录。");
    }
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
}

TEST_F(ArchiverTest, FailuresAndCancellation) {
    Delivery project(UUID::make(), "P", {}, DeliveryTemplate::flexible());
    project.files = {original("a.png", "content", FileRole::cover)};
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(run({project}, {}, stop.get_token()), CancellationError);
    EXPECT_TRUE(listing(dir / "archive").empty());

    DeliveryFile outside(UUID::make(), "x.png", "../outside.png", FileRole::cover, 1, "");
    project.files = {outside};
    try {
        run({project}, {});
        FAIL() << "expected a refusal";
    } catch (const SorvikError& error) {
        EXPECT_STREQ(error.what(), "文件路径不属于Sorvik资料库");
    }
}

}  // namespace
}  // namespace sorvik
