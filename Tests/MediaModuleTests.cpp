// The media module: loaded on first use, a clear error when it cannot be, and exceptions thrown
// inside it arriving as the programs' own types.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stop_token>
#include <typeinfo>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/MediaModule.hpp"
#include "SorvikCore/Models.hpp"
#include "SorvikCore/PictureScaler.hpp"
#include "SorvikCore/TextRecognition.hpp"
#include "SorvikCore/Video.hpp"
#include "Support/ScanSupport.hpp"
#include "Support/TestSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;

namespace {

/// What `call` throws, with the address of its dynamic type's typeinfo.
template <typename Error, typename Call>
std::pair<std::string, const std::type_info*> thrown(Call call) {
    try {
        call();
    } catch (const Error& error) {
        return {error.what(), &typeid(error)};
    }
    ADD_FAILURE() << "nothing of the expected type was thrown";
    return {};
}

}  // namespace

TEST(MediaModule, AMissingModuleIsAClearErrorEveryTime) {
    const media::LoadedModule missing("libsorvik-media-missing.so");
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto [message, type] = thrown<SorvikError>([&] { missing.functions(); });
        EXPECT_TRUE(message.starts_with("无法加载媒体与文字识别组件：")) << message;
        // dlerror's own text, naming the file.
        EXPECT_NE(message.find("libsorvik-media-missing.so: cannot open shared object file"), std::string::npos)
            << message;
    }
    // A library that is no media module.
    const media::LoadedModule other("libz.so.1");
    const auto [message, type] = thrown<SorvikError>([&] { other.functions(); });
    EXPECT_NE(message.find("undefined symbol: sorvikMediaFunctions"), std::string::npos) << message;
}

TEST(MediaModule, ExceptionsFromTheModuleAreTheProgramsOwnTypes) {
    const TempDir dir;
    writeFile(dir.path() / "notes.mp4", "not a video at all, only some words\n");
    shell("cd '" + dir.path().string() +
          "' && ffmpeg -v error -f lavfi -i color=red:s=64x48:d=0.5 -r 10 -c:v libx264 -pix_fmt yuv420p clip.mp4");
    EXPECT_EQ(&media::functions(), &media::functions());  // loaded once

    const files::FileDescriptor clip = files::openRegularFile(dir.path() / "clip.mp4");
    std::stop_source stop;
    stop.request_stop();
    // Thrown inside the module: the typeinfo is this program's.
    const auto cancelled = thrown<CancellationError>([&] { video::probe(clip.get(), stop.get_token()); });
    EXPECT_EQ(cancelled.second, &typeid(CancellationError));
    EXPECT_EQ(cancelled.first, "操作已取消。");

    const auto bad = thrown<video::VideoError>([&] { video::probe(dir.path() / "notes.mp4"); });
    EXPECT_EQ(bad.second, &typeid(video::VideoError));
    EXPECT_EQ(bad.first, "Invalid data found when processing input");
    const auto cut = thrown<video::VideoError>([&] { video::firstFrame(dir.path() / "notes.mp4", 64, 64); });
    EXPECT_EQ(cut.second, &typeid(video::VideoError));

    const auto noLanguage =
        thrown<textrecognition::TextRecognitionError>([&] { textrecognition::Engine({"eng"}, dir.path()); });
    EXPECT_EQ(noLanguage.second, &typeid(textrecognition::TextRecognitionError));
    EXPECT_EQ(noLanguage.first, "Tesseract could not load the language data \"eng\"");

    // And the module still works after them.
    const video::Probe probe = video::probe(clip.get());
    EXPECT_EQ(probe.width, 64);
    EXPECT_EQ(probe.height, 48);
}

