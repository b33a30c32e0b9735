#pragma once
// Pictures of the detail and crop sheets, made on a worker: decoded through the core exactly as the
// export decodes, the crop window cut with the export's own crop, and converted to QImage there.
#include <QImage>
#include <QSize>
#include <filesystem>
#include <optional>

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

}  // namespace sorvik::app
