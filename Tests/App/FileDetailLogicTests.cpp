// What the file detail sheet shows and writes, without widgets: the metadata line, the preview
// kind, the trim duration, the controls, the editor's text and counts, Save and trimming.
#include <gtest/gtest.h>

#include "Sorvik/Stores/Preferences.hpp"
#include "Sorvik/Support/Formatting.hpp"
#include "Sorvik/Views/FileDetail/Logic/FileDetailLogic.hpp"

using namespace sorvik;
using namespace sorvik::app;

namespace {

/// The interface language for one test.
class Language {
public:
    explicit Language(const char* code) : preferences_(std::make_unique<MemoryPreferenceStorage>()) {
        preferences_.setLanguage(QString::fromUtf8(code));
    }

private:
    Preferences preferences_;
};

DeliveryFile named(std::string name, FileRole role = FileRole::extra) {
    DeliveryFile f;
    f.id = UUID::make();
    f.name = std::move(name);
    f.role = role;
    return f;
}

DeliveryFile video(double duration) {
    DeliveryFile f = named("clip.mp4", FileRole::video);
    f.duration = duration;
    return f;
}

Delivery project(std::vector<DeliveryFile> files) {
    return Delivery(UUID::make(), "P", std::move(files), DeliveryTemplate::flexible());
}

}  // namespace

