#pragma once
// The inbox: the indexed assets that wait for a project, one row each with a thumbnail, the name,
// the matcher's reason and the original's path, and a menu that assigns the asset to a project or
// makes a new project from it. Rows are painted by a delegate over a list model.
#include <QStyledItemDelegate>
#include <QWidget>
#include <memory>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/Inbox/Logic/InboxModel.hpp"
#include "Sorvik/Views/Kit/PaintedListView.hpp"
#include "Sorvik/Views/Kit/StaleUntilShown.hpp"

class QMenu;
class QScrollArea;

namespace sorvik::app {

class ThumbnailLoader;
class ToneLabel;

class InboxListView : public PaintedListView {
    Q_OBJECT
public:
    enum class Zone { none = noPart, row, thumbnail, menu };

    InboxListView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent = nullptr);
    InboxModel* rows() const { return model_; }
    Zone zoneAt(const QPoint& point, QModelIndex* index = nullptr) const;
    InboxRowGeometry rowGeometry(const QModelIndex& index) const;
    /// The assign menu of an asset, built from the store now.
    std::unique_ptr<QMenu> makeMenu(const UUID& assetID);
    Zone hoveredZone() const { return static_cast<Zone>(hoveredPart()); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    int partAt(const QPoint& point, QModelIndex* index) const override;
    bool isClickable(int part) const override;
    bool actsOnPress(int part) const override;
    void activate(const QModelIndex& index, int part) override;
    void open(const QModelIndex& index) override;
    void popUpMenu(const QModelIndex& index, const QPoint& globalPoint) override;
    QPoint menuAnchor(const QModelIndex& index) const override;
    QString toolTipAt(const QPoint& point) const override;

private:
    AppStore& store_;
    InboxModel* model_;
};

class InboxRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    InboxRowDelegate(InboxListView& view, ThumbnailLoader& thumbnails, AppStore& store);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    InboxListView& view_;
    ThumbnailLoader& thumbnails_;
    AppStore& store_;
};

class InboxView : public QWidget {
    Q_OBJECT
public:
    InboxView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent = nullptr);

    // What is shown now (tests).
    InboxListView* list() const { return list_; }
    /// The scrolling page that holds the title, the explainer and the rows.
    QScrollArea* scrollArea() const { return scroll_; }
    bool showsEmptyState() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh(StoreChanges what);
    void retranslate();
    void rebuild();

    AppStore& store_;
    ToneLabel* title_;
    ToneLabel* explainer_;
    QScrollArea* scroll_;
    InboxListView* list_;
    QWidget* empty_;
    ToneLabel* emptyLabel_;
    StaleUntilShown rebuilds_{*this, [this] { rebuild(); }};
};

}  // namespace sorvik::app
