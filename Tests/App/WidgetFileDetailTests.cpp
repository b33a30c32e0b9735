// The file detail sheet through the main window's router, on real files: previews that match the
// export, the inline player with a rotated clip, text and subtitle editing, roles and the states in
// which nothing may be written.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>

#include "App/Support/SheetFixture.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Crop/CropSheet.hpp"
#include "Sorvik/Views/FileDetail/FileDetailParts.hpp"
#include "Sorvik/Views/FileDetail/FileDetailSheet.hpp"
#include "Sorvik/Views/FileDetail/PreviewWarmUp.hpp"
#include "Sorvik/Views/Kit/PictureBox.hpp"
#include "Sorvik/Views/Thumbnails/PreviewImages.hpp"
#include "Sorvik/Views/Kit/SegmentedPicker.hpp"
#include "Sorvik/Views/FileDetail/VideoPlayerView.hpp"
#include "SorvikCore/Localization.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using app::AppSheet;
using app::FileDetailSheet;

namespace {

constexpr int waitMs = 20000;

class FileDetail : public MediaSuite {
protected:
    // half.png: 400 x 300, left half white, right half black. half6.jpg stores it with the
    // orientation that turns it a quarter clockwise (seen: 300 x 400, white on top).
    static void SetUpTestSuite() {
        makeMedia(
            "vips black b.png 200 300 && vips invert b.png w.png && vips join w.png b.png half.png horizontal"
            " && vips copy half.png half6.jpg && exiftool -q -overwrite_original -Orientation#=6 half6.jpg"
            " && vips rot half.png tall.png d90 && vips copy tall.png tall.heic"
            " && printf '%%PDF-1.4\\n' > brief.pdf && printf 'fake' > clip.mp4");
    }
};

}  // namespace

TEST_F(FileDetail, TheRouterFindsTheFileNowAndShowsNoSheetForAnUnknownOne) {
    TempDir originals;
    SheetFixture f({copyMedia("half6.jpg", originals)});
    FileDetailSheet* sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->size(), QSize(650, 590));
    EXPECT_EQ(sheet->working(), *f.store().file(f.files[0].id));
    EXPECT_EQ(f.open<app::CropSheet>(AppSheet::crop(f.files[0].id))->size(), QSize(700, 620));
    EXPECT_EQ(f.open<FileDetailSheet>(AppSheet::file(UUID::make())), nullptr);
    EXPECT_EQ(f.open<app::CropSheet>(AppSheet::crop(UUID::make())), nullptr);
    // The sheet of a file that is gone is never shown, and the store lets go of it.
    EXPECT_EQ(f.view->sheetDialog(), nullptr);
    QApplication::processEvents();
    EXPECT_FALSE(f.store().sheet());
}

TEST_F(FileDetail, ImagePreviewIsTheOrientedPictureWithTheStoredCropAsExported) {
    TempDir originals, out;
    const fs::path jpeg = copyMedia("half6.jpg", originals);
    const CropSpec crop{1.0, 0.5, 0.0};
    SheetFixture f({jpeg}, DeliveryTemplate::flexible(), [&](DeliveryFile& file) {
        file.role = FileRole::cover;
        file.crop = crop;
    });
    FileDetailSheet* sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->hasImagePreview(); }, waitMs));
    const QImage preview = sheet->imagePreview()->picture();
    // Seen upright: 300 x 400 with white on top; the square window at the top is all white.
    const images::Image oriented = DeliveryExporter::orientedImage(jpeg, app::detailPreviewMaxPixel);
    ASSERT_EQ(oriented.width(), 300);
    const auto window = DeliveryExporter::cropRect(oriented.width(), oriented.height(), crop);
    EXPECT_EQ(preview.size(), QSize(int(window.width), int(window.height)));
    EXPECT_GT(brightnessAt(preview, 0.5, 0.5), 200);
    // The exported cover is the same window of the same picture.
    const fs::path cover = exportCover(f.library.path(), out.path());
    const auto exported = images::properties(cover);
    ASSERT_TRUE(exported);
    EXPECT_EQ(QSize(exported->width, exported->height), preview.size());
    EXPECT_GT(brightnessAt(images::pixels(images::orientedThumbnail(cover, 1000)), 0.5, 0.5), 200);
}

