// Preview rules without a display: the load key, the glyph's label, the order of picture sources,
// picture sizes, the byte budget and the queue of pending loads.
#include <gtest/gtest.h>

#include "Sorvik/Views/Thumbnails/Logic/ThumbnailLogic.hpp"
#include "SorvikCore/Identifier.hpp"

using namespace sorvik;
using namespace sorvik::app;

namespace {

DeliveryFile file(const std::string& name) {
    return DeliveryFile(*UUID::parse("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9"), name, "files/" + name, FileRole::cover,
                        10, "");
}

ThumbnailJob job(const std::string& key, UUID id = UUID::make(), QSize frame = {256, 192}) {
    return ThumbnailJob{key, id, "/x/" + key, std::nullopt, {ThumbnailSource::image}, frame};
}

std::vector<std::string> drain(ThumbnailQueue& queue) {
    std::vector<std::string> keys;
    while (auto next = queue.take()) {
        keys.push_back(next->key);
        queue.finish(next->key, next->frame);
    }
    return keys;
}

}  // namespace

TEST(ThumbnailLoadKey, NumbersAreTheShortestTextThatReadsBack) {
    EXPECT_EQ(shortestNumberText(0), "0.0");
    EXPECT_EQ(shortestNumberText(-0.0), "-0.0");
    EXPECT_EQ(shortestNumberText(0.75), "0.75");
    EXPECT_EQ(shortestNumberText(0.5), "0.5");
    EXPECT_EQ(shortestNumberText(1), "1.0");
    EXPECT_EQ(shortestNumberText(1.0 / 3), "0.3333333333333333");
    EXPECT_EQ(shortestNumberText(1717171717.25), "1717171717.25");
    EXPECT_EQ(shortestNumberText(0.0001), "0.0001");
    EXPECT_EQ(shortestNumberText(0.00001), "1e-05");
    EXPECT_EQ(shortestNumberText(1e16), "10000000000000000.0");
    EXPECT_EQ(shortestNumberText(1e17), "1e+17");
    // Neighbouring doubles never share a text.
    EXPECT_NE(shortestNumberText(0.1), shortestNumberText(std::nextafter(0.1, 1.0)));
}

TEST(ThumbnailLoadKey, JoinsIdCropAndReferenceInOrder) {
    DeliveryFile f = file("cover.heic");
    // Without crop or reference: zeros and an empty path.
    EXPECT_EQ(thumbnailLoadKey(f), "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9-0.0-0.0-0.0-0.0-");

    f.crop = CropSpec{0.75, 0.5, 0};
    f.reference = FileReference{"/photos/a-b/cover.heic", std::nullopt, std::nullopt, Date::fromUnix(1717171717.5)};
    EXPECT_EQ(thumbnailLoadKey(f),
              "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9-0.75-0.5-0.0-1717171717.5-/photos/a-b/cover.heic");

    // What reloads: the crop, the modification time and the stored path; not the bookmark,
    // the identity or anything else in the record.
    const std::string key = thumbnailLoadKey(f);
    DeliveryFile same = f;
    same.reference->identity = "1:2";
    same.bytes = 99;
    same.text = "words";
    EXPECT_EQ(thumbnailLoadKey(same), key);
    DeliveryFile changed = f;
    changed.crop->y = 0.25;
    EXPECT_NE(thumbnailLoadKey(changed), key);
    changed = f;
    changed.crop.reset();
    EXPECT_NE(thumbnailLoadKey(changed), key);
    changed = f;
    changed.reference->modifiedAt.seconds += 0.001;
    EXPECT_NE(thumbnailLoadKey(changed), key);
    changed = f;
    changed.reference->path = "/photos/moved/cover.heic";
    EXPECT_NE(thumbnailLoadKey(changed), key);
}

