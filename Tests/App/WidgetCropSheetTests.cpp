// The cover crop sheet through the router on real images: seeding, the controls, a preview that is
// exactly the exported window, errors in the interface language and the two writing buttons.
#include <gtest/gtest.h>

#include <QSlider>

#include "App/Support/SheetFixture.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Crop/Logic/CropLogic.hpp"
#include "Sorvik/Views/Crop/CropSheet.hpp"
#include "Sorvik/Views/FileDetail/FileDetailSheet.hpp"
#include "Sorvik/Views/Kit/PictureBox.hpp"
#include "Sorvik/Views/Thumbnails/PreviewImages.hpp"
#include "Sorvik/Views/Kit/SegmentedPicker.hpp"
#include "SorvikCore/Localization.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using app::AppSheet;
using app::CropSheet;

namespace {

constexpr int waitMs = 20000;

class Crop : public MediaSuite {
protected:
    // wide.jpg: 640 x 360 stored with the orientation that turns it a quarter (seen 360 x 640); left
    // third white, the rest black. tall.heic: an upright 480 x 600 picture.
    static void SetUpTestSuite() {
        makeMedia(
            "vips black b.png 427 360 && vips black w0.png 213 360 && vips invert w0.png w.png"
            " && vips join w.png b.png wide.png horizontal"
            " && vips copy wide.png wide.jpg && exiftool -q -overwrite_original -Orientation#=6 wide.jpg"
            " && vips gaussnoise tall.png 480 600 && vips copy tall.png tall.heic");
    }
};

void asCover(DeliveryFile& file) { file.role = FileRole::cover; }

}  // namespace

TEST_F(Crop, OpensOnTheRulesRatioCentredOrOnThreeFour) {
    TempDir originals;
    DeliveryTemplate rules = DeliveryTemplate::flexible();
    rules.coverRatio = 0.5625;
    SheetFixture f({copyMedia("wide.jpg", originals)}, rules, asCover);
    CropSheet* sheet = f.open<CropSheet>(AppSheet::crop(f.files[0].id));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->ratioPicker()->current(), 1);
    EXPECT_EQ(sheet->horizontalSlider()->value(), app::sliderSteps / 2);
    EXPECT_EQ(sheet->verticalSlider()->value(), app::sliderSteps / 2);
    EXPECT_EQ(sheet->captionText(), QString::fromUtf8("Export preview · 9:16"));
    EXPECT_FALSE(sheet->resetButton()->isVisibleTo(sheet));

    TempDir other;
    SheetFixture plain({copyMedia("wide.jpg", other)}, DeliveryTemplate::flexible(), asCover);
    EXPECT_EQ(plain.open<CropSheet>(AppSheet::crop(plain.files[0].id))->ratioPicker()->current(), 0);
}

TEST_F(Crop, AStoredCropIsShownAsItIsAndSavedBackUntouched) {
    TempDir originals;
    const CropSpec stored{0.8, 0.123456789012345, 1.7};
    SheetFixture f({copyMedia("wide.jpg", originals)}, DeliveryTemplate::flexible(), [&](DeliveryFile& file) {
        asCover(file);
        file.crop = stored;
    });
    CropSheet* sheet = f.open<CropSheet>(AppSheet::crop(f.files[0].id));
    EXPECT_EQ(sheet->ratioPicker()->current(), std::nullopt) << "no choice is marked for 0.8";
    EXPECT_EQ(sheet->captionText(), QString::fromUtf8("Export preview · 0.80:1"));
    EXPECT_EQ(sheet->horizontalSlider()->value(), 1235);
    EXPECT_EQ(sheet->verticalSlider()->value(), app::sliderSteps);
    EXPECT_EQ(sheet->spec(), stored) << "showing the values wrote nothing back";
    EXPECT_TRUE(sheet->resetButton()->isVisibleTo(sheet));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheet->preview().isNull(); }, waitMs));
    sheet->useButton()->click();
    QApplication::processEvents();
    EXPECT_FALSE(f.store().sheet());
    const auto saved = f.stored(f.files[0].id).crop;
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->ratio, stored.ratio);
    EXPECT_EQ(saved->x, stored.x);
    EXPECT_EQ(saved->y, stored.y);
}

