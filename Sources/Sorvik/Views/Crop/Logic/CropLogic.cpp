#include "Sorvik/Views/Crop/Logic/CropLogic.hpp"

#include <algorithm>
#include <cmath>

#include "SorvikCore/CheckEngine.hpp"

namespace sorvik::app {

CropSpec seedCrop(const DeliveryFile& file, const Delivery* selected) {
    if (file.crop) return *file.crop;
    double ratio = 0.75;
    if (selected && selected->templ.coverRatio) ratio = *selected->templ.coverRatio;
    return CropSpec{ratio, 0.5, 0.5};
}

std::optional<std::size_t> coverRatioIndex(double ratio) {
    for (std::size_t i = 0; i < coverRatios.size(); ++i) {
        if (coverRatios[i].ratio == ratio) return i;
    }
    return std::nullopt;
}

std::string previewCaptionArgument(double ratio) { return CheckEngine::ratioLabel(ratio); }

int sliderPosition(double value) {
    if (!std::isfinite(value)) return std::isnan(value) ? 0 : (value > 0 ? sliderSteps : 0);
    return static_cast<int>(std::lround(std::clamp(value, 0.0, 1.0) * sliderSteps));
}

double sliderValue(int position) { return static_cast<double>(std::clamp(position, 0, sliderSteps)) / sliderSteps; }

std::optional<DeliveryExporter::CropRect> previewWindow(std::int64_t width, std::int64_t height, const CropSpec& spec) {
    try {
        return DeliveryExporter::cropRect(width, height, spec);
    } catch (const SorvikError&) {
        return std::nullopt;
    }
}

CropSpec draggedCrop(const CropSpec& spec, std::int64_t width, std::int64_t height, double left, double top) {
    const auto window = previewWindow(width, height, spec);
    if (!window) return spec;
    CropSpec out = spec;
    const double roomX = static_cast<double>(width) - window->width;
    const double roomY = static_cast<double>(height) - window->height;
    if (roomX > 0 && std::isfinite(left)) out.x = std::clamp(left / roomX, 0.0, 1.0);
    if (roomY > 0 && std::isfinite(top)) out.y = std::clamp(top / roomY, 0.0, 1.0);
    return out;
}

CropControls cropControls(const DeliveryFile& file, bool hasPreview, bool busy, bool recovery) {
    CropControls c;
    const bool canWrite = !busy && !recovery;
    c.showReset = file.crop.has_value();
    c.resetEnabled = canWrite;
    c.useEnabled = hasPreview && canWrite;
    return c;
}

}  // namespace sorvik::app