TEST(FileSize, ReadsLikeAFileManager) {
    Language english("en");
    EXPECT_EQ(fileSizeText(0), "Zero KB");
    EXPECT_EQ(fileSizeText(1), "1 byte");
    EXPECT_EQ(fileSizeText(999), "999 bytes");
    EXPECT_EQ(fileSizeText(1000), "1 KB");
    EXPECT_EQ(fileSizeText(1499), "1 KB");
    EXPECT_EQ(fileSizeText(999'499), "999 KB");
    // Rounding up to a thousand moves to the next unit.
    EXPECT_EQ(fileSizeText(999'999), "1 MB");
    EXPECT_EQ(fileSizeText(1'234'567), "1.2 MB");
    EXPECT_EQ(fileSizeText(1'000'000), "1 MB");
    EXPECT_EQ(fileSizeText(1'234'567'890), "1.23 GB");
    EXPECT_EQ(fileSizeText(1'500'000'000), "1.5 GB");
    EXPECT_EQ(fileSizeText(INT64_MAX), "9.22 EB");
    EXPECT_EQ(fileSizeText(-5), "Zero KB");
    Language chinese("zh-Hans");
    EXPECT_EQ(fileSizeText(999), "999 字节");
    EXPECT_EQ(fileSizeText(0), "零 KB");
}

TEST(FileDetailMetadata, JoinsExtensionSizePixelsAndDuration) {
    Language english("en");
    DeliveryFile f = named("Clip.MOV", FileRole::video);
    f.bytes = 1'234'567;
    EXPECT_EQ(detailMetadata(f), "MOV  ·  1.2 MB");
    f.width = 1920;
    EXPECT_EQ(detailMetadata(f), "MOV  ·  1.2 MB") << "one side alone is no pixel size";
    f.height = 1080;
    f.duration = 75.9;
    EXPECT_EQ(detailMetadata(f), "MOV  ·  1.2 MB  ·  1920 × 1080  ·  01:15");
    // Without an extension the line begins with the separator.
    DeliveryFile bare = named("README");
    bare.bytes = 12;
    EXPECT_EQ(detailMetadata(bare), "  ·  12 bytes");
}

TEST(FileDetailPreview, TextFirstThenDurationThenImage) {
    DeliveryFile f = named("a.png");
    EXPECT_EQ(detailPreview(f), DetailPreview::image);
    f.duration = 3;
    EXPECT_EQ(detailPreview(f), DetailPreview::video) << "a timed file plays, whatever its extension";
    f.text = "";
    EXPECT_EQ(detailPreview(f), DetailPreview::textEditor) << "an empty text still edits";
    EXPECT_EQ(detailPreview(named("a.pdf")), DetailPreview::external);
    EXPECT_EQ(detailPreview(named("a.mp4")), DetailPreview::external) << "a video never inspected has no player";
}

TEST(FileDetailTrim, NeedsExactlyOneTimedVideoInTheFirstProjectHoldingTheFile) {
    DeliveryFile subtitle = named("a.srt", FileRole::subtitle);
    DeliveryFile untimed = named("b.mp4", FileRole::video);
    DeliveryFile timed = video(12.5);
    DeliveryFile timedExtra = video(30);
    timedExtra.role = FileRole::extra;  // a video file in another role does not count
    EXPECT_EQ(singleVideoDuration({project({subtitle, timed, untimed, timedExtra})}, subtitle.id), 12.5);
    EXPECT_EQ(singleVideoDuration({project({subtitle, timed, video(8)})}, subtitle.id), std::nullopt);
    EXPECT_EQ(singleVideoDuration({project({subtitle, untimed})}, subtitle.id), std::nullopt);
    EXPECT_EQ(singleVideoDuration({project({timed})}, subtitle.id), std::nullopt) << "no project holds it";
    // Only the first project that holds the file counts.
    EXPECT_EQ(singleVideoDuration({project({subtitle}), project({subtitle, timed})}, subtitle.id), std::nullopt);
}

TEST(FileDetailControls, FollowTheRoleAndTheStore) {
    DeliveryFile copy = named("a.txt", FileRole::copy);
    copy.text = "T";
    DetailControls c = detailControls(copy, 10.0, false, false);
    EXPECT_TRUE(c.showCounts);
    EXPECT_TRUE(c.showRestore);
    EXPECT_FALSE(c.showTrim);
    EXPECT_FALSE(c.monospaced);
    EXPECT_FALSE(c.showLocation);
    EXPECT_TRUE(c.saveEnabled);

    DeliveryFile subtitle = copy;
    subtitle.role = FileRole::subtitle;
    c = detailControls(subtitle, 10.0, false, false);
    EXPECT_TRUE(c.showTrim);
    EXPECT_TRUE(c.monospaced);
    EXPECT_FALSE(c.showCounts);
    EXPECT_FALSE(detailControls(subtitle, std::nullopt, false, false).showTrim);

    // Switching an image to the cover role shows the crop button at once; a text never gets one.
    DeliveryFile image = named("a.heic", FileRole::extra);
    EXPECT_FALSE(detailControls(image, {}, false, false).showCrop);
    image.role = FileRole::cover;
    EXPECT_TRUE(detailControls(image, {}, false, false).showCrop);
    copy.role = FileRole::cover;
    EXPECT_FALSE(detailControls(copy, {}, false, false).showCrop);
    EXPECT_FALSE(detailControls(image, {}, false, false).showRestore);

    // Saving and cropping write: off while busy and in recovery mode.
    for (auto [busy, recovery] : {std::pair{true, false}, std::pair{false, true}}) {
        c = detailControls(image, {}, busy, recovery);
        EXPECT_FALSE(c.saveEnabled);
        EXPECT_FALSE(c.cropEnabled);
        EXPECT_TRUE(c.showCrop);
    }
    image.reference = FileReference{};
    EXPECT_TRUE(detailControls(image, {}, false, false).showLocation);
}

TEST(FileDetailEditor, SeedsWithTheEditThenTheText) {
    DeliveryFile f = named("a.txt");
    EXPECT_EQ(seedEditorText(f), "");
    f.text = "original";
    EXPECT_EQ(seedEditorText(f), "original");
    f.editedText = "";
    EXPECT_EQ(seedEditorText(f), "") << "an empty edit is an edit";
}

TEST(FileDetailEditor, CountsUserPerceivedCharactersOfTheCurrentText) {
    // The body keeps its inner space.
    EXPECT_EQ(copyCounts("Hello\nwor ld"), (CopyCounts{5, 6}));
    EXPECT_EQ(copyCounts("\n  # 夏日👩‍👩‍👧‍👦新品 #\n\n第一段\r\n"), (CopyCounts{5, 3}));
    EXPECT_EQ(copyCounts("e\u0301\u0301"), (CopyCounts{1, 0}));
    EXPECT_EQ(copyCounts(" \n\t\n"), (CopyCounts{0, 0}));
}

TEST(FileDetailSave, EditedTextFollowsTheRules) {
    DeliveryFile f = named("a.txt", FileRole::copy);
    f.text = "original";
    f.editedText = "earlier edit";
    // An untouched file keeps its edit: the editor shows the edit and Save stores it again.
    EXPECT_EQ(applyEditorText(f, seedEditorText(f)).editedText, "earlier edit");
    // Restore, then Save: the text equals the original, so the edit goes.
    EXPECT_EQ(applyEditorText(f, *f.text).editedText, std::nullopt);
    EXPECT_EQ(applyEditorText(f, "new").editedText, "new");
    EXPECT_EQ(applyEditorText(f, "").editedText, "") << "emptying the text is an edit";
    // Equality is exact: a different line ending is an edit.
    EXPECT_EQ(applyEditorText(f, "original\n").editedText, "original\n");
    // A file without a text keeps whatever edit it has; the role always goes with it.
    DeliveryFile image = named("a.png");
    image.editedText = "kept";
    image.role = FileRole::cover;
    const DeliveryFile saved = applyEditorText(image, "ignored");
    EXPECT_EQ(saved.editedText, "kept");
    EXPECT_EQ(saved.role, FileRole::cover);
}

TEST(FileDetailTrim, ClipsToTheVideoOrKeepsTheTextWithTheCoreMessage) {
    const std::string srt = "1\n00:00:01,000 --> 00:00:04,000\nA\n\n2\n00:00:09,000 --> 00:00:12,000\nB\n";
    TrimOutcome trimmed = trimSubtitle(srt, 10);
    ASSERT_TRUE(trimmed.text);
    EXPECT_FALSE(trimmed.error);
    EXPECT_EQ(*trimmed.text, "1\n00:00:01,000 --> 00:00:04,000\nA\n\n2\n00:00:09,000 --> 00:00:10,000\nB\n");
    trimmed = trimSubtitle(srt, 0.5);
    EXPECT_FALSE(trimmed.text);
    EXPECT_EQ(trimmed.error, "没有位于视频时长以内的字幕，请手动调整时间轴");
    // A text that is no subtitle reports the parser's own message.
    trimmed = trimSubtitle("not a subtitle", 10);
    EXPECT_FALSE(trimmed.text);
    ASSERT_TRUE(trimmed.error);
    EXPECT_FALSE(trimmed.error->empty());
}

TEST(FileDetailErrors, TheSheetsOwnErrorComesFirst) {
    DeliveryFile f = named("a.srt");
    EXPECT_EQ(detailErrorLine(std::nullopt, f), std::nullopt);
    f.inspectionError = "无法读取视频：x";
    EXPECT_EQ(detailErrorLine(std::nullopt, f), "无法读取视频：x");
    EXPECT_EQ(detailErrorLine(std::string("trim failed"), f), "trim failed");
}
