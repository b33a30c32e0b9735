#pragma once
// The cover crop sheet's values: the first crop, the ratio choices, the two 0…1 controls, the
// preview window and the buttons. Pure.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik::app {

/// A choice of the ratio picker: its label (shown as it stands) and width divided by height.
struct CoverRatio {
    std::string_view label;
    double ratio;
};
inline constexpr std::array<CoverRatio, 4> coverRatios{{
    {"3:4", 0.75},
    {"9:16", 0.5625},
    {"16:9", 16.0 / 9.0},
    {"1:1", 1.0},
}};

/// The crop the sheet opens with: the file's own crop unchanged; else the cover ratio of the
/// selected project's rules (3:4 without a selection or a rule ratio), centred.
CropSpec seedCrop(const DeliveryFile& file, const Delivery* selected);

/// The choice whose ratio equals `ratio` exactly; none for any other ratio (the picker then
/// marks nothing until a choice is made).
std::optional<std::size_t> coverRatioIndex(double ratio);

/// The caption over the preview, as a Chinese key and its argument: "导出预览 · {0}" with the
/// ratio's name.
std::string previewCaptionArgument(double ratio);

/// The slider's integer positions over 0…1.
inline constexpr int sliderSteps = 10000;
/// Where a value shows on a slider: rounded, held to the slider's range. Showing a value never
/// changes it.
int sliderPosition(double value);
/// The value a person chose by moving a slider to `position`.
double sliderValue(int position);

/// The exported window of the crop on an image of this size; none when the core refuses it.
std::optional<DeliveryExporter::CropRect> previewWindow(std::int64_t width, std::int64_t height, const CropSpec& spec);

/// The crop after the window was dragged so that its origin would lie at (left, top) pixels of an
/// image of this size: the position along each axis with room to move, held to 0…1; an axis
/// without room keeps its value. Unchanged when the crop gives no window.
CropSpec draggedCrop(const CropSpec& spec, std::int64_t width, std::int64_t height, double left, double top);

struct CropControls {
    bool showReset = false;  // "恢复原图": only for a file that has a crop
    bool resetEnabled = false;
    bool useEnabled = false;  // "使用此构图": once a preview exists
    friend bool operator==(const CropControls&, const CropControls&) = default;
};
CropControls cropControls(const DeliveryFile& file, bool hasPreview, bool busy, bool recovery);

}  // namespace sorvik::app
