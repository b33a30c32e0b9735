#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

constexpr QSizeF glyphSize(84, 106);
constexpr qreal glyphPadding = 14;
constexpr qreal glyphSpacing = 7;
constexpr qreal capsuleHeight = 3;
constexpr qreal shadowSigma = 3;
constexpr qreal shadowOffset = 2;
constexpr qreal shadowMargin = 3 * shadowSigma;

/// Blurs an 8-bit channel in place with three box passes each way, close to a Gaussian of sigma.
void blur(std::vector<float>& values, int width, int height, qreal sigma) {
    if (sigma <= 0) return;
    // Box widths whose three passes give the variance of the Gaussian.
    const double ideal = std::sqrt(12 * sigma * sigma / 3 + 1);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0) --lower;
    const double m = std::round((12 * sigma * sigma - 3 * lower * lower - 12 * lower - 9) / (-4.0 * lower - 4));
    std::vector<float> line;
    const auto pass = [&](int count, int length, auto at, int radius) {
        for (int i = 0; i < count; ++i) {
            line.assign(length, 0);
            for (int j = 0; j < length; ++j) line[j] = at(i, j);
            double sum = 0;
            for (int j = -radius - 1; j < radius; ++j) sum += j >= 0 && j < length ? line[j] : 0;
            for (int j = 0; j < length; ++j) {
                const int in = j + radius, out = j - radius - 1;
                sum += (in < length ? line[in] : 0) - (out >= 0 ? line[out] : 0);
                at(i, j) = float(sum / (2 * radius + 1));
            }
        }
    };
    for (int k = 0; k < 3; ++k) {
        const int radius = ((k < m ? lower : lower + 2) - 1) / 2;
        pass(
            height, width, [&](int y, int x) -> float& { return values[std::size_t(y) * width + x]; }, radius);
        pass(
            width, height, [&](int x, int y) -> float& { return values[std::size_t(y) * width + x]; }, radius);
    }
}

/// Whether a point lies inside the rounded rectangle.
bool insideRounded(QPointF point, const QRectF& rect, qreal radius) {
    if (!rect.contains(point)) return false;
    const qreal dx = std::max({rect.left() + radius - point.x(), point.x() - (rect.right() - radius), 0.0});
    const qreal dy = std::max({rect.top() + radius - point.y(), point.y() - (rect.bottom() - radius), 0.0});
    return dx * dx + dy * dy <= radius * radius;
}

/// The sheet's soft shadow (black at 8 %) around a sheet placed at (shadowMargin, shadowMargin),
/// made once per pixel ratio. Computed here rather than painted, since the blur follows anyway.
const QImage& glyphShadow(qreal ratio) {
    static std::map<int, QImage> shadows;
    QImage& shadow = shadows[int(std::lround(ratio * 100))];
    if (!shadow.isNull()) return shadow;
    const QSizeF logical = glyphSize + QSizeF(2 * shadowMargin, 2 * shadowMargin);
    const QSize pixels = (logical * ratio).toSize();
    const QRectF sheet(QPointF(shadowMargin, shadowMargin), glyphSize);
    std::vector<float> alpha(std::size_t(pixels.width()) * pixels.height());
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            alpha[std::size_t(y) * pixels.width() + x] =
                insideRounded(QPointF((x + 0.5) / ratio, (y + 0.5) / ratio), sheet, 5) ? 255.f : 0.f;
    blur(alpha, pixels.width(), pixels.height(), shadowSigma * ratio);
    shadow = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < pixels.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(shadow.scanLine(y));
        for (int x = 0; x < pixels.width(); ++x)
            row[x] =
                qRgba(0, 0, 0, std::clamp(int(std::lround(alpha[std::size_t(y) * pixels.width() + x] * 0.08)), 0, 255));
    }
    shadow.setDevicePixelRatio(ratio);
    return shadow;
}

