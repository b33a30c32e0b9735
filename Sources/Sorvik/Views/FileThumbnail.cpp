#include "Sorvik/Views/FileThumbnail.hpp"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Support/Theme.hpp"

namespace sorvik::app {

struct ThumbnailLoader::State {};

ThumbnailLoader::ThumbnailLoader(QObject* parent) : QObject(parent), state_(std::make_unique<State>()) {}

ThumbnailLoader::~ThumbnailLoader() = default;

QImage ThumbnailLoader::picture(const DeliveryFile&, const std::optional<std::filesystem::path>&, QSize) {
    return {};
}

void paintPaperGlyph(QPainter& painter, const QRectF& rect, const QString& label) {
    const QPalette palette = QApplication::palette();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect.center());
    painter.rotate(-3);
    const QRectF sheet(-42, -53, 84, 106);
    QPainterPath shadow;
    shadow.addRoundedRect(sheet.translated(0, 2), 5, 5);
    painter.fillPath(shadow, QColor(0, 0, 0, 20));
    QPainterPath path;
    path.addRoundedRect(sheet, 5, 5);
    painter.fillPath(path, Theme::surface(palette));
    const QColor secondary = Theme::secondaryText(palette);
    const qreal inner = sheet.width() - 28;
    const qreal widths[] = {24, inner, inner, 30};
    const qreal opacities[] = {0.3, 0.2, 0.2, 0.2};
    qreal y = sheet.top() + 14;
    for (int i = 0; i < 4; ++i) {
        QPainterPath capsule;
        capsule.addRoundedRect(QRectF(sheet.left() + 14, y, widths[i], 3), 1.5, 1.5);
        painter.fillPath(capsule, Theme::withAlpha(secondary, opacities[i]));
        y += 3 + 7;
    }
    painter.setPen(secondary);
    painter.setFont(Theme::font(15, QFont::DemiBold));
    painter.drawText(QRectF(sheet.left() + 14, sheet.top(), sheet.width() - 28, sheet.height() - 14),
                     Qt::AlignLeft | Qt::AlignBottom, label);
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
        paintPaperGlyph(painter, rect, qs(file.fileExtension()).toUpper());
    }
    painter.restore();
}

FileThumbnail::FileThumbnail(ThumbnailLoader& loader, QWidget* parent) : QWidget(parent), loader_(loader) {
    connect(&loader_, &ThumbnailLoader::pictureReady, this, [this] { update(); });
}

void FileThumbnail::setFile(const DeliveryFile& file, const std::optional<std::filesystem::path>& location) {
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