TEST(MediaModule, PicturesAreScaledToBGRA) {
    media::PictureScaler scaler;
    // Limited-range YUV white and a packed RGBA picture, each twice the target size.
    std::vector<std::uint8_t> luma(8 * 4, 235), chroma(4 * 2, 128);
    media::Picture yuv;
    yuv.layout = media::PictureLayout::yuv420p;
    yuv.width = 8;
    yuv.height = 4;
    yuv.planes = {luma.data(), chroma.data(), chroma.data(), nullptr};
    yuv.strides = {8, 4, 4, 0};
    std::vector<std::uint8_t> out(4 * 2 * 4, 0);
    ASSERT_TRUE(scaler.toBGRA(yuv, 4, 2, out.data(), 16));
    for (std::size_t i = 0; i < out.size(); ++i) EXPECT_GE(out[i], 250) << i;

    std::vector<std::uint8_t> rgba;
    for (int i = 0; i < 8 * 4; ++i) rgba.insert(rgba.end(), {200, 100, 50, 255});
    media::Picture packed;
    packed.layout = media::PictureLayout::rgba;
    packed.width = 8;
    packed.height = 4;
    packed.planes = {rgba.data(), nullptr, nullptr, nullptr};
    packed.strides = {32, 0, 0, 0};
    ASSERT_TRUE(scaler.toBGRA(packed, 4, 2, out.data(), 16));  // the kept scaler, set up anew
    for (std::size_t i = 0; i < out.size(); i += 4) {
        EXPECT_NEAR(out[i], 50, 2);  // blue first in memory
        EXPECT_NEAR(out[i + 1], 100, 2);
        EXPECT_NEAR(out[i + 2], 200, 2);
    }
    packed.width = 0;
    EXPECT_FALSE(scaler.toBGRA(packed, 4, 2, out.data(), 16));
}

TEST(MediaModule, AScanWithoutTheModuleKeepsVideosAndLeavesImagesToRecognise) {
    const TempDir src;
    const auto makeClip = [&](const std::string& name, double seconds) {
        shell("cd '" + src.path().string() + "' && ffmpeg -y -v error -f lavfi -i color=red:s=64x48:d=" +
              std::to_string(seconds) + " -r 10 -c:v libx264 -pix_fmt yuv420p " + name);
    };
    makeClip("changed.mp4", 0.5);
    writeFile(src / "IMG_1001.png", tinyPNG());
    writeFile(src / "IMG_1002.png", tinyPNG());
    const auto source = SourceFolder::make(src.path());
    Scanner scan;
    const ScanResult first = scan({source});
    const IndexedAsset* before = findAsset(first, "changed.mp4");
    ASSERT_TRUE(before && before->file.duration);

    makeClip("changed.mp4", 1.0);
    makeClip("new.mp4", 0.5);
    media::useModuleFile("libsorvik-media-missing.so");
    scan.recognizeText = true;
    const ScanResult without = scan({source}, first.assets);
    EXPECT_TRUE(without.sourceErrors.empty());
    ASSERT_EQ(without.assets.size(), 4u);
    for (const char* name : {"changed.mp4", "new.mp4"}) {
        const IndexedAsset* video = findAsset(without, name);
        ASSERT_TRUE(video) << name;
        EXPECT_FALSE(video->isMissing) << name;
        ASSERT_TRUE(video->file.inspectionError) << name;
        EXPECT_TRUE(video->file.inspectionError->starts_with("无法读取视频：无法加载媒体与文字识别组件："))
            << *video->file.inspectionError;
        EXPECT_FALSE(video->file.duration) << name;
    }
    EXPECT_EQ(findAsset(without, "changed.mp4")->id(), before->id());
    EXPECT_TRUE(findAsset(without, "changed.mp4")->sourceChanged);
    EXPECT_EQ(without.ocrCount, 0);
    for (const char* name : {"IMG_1001.png", "IMG_1002.png"}) EXPECT_FALSE(findAsset(without, name)->didAttemptOCR);
    const std::optional<std::string> failure = media::loadFailure();
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("libsorvik-media-missing.so"), std::string::npos) << *failure;

    // The module is back: the images are recognised and the videos read.
    media::useModuleFile(media::moduleFile);
    const ScanResult with = scan({source}, without.assets);
    EXPECT_EQ(with.ocrCount, 2);
    for (const char* name : {"IMG_1001.png", "IMG_1002.png"}) EXPECT_TRUE(findAsset(with, name)->didAttemptOCR);
    EXPECT_EQ(media::loadFailure(), std::nullopt);
    for (const char* name : {"changed.mp4", "new.mp4"}) {
        const IndexedAsset* video = findAsset(with, name);
        ASSERT_TRUE(video) << name;
        EXPECT_EQ(video->file.inspectionError, std::nullopt) << name;
        EXPECT_TRUE(video->file.duration) << name;
    }
    EXPECT_TRUE(findAsset(with, "changed.mp4")->sourceChanged);  // changed before, unchanged since
    EXPECT_FALSE(findAsset(with, "new.mp4")->sourceChanged);
}
