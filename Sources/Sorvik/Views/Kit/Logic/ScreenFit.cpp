#include "Sorvik/Views/Kit/Logic/ScreenFit.hpp"

#include <algorithm>

namespace sorvik::app {

QSize windowRoom(const QRect& available, const QMargins& frame) {
    return QSize(std::max(0, available.width() - frame.left() - frame.right()),
                 std::max(0, available.height() - frame.top() - frame.bottom()));
}

FittedFrame fitIntoRoom(const QSize& content, const QSize& room, int barExtent) {
    bool across = content.width() > room.width();  // scrolls sideways
    bool down = content.height() > room.height();
    // A bar for one axis can take the room the other axis had left.
    for (int pass = 0; pass < 2; ++pass) {
        across = across || content.width() + (down ? barExtent : 0) > room.width();
        down = down || content.height() + (across ? barExtent : 0) > room.height();
    }
    if (!across && !down) return {content, false};
    const QSize wanted(content.width() + (down ? barExtent : 0), content.height() + (across ? barExtent : 0));
    return {wanted.boundedTo(room), true};
}

}  // namespace sorvik::app
