// Paths resolved as the kernel resolves them, work that stops at the first failure, and
// writes that stay below the folders they were meant for when folders are swapped.
#include <atomic>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "SorvikCore/AssetImport.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/FolderDescriptors.hpp"
#include "SorvikCore/Inspector.hpp"
#include "SorvikCore/OrderedWork.hpp"
#include "SorvikCore/ProjectArchiver.hpp"
#include "Support/TestSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;

namespace {

std::vector<std::string> listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

/// A linked original, as the scan records it.
DeliveryFile linked(const fs::path& path, const std::string& content) {
    if (!content.empty() || !fs::exists(path)) test::writeFile(path, content);
    DeliveryFile file = FileInspector::inspect(path, "", std::nullopt, false);
    struct stat st {};
    ::stat(path.c_str(), &st);
    file.reference = FileReference::make(path, Date::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec), {});
    return file;
}

}  // namespace

TEST(ResolvedPath, FollowsLinksBeforeTheirDotDot) {
    test::TempDir dir;
    fs::create_directories(dir / "outside" / "sub");
    fs::create_directories(dir / "pkg" / "a");
    fs::create_symlink("../outside/sub", dir / "pkg" / "lnk");
    fs::create_symlink("loop", dir / "pkg" / "loop");
    fs::create_symlink("/nowhere/at/all", dir / "pkg" / "dangling");
    test::writeFile(dir / "pkg" / "file", "x");

    EXPECT_EQ(files::resolvedPath(dir / "pkg" / "lnk" / ".." / "x.txt"), (dir / "outside" / "x.txt").string());
    EXPECT_EQ(files::resolvedPath(dir / "pkg" / "lnk" / "." / "deeper" / ".."), (dir / "outside" / "sub").string());
    EXPECT_EQ(files::resolvedPath(dir.path().string() + "//pkg/a/"), (dir / "pkg" / "a").string());
    EXPECT_EQ(files::resolvedPath(dir / "pkg" / "missing" / ".." / "a"), (dir / "pkg" / "a").string());
    EXPECT_EQ(files::resolvedPath(dir / "pkg" / "dangling" / "x"), "/nowhere/at/all/x");
    EXPECT_EQ(files::resolvedPath(dir / "pkg" / "loop" / "x"), (dir / "pkg" / "loop" / "x").string());
    EXPECT_EQ(files::resolvedPath(dir / "pkg" / "file" / ".." / "a"), (dir / "pkg" / "a").string());
    EXPECT_EQ(files::resolvedPath("/"), "/");
    EXPECT_EQ(files::resolvedPath("/.."), "/");

    // Inside or equal, through links; a sibling sharing a text prefix is not inside.
    EXPECT_TRUE(files::isInsideOrEqual(dir / "pkg", dir / "pkg"));
    EXPECT_TRUE(files::isInsideOrEqual(dir / "pkg" / "a" / "new", dir / "pkg"));
    EXPECT_FALSE(files::isInsideOrEqual(dir / "pkg" / "lnk" / ".." / "x", dir / "pkg"));
    EXPECT_TRUE(files::isInsideOrEqual(dir / "pkg" / "lnk" / "..", dir / "outside"));
    EXPECT_FALSE(files::isInsideOrEqual(dir / "pkg2", dir / "pkg"));
    EXPECT_TRUE(files::isInsideOrEqual(dir / "anything", "/"));
    EXPECT_FALSE(files::isInsideOrEqual("/", dir / "pkg"));

    // A library-relative path leading out through a link inside the library is refused.
    const Repository repository(dir / "pkg");
    DeliveryFile file(UUID::make(), "x.txt", "lnk/../x.txt", FileRole::copy, 1, "");
    EXPECT_EQ(errorOf([&] { repository.fileURL(file); }), "文件路径不属于Sorvik资料库");
    file.relativePath = "lnk/../../pkg/a";  // out through the link, and back in
    EXPECT_EQ(repository.fileURL(file), dir / "pkg" / "a");
    file.relativePath = "a/../file";
    EXPECT_EQ(repository.fileURL(file), dir / "pkg" / "file");
}

