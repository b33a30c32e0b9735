// The crop sheet's values without widgets: the first crop, the ratio choice, the sliders, the
// preview window and dragging.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Sorvik/Views/Crop/Logic/CropLogic.hpp"

using namespace sorvik;
using namespace sorvik::app;
using DeliveryExporter::CropRect;

namespace {

DeliveryFile cover() {
    DeliveryFile f;
    f.id = UUID::make();
    f.name = "cover.jpg";
    f.role = FileRole::cover;
    return f;
}

Delivery withRatio(std::optional<double> ratio) {
    DeliveryTemplate rules = DeliveryTemplate::flexible();
    rules.coverRatio = ratio;
    return Delivery(UUID::make(), "P", {}, rules);
}

}  // namespace

TEST(CropSeed, StoredCropUnchangedElseTheRulesRatioCentred) {
    DeliveryFile f = cover();
    const Delivery portrait = withRatio(0.5625);
    EXPECT_EQ(seedCrop(f, &portrait), (CropSpec{0.5625, 0.5, 0.5}));
    const Delivery none = withRatio(std::nullopt);
    EXPECT_EQ(seedCrop(f, &none), (CropSpec{0.75, 0.5, 0.5}));
    EXPECT_EQ(seedCrop(f, nullptr), (CropSpec{0.75, 0.5, 0.5}));
    const Delivery odd = withRatio(0.8);
    EXPECT_EQ(seedCrop(f, &odd).ratio, 0.8);
    // A stored crop is used exactly, even outside the controls' range or the choices.
    f.crop = CropSpec{0.123456789, 1.7, -0.25};
    EXPECT_EQ(seedCrop(f, &portrait), *f.crop);
}

TEST(CropRatio, MarksOnlyAnExactChoice) {
    EXPECT_EQ(coverRatioIndex(0.75), 0u);
    EXPECT_EQ(coverRatioIndex(0.5625), 1u);
    EXPECT_EQ(coverRatioIndex(16.0 / 9.0), 2u);
    EXPECT_EQ(coverRatioIndex(1.0), 3u);
    EXPECT_EQ(coverRatioIndex(0.7500001), std::nullopt);
    EXPECT_EQ(coverRatioIndex(0.8), std::nullopt);
    EXPECT_EQ(previewCaptionArgument(0.75), "3:4");
    EXPECT_EQ(previewCaptionArgument(0.8), "0.80:1");
}

TEST(CropSliders, ShowingAValueNeverChangesIt) {
    EXPECT_EQ(sliderPosition(0), 0);
    EXPECT_EQ(sliderPosition(1), sliderSteps);
    EXPECT_EQ(sliderPosition(0.5), sliderSteps / 2);
    EXPECT_EQ(sliderPosition(1.7), sliderSteps);
    EXPECT_EQ(sliderPosition(-3), 0);
    EXPECT_EQ(sliderPosition(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(sliderPosition(std::numeric_limits<double>::infinity()), sliderSteps);
    EXPECT_EQ(sliderValue(0), 0.0);
    EXPECT_EQ(sliderValue(sliderSteps), 1.0);
    EXPECT_EQ(sliderValue(sliderSteps * 2), 1.0);
    for (int p : {0, 1, 1234, sliderSteps - 1, sliderSteps}) EXPECT_EQ(sliderPosition(sliderValue(p)), p);
}

TEST(CropWindow, IsTheCoresWindowOrNone) {
    EXPECT_EQ(previewWindow(1920, 1080, CropSpec{0.75, 0, 0.5}), (CropRect{0, 0, 810, 1080}));
    EXPECT_EQ(previewWindow(1920, 1080, CropSpec{0.75, 1, 0.5}), (CropRect{1110, 0, 810, 1080}));
    // A square original at 1:1 is the whole picture wherever the sliders are.
    for (double x : {0.0, 0.3, 1.0})
        EXPECT_EQ(previewWindow(500, 500, CropSpec{1.0, x, 1 - x}), (CropRect{0, 0, 500, 500}));
    EXPECT_EQ(previewWindow(100, 100, CropSpec{0, 0.5, 0.5}), std::nullopt);
    EXPECT_EQ(previewWindow(100, 100, CropSpec{0.75, std::nan(""), 0.5}), std::nullopt);
    EXPECT_EQ(previewWindow(0, 100, CropSpec{0.75, 0.5, 0.5}), std::nullopt);
}

TEST(CropDrag, MovesTheSameTwoValues) {
    const CropSpec start{0.75, 0.5, 0.5};
    // 1920 x 1080 at 3:4: the window is 810 wide, so it has 1110 pixels of room across, none down.
    CropSpec moved = draggedCrop(start, 1920, 1080, 555, 40);
    EXPECT_DOUBLE_EQ(moved.x, 0.5);
    EXPECT_EQ(moved.y, 0.5) << "no room down: the value stays";
    moved = draggedCrop(start, 1920, 1080, -50, 0);
    EXPECT_EQ(moved.x, 0.0);
    moved = draggedCrop(start, 1920, 1080, 5000, 0);
    EXPECT_EQ(moved.x, 1.0);
    EXPECT_EQ(moved.ratio, 0.75);
    const CropRect window = *previewWindow(1920, 1080, draggedCrop(start, 1920, 1080, 1110, 0));
    EXPECT_EQ(window.x, 1110);
    const CropSpec invalid{0, 0.2, 0.3};
    EXPECT_EQ(draggedCrop(invalid, 1920, 1080, 100, 100), invalid);
}

TEST(CropControls, ResetOnlyForAStoredCropAndUseOnceAPreviewExists) {
    DeliveryFile f = cover();
    CropControls c = cropControls(f, false, false, false);
    EXPECT_FALSE(c.showReset);
    EXPECT_FALSE(c.useEnabled);
    EXPECT_TRUE(cropControls(f, true, false, false).useEnabled);
    EXPECT_FALSE(cropControls(f, true, true, false).useEnabled);
    EXPECT_FALSE(cropControls(f, true, false, true).useEnabled);
    f.crop = CropSpec{0.75, 0.5, 0.5};
    c = cropControls(f, false, false, false);
    EXPECT_TRUE(c.showReset);
    EXPECT_TRUE(c.resetEnabled);
    EXPECT_FALSE(cropControls(f, false, true, false).resetEnabled);
    EXPECT_FALSE(cropControls(f, false, false, true).resetEnabled);
}
