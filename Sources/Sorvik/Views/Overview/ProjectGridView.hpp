#pragma once
// The grid of project cards: a list view in grid mode over the card model, painted by the card
// delegate, inside a host that sizes it to its rows so the page scrolls as one. Only the cards in
// view are painted.
#include <functional>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/Overview/Logic/OverviewLogic.hpp"
#include "Sorvik/Views/Kit/PaintedListView.hpp"

namespace sorvik::app {

class ProjectCardDelegate;
class ProjectCardModel;
class ThumbnailLoader;

class ProjectGridView : public PaintedListView {
    Q_OBJECT
public:
    ProjectGridView(AppStore& store, ProjectCardModel& model, ThumbnailLoader& loader, QWidget* parent = nullptr);
    ProjectCardDelegate& cardDelegate() const { return *delegate_; }
    /// The card's own rectangle in a cell (without the spacing after it), in viewport coordinates.
    QRect cardRect(const QModelIndex& index) const;
    /// The card under a viewport position, or an invalid index in the gaps.
    QModelIndex cardAt(const QPoint& position) const;
    /// Called with a rectangle (in this view's coordinates) that should be scrolled into view.
    void setRevealer(std::function<void(const QRect&)> reveal) { reveal_ = std::move(reveal); }

protected:
    int partAt(const QPoint& point, QModelIndex* index) const override;
    bool isClickable(int part) const override { return part != noPart; }
    void activate(const QModelIndex& index, int part) override;
    void open(const QModelIndex& index) override;
    void popUpMenu(const QModelIndex& index, const QPoint& globalPoint) override;
    QPoint menuAnchor(const QModelIndex& index) const override;
    QString toolTipAt(const QPoint&) const override { return {}; }
    void wheelEvent(QWheelEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    AppStore& store_;
    ProjectCardModel& model_;
    ProjectCardDelegate* delegate_;
    std::function<void(const QRect&)> reveal_;
};

/// Sizes the grid to the page: columns from the width, height from the rows.
class ProjectGridHost : public QWidget {
    Q_OBJECT
public:
    ProjectGridHost(AppStore& store, ProjectCardModel& model, ThumbnailLoader& loader, QWidget* parent = nullptr);
    ProjectGridView* view() const { return view_; }
    const GridLayout& layout() const { return layout_; }
    /// Lays the grid out again for the current width and row count.
    void relayout();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ProjectCardModel& model_;
    ProjectGridView* view_;
    GridLayout layout_;
};

}  // namespace sorvik::app
