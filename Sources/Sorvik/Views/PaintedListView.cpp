#include "Sorvik/Views/PaintedListView.hpp"

#include <QFocusEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>

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
    if (model) connect(model, &QAbstractItemModel::modelReset, this, [this] { setHovered({}, noPart); });
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
