#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <future>
#include <thread>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/Hashing.hpp"
#include "SorvikCore/Images.hpp"
#include "SorvikCore/Inspector.hpp"
#include "SorvikCore/Video.hpp"
#include "Support/TestSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;

namespace {

std::string thrownMessage(const std::function<void()>& body) {
    try {
        body();
    } catch (const SorvikError& error) {
        return error.what();
    }
    return "<nothing thrown>";
}

DeliveryFile inspect(const fs::path& path, std::optional<std::string> displayName = std::nullopt,
                     bool fingerprint = false) {
    return FileInspector::inspect(path, "", displayName, fingerprint);
}

/// Fixture files shared by all tests of this file, generated once.
class Media : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<test::TempDir>();
        const std::string d = dir_->path().string();
        test::shell("cd '" + d +
                    "' && vips black base.png 40 30 && vips copy base.png o6.jpg && vips copy base.png o3.jpg"
                    " && exiftool -q -overwrite_original -Orientation#=6 o6.jpg"
                    " && exiftool -q -overwrite_original -Orientation#=3 o3.jpg"
                    " && vips copy o6.jpg o6.heic 2>/dev/null"
                    " && vips black alpha.png 40 30 --bands 4"
                    " && vips gaussnoise noise.jpg 300 200"
                    " && head -c 3000 noise.jpg > truncated.jpg"
                    " && ffmpeg -v error -f lavfi -i testsrc=size=192x108:rate=10:duration=0.5 -c:v libx264"
                    "    -pix_fmt yuv420p CLIP.MP4"
                    " && ffmpeg -v error -i CLIP.MP4 -c copy -metadata:s:v rotate=90 portrait.mov"
                    " && ffmpeg -v error -f lavfi -i sine=duration=0.5 -i o3.jpg -map 0 -map 1 -c:a aac"
                    "    -c:v mjpeg -disposition:v:0 attached_pic song.mp4"
                    " && ffmpeg -v error -f lavfi -i sine=duration=0.5 -c:a aac voice.mov"
                    " && cp CLIP.MP4 clip.mkv");
    }
    static void TearDownTestSuite() { dir_.reset(); }
    static fs::path at(const std::string& name) { return dir_->path() / name; }

    static std::unique_ptr<test::TempDir> dir_;
};
std::unique_ptr<test::TempDir> Media::dir_;

}  // namespace

// --- Extension sets and roles ---

TEST(FileInspectorSets, HoldTheFixedListsAndRoles) {
    EXPECT_EQ(FileInspector::supported().size(), 50u);
    EXPECT_EQ(FileInspector::editableTextExtensions().size(), 19u);
    for (const auto& ext : FileInspector::editableTextExtensions())
        EXPECT_TRUE(FileInspector::supported().contains(ext) || ext == "gltf") << ext;
    EXPECT_TRUE(FileInspector::supported().contains("usdz"));
    EXPECT_FALSE(FileInspector::supported().contains("exe"));

    EXPECT_EQ(FileInspector::role("/x/CLIP.MP4"), FileRole::video);
    EXPECT_EQ(FileInspector::role("a.m4v"), FileRole::video);
    EXPECT_EQ(FileInspector::role("A.JPG"), FileRole::cover);
    EXPECT_EQ(FileInspector::role("a.avif"), FileRole::cover);
    EXPECT_EQ(FileInspector::role("a.srt"), FileRole::subtitle);
    EXPECT_EQ(FileInspector::role("notes.MD"), FileRole::copy);
    EXPECT_EQ(FileInspector::role("a.vtt"), FileRole::extra);
    EXPECT_EQ(FileInspector::role("a.mkv"), FileRole::extra);
    EXPECT_EQ(FileInspector::role("README"), FileRole::extra);
    EXPECT_EQ(FileInspector::role("/x/.txt"), FileRole::extra);  // a leading dot alone is no extension
    EXPECT_EQ(FileInspector::role("archive.tar.txt"), FileRole::copy);
}

// --- Hashing ---

