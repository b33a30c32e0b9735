#pragma once
// Windows and sheets on screens smaller than they were drawn for: the room a window has on its
// screen, and how a sheet's content is framed to fit it.
#include <QMargins>
#include <QRect>
#include <QSize>

namespace sorvik::app {

/// The room a window may take on a screen whose free area is `available` (the screen less its
/// panels) once the window manager's `frame` is around it.
QSize windowRoom(const QRect& available, const QMargins& frame);

/// A frame that shows content of size `content` in `room`: the content's own size where it fits
/// (nothing scrolls); else cut to the room, scrolling along the axes that are cut, with
/// `barExtent` added across each for its scroll bar while that still fits.
struct FittedFrame {
    QSize size;
    bool scrolls = false;
    friend bool operator==(const FittedFrame&, const FittedFrame&) = default;
};
FittedFrame fitIntoRoom(const QSize& content, const QSize& room, int barExtent);

}  // namespace sorvik::app
