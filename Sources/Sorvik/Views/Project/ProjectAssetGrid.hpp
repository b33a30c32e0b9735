#pragma once
// The project page's grid of asset cards: a list view over the assets model with a painting
// delegate. A card's preview and name open the file sheet, its "…" opens the menu of file
// actions (built when opened; the actions carry identifiers and check the store again when they
// fire), and its folder line reveals the original.
#include <QStyledItemDelegate>
#include <memory>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/Kit/PaintedListView.hpp"
#include "Sorvik/Views/Project/Logic/ProjectAssetsModel.hpp"

class QMenu;
class QScrollArea;

namespace sorvik::app {

class ThumbnailLoader;

class AssetGridView : public PaintedListView {
    Q_OBJECT
public:
    /// The parts of a card that answer a click.
    enum class Zone { none = noPart, card, preview, name, menu, folder };

    AssetGridView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent = nullptr);

    ProjectAssetsModel* assets() const { return model_; }
    /// The card and its part under a point of the viewport.
    Zone zoneAt(const QPoint& point, QModelIndex* index = nullptr) const;
    /// Where the parts of a card lie in the viewport.
    AssetCardGeometry cardGeometry(const QModelIndex& index) const;
    /// The card's menu for a file of the project shown, built from the store now.
    std::unique_ptr<QMenu> makeMenu(const UUID& fileID);
    Zone hoveredZone() const { return static_cast<Zone>(hoveredPart()); }
    /// The column count of the current width (tests).
    int columnCount() const { return columns_.count; }
    /// Lays the cards out for a list scrolled by a page.
    void useInPage(QScrollArea* page) {
        placeInPage(page);
        relayout();
        fitToContent();
    }

protected:
    void resizeEvent(QResizeEvent* event) override;
    int partAt(const QPoint& point, QModelIndex* index) const override;
    bool isClickable(int part) const override;
    void activate(const QModelIndex& index, int part) override;
    void open(const QModelIndex& index) override;
    void popUpMenu(const QModelIndex& index, const QPoint& globalPoint) override;
    QPoint menuAnchor(const QModelIndex& index) const override;
    QString toolTipAt(const QPoint& point) const override;
    int contentHeight() const override;

private:
    void relayout();
    UUID fileID(const QModelIndex& index) const;

    AppStore& store_;
    ProjectAssetsModel* model_;
    GridColumns columns_;
};

class AssetCardDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    AssetCardDelegate(AssetGridView& view, ThumbnailLoader& thumbnails);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    AssetGridView& view_;
    ThumbnailLoader& thumbnails_;
};

}  // namespace sorvik::app