TEST(Hashing, StreamsChunksAndMatchesOneShotDigest) {
    test::TempDir dir;
    EXPECT_EQ(hashing::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    std::string big(3 * hashing::chunkSize + 7, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
    test::writeFile(dir / "big.bin", big);
    const std::string digest = FileInspector::hash(dir / "big.bin");
    EXPECT_EQ(digest, hashing::sha256Hex(big));
    EXPECT_EQ(digest.size(), 64u);
    EXPECT_EQ(digest.find_first_not_of("0123456789abcdef"), std::string::npos);
    const auto tool = test::runProcess("/usr/bin/sha256sum", {(dir / "big.bin").string()});
    EXPECT_EQ(tool.out.substr(0, 64), digest);

    // The descriptor form reads from offset 0 and leaves the offset alone.
    files::FileDescriptor fd(::open((dir / "big.bin").c_str(), O_RDONLY));
    ASSERT_EQ(::lseek(fd.get(), 5, SEEK_SET), 5);
    EXPECT_EQ(hashing::sha256Descriptor(fd.get(), dir / "big.bin"), digest);
    EXPECT_EQ(::lseek(fd.get(), 0, SEEK_CUR), 5);

    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(FileInspector::hash(dir / "big.bin", stop.get_token()), CancellationError);
    EXPECT_THROW(FileInspector::hash(dir / "missing.bin"), std::system_error);
}

TEST(Hashing, RefusesFifoWithoutBlocking) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.txt").c_str(), 0600), 0);
    auto result = std::async(std::launch::async, [&] {
        try {
            FileInspector::hash(dir / "pipe.txt");
            return std::string("hashed");
        } catch (const std::system_error&) {
            return std::string("refused");
        }
    });
    ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "hashing a FIFO blocked";
    EXPECT_EQ(result.get(), "refused");
}

// --- File identity ---

TEST(FolderIndexerIdentity, IsDeviceInodeAndBirthWithoutFollowingLinks) {
    test::TempDir dir;
    test::writeFile(dir / "a.txt", "a");
    struct statx st {};
    ASSERT_EQ(::statx(AT_FDCWD, (dir / "a.txt").c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &st), 0);
    const std::string numbers =
        std::to_string(::makedev(st.stx_dev_major, st.stx_dev_minor)) + ":" + std::to_string(st.stx_ino) + ":";
    const auto identity = FolderIndexer::identity(dir / "a.txt");
    ASSERT_TRUE(identity);
    EXPECT_TRUE(FolderIndexer::isLifetimeIdentity(*identity));
    if (st.stx_mask & STATX_BTIME) {
        char nanoseconds[16];
        std::snprintf(nanoseconds, sizeof nanoseconds, "%09u", st.stx_btime.tv_nsec);
        EXPECT_EQ(identity, numbers + "b" + std::to_string(st.stx_btime.tv_sec) + "." + nanoseconds);
    } else {
        EXPECT_TRUE(identity->starts_with(numbers + "g")) << *identity;
    }
    // The descriptor gives the identity the path gives.
    files::FileDescriptor fd(::open((dir / "a.txt").c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(fd);
    EXPECT_EQ(FolderIndexer::identity(fd.get()), identity);

    fs::create_hard_link(dir / "a.txt", dir / "hard.txt");
    EXPECT_EQ(FolderIndexer::identity(dir / "hard.txt"), FolderIndexer::identity(dir / "a.txt"));
    fs::create_symlink(dir / "a.txt", dir / "link.txt");
    ASSERT_TRUE(FolderIndexer::identity(dir / "link.txt"));
    EXPECT_NE(FolderIndexer::identity(dir / "link.txt"), FolderIndexer::identity(dir / "a.txt"));
    fs::create_symlink(dir / "gone", dir / "dangling");
    EXPECT_TRUE(FolderIndexer::identity(dir / "dangling"));
    EXPECT_FALSE(FolderIndexer::identity(dir / "missing"));
}

TEST(FolderIndexerIdentity, OnlyTheLifetimeFormNamesAFile) {
    EXPECT_TRUE(FolderIndexer::isLifetimeIdentity("2049:131:b1700000000.000000042"));
    EXPECT_TRUE(FolderIndexer::isLifetimeIdentity("2049:131:g3456"));
    EXPECT_FALSE(FolderIndexer::isLifetimeIdentity("2049:131"));
    EXPECT_FALSE(FolderIndexer::isLifetimeIdentity("2049:131:"));
    EXPECT_FALSE(FolderIndexer::isLifetimeIdentity(""));
    EXPECT_TRUE(FolderIndexer::sameIdentity(std::string("1:2:g3"), std::string("1:2:g3")));
    EXPECT_FALSE(FolderIndexer::sameIdentity(std::string("1:2:g3"), std::string("1:2:g4")));
    EXPECT_FALSE(FolderIndexer::sameIdentity(std::string("1:2"), std::string("1:2")));
    EXPECT_FALSE(FolderIndexer::sameIdentity(std::nullopt, std::nullopt));
}

TEST(FolderIndexerIdentity, TmpfsFilesHaveAnIdentity) {
    // tmpfs keeps birth times on current kernels, and no generation an ioctl could read.
    if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm here";
    char folder[] = "/dev/shm/sorvik-identity-XXXXXX";
    if (!::mkdtemp(folder)) GTEST_SKIP() << "cannot write to /dev/shm";
    const fs::path file = fs::path(folder) / "a.txt";
    test::writeFile(file, "a");
    struct statx st {};
    ASSERT_EQ(::statx(AT_FDCWD, file.c_str(), 0, STATX_BTIME, &st), 0);
    const auto identity = FolderIndexer::identity(file);
    if (st.stx_mask & STATX_BTIME)
        EXPECT_TRUE(identity && identity->find(":b") != std::string::npos) << identity.value_or("nil");
    else EXPECT_EQ(identity, std::nullopt);  // neither birth time nor generation: moves found by path only
    fs::remove_all(folder);
}

// --- Reaching the file ---

TEST(FileInspectorInspect, RefusesWhatIsNotARegularFile) {
    test::TempDir dir;
    test::writeFile(dir / "real.txt", "hello");
    fs::create_symlink(dir / "real.txt", dir / "link.txt");
    fs::create_directory(dir / "folder.mp4");
    ASSERT_EQ(::mkfifo((dir / "pipe.txt").c_str(), 0600), 0);

    EXPECT_EQ(thrownMessage([&] { inspect(dir / "link.txt", "shown.txt"); }), "只支持普通文件：link.txt");
    EXPECT_EQ(thrownMessage([&] { inspect(dir / "folder.mp4"); }), "只支持普通文件：folder.mp4");
    EXPECT_EQ(thrownMessage([&] { inspect(dir.path() / "folder.mp4/"); }), "只支持普通文件：folder.mp4");
    EXPECT_EQ(thrownMessage([&] { inspect(dir / "pipe.txt"); }), "只支持普通文件：pipe.txt");
    EXPECT_THROW(inspect(dir / "missing.txt"), std::system_error);
    // The adapters refuse a FIFO themselves, without blocking.
    ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
    EXPECT_FALSE(images::properties(dir / "pipe.jpg"));
    ASSERT_EQ(::mkfifo((dir / "pipe.mp4").c_str(), 0600), 0);
    EXPECT_THROW(video::probe(dir / "pipe.mp4"), video::VideoError);
}

TEST(FileInspectorInspect, FillsTheRecordAndHashesOnlyWhenAsked) {
    test::TempDir dir;
    test::writeFile(dir / "note.txt", "标题\n正文");
    const DeliveryFile plain = FileInspector::inspect(dir / "note.txt", "files/x.txt", std::nullopt, false);
    EXPECT_EQ(plain.name, "note.txt");
    EXPECT_EQ(plain.relativePath, "files/x.txt");
    EXPECT_EQ(plain.role, FileRole::copy);
    EXPECT_EQ(plain.bytes, 13);
    EXPECT_EQ(plain.sha256, "");
    EXPECT_EQ(plain.text, "标题\n正文");
    EXPECT_FALSE(plain.inspectionError);
    EXPECT_FALSE(plain.width || plain.duration || plain.crop || plain.reference || plain.editedText);

    const DeliveryFile hashed = FileInspector::inspect(dir / "note.txt", "", std::string("原稿.md"), true);
    EXPECT_EQ(hashed.name, "原稿.md");
    EXPECT_EQ(hashed.sha256, hashing::sha256Hex("标题\n正文"));
    EXPECT_NE(hashed.id, plain.id);

    test::writeFile(dir / "empty.png", "");
    const DeliveryFile empty = inspect(dir / "empty.png", std::nullopt, true);
    EXPECT_EQ(empty.inspectionError, "文件为空");
    EXPECT_EQ(empty.sha256, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_FALSE(empty.width || empty.height || empty.duration || empty.text);
}

// --- Images ---

TEST_F(Media, ImageSizeFollowsOrientation) {
    const DeliveryFile rotated = inspect(at("o6.jpg"));
    EXPECT_EQ(rotated.role, FileRole::cover);
    EXPECT_EQ(rotated.width, 30);
    EXPECT_EQ(rotated.height, 40);
    EXPECT_FALSE(rotated.inspectionError);
    const DeliveryFile upsideDown = inspect(at("o3.jpg"));
    EXPECT_EQ(upsideDown.width, 40);
    EXPECT_EQ(upsideDown.height, 30);

    const DeliveryFile alpha = inspect(at("alpha.png"));
    EXPECT_EQ(alpha.width, 40);
    EXPECT_EQ(alpha.height, 30);
    EXPECT_FALSE(alpha.inspectionError);
}

TEST_F(Media, ReinspectionSeesTheChangedFile) {
    test::TempDir dir;
    fs::copy_file(at("o3.jpg"), dir / "cover.jpg");
    EXPECT_EQ(inspect(dir / "cover.jpg").width, 40);
    fs::copy_file(at("o6.jpg"), dir / "cover.jpg", fs::copy_options::overwrite_existing);
    EXPECT_EQ(inspect(dir / "cover.jpg").width, 30);  // no cached decoder answers for the old file
}

TEST_F(Media, HeicIsNeverRotatedTwice) {
    // The HEIF loader applies the file's own transforms and drops the EXIF orientation copied
    // from the JPEG; the recorded size and the decoded picture must agree.
    const auto props = images::properties(at("o6.heic"));
    ASSERT_TRUE(props);
    EXPECT_EQ(props->orientation, 1);
    const DeliveryFile heic = inspect(at("o6.heic"));
    EXPECT_FALSE(heic.inspectionError);
    const images::Image decoded = images::orientedThumbnail(at("o6.heic"), 1000);
    EXPECT_EQ(heic.width, decoded.width());
    EXPECT_EQ(heic.height, decoded.height());
}

TEST_F(Media, UndecodableImagesAreRecorded) {
    test::TempDir dir;
    test::writeFile(dir / "fake.jpg", "this is not a picture at all");
    test::writeFile(dir / "vector.png",
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\"><rect width=\"10\" "
                    "height=\"10\"/></svg>");
    fs::copy_file(at("truncated.jpg"), dir / "truncated.jpg");
    for (const char* name : {"fake.jpg", "vector.png", "truncated.jpg"}) {
        const DeliveryFile record = inspect(dir / name);
        EXPECT_EQ(record.inspectionError, "无法解码图片") << name;
        EXPECT_FALSE(record.width || record.height) << name;
    }
    // The header alone of the truncated file is fine: only the forced decode finds the fault.
    EXPECT_TRUE(images::properties(dir / "truncated.jpg"));
}

TEST(ImageDecodeTest, EveryKindDecodesWholeAndRefusesTruncation) {
    // Large enough that JPEG and WebP decode at a reduced size, while the other kinds decode at
    // full size; a truncated copy loses most of its pixels.
    test::TempDir dir;
    const std::string d = dir.path().string();
    test::shell("cd '" + d +
                "' && vips gaussnoise noise.v 900 700 && vips cast noise.v n8.v uchar"
                " && vips copy n8.v photo.jpg && vips copy n8.v art.png && vips copy n8.v web.webp"
                " && vips copy n8.v anim.gif && vips copy n8.v scan.tif && vips copy n8.v tiny.png[compression=0]");
    for (const char* name : {"photo.jpg", "art.png", "web.webp", "anim.gif", "scan.tif", "tiny.png"}) {
        const fs::path whole = dir / name;
        const DeliveryFile record = inspect(whole);
        EXPECT_FALSE(record.inspectionError) << name;
        EXPECT_EQ(record.width, 900) << name;
        EXPECT_EQ(record.height, 700) << name;
        const images::Image thumbnail = images::orientedThumbnail(whole, 64);
        EXPECT_EQ(std::max(thumbnail.width(), thumbnail.height()), 64) << name;

        const std::string bytes = test::readFile(whole);
        const fs::path cut = dir / (std::string("cut-") + name);
        test::writeFile(cut, bytes.substr(0, bytes.size() / 3));
        // JPEG and PNG headers survive the cut, so only the decode can find the fault.
        if (std::string_view(name).ends_with("g")) {
            EXPECT_TRUE(images::properties(cut)) << name;
        }
        EXPECT_EQ(inspect(cut).inspectionError, "无法解码图片") << name;
        EXPECT_THROW(images::orientedThumbnail(cut, 64), images::ImageError) << name;
    }
}

TEST_F(Media, ImageAndTextTestsFollowTheDisplayName) {
    test::TempDir dir;
    fs::copy_file(at("o6.jpg"), dir / "1234-copy");
    const DeliveryFile imported = FileInspector::inspect(dir / "1234-copy", "files/1234-copy", "Photo.JPG", true);
    EXPECT_EQ(imported.role, FileRole::extra);  // the role follows the stored file's own name
    EXPECT_EQ(imported.width, 30);
    EXPECT_EQ(imported.height, 40);

    test::writeFile(dir / "abcd.srt", "1\n00:00:01,000 --> 00:00:02,000\nhi\n");
    const DeliveryFile asText = inspect(dir / "abcd.srt", "Cover.png");
    EXPECT_EQ(asText.role, FileRole::subtitle);
    EXPECT_EQ(asText.inspectionError, "无法解码图片");
    EXPECT_FALSE(asText.text);
}

// --- Videos ---

TEST_F(Media, VideoDurationAndSize) {
    const DeliveryFile clip = inspect(at("CLIP.MP4"));
    EXPECT_EQ(clip.role, FileRole::video);
    EXPECT_FALSE(clip.inspectionError);
    EXPECT_EQ(clip.width, 192);
    EXPECT_EQ(clip.height, 108);
    ASSERT_TRUE(clip.duration);
    EXPECT_NEAR(*clip.duration, 0.5, 0.05);

    const DeliveryFile portrait = inspect(at("portrait.mov"));
    EXPECT_FALSE(portrait.inspectionError);
    EXPECT_EQ(portrait.width, 108);
    EXPECT_EQ(portrait.height, 192);
}

TEST_F(Media, AudioOnlyAndBrokenVideosAreRecorded) {
    for (const char* name : {"song.mp4", "voice.mov"}) {
        const DeliveryFile record = inspect(at(name));
        EXPECT_EQ(record.inspectionError, "无法读取视频：视频无有效画面或时长") << name;
        EXPECT_FALSE(record.width || record.height || record.duration) << name;
    }
    test::TempDir dir;
    test::writeFile(dir / "noise.mp4", std::string(4096, 'x'));
    const DeliveryFile noise = inspect(dir / "noise.mp4");
    ASSERT_TRUE(noise.inspectionError);
    EXPECT_TRUE(noise.inspectionError->starts_with("无法读取视频："));
    EXPECT_GT(noise.inspectionError->size(), std::string("无法读取视频：").size());
    EXPECT_FALSE(noise.duration);

    // A playlist renamed to .mp4 must not make us read the file it names.
    fs::copy_file(at("CLIP.MP4"), dir / "secret.mp4");
    test::writeFile(dir / "list.mp4", "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + (dir / "secret.mp4").string() +
                                          "\n#EXT-X-ENDLIST\n");
    const DeliveryFile playlist = inspect(dir / "list.mp4");
    ASSERT_TRUE(playlist.inspectionError);
    EXPECT_FALSE(playlist.duration);

    // Matroska files are supported but get no video probe.
    const DeliveryFile mkv = inspect(at("clip.mkv"));
    EXPECT_EQ(mkv.role, FileRole::extra);
    EXPECT_FALSE(mkv.inspectionError || mkv.width || mkv.duration);
    // The adapter itself reads Matroska for later previews.
    EXPECT_EQ(video::probe(at("clip.mkv")).width, 192);

    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(FileInspector::inspect(at("CLIP.MP4"), "", std::nullopt, false, stop.get_token()), CancellationError);
}

// --- Texts ---

TEST(FileInspectorText, DecodesUTF8AndUTF16And32WithBOMOnly) {
    test::TempDir dir;
    test::writeFile(dir / "plain.txt", "ab");  // valid UTF-8 is UTF-8, though it would pass as UTF-16
    EXPECT_EQ(inspect(dir / "plain.txt").text, "ab");
    // A leading UTF-8 mark is dropped like the UTF-16 one; one inside the text stays.
    test::writeFile(dir / "marked.md", "\xEF\xBB\xBF标题\xEF\xBB\xBF\n");
    EXPECT_EQ(inspect(dir / "marked.md").text, "标题\xEF\xBB\xBF\n");

    test::writeFile(dir / "le.srt", std::string("\xFF\xFE", 2) + std::string("\x60\x4F\x7D\x59\x0A\x00", 6));
    EXPECT_EQ(inspect(dir / "le.srt").text, "你好\n");
    test::writeFile(dir / "be.md", std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6));
    EXPECT_EQ(inspect(dir / "be.md").text, "😀");
    // UTF-32, whose little-endian mark begins like the UTF-16 one.
    test::writeFile(dir / "le32.srt", std::string("\xFF\xFE\x00\x00\x60\x4F\x00\x00\x00\xF6\x01\x00", 12));
    EXPECT_EQ(inspect(dir / "le32.srt").text, "你😀");
    test::writeFile(dir / "be32.txt", std::string("\x00\x00\xFE\xFF\x00\x00\x00\x41", 8));
    EXPECT_EQ(inspect(dir / "be32.txt").text, "A");

    const std::pair<const char*, std::string> unreadable[] = {
        {"gbk.txt", "\xC4\xE3\xBA\xC3"},                     // GBK, even length, no mark
        {"latin.json", "caf\xE9!"},                          // Latin-1
        {"lonely.txt", std::string("\xFF\xFE\x00\xD8", 4)},  // unpaired surrogate
        {"odd.txt", std::string("\xFF\xFE\x41", 3)},         // odd length
        // Text holding U+0000: UTF-16 without a mark (valid UTF-8 otherwise), or with a mark.
        {"nomark.srt", std::string("1\0\n\0", 4)},
        {"nul16.txt", std::string("\xFF\xFE\x41\x00\x00\x00", 6)},
        {"big32.txt", std::string("\xFF\xFE\x00\x00\x00\x00\x11\x00", 8)},  // beyond U+10FFFF
        {"cut32.txt", std::string("\x00\x00\xFE\xFF\x00\x41", 6)},          // not whole units
    };
    for (const auto& [name, bytes] : unreadable) {
        test::writeFile(dir / name, bytes);
        const DeliveryFile record = inspect(dir / name);
        EXPECT_EQ(record.inspectionError, "无法读取文字，请保存为 UTF-8") << name;
        EXPECT_FALSE(record.text) << name;
    }

    test::writeFile(dir / "empty.md", "");
    EXPECT_EQ(inspect(dir / "empty.md").inspectionError, "文件为空");
    test::writeFile(dir / "data.bin", "\xFF\xFE\xFD");
    EXPECT_FALSE(inspect(dir / "data.bin").inspectionError);  // not an editable text
}

TEST(FileInspectorText, FiveMebibyteLimit) {
    test::TempDir dir;
    const std::string exact(FileInspector::maxTextBytes, 'a');
    test::writeFile(dir / "exact.txt", exact);
    const DeliveryFile read = inspect(dir / "exact.txt");
    ASSERT_TRUE(read.text);
    EXPECT_EQ(read.text->size(), FileInspector::maxTextBytes);

    test::writeFile(dir / "over.txt", exact + "b");
    const DeliveryFile over = inspect(dir / "over.txt");
    EXPECT_EQ(over.inspectionError, "文本超过 5 MB，请拆分后编辑");
    EXPECT_FALSE(over.text);
    test::writeFile(dir / "over.srt", exact + "b");
    EXPECT_EQ(inspect(dir / "over.srt").inspectionError, "文本超过 5 MB，请拆分后编辑");
    test::writeFile(dir / "over.json", exact + "b");
    const DeliveryFile json = inspect(dir / "over.json");
    EXPECT_FALSE(json.inspectionError || json.text);
}
