#pragma once
// A project on the overview: its picture, name, counts, role row and badge, painted by the grid's
// delegate or, when one project matches, by a single card widget. No widget per card.
#include <QStyledItemDelegate>
#include <QWidget>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/Overview/Logic/ProjectCardModel.hpp"

class QMenu;

namespace sorvik::app {

class ThumbnailLoader;

/// The card's height with a picture (220 high) or the folder symbol's area (180 high). In the grid
/// every card is as high as one with a picture.
qreal projectCardHeight(bool hasPicture);

/// Paints the card into `rect` (its full width, `projectCardHeight` high).
void paintProjectCard(QPainter& painter, const QRectF& rect, const ProjectCard& card, ThumbnailLoader& loader);

/// The card's context menu: copy the AI reference, delete the project. Built when it opens; its
/// actions carry the project's id and check the store again when they fire.
QMenu* projectCardMenu(AppStore& store, const UUID& project, QWidget* parent);

/// Paints the cards of the grid: each cell is a card and the spacing after it.
class ProjectCardDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    ProjectCardDelegate(const ProjectCardModel& model, ThumbnailLoader& loader, QObject* parent = nullptr);
    /// The cell: the card's width plus the column spacing, the tallest card plus the row spacing.
    void setCardWidth(qreal width);
    QSize cellSize() const;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const ProjectCardModel& model_;
    ThumbnailLoader& loader_;
    qreal cardWidth_ = 290;
};

/// The one card shown beside the explainer strip.
class ProjectCardView : public QWidget {
    Q_OBJECT
public:
    ProjectCardView(AppStore& store, const ProjectCardModel& model, ThumbnailLoader& loader, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return false; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    AppStore& store_;
    const ProjectCardModel& model_;
    ThumbnailLoader& loader_;
};

}  // namespace sorvik::app
