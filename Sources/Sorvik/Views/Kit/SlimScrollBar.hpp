#pragma once
// A quiet vertical scroll indicator for lists and pages: a thin rounded handle on a clear track,
// no arrow buttons, in the text colour of the current appearance.
class QScrollArea;
class QScrollBar;
class QWidget;

namespace sorvik::app {

/// How wide a slim vertical bar is.
inline constexpr int kSlimBarWidth = 11;

/// Styles the bar and keeps it following the appearance.
void makeSlim(QScrollBar* bar);

/// A frameless page that scrolls vertically with the slim bar, and its opaque content widget (an
/// opaque page scrolls by moving what is drawn already). The caller lays out the page and then
/// hands it to the area with `setWidget`.
struct ScrollPage {
    QScrollArea* area;
    QWidget* page;
};
ScrollPage makeScrollPage(QWidget* parent);

}  // namespace sorvik::app