TEST(ThumbnailLoadKey, GlyphLabelIsTheExtensionInCapitals) {
    EXPECT_EQ(paperGlyphLabel(file("brief.pdf")), "PDF");
    EXPECT_EQ(paperGlyphLabel(file("Subtitles.SRT")), "SRT");
    EXPECT_EQ(paperGlyphLabel(file("notes.txt")), "TXT");
    EXPECT_EQ(paperGlyphLabel(file("archive.tar.gz")), "GZ");
    EXPECT_EQ(paperGlyphLabel(file("README")), "");
    EXPECT_EQ(paperGlyphLabel(file("片段.straße")), QString::fromUtf8("STRASSE"));
}

TEST(ThumbnailSources, ImageFirstThenVideoFrameForFilesWithADuration) {
    using enum ThumbnailSource;
    DeliveryFile f = file("still.jpg");
    EXPECT_EQ(thumbnailSources(f), std::vector<ThumbnailSource>{image});
    f.duration = 3;
    EXPECT_EQ(thumbnailSources(f), (std::vector<ThumbnailSource>{image, videoFrame}));
    f = file("clip.mov");
    EXPECT_TRUE(thumbnailSources(f).empty());  // never inspected: no duration, no frame
    f.duration = 12.5;
    EXPECT_EQ(thumbnailSources(f), std::vector<ThumbnailSource>{videoFrame});
    f = file("odd.bin");
    f.duration = 1;
    EXPECT_EQ(thumbnailSources(f), std::vector<ThumbnailSource>{videoFrame});
    for (const char* name : {"brief.pdf", "notes.txt", "lines.srt", "README"})
        EXPECT_TRUE(thumbnailSources(file(name)).empty()) << name;
}

TEST(ThumbnailSizes, ClassesRoundUpSoSmallResizesKeepThePicture) {
    EXPECT_EQ(thumbnailSizeClass(QSize(300, 220)), QSize(384, 256));
    EXPECT_EQ(thumbnailSizeClass(QSize(310, 230)), QSize(384, 256));  // a small resize keeps the class
    EXPECT_EQ(thumbnailSizeClass(QSize(1, 0)), QSize(32, 32));
    EXPECT_EQ(thumbnailSizeClass(QSize(9000, 9000)), QSize(3072, 3072));
}

TEST(ThumbnailSizes, DecodesOnlyAsLargeAsTheFrameOrTheCropWindowNeeds) {
    // A 16:9 picture in a 384x256 frame: its height limits, with two pixels to spare.
    EXPECT_EQ(thumbnailDecodeLimit(QSizeF(1920, 1080), {}, QSize(384, 256)), 459);
    EXPECT_EQ(thumbnailDecodeLimit(QSizeF(1080, 1920), {}, QSize(384, 256)), 687);
    // A crop window of three quarters of the height's width must cover the frame by itself.
    EXPECT_EQ(thumbnailDecodeLimit(QSizeF(1920, 1080), QSizeF(810, 1080), QSize(384, 256)), 915);
    // Panoramas and small frames stay within the preview limit; a frame wider than the picture
    // asks for the limit too (the decoder never enlarges).
    EXPECT_EQ(thumbnailDecodeLimit(QSizeF(10000, 1000), {}, QSize(384, 256)), 1000);
    EXPECT_EQ(thumbnailDecodeLimit(QSizeF(200, 100), {}, QSize(384, 256)), 516);
    EXPECT_EQ(thumbnailDecodeLimit(QSizeF(4000, 3000), {}, QSize(32, 32)), 46);
    EXPECT_EQ(thumbnailDecodeLimit({}, {}, QSize(32, 32)), 1000);
    // Whatever the shape and the window, the window of the picture decoded at the limit covers
    // the frame with a pixel to spare, unless the limit caps it.
    for (const QSizeF picture : {QSizeF(1000, 7), QSizeF(3, 1000), QSizeF(999, 998), QSizeF(4032, 3024)})
        for (const QSizeF window : {QSizeF(), picture * 0.5, QSizeF(picture.width() * 0.3, picture.height())})
            for (const QSize frame : {QSize(32, 32), QSize(384, 256), QSize(96, 768)}) {
                const int limit = thumbnailDecodeLimit(picture, window, frame);
                const QSizeF shown = window.isEmpty() ? picture : window;
                const double scale = std::min(1.0, limit / std::max(picture.width(), picture.height()));
                EXPECT_TRUE(limit == thumbnailImageMaxPixel ||
                            (std::floor(shown.width() * scale) >= frame.width() + 1 &&
                             std::floor(shown.height() * scale) >= frame.height() + 1))
                    << picture.width() << "x" << picture.height() << " window " << shown.width() << "x"
                    << shown.height() << " in " << frame.width() << "x" << frame.height();
            }
}