TEST_F(FileDetail, HeicAndUncroppedImagesPreviewUprightAndAnInvalidCropShowsTheWholeImage) {
    TempDir originals;
    SheetFixture f({copyMedia("tall.heic", originals), copyMedia("half6.jpg", originals)}, DeliveryTemplate::flexible(),
                   [](DeliveryFile& file) {
                       if (file.name == "half6.jpg") file.crop = CropSpec{0, 0.5, 0.5};
                   });
    FileDetailSheet* sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->hasImagePreview(); }, waitMs));
    QImage preview = sheet->imagePreview()->picture();
    EXPECT_EQ(preview.size(), QSize(300, 400));
    // Turned a quarter clockwise, the white left half lies on top.
    EXPECT_GT(brightnessAt(preview, 0.5, 0.25), 200);
    EXPECT_LT(brightnessAt(preview, 0.5, 0.75), 60);
    sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[1].id));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->hasImagePreview(); }, waitMs));
    preview = sheet->imagePreview()->picture();
    EXPECT_EQ(preview.size(), QSize(300, 400));
    EXPECT_GT(brightnessAt(preview, 0.5, 0.25), 200);
    EXPECT_LT(brightnessAt(preview, 0.5, 0.75), 60);
}

TEST_F(FileDetail, CopyTextCountsSavesAndRestores) {
    TempDir originals;
    writeFile(originals / "copy.txt", "Hello\nwor ld");
    SheetFixture f({originals / "copy.txt"});
    FileDetailSheet* sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    ASSERT_NE(sheet->editor(), nullptr);
    EXPECT_EQ(sheet->editor()->counts()->text(), "Title: 5 characters · Body: 6 characters");
    EXPECT_TRUE(sheet->restoreButton()->isVisibleTo(sheet));
    EXPECT_FALSE(sheet->trimButton()->isVisibleTo(sheet));
    EXPECT_FALSE(sheet->cropButton()->isVisibleTo(sheet));
    EXPECT_EQ(sheet->locationRow() != nullptr, true);
    // Typing updates the counts from the current text.
    QPlainTextEdit* editor = sheet->editor()->editor();
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, "!");
    editor->insertPlainText(QString::fromUtf8("👩‍👩‍👧"));
    QApplication::processEvents();
    EXPECT_EQ(sheet->editor()->counts()->text(), "Title: 5 characters · Body: 8 characters");
    sheet->save();
    QApplication::processEvents();
    EXPECT_FALSE(f.store().sheet());
    EXPECT_EQ(f.stored(f.files[0].id).editedText, "Hello\nwor ld!👩‍👩‍👧");
    EXPECT_EQ(readFile(originals / "copy.txt"), "Hello\nwor ld") << "the original is never written";

    // An untouched file keeps its edit; restore and save clears it.
    sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    EXPECT_EQ(sheet->text(), "Hello\nwor ld!👩‍👩‍👧");
    sheet->save();
    EXPECT_EQ(f.stored(f.files[0].id).editedText, "Hello\nwor ld!👩‍👩‍👧");
    sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    sheet->restore();
    EXPECT_EQ(sheet->text(), "Hello\nwor ld");
    sheet->save();
    EXPECT_FALSE(f.stored(f.files[0].id).editedText);
}

TEST_F(FileDetail, AnUntouchedTextKeepsItsBytesThroughTheEditor) {
    TempDir originals;
    // Line breaks and spaces the text widget would rewrite: CR LF, a line separator, a no-break space.
    const std::string text = "Title\r\nbody\u2028line\u00a0end\r\n";
    writeFile(originals / "copy.txt", text);
    SheetFixture f({originals / "copy.txt"});
    ASSERT_EQ(f.files[0].text, text);
    FileDetailSheet* sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    sheet->save();
    EXPECT_FALSE(f.stored(f.files[0].id).editedText) << "saving without typing makes no edit";
    // Typing keeps the characters the person did not touch.
    sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    QPlainTextEdit* editor = sheet->editor()->editor();
    editor->moveCursor(QTextCursor::Start);
    QTest::keyClicks(editor, "A ");
    sheet->save();
    const auto edited = f.stored(f.files[0].id).editedText;
    ASSERT_TRUE(edited);
    EXPECT_NE(edited->find("line\u00a0end"), std::string::npos);
    EXPECT_NE(edited->find("body\u2028line"), std::string::npos);
    EXPECT_EQ(edited->rfind("A Title", 0), 0u);
}

