#include "Sorvik/Views/Overview/ProjectGridView.hpp"

#include <QMenu>
#include <QWheelEvent>
#include <QtMath>

#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"
#include "Sorvik/Views/Overview/ProjectCardView.hpp"
#include "Sorvik/Views/Overview/Logic/ProjectCardModel.hpp"

namespace sorvik::app {

ProjectGridView::ProjectGridView(AppStore& store, ProjectCardModel& model, ThumbnailLoader& loader, QWidget* parent)
    : PaintedListView(parent), store_(store), model_(model) {
    delegate_ = new ProjectCardDelegate(model_, loader, this);
    setModel(&model_);
    setItemDelegate(delegate_);
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    // A picture that arrives repaints the cards in view; the rest of the grid is never painted.
    connect(&loader, &ThumbnailLoader::pictureReady, viewport(), qOverload<>(&QWidget::update));
}

QRect ProjectGridView::cardRect(const QModelIndex& index) const {
    const ProjectCard* card = model_.card(index);
    if (!card) return {};
    const QRect cell = visualRect(index);
    const qreal room = projectCardHeight(true);
    const qreal height = projectCardHeight(card->picture.has_value());
    return QRectF(cell.left(), cell.top() + (room - height) / 2, cell.width() - kGridColumnSpacing, height).toRect();
}

QModelIndex ProjectGridView::cardAt(const QPoint& position) const {
    const QModelIndex index = indexAt(position);
    return cardRect(index).contains(position) ? index : QModelIndex();
}

int ProjectGridView::partAt(const QPoint& point, QModelIndex* index) const {
    const QModelIndex card = cardAt(point);
    if (!card.isValid()) return noPart;
    if (index) *index = card;
    return 1;
}

void ProjectGridView::activate(const QModelIndex& index, int) { open(index); }

void ProjectGridView::open(const QModelIndex& index) {
    if (const std::optional<UUID> id = model_.projectID(index)) store_.select(*id);
}

void ProjectGridView::popUpMenu(const QModelIndex& index, const QPoint& globalPoint) {
    const std::optional<UUID> id = model_.projectID(index);
    if (!id) return;
    QMenu* menu = projectCardMenu(store_, *id, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPoint);
}

QPoint ProjectGridView::menuAnchor(const QModelIndex& index) const { return cardRect(index).center(); }

void ProjectGridView::wheelEvent(QWheelEvent* event) {
    // The grid never scrolls itself: the page around it does.
    event->ignore();
}

void ProjectGridView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListView::currentChanged(current, previous);
    if (current.isValid() && reveal_ && hasFocus()) reveal_(visualRect(current).translated(viewport()->pos()));
}

// ProjectGridHost ------------------------------------------------------------------------------------------

ProjectGridHost::ProjectGridHost(AppStore& store, ProjectCardModel& model, ThumbnailLoader& loader, QWidget* parent)
    : QWidget(parent), model_(model) {
    view_ = new ProjectGridView(store, model_, loader, this);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&model_, &QAbstractItemModel::modelReset, this, &ProjectGridHost::relayout);
    connect(&model_, &QAbstractItemModel::rowsInserted, this, &ProjectGridHost::relayout);
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, &ProjectGridHost::relayout);
}

void ProjectGridHost::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void ProjectGridHost::relayout() {
    layout_ = gridLayout(width());
    view_->cardDelegate().setCardWidth(layout_.cellWidth);
    const QSize cell = view_->cardDelegate().cellSize();
    if (view_->gridSize() != cell) view_->setGridSize(cell);
    const std::size_t rows = gridRows(static_cast<std::size_t>(model_.rowCount()), layout_.columns);
    const int height = std::max(0, static_cast<int>(rows) * cell.height() - qRound(kGridRowSpacing));
    // The view is one column spacing (and a pixel, as the list view wraps a row that exactly
    // fills it) wider than the cards so the last column fits; that spacing lies past this host's
    // edge and is clipped away.
    view_->setGeometry(qFloor(layout_.leading), 0, cell.width() * layout_.columns + 1,
                       height + qRound(kGridRowSpacing));
    if (minimumHeight() != height || maximumHeight() != height) setFixedHeight(height);
}

}  // namespace sorvik::app