TEST(ThumbnailBudget, LetsGoOfTheLeastRecentlyUsedToStayWithinItsBytes) {
    ThumbnailBudget budget(100);
    EXPECT_TRUE(budget.store("a", 40).empty());
    EXPECT_TRUE(budget.store("b", 40).empty());
    budget.touch("a");
    EXPECT_EQ(budget.store("c", 40), std::vector<std::string>{"b"});
    EXPECT_EQ(budget.bytes(), 80);
    // Storing a key again replaces its size.
    EXPECT_TRUE(budget.store("c", 10).empty());
    EXPECT_EQ(budget.bytes(), 50);
    // One picture larger than the whole budget stays alone.
    EXPECT_EQ(budget.store("huge", 500), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(budget.count(), 1u);
    EXPECT_TRUE(budget.contains("huge"));
    budget.remove("huge");
    budget.remove("missing");
    EXPECT_EQ(budget.bytes(), 0);
}

TEST(ThumbnailQueue, ServesTheNewestPaintPassFirstInPaintOrder) {
    ThumbnailQueue queue;
    queue.want(job("old1"), 1);
    queue.want(job("old2"), 1);
    queue.want(job("new1"), 2);
    queue.want(job("new2"), 2);
    // Asked again in the newest pass: it is visible now.
    queue.want(job("old1"), 2);
    EXPECT_EQ(drain(queue), (std::vector<std::string>{"new1", "new2", "old1", "old2"}));
}

TEST(ThumbnailQueue, DropsSupersededKeysAndDuplicatesAndMergesFrames) {
    ThumbnailQueue queue;
    const UUID id = UUID::make();
    queue.want(job("crop-a", id), 1);
    queue.want(job("crop-b", id), 1);  // the file's key moved on
    EXPECT_FALSE(queue.isPending("crop-a"));
    queue.want(job("crop-b", id, {512, 96}), 1);
    queue.want(job("crop-b", id, {96, 768}), 1);
    EXPECT_EQ(queue.pendingCount(), 1u);
    auto next = queue.take();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->frame, QSize(512, 768));
    // While it runs, a smaller or equal frame is not queued again; a larger one is.
    queue.want(job("crop-b", id, {256, 256}), 2);
    EXPECT_EQ(queue.pendingCount(), 0u);
    queue.want(job("crop-b", id, {1024, 768}), 2);
    EXPECT_EQ(queue.pendingCount(), 1u);
    EXPECT_EQ(queue.runningCount(), 1u);
    queue.finish("crop-b", next->frame);
    EXPECT_EQ(queue.runningCount(), 0u);
    queue.clear();
    EXPECT_FALSE(queue.take());
}

TEST(ThumbnailQueue, ForgetsCardsScrolledFarAway) {
    ThumbnailQueue queue(8);
    queue.want(job("visible"), 1);
    for (int i = 0; i < 100; ++i) {
        queue.want(job("passing" + std::to_string(i)), 1);
        queue.want(job("visible"), 1);  // painted again with every pass: still wanted
    }
    EXPECT_LE(queue.pendingCount(), 2u * 8 + 1);
    const auto keys = drain(queue);
    EXPECT_LE(keys.size(), 8u + 2);  // the horizon's newest, the one just passed and the visible one
    EXPECT_NE(std::find(keys.begin(), keys.end(), "visible"), keys.end());
    EXPECT_NE(std::find(keys.begin(), keys.end(), "passing99"), keys.end());
    EXPECT_EQ(std::find(keys.begin(), keys.end(), "passing0"), keys.end());
}