TEST_F(FileDetail, SubtitleTrimsToTheOnlyTimedVideoOrShowsTheTranslatedMessage) {
    TempDir originals;
    const std::string srt = "1\n00:00:01,000 --> 00:00:03,000\nA\n\n2\n00:00:05,000 --> 00:00:06,000\nB\n";
    writeFile(originals / "a.srt", srt);
    writeFile(originals / "late.srt", "1\n00:00:09,000 --> 00:00:10,000\nZ\n");
    const fs::path clip = copyMedia("clip.mp4", originals);
    SheetFixture f({originals / "a.srt", originals / "late.srt", clip}, DeliveryTemplate::flexible(),
                   [](DeliveryFile& file) {
                       if (file.name != "clip.mp4") return;
                       file.role = FileRole::video;
                       file.duration = 2.5;
                       file.inspectionError.reset();
                   });
    FileDetailSheet* sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    ASSERT_TRUE(sheet->trimButton()->isVisibleTo(sheet));
    EXPECT_FALSE(sheet->editor()->counts()->isVisibleTo(sheet));
    // What the app asks for: the system's fixed font (what fontconfig answers depends on the machine).
    EXPECT_EQ(sheet->editor()->editor()->font().family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    EXPECT_EQ(sheet->editor()->editor()->font().pixelSize(), 13);
    sheet->trimButton()->click();
    EXPECT_EQ(sheet->text(), "1\n00:00:01,000 --> 00:00:02,500\nA\n");
    EXPECT_TRUE(sheet->errorText().isEmpty());
    sheet->save();
    EXPECT_EQ(f.stored(f.files[0].id).editedText, "1\n00:00:01,000 --> 00:00:02,500\nA\n");

    sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[1].id));
    sheet->trim();
    EXPECT_EQ(sheet->errorText(), english("没有位于视频时长以内的字幕，请手动调整时间轴"));
    EXPECT_EQ(sheet->text(), "1\n00:00:09,000 --> 00:00:10,000\nZ\n");
    // The message follows a change of language.
    f.harness->preferences().setLanguage("zh-Hans");
    EXPECT_EQ(sheet->errorText(), QString::fromUtf8("没有位于视频时长以内的字幕，请手动调整时间轴"));
}

TEST_F(FileDetail, NoTrimWithTwoTimedVideosOrAnUntimedOne) {
    TempDir originals;
    writeFile(originals / "a.srt", "1\n00:00:01,000 --> 00:00:02,000\nA\n");
    const fs::path one = copyMedia("clip.mp4", originals);
    fs::copy_file(one, originals / "two.mp4");
    SheetFixture f({originals / "a.srt", one, originals / "two.mp4"}, DeliveryTemplate::flexible(),
                   [](DeliveryFile& file) {
                       if (file.name == "a.srt") return;
                       file.role = FileRole::video;
                       file.duration = 4;
                   });
    FileDetailSheet* sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    EXPECT_FALSE(sheet->trimButton()->isVisibleTo(sheet));
}

TEST_F(FileDetail, RoleChangesStayInTheSheetUntilSaveAndCropHandsOver) {
    TempDir originals;
    SheetFixture f({copyMedia("half6.jpg", originals)}, DeliveryTemplate::flexible(),
                   [](DeliveryFile& file) { file.role = FileRole::extra; });
    const UUID id = f.files[0].id;
    FileDetailSheet* sheet = f.open<FileDetailSheet>(AppSheet::file(id));
    EXPECT_FALSE(sheet->cropButton()->isVisibleTo(sheet));
    EXPECT_EQ(sheet->rolePicker()->current(), 4);
    sheet->rolePicker()->choose(1);  // cover
    EXPECT_TRUE(sheet->cropButton()->isVisibleTo(sheet)) << "the crop button shows at once";
    sheet->cancelButton()->click();
    QApplication::processEvents();
    EXPECT_FALSE(f.store().sheet());
    EXPECT_EQ(f.stored(id).role, FileRole::extra);

    sheet = f.open<FileDetailSheet>(AppSheet::file(id));
    sheet->rolePicker()->choose(1);
    sheet->cropButton()->click();
    QApplication::processEvents();
    EXPECT_EQ(f.store().sheet(), AppSheet::crop(id));
    EXPECT_NE(f.shown<app::CropSheet>(), nullptr) << "the crop sheet replaces the detail sheet";
    EXPECT_EQ(f.stored(id).role, FileRole::cover) << "the chosen role goes with the crop";

    f.open<FileDetailSheet>(AppSheet::file(id))->rolePicker()->choose(3);
    f.shown<FileDetailSheet>()->save();
    EXPECT_EQ(f.stored(id).role, FileRole::copy);
}