TEST(OrderedWork, AFailureStopsTheStepsStillRunningAfterIt) {
    std::atomic<bool> laterStarted{false}, laterStopped{false};
    const auto step = [&](std::size_t i, std::stop_token stop) {
        if (i == 0) {
            while (!laterStarted.load()) std::this_thread::yield();
            throw std::runtime_error("first");
        }
        laterStarted = true;
        while (!stop.stop_requested()) std::this_thread::yield();  // a long copy, stopped
        laterStopped = true;
        throw CancellationError();
    };
    EXPECT_EQ(errorOf([&] { ordered::forEach(2, 2, step); }), "first");
    EXPECT_TRUE(laterStopped.load());

    // A stop of the whole work reaches every step.
    std::stop_source whole;
    std::atomic<int> stopped{0};
    EXPECT_THROW(ordered::forEach(
                     4, 4,
                     [&](std::size_t, std::stop_token stop) {
                         whole.request_stop();
                         if (stop.stop_requested()) ++stopped;
                         throw CancellationError();
                     },
                     whole.get_token()),
                 CancellationError);
    EXPECT_GE(stopped.load(), 1);
}

class SwappedExport : public ::testing::Test {
protected:
    test::TempDir dir;
    Repository repository{dir / "Library"};
    fs::path destination = dir / "out";
    fs::path victim = dir / "victim";
    Delivery delivery{UUID::make(), "Name", {}, DeliveryTemplate::flexible()};

    void SetUp() override {
        fs::create_directories(destination);
        fs::create_directories(victim);
        for (int i = 0; i < 4; ++i)
            delivery.files.push_back(
                linked(dir / "src" / ("f" + std::to_string(i) + ".bin"), std::string(100 + i, 'x')));
    }
    /// Exports on one thread, doing `swap` once after the first file.
    std::string exportSwapping(const std::function<void(const fs::path& temp)>& swap) {
        std::once_flag once;
        return errorOf([&] {
            DeliveryExporter::exportDelivery(
                delivery, repository, destination, false, {},
                [&](const fs::path& temp, std::size_t) { std::call_once(once, swap, temp); });
        });
    }
};

TEST_F(SwappedExport, ATemporaryFolderReplacedByALinkFailsAndWritesNothingElsewhere) {
    const std::string error = exportSwapping([&](const fs::path& temp) {
        fs::rename(temp, dir / "moved");
        fs::create_directory_symlink(victim, temp);
    });
    EXPECT_NE(error.find("moved or replaced while exporting"), std::string::npos) << error;
    EXPECT_TRUE(listing(victim).empty());
    // Only the planted link stays; the real folder was emptied through its descriptor.
    const auto left = listing(destination);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(fs::is_symlink(destination / left[0]));
    EXPECT_TRUE(listing(dir / "moved").empty());
}

TEST_F(SwappedExport, ATemporaryFolderMovedAwayFailsTheExport) {
    const std::string error = exportSwapping([&](const fs::path& temp) { fs::rename(temp, dir / "moved"); });
    EXPECT_NE(error.find("moved or replaced while exporting"), std::string::npos) << error;
    EXPECT_TRUE(listing(destination).empty());
    EXPECT_TRUE(listing(dir / "moved").empty());
    // Unswapped, the same delivery exports.
    EXPECT_EQ(exportSwapping([](const fs::path&) {}), "(no error)");
    EXPECT_EQ(listing(destination), std::vector<std::string>{"Name"});
}

TEST(PromptFailure, AFailureIsReportedWithoutWaitingForLaterLargeFiles) {
    test::TempDir dir;
    const Repository repository(dir / "Library");
    fs::create_directories(dir / "out");
    // The first file fails its stored hash after a short read; the second takes seconds.
    DeliveryFile first = linked(dir / "src" / "first.bin", std::string(32 << 20, 'a'));
    first.sha256 = std::string(64, '0');
    {
        const fs::path large = dir / "src" / "large.bin";
        test::writeFile(large, "");
        ASSERT_EQ(::truncate(large.c_str(), off_t{4} << 30), 0);  // sparse: no disk used
    }
    const DeliveryFile second = linked(dir / "src" / "large.bin", "");
    const Delivery delivery(UUID::make(), "Name", {first, second}, DeliveryTemplate::flexible());
    std::atomic<int> written{0};
    EXPECT_EQ(errorOf([&] {
                  DeliveryExporter::exportDelivery(delivery, repository, dir / "out", false, {},
                                                   [&](const fs::path&, std::size_t) { ++written; });
              }),
              "“first.bin”已变更，请重新读取。");
    EXPECT_EQ(written.load(), 0);
    EXPECT_TRUE(listing(dir / "out").empty());
}

