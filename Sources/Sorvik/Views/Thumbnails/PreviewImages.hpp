#pragma once
// Pictures of the detail and crop sheets, made on a worker: decoded through the core exactly as the
// export decodes, the crop window cut with the export's own crop, and converted to QImage there.
#include <QImage>
#include <QSize>
#include <filesystem>
#include <optional>
#include <vector>

#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/Images.hpp"

namespace sorvik::app {

/// Longest side of the detail sheet's preview and of the crop editor's original.
inline constexpr int detailPreviewMaxPixel = 1800;
inline constexpr int cropEditorMaxPixel = 1600;

/// The image's pixels as a QImage of its own (grey, RGB or RGBA), copied row by row with the
/// source's stride. Throws images::ImageError.
QImage toQImage(const images::Image& image);

/// The picture in a format that draws fast, scaled down to fit `box` (aspect kept, never
/// enlarged); the picture itself when `box` is empty.
QImage displayImage(const QImage& picture, QSize box);

/// A picture and the version to draw.
struct Picture {
    QImage natural;  // at the decoded (or cut) pixel size
    QImage display;  // for drawing, fitted to the box it was made for
};

/// The detail sheet's preview: the image decoded with its orientation at `maxPixel`, with `crop`
/// applied when the core gives a window for it (an invalid crop shows the whole image). Throws the
/// core's error when the file gives no image.
Picture detailPicture(const std::filesystem::path& path, const std::optional<CropSpec>& crop, int maxPixel, QSize box);

/// The window cut out of an already decoded image with the export's crop. Throws
/// images::ImageError when the window does not lie inside the image.
Picture cutPicture(const images::Image& original, const DeliveryExporter::CropRect& window, QSize box);

/// An original kept for cutting one window after another: its pixels as decoded, and halvings
/// of it in a format that draws fast, so that each window is fitted from at most twice the size
/// it is drawn at, whatever its size in the original.
struct CutSource {
    QImage natural;              // as toQImage gives it
    std::vector<QImage> levels;  // levels[k]: about 1/2^k of `natural`, down to about `box`
};

/// The source for cutting windows of `natural` that are drawn at most `box` large.
CutSource cutSource(QImage natural, QSize box);

/// The window cut out of the source's original, pixel for pixel as the core cuts it, and fitted
/// to `box` from the smallest halving that still holds it at that size. Throws
/// images::ImageError when the window does not lie inside the original.
Picture cutPicture(const CutSource& source, const DeliveryExporter::CropRect& window, QSize box);

}  // namespace sorvik::app