TEST_F(FileDetail, SavingAndCroppingAreOffWhileBusyAndInRecoveryMode) {
    TempDir originals;
    SheetFixture f({copyMedia("half6.jpg", originals)}, DeliveryTemplate::flexible(),
                   [](DeliveryFile& file) { file.role = FileRole::cover; });
    FileDetailSheet* sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    EXPECT_TRUE(sheet->saveButton()->isEnabled());
    TempDir source;
    f.store().connectFolders({source.path()});
    QApplication::processEvents();
    ASSERT_TRUE(f.store().isBusy());
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
    EXPECT_FALSE(sheet->cropButton()->isEnabled());
    sheet->rolePicker()->choose(4);
    sheet->save();
    EXPECT_EQ(f.store().sheet(), AppSheet::file(f.files[0].id)) << "a refused save does not close the sheet";
    EXPECT_EQ(f.stored(f.files[0].id).role, FileRole::cover);
    f.harness->settle();
    QApplication::processEvents();
    EXPECT_TRUE(sheet->saveButton()->isEnabled());
}

TEST_F(FileDetail, RecoveryModeSheetCannotWrite) {
    TempDir library;
    writeFile(library / "workspace.json", "[");
    StoreHarness h(library.path());
    ASSERT_TRUE(h.store().recoveryMode());
    DeliveryFile file;
    file.id = UUID::make();
    file.name = "cover.png";
    file.role = FileRole::cover;
    file.text = "x";
    app::FileDetailSheet sheet(
        h.store(), [] {}, file);
    EXPECT_FALSE(sheet.saveButton()->isEnabled());
    sheet.save();
    EXPECT_EQ(readFile(library / "workspace.json"), "[");
}

TEST_F(FileDetail, OtherFormatsOfferTheDefaultApplicationAndTheLocationRowReveals) {
    TempDir originals;
    SheetFixture f({copyMedia("brief.pdf", originals)});
    FileDetailSheet* sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    ASSERT_NE(sheet->externalHint(), nullptr);
    sheet->externalHint()->button()->click();
    ASSERT_EQ(f.harness->platform().opened.size(), 1u);
    EXPECT_EQ(f.harness->platform().opened[0], originals / "brief.pdf");
    ASSERT_NE(sheet->locationRow(), nullptr);
    sheet->locationRow()->button()->click();
    ASSERT_EQ(f.harness->platform().revealed.size(), 1u);
    EXPECT_EQ(f.harness->platform().revealed[0], originals / "brief.pdf");
    EXPECT_FALSE(sheet->restoreButton()->isVisibleTo(sheet));
}

