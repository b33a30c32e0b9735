#pragma once
// Where the main window was, kept across launches as text. Pure.
#include <QList>
#include <QRect>
#include <QString>
#include <optional>

namespace sorvik::app {

struct WindowPlacement {
    /// The window's normal (not maximised) geometry, without the frame.
    QRect geometry;
    bool maximized = false;
    friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};

/// "x,y,width,height" and ",maximized" when it was.
QString placementText(const WindowPlacement& placement);

/// The saved placement, when it reads well and a screen of `screens` (their available areas) still
/// shows its top edge well enough to grab it; else none, and the window opens where and as large
/// as it does the first time.
std::optional<WindowPlacement> restoredPlacement(const QString& saved, const QList<QRect>& screens);

}  // namespace sorvik::app
