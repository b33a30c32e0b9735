#include "Sorvik/Views/Window/Logic/WindowPlacement.hpp"

#include <QStringList>

namespace sorvik::app {

QString placementText(const WindowPlacement& placement) {
    const QRect& r = placement.geometry;
    QString text = QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    if (placement.maximized) text += QStringLiteral(",maximized");
    return text;
}

std::optional<WindowPlacement> restoredPlacement(const QString& saved, const QList<QRect>& screens) {
    const QStringList parts = saved.split(QLatin1Char(','));
    if (parts.size() != 4 && !(parts.size() == 5 && parts[4] == QLatin1String("maximized"))) return std::nullopt;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok) return std::nullopt;
    }
    const QRect geometry(values[0], values[1], values[2], values[3]);
    if (geometry.width() <= 0 || geometry.height() <= 0) return std::nullopt;
    // The strip along the top, where the title bar is: enough of it on one screen to grab the window.
    const QRect top(geometry.x(), geometry.y(), geometry.width(), 40);
    for (const QRect& screen : screens) {
        const QRect shown = screen.intersected(top);
        if (shown.width() >= std::min(160, geometry.width()) && shown.height() >= 20)
            return WindowPlacement{geometry, parts.size() == 5};
    }
    return std::nullopt;
}

}  // namespace sorvik::app