TEST_F(FileDetail, ARotatedClipPlaysUprightOnlyAfterPlayAndClosingReleasesThePlayer) {
    TempDir originals;
    // 192 x 108: white left half, black right half; the clip asks to be shown a quarter turned.
    const fs::path plain = originals / "plain.mp4";
    const fs::path clip = originals / "portrait.mov";
    const fs::path expected = originals / "expected.png";
    shell(
        "ffmpeg -v error -f lavfi -i color=white:s=96x108:d=2:r=10 -f lavfi -i color=black:s=96x108:d=2:r=10"
        " -filter_complex hstack -c:v libx264 -pix_fmt yuv420p '" +
        plain.string() +
        "'"
        " && ffmpeg -v error -i '" +
        plain.string() + "' -c copy -metadata:s:v rotate=90 '" + clip.string() +
        "'"
        " && ffmpeg -v error -i '" +
        clip.string() + "' -frames:v 1 '" + expected.string() + "'");
    fs::remove(plain);
    const QImage reference(QString::fromStdString(expected.string()));
    ASSERT_FALSE(reference.isNull());
    ASSERT_GT(reference.height(), reference.width()) << "ffmpeg's own rotated frame";
    fs::remove(expected);

    SheetFixture f({clip});
    ASSERT_TRUE(f.files[0].duration);
    QPointer<FileDetailSheet> sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    QPointer<app::VideoPlayerView> view = sheet->videoPlayer();
    ASSERT_NE(view, nullptr);
    ASSERT_NE(view->player(), nullptr);
    EXPECT_LE(view->height(), 310);
    EXPECT_GE(view->height(), 250);
    // The first frame shows without playing.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->picture().isNull(); }, waitMs));
    EXPECT_NE(view->player()->playbackState(), QMediaPlayer::PlayingState);
    EXPECT_EQ(view->player()->position(), 0);
    const QImage first = view->picture();
    EXPECT_GT(first.height(), first.width()) << "shown upright";
    for (auto [fx, fy] : {std::pair{0.5, 0.2}, std::pair{0.5, 0.8}, std::pair{0.2, 0.5}, std::pair{0.8, 0.5}}) {
        EXPECT_NEAR(brightnessAt(first, fx, fy), brightnessAt(reference, fx, fy), 40) << fx << "," << fy;
    }
    view->togglePlayback();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->player()->position() > 0; }, waitMs));
    EXPECT_EQ(view->player()->playbackState(), QMediaPlayer::PlayingState);
    QPointer<QMediaPlayer> player = view->player();
    f.store().setSheet(std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.isNull(); }, waitMs));
    EXPECT_TRUE(view.isNull());
    EXPECT_TRUE(player.isNull()) << "closing the sheet releases the player";
}

// Last in the file: the warm-up is made once per process, so the clip test above runs cold.
TEST_F(FileDetail, AfterTheWarmUpAClipStillShowsItsFirstFrame) {
    app::PreviewWarmUp warmUp;
    QSignalSpy finished(&warmUp, &app::PreviewWarmUp::finished);
    warmUp.start();
    warmUp.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return warmUp.isFinished(); }, waitMs));
    QApplication::processEvents();
    EXPECT_EQ(finished.count(), 1);

    TempDir originals;
    const fs::path clip = originals / "clip.mp4";
    shell("ffmpeg -v error -f lavfi -i color=white:s=160x90:d=1:r=10 -c:v libx264 -pix_fmt yuv420p '" + clip.string() +
          "'");
    SheetFixture f({clip});
    FileDetailSheet* sheet = f.open<FileDetailSheet>(AppSheet::file(f.files[0].id));
    ASSERT_NE(sheet->videoPlayer(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheet->videoPlayer()->picture().isNull(); }, waitMs));
    EXPECT_GT(brightnessAt(sheet->videoPlayer()->picture(), 0.5, 0.5), 200);
}

// The warm-up's steps on the GUI thread leave room for what the person does meanwhile: an event
// posted once they are under way is handled before the last of them.
TEST_F(FileDetail, InputPostedDuringTheWarmUpIsHandledBeforeItEnds) {
    app::PreviewWarmUp warmUp;
    warmUp.start();
    // One pass of the event loop at a time, so that the steps' start is seen.
    QElapsedTimer clock;
    clock.start();
    while (warmUp.stepsLeft() == 0 && !warmUp.isFinished() && clock.elapsed() < waitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ASSERT_GT(warmUp.stepsLeft(), 1u);
    const std::size_t steps = warmUp.stepsLeft();
    bool handled = false;
    bool handledFirst = false;
    QTimer::singleShot(0, [&] {
        handled = true;
        handledFirst = !warmUp.isFinished() && warmUp.stepsLeft() > 0;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return warmUp.isFinished(); }, waitMs));
    EXPECT_TRUE(handled);
    EXPECT_TRUE(handledFirst) << "all " << steps << " steps ran before the posted event";
}
