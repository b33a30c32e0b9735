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

namespace {

QImage::Format fastFormat(const QImage& picture) {
    return picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
}

}  // namespace

QImage displayImage(const QImage& picture, QSize box) {
    if (picture.isNull()) return {};
    QImage fast = picture.convertToFormat(fastFormat(picture));
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

CutSource cutSource(QImage natural, QSize box) {
    CutSource source;
    source.natural = std::move(natural);
    if (source.natural.isNull()) return source;
    source.levels.push_back(source.natural.convertToFormat(fastFormat(source.natural)));
    const QSize smallest = box.expandedTo(QSize(1, 1));
    for (;;) {
        const QImage& last = source.levels.back();
        const QSize half(last.width() / 2, last.height() / 2);
        if (half.width() < smallest.width() && half.height() < smallest.height()) break;
        if (half.width() < 1 || half.height() < 1) break;
        source.levels.push_back(last.scaled(half, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    return source;
}

Picture cutPicture(const CutSource& source, const DeliveryExporter::CropRect& window, QSize box) {
    const QRect cut(static_cast<int>(window.x), static_cast<int>(window.y), static_cast<int>(window.width),
                    static_cast<int>(window.height));
    if (source.natural.isNull() || cut.isEmpty() || !source.natural.rect().contains(cut))
        throw images::ImageError("crop window outside the image");
    Picture out;
    out.natural = source.natural.copy(cut);
    QSize fitted = cut.size();
    if (!box.isEmpty()) fitted = cut.size().scaled(box, Qt::KeepAspectRatio);
    if (fitted.width() >= cut.width() || fitted.height() >= cut.height()) fitted = cut.size();
    fitted = fitted.expandedTo(QSize(1, 1));
    // The smallest halving in which the window is still at least as large as it is drawn.
    const QImage* level = &source.levels.front();
    QRect inLevel = cut;
    for (const QImage& candidate : source.levels) {
        const double sx = double(candidate.width()) / source.natural.width();
        const double sy = double(candidate.height()) / source.natural.height();
        const QRect scaled =
            QRect(qRound(cut.x() * sx), qRound(cut.y() * sy), qRound(cut.width() * sx), qRound(cut.height() * sy))
                .intersected(candidate.rect());
        if (scaled.width() < fitted.width() || scaled.height() < fitted.height()) break;
        level = &candidate;
        inLevel = scaled;
    }
    const QImage part = level->copy(inLevel);
    out.display = part.size() == fitted ? part : part.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return out;
}

}  // namespace sorvik::app