TEST(HostileFolders, ArchiveNeverReadsThroughALinkNorWritesOutsideItsFolder) {
    test::TempDir dir;
    const Repository repository(dir / "Library");
    DeliveryFile kept = linked(dir / "src" / "kept.bin", "kept");
    DeliveryFile swapped = linked(dir / "src" / "swapped.bin", "same");
    test::writeFile(dir / "secret", "SECR");
    fs::remove(dir / "src" / "swapped.bin");
    fs::create_symlink(dir / "secret", dir / "src" / "swapped.bin");
    const Delivery project(UUID::make(), "P", {kept, swapped}, DeliveryTemplate::flexible());
    const auto records = ProjectArchiver::archive({project}, repository, dir / "archive", {}, {});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].assetID, kept.id);

    // A project folder that leads out of the archive folder: refused, nothing written there.
    Delivery other(UUID::make(), "Q", {kept}, DeliveryTemplate::flexible());
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "archive" / ("Q__" + other.id.string().substr(0, 6)));
    EXPECT_EQ(errorOf([&] { ProjectArchiver::archive({other}, repository, dir / "archive", {}, {}); }),
              "归档路径包含指向其他位置的链接，请更换归档目录。");
    EXPECT_TRUE(listing(dir / "elsewhere").empty());
}

TEST(HostileFolders, ImportsNeverWriteThroughALinkedFilesFolder) {
    test::TempDir dir;
    const Repository repository(dir / "Library");
    test::writeFile(dir / "chosen" / "a.png", "not really a png");
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "Library" / "files");
    EXPECT_THROW(repository.importFiles({dir / "chosen" / "a.png"}, UUID::make()), std::system_error);
    EXPECT_TRUE(listing(dir / "elsewhere").empty());
    fs::remove(dir / "Library" / "files");
    const ImportResult result = repository.importFiles({dir / "chosen" / "a.png"}, UUID::make());
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_EQ(result.files[0].inspectionError, "无法解码图片");
    EXPECT_FALSE(result.files[0].sha256.empty());
}

TEST(SafeNames, CarryNoControlCharacters) {
    EXPECT_EQ(DeliveryExporter::safeName(std::string("a\0b\x01"
                                                     "c\x1f"
                                                     "d\x7f"
                                                     "e\xc2\x9f"
                                                     "f\xc2\xa0g",
                                                     15)),
              "a_b_c_d_e_f\xc2\xa0g");
    EXPECT_EQ(DeliveryExporter::safeExtension(std::string("t\0x/t", 5)), "t_x_t");
    EXPECT_EQ(DeliveryExporter::safeExtension("mp4"), "mp4");
}

TEST(HostileFolders, AFileWithoutReadPermissionIsListedAsBefore) {
    // Opening once up front must not turn "cannot be read" into "cannot be listed".
    test::TempDir dir;
    const Repository repository(dir / "Library");
    for (const char* name : {"a.zip", "b.png", "c.txt"}) {
        test::writeFile(dir / name, "content");
        fs::permissions(dir / name, fs::perms::none);
    }
    test::withoutPermissionOverride([&] {
        const DeliveryFile zip = FileInspector::inspect(dir / "a.zip", "", std::nullopt, false);
        EXPECT_EQ(zip.bytes, 7);
        EXPECT_FALSE(zip.inspectionError);
        EXPECT_EQ(FileInspector::inspect(dir / "b.png", "", std::nullopt, false).inspectionError, "无法解码图片");
        EXPECT_THROW(FileInspector::inspect(dir / "c.txt", "", std::nullopt, false), std::system_error);
        EXPECT_THROW(FileInspector::inspect(dir / "a.zip", "", std::nullopt, true), std::system_error);
        const auto assets = repository.linkFiles({dir / "a.zip"});
        ASSERT_EQ(assets.size(), 1u);
        EXPECT_TRUE(assets[0].file.reference);
    });
}