TEST_F(Crop, ThePreviewIsTheCoresWindowAndTheExportedCoverHasItsSize) {
    for (const char* name : {"wide.jpg", "tall.heic"}) {
        SCOPED_TRACE(name);
        TempDir originals, out;
        const fs::path original = copyMedia(name, originals);
        SheetFixture f({original}, DeliveryTemplate::flexible(), asCover);
        CropSheet* sheet = f.open<CropSheet>(AppSheet::crop(f.files[0].id));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !sheet->preview().isNull(); }, waitMs));
        sheet->chooseRatio(3);  // 1:1
        sheet->horizontalSlider()->setValue(app::sliderSteps);
        sheet->verticalSlider()->setValue(app::sliderSteps / 4);
        const CropSpec spec = sheet->spec();
        EXPECT_EQ(spec, (CropSpec{1.0, 1.0, 0.25}));
        const images::Image oriented = DeliveryExporter::orientedImage(original, app::cropEditorMaxPixel);
        const auto window = DeliveryExporter::cropRect(oriented.width(), oriented.height(), spec);
        ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->previewWindow() == window; }, waitMs));
        EXPECT_EQ(sheet->preview().size(), QSize(int(window.width), int(window.height)));
        EXPECT_EQ(sheet->originalSize(), QSize(oriented.width(), oriented.height()));
        // Pixel for pixel the export's own crop of the same decode.
        const QImage expected =
            app::toQImage(images::crop(oriented, int(window.x), int(window.y), int(window.width), int(window.height)));
        EXPECT_EQ(sheet->preview(), expected);
        sheet->useCrop();
        const fs::path cover = exportCover(f.library.path(), out.path());
        const auto exported = images::properties(cover);
        ASSERT_TRUE(exported);
        EXPECT_EQ(QSize(exported->width, exported->height), QSize(int(window.width), int(window.height)));
        // The detail sheet previews the same window.
        app::FileDetailSheet* detail = f.open<app::FileDetailSheet>(AppSheet::file(f.files[0].id));
        ASSERT_TRUE(QTest::qWaitFor([&] { return detail->hasImagePreview(); }, waitMs));
        EXPECT_EQ(detail->imagePreview()->picture().size(), QSize(int(window.width), int(window.height)));
    }
}

TEST_F(Crop, SlidersPutTheWindowAgainstEitherEdge) {
    TempDir originals;
    SheetFixture f({copyMedia("wide.jpg", originals)}, DeliveryTemplate::flexible(), asCover);
    CropSheet* sheet = f.open<CropSheet>(AppSheet::crop(f.files[0].id));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheet->preview().isNull(); }, waitMs));
    // Seen 360 x 640, white on top: a 1:1 window moves only up and down.
    sheet->chooseRatio(3);
    sheet->verticalSlider()->setValue(0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return sheet->previewWindow() && sheet->previewWindow()->y == 0 && sheet->previewWindow()->width == 360;
        },
        waitMs));
    EXPECT_GT(brightnessAt(sheet->preview(), 0.5, 0.1), 200);
    sheet->verticalSlider()->setValue(app::sliderSteps);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->previewWindow()->y == 640 - 360; }, waitMs));
    EXPECT_LT(brightnessAt(sheet->preview(), 0.5, 0.9), 60);
    // Dragging the window on the original moves the same value.
    emit sheet->originalBox()->windowDragged(QPointF(0, 140));
    EXPECT_DOUBLE_EQ(sheet->spec().y, 0.5);
    EXPECT_EQ(sheet->verticalSlider()->value(), app::sliderSteps / 2);
}

