#pragma once
// The frame of a window page: a scrolling page above what the view keeps under it, and the
// columns of blocks laid out on it with the page's margins.
class QScrollArea;
class QVBoxLayout;
class QWidget;

namespace sorvik::app {

/// The view's own layout (no margins, no spacing) and the scrolling page made for it. The view
/// fills the page, hands it to the area, then adds the area and what stays under it to `outer`.
struct ViewPage {
    QVBoxLayout* outer;
    QScrollArea* area;
    QWidget* page;
};
ViewPage makeViewPage(QWidget* view);

/// A column of blocks `gap` apart on `widget`: the page's margin left, right and on top, `bottom`
/// under the last block.
QVBoxLayout* makePageColumn(QWidget* widget, int gap, int bottom);

/// Blocks above a list that runs to the page's sides: `column` (on `top`) takes the blocks, `body`
/// the list and what stands in for it; `listBottom` under them.
struct BlocksOverList {
    QVBoxLayout* body;
    QWidget* top;
    QVBoxLayout* column;
};
BlocksOverList makeBlocksOverList(QWidget* page, int gap, int listBottom);

}  // namespace sorvik::app
