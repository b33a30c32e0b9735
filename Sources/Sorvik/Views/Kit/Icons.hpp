#pragma once
// The app's bundled symbols, named like the system symbols the views were designed with and drawn
// in any colour. Rendered from SVG resources, never from the installed icon theme.
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QPainter;
class QRectF;

namespace sorvik::app::Icons {

/// The symbol in `color`, `size` logical pixels square, for a screen of `devicePixelRatio`.
/// An unknown name gives a transparent pixmap.
QPixmap pixmap(const QString& name, const QColor& color, qreal size, qreal devicePixelRatio = 1.0);

/// Draws the symbol centred in `rect` (square, the smaller side) in `color`.
void paint(QPainter& painter, const QString& name, const QRectF& rect, const QColor& color);

/// An icon of the symbol in `color` (normal) and a faded colour (disabled).
QIcon icon(const QString& name, const QColor& color);

/// Whether the bundle has the symbol.
bool has(const QString& name);

}  // namespace sorvik::app::Icons