TEST_F(Crop, ResetClearsTheCropAndUseWaitsForAPreviewAndAnIdleStore) {
    TempDir originals;
    SheetFixture f({copyMedia("wide.jpg", originals)}, DeliveryTemplate::flexible(), [](DeliveryFile& file) {
        asCover(file);
        file.crop = CropSpec{0.75, 0.2, 0.2};
    });
    CropSheet* sheet = f.open<CropSheet>(AppSheet::crop(f.files[0].id));
    EXPECT_FALSE(sheet->useButton()->isEnabled()) << "no preview yet";
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->useButton()->isEnabled(); }, waitMs));
    TempDir source;
    f.store().connectFolders({source.path()});
    QApplication::processEvents();
    EXPECT_FALSE(sheet->useButton()->isEnabled());
    EXPECT_FALSE(sheet->resetButton()->isEnabled());
    f.harness->settle();
    QApplication::processEvents();
    ASSERT_TRUE(sheet->resetButton()->isEnabled());
    sheet->resetButton()->click();
    QApplication::processEvents();
    EXPECT_FALSE(f.store().sheet());
    EXPECT_FALSE(f.stored(f.files[0].id).crop);
}

TEST_F(Crop, ErrorsAreShownInTheInterfaceLanguage) {
    TempDir originals;
    const fs::path original = copyMedia("wide.jpg", originals);
    SheetFixture f({original}, DeliveryTemplate::flexible(), asCover);
    // The original is gone: the stored path is still its location, so the decode fails.
    fs::remove(original);
    CropSheet* sheet = f.open<CropSheet>(AppSheet::crop(f.files[0].id));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheet->errorText().isEmpty(); }, waitMs));
    EXPECT_EQ(sheet->errorText(), english("无法打开图片"));
    EXPECT_FALSE(sheet->useButton()->isEnabled());
    f.harness->preferences().setLanguage("zh-Hans");
    EXPECT_EQ(sheet->errorText(), QString::fromUtf8("无法打开图片"));

    // A library file that cannot be located: not found.
    TempDir library;
    StoreHarness h(library.path());
    h.preferences().setLanguage("en");
    DeliveryFile outside;
    outside.id = UUID::make();
    outside.name = "cover.jpg";
    outside.relativePath = "../cover.jpg";
    CropSheet lost(
        h.store(), [] {}, outside);
    lost.show();
    QApplication::processEvents();
    EXPECT_EQ(lost.errorText(), english("找不到原图"));
    EXPECT_FALSE(lost.useButton()->isEnabled());
}

TEST(CropCut, AWindowIsCutExactlyAndFittedFromAHalvingAsFromTheWholeOriginal) {
    // Vertical stripes of 16 pixels, red and black, under a horizontal ramp in green.
    QImage original(1600, 1000, QImage::Format_RGB888);
    for (int y = 0; y < original.height(); ++y)
        for (int x = 0; x < original.width(); ++x)
            original.setPixelColor(x, y, QColor((x / 16) % 2 ? 255 : 0, x * 255 / 1599, 60));
    const QSize box(300, 280);
    const app::CutSource source = app::cutSource(original, box);
    ASSERT_GE(source.levels.size(), 3u);  // 1600, 800, 400 wide (and 200 with half the box)

    for (const DeliveryExporter::CropRect window :
         {DeliveryExporter::CropRect{0, 0, 1600, 1000}, DeliveryExporter::CropRect{333, 101, 1000, 800},
          DeliveryExporter::CropRect{1500, 900, 100, 100}, DeliveryExporter::CropRect{10, 10, 290, 280}}) {
        SCOPED_TRACE(window.x);
        const app::Picture cut = app::cutPicture(source, window, box);
        const QRect rect(int(window.x), int(window.y), int(window.width), int(window.height));
        EXPECT_EQ(cut.natural, original.copy(rect));
        // The size and colours of a smooth fit of the window itself.
        const app::Picture whole =
            app::cutPicture(app::cutSource(original.copy(rect), {}), {0, 0, window.width, window.height}, box);
        ASSERT_EQ(cut.display.size(), whole.display.size());
        EXPECT_EQ(cut.display.format(), QImage::Format_RGB32);
        // Edges of the stripes may fall a fraction of a pixel apart; on average the two agree.
        double difference = 0;
        for (int y = 0; y < cut.display.height(); ++y)
            for (int x = 0; x < cut.display.width(); ++x) {
                const QColor a = cut.display.pixelColor(x, y), b = whole.display.pixelColor(x, y);
                difference +=
                    std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
            }
        EXPECT_LT(difference / (3.0 * cut.display.width() * cut.display.height()), 6.0);
    }
    EXPECT_THROW(app::cutPicture(source, {1500, 900, 101, 100}, box), images::ImageError);
}