/// The label in at most two lines of the content's width, broken anywhere, the second elided.
QStringList glyphLabelLines(const QString& label, const QFontMetricsF& metrics, qreal width) {
    if (label.isEmpty()) return {};
    if (metrics.horizontalAdvance(label) <= width) return {label};
    qsizetype fits = 1;
    while (fits < label.size() && metrics.horizontalAdvance(label.left(fits + 1)) <= width) ++fits;
    return {label.left(fits), metrics.elidedText(label.mid(fits), Qt::ElideRight, width)};
}

}  // namespace

void paintPaperGlyph(QPainter& painter, const QRectF& rect, const QString& label) {
    const QPalette palette = QApplication::palette();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(rect.center());
    painter.rotate(-3);
    const QRectF sheet(QPointF(-glyphSize.width() / 2, -glyphSize.height() / 2), glyphSize);
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    painter.drawImage(QPointF(sheet.left() - shadowMargin, sheet.top() - shadowMargin + shadowOffset),
                      glyphShadow(ratio));
    QPainterPath path;
    path.addRoundedRect(sheet, corner::chip, corner::chip);
    painter.fillPath(path, Theme::surface(palette));

    const QColor secondary = Theme::secondaryText(palette);
    const QRectF content = sheet.adjusted(glyphPadding, glyphPadding, -glyphPadding, -glyphPadding);
    const qreal widths[] = {24, content.width(), content.width(), 30};
    const qreal opacities[] = {0.3, 0.2, 0.2, 0.2};
    qreal y = content.top();
    for (int i = 0; i < 4; ++i) {
        QPainterPath capsule;
        capsule.addRoundedRect(QRectF(content.left(), y, widths[i], capsuleHeight), capsuleHeight / 2,
                               capsuleHeight / 2);
        painter.fillPath(capsule, Theme::withAlpha(secondary, opacities[i]));
        y += capsuleHeight + glyphSpacing;
    }
    const QFont font = Theme::font(type::headline, QFont::DemiBold);
    const QFontMetricsF metrics(font);
    const QStringList lines = glyphLabelLines(label, metrics, content.width());
    painter.setPen(secondary);
    painter.setFont(font);
    qreal baseline = content.bottom() - metrics.descent() - (lines.size() - 1) * metrics.lineSpacing();
    for (const QString& line : lines) {
        painter.drawText(QPointF(content.left(), baseline), line);
        baseline += metrics.lineSpacing();
    }
    painter.restore();
}

void paintFileThumbnail(QPainter& painter, const QRectF& rect, const DeliveryFile& file,
                        const std::optional<std::filesystem::path>& location, ThumbnailLoader& loader) {
    painter.save();
    painter.setClipRect(rect);
    painter.fillRect(rect, Theme::primaryAt(QApplication::palette(), 0.025));
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QImage image = loader.picture(file, location, (rect.size() * ratio).toSize());
    if (!image.isNull()) {
        const QSizeF scaled = QSizeF(image.size()).scaled(rect.size(), Qt::KeepAspectRatioByExpanding);
        const QRectF target(rect.center().x() - scaled.width() / 2, rect.center().y() - scaled.height() / 2,
                            scaled.width(), scaled.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image);
    } else {
        paintPaperGlyph(painter, rect, paperGlyphLabel(file));
    }
    painter.restore();
}

FileThumbnail::FileThumbnail(ThumbnailLoader& loader, QWidget* parent) : QWidget(parent), loader_(loader) {
    connect(&loader_, &ThumbnailLoader::pictureReady, this, [this](const QString& key) {
        if (key == key_) update();
    });
}

void FileThumbnail::setFile(const DeliveryFile& file, const std::optional<std::filesystem::path>& location) {
    key_ = QString::fromStdString(thumbnailLoadKey(file));
    file_ = file;
    location_ = location;
    update();
}

void FileThumbnail::paintEvent(QPaintEvent*) {
    if (!file_) return;
    QPainter painter(this);
    paintFileThumbnail(painter, QRectF(rect()), *file_, location_, loader_);
}

}  // namespace sorvik::app
