#include "Sorvik/Views/Kit/PaintedListView.hpp"

#include <QFocusEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>

namespace sorvik::app {

PaintedListView::PaintedListView(QWidget* parent) : QListView(parent) {
    setUniformItemSizes(true);
    setResizeMode(QListView::Adjust);
    setSpacing(0);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(false);
    setAcceptDrops(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(24);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
}

void PaintedListView::setModel(QAbstractItemModel* model) {
    QListView::setModel(model);
    if (!model) return;
    // Entries that move under the pointer are no longer the hovered ones; a list in a page follows
    // its row count.
    const auto changed = [this] {
        setHovered({}, noPart);
        if (page_) fitToContent();
    };
    connect(model, &QAbstractItemModel::modelReset, this, changed);
    connect(model, &QAbstractItemModel::rowsInserted, this, changed);
    connect(model, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(model, &QAbstractItemModel::layoutChanged, this, [this] { setHovered({}, noPart); });
}

void PaintedListView::placeInPage(QScrollArea* page) {
    page_ = page;
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    fitToContent();
}

QScrollArea* PaintedListView::page() const { return page_.data(); }

int PaintedListView::contentHeight() const {
    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    if (rows == 0) return 0;
    return static_cast<int>(std::min<long long>(QWIDGETSIZE_MAX, 1LL * rows * sizeHintForRow(0)));
}

void PaintedListView::fitToContent() {
    fittedWidth_ = width();
    const int height = contentHeight();
    if (minimumHeight() != height || maximumHeight() != height) setFixedHeight(height);
}

void PaintedListView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    if (page_ && width() != fittedWidth_) fitToContent();
}

void PaintedListView::wheelEvent(QWheelEvent* event) {
    if (page_) {
        event->ignore();  // the page scrolls
        return;
    }
    QListView::wheelEvent(event);
}

void PaintedListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListView::currentChanged(current, previous);
    if (!page_ || !page_->widget() || !current.isValid() || !hasFocus()) return;
    const QRect rect = visualRect(current);
    const QPoint center = viewport()->mapTo(page_->widget(), rect.center());
    page_->ensureVisible(center.x(), center.y(), rect.width() / 2 + 8, rect.height() / 2 + 8);
}

QModelIndex PaintedListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    if (!page_ || (action != MovePageUp && action != MovePageDown)) return QListView::moveCursor(action, modifiers);
    // A page of the scrolling page, not of this list (which is as tall as its entries).
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return QListView::moveCursor(action, modifiers);
    const int step = page_->viewport()->height() * (action == MovePageDown ? 1 : -1);
    const QPoint target = visualRect(current).center() + QPoint(0, step);
    const QModelIndex found = indexAt(QPoint(target.x(), std::clamp(target.y(), 0, viewport()->height() - 1)));
    if (found.isValid()) return found;
    return QListView::moveCursor(action == MovePageDown ? MoveEnd : MoveHome, modifiers);
}

void PaintedListView::setHovered(const QModelIndex& index, int part) {
    if (QPersistentModelIndex(index) == hovered_ && part == hoveredPart_) return;
    const QModelIndex before = hovered_;
    hovered_ = index;
    hoveredPart_ = part;
    viewport()->setCursor(isClickable(part) ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (before.isValid()) viewport()->update(visualRect(before));
    if (index.isValid()) viewport()->update(visualRect(index));
}

void PaintedListView::mouseMoveEvent(QMouseEvent* event) {
    QModelIndex index;
    const int part = partAt(event->position().toPoint(), &index);
    setHovered(index, part);
    QListView::mouseMoveEvent(event);
}

void PaintedListView::leaveEvent(QEvent* event) {
    setHovered({}, noPart);
    QListView::leaveEvent(event);
}

void PaintedListView::focusInEvent(QFocusEvent* event) {
    keyboardInUse_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QListView::focusInEvent(event);
}

void PaintedListView::mousePressEvent(QMouseEvent* event) {
    keyboardInUse_ = false;
    QModelIndex index;
    pressedPart_ = partAt(event->position().toPoint(), &index);
    pressed_ = index;
    QListView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && index.isValid() && actsOnPress(pressedPart_)) {
        pressed_ = QPersistentModelIndex();
        activate(index, pressedPart_);
    }
}

void PaintedListView::mouseReleaseEvent(QMouseEvent* event) {
    QModelIndex index;
    const int part = partAt(event->position().toPoint(), &index);
    QListView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !index.isValid() || index != pressed_ || part != pressedPart_) return;
    pressed_ = QPersistentModelIndex();
    activate(index, part);
}

void PaintedListView::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click is two clicks on a part; entries have no editor.
    mousePressEvent(event);
}

void PaintedListView::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard) {
        const QModelIndex index = currentIndex();
        if (index.isValid()) popUpMenu(index, viewport()->mapToGlobal(menuAnchor(index)));
        return;
    }
    QModelIndex index;
    if (partAt(viewport()->mapFromGlobal(event->globalPos()), &index) == noPart || !index.isValid()) return;
    popUpMenu(index, event->globalPos());
}

void PaintedListView::keyPressEvent(QKeyEvent* event) {
    if (!keyboardInUse_) {
        keyboardInUse_ = true;
        viewport()->update();
    }
    const QModelIndex index = currentIndex();
    if (index.isValid() &&
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space)) {
        open(index);
        return;
    }
    QListView::keyPressEvent(event);
}

bool PaintedListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = toolTipAt(help->pos());
        if (tip.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), tip, viewport());
        }
        return true;
    }
    return QListView::viewportEvent(event);
}

}  // namespace sorvik::app
