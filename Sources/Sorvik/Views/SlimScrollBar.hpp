#pragma once
// A quiet vertical scroll indicator for lists and pages: a thin rounded handle on a clear track,
// no arrow buttons, in the text colour of the current appearance.
class QScrollBar;

namespace sorvik::app {

/// Styles the bar and keeps it following the appearance.
void makeSlim(QScrollBar* bar);

}  // namespace sorvik::app
