#include "Sorvik/Views/Kit/Icons.hpp"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>
#include <memory>
#include <unordered_map>

// The resources are compiled into a static library: nothing else refers to them, so the linker
// would leave them out unless they are registered by name.
static bool registerResources() {
    Q_INIT_RESOURCE(sorvik);
    return true;
}
[[maybe_unused]] static const bool resourcesRegistered = registerResources();

namespace sorvik::app::Icons {

namespace {

QString resourcePath(const QString& name) { return QStringLiteral(":/sorvik/icons/%1.svg").arg(name); }

/// A renderer per symbol, made once (GUI thread only); null for an unknown name.
QSvgRenderer* renderer(const QString& name) {
    static std::unordered_map<QString, std::unique_ptr<QSvgRenderer>> renderers;
    const auto it = renderers.find(name);
    if (it != renderers.end()) return it->second.get();
    std::unique_ptr<QSvgRenderer> made;
    if (QFile::exists(resourcePath(name))) {
        made = std::make_unique<QSvgRenderer>(resourcePath(name));
        if (!made->isValid()) made.reset();
    }
    return renderers.emplace(name, std::move(made)).first->second.get();
}

/// Draws the symbol from its SVG and paints it over in one colour, with the device ratio.
class SymbolEngine : public QIconEngine {
public:
    SymbolEngine(QString name, QColor color) : name_(std::move(name)), color_(color) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        QColor color = color_;
        if (mode == QIcon::Disabled) color.setAlphaF(color.alphaF() * 0.35f);
        Icons::paint(*painter, name_, QRectF(rect), color);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        QColor color = color_;
        if (mode == QIcon::Disabled) color.setAlphaF(color.alphaF() * 0.35f);
        return Icons::pixmap(name_, color, std::min(size.width(), size.height()), scale);
    }
    QIconEngine* clone() const override { return new SymbolEngine(name_, color_); }

private:
    QString name_;
    QColor color_;
};

}  // namespace

bool has(const QString& name) { return renderer(name) != nullptr; }

QPixmap pixmap(const QString& name, const QColor& color, qreal size, qreal devicePixelRatio) {
    const int pixels = std::max(1, qRound(size * devicePixelRatio));
    const QString key = QStringLiteral("sorvik-symbol:%1:%2:%3").arg(name).arg(color.rgba(), 0, 16).arg(pixels);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) return cached;
    QPixmap out(pixels, pixels);
    out.fill(Qt::transparent);
    if (QSvgRenderer* svg = renderer(name)) {
        QPainter painter(&out);
        painter.setRenderHint(QPainter::Antialiasing);
        svg->render(&painter, QRectF(0, 0, pixels, pixels));
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(out.rect(), color);
    }
    out.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, out);
    return out;
}

void paint(QPainter& painter, const QString& name, const QRectF& rect, const QColor& color) {
    const qreal side = std::min(rect.width(), rect.height());
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap image = pixmap(name, color, side, ratio);
    const QRectF target(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    painter.drawPixmap(target, image, QRectF(0, 0, image.width(), image.height()));
}

QIcon icon(const QString& name, const QColor& color) { return QIcon(new SymbolEngine(name, color)); }

}  // namespace sorvik::app::Icons
