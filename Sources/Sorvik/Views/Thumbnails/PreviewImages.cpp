#include "Sorvik/Views/Thumbnails/PreviewImages.hpp"

#include <cstring>

namespace sorvik::app {

QImage toQImage(const images::Image& image) {
    const images::Pixels pixels = images::pixels(image);
    QImage::Format format = QImage::Format_Invalid;
    switch (pixels.bands) {
        case 1: format = QImage::Format_Grayscale8; break;
        case 3: format = QImage::Format_RGB888; break;
        case 4: format = QImage::Format_RGBA8888; break;
        default: throw images::ImageError("unexpected number of bands");
    }
    QImage out(pixels.width, pixels.height, format);
    if (out.isNull()) throw images::ImageError("image too large to show");
    const auto stride = static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.bands);
    for (int row = 0; row < pixels.height; ++row) {
        std::memcpy(out.scanLine(row), pixels.data.data() + stride * static_cast<std::size_t>(row), stride);
    }
    return out;
}

QImage displayImage(const QImage& picture, QSize box) {
    if (picture.isNull()) return {};
    QImage fast =
        picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (box.isEmpty()) return fast;
    const QSize fitted = picture.size().scaled(box, Qt::KeepAspectRatio);
    if (fitted.width() >= picture.width() || fitted.height() >= picture.height()) return fast;
    return fast.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

Picture detailPicture(const std::filesystem::path& path, const std::optional<CropSpec>& crop, int maxPixel, QSize box) {
    images::Image decoded = DeliveryExporter::orientedImage(path, maxPixel);
    if (crop) {
        try {
            const auto window = DeliveryExporter::cropRect(decoded.width(), decoded.height(), *crop);
            return cutPicture(decoded, window, box);
        } catch (const SorvikError&) {
            // An invalid crop previews the whole image.
        } catch (const images::ImageError&) {
        }
    }
    Picture out;
    out.natural = toQImage(decoded);
    out.display = displayImage(out.natural, box);
    return out;
}

Picture cutPicture(const images::Image& original, const DeliveryExporter::CropRect& window, QSize box) {
    const images::Image cut = images::crop(original, static_cast<int>(window.x), static_cast<int>(window.y),
                                           static_cast<int>(window.width), static_cast<int>(window.height));
    Picture out;
    out.natural = toQImage(cut);
    out.display = displayImage(out.natural, box);
    return out;
}

}  // namespace sorvik::app
