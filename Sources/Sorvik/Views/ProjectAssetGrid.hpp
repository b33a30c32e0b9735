#pragma once
// The project page's grid of asset cards: a list view over the assets model with a painting
// delegate. A card's preview and name open the file sheet, its "…" opens the menu of file
// actions (built when opened; the actions carry identifiers and check the store again when they
// fire), and its folder line reveals the original.
#include <QListView>
#include <QStyledItemDelegate>
#include <memory>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/ProjectAssetsModel.hpp"

class QMenu;

namespace sorvik::app {

class ThumbnailLoader;

class AssetGridView : public QListView {
    Q_OBJECT
public:
    /// The parts of a card that answer a click.
    enum class Zone { none, card, preview, name, menu, folder };

    AssetGridView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent = nullptr);

    ProjectAssetsModel* assets() const { return model_; }
    /// The card and its part under a point of the viewport.
    Zone zoneAt(const QPoint& point, QModelIndex* index = nullptr) const;
    /// Where the parts of a card lie in the viewport.
    AssetCardGeometry cardGeometry(const QModelIndex& index) const;
    /// The card's menu for a file of the project shown, built from the store now.
    std::unique_ptr<QMenu> makeMenu(const UUID& fileID);
    /// The hovered card and part, for drawing.
    const QPersistentModelIndex& hovered() const { return hovered_; }
    Zone hoveredZone() const { return hoveredZone_; }
    /// The focused entry is ringed only while the keyboard is in use.
    bool showsFocusRing() const { return hasFocus() && keyboardInUse_; }
    /// The column count of the current width (tests).
    int columnCount() const { return columns_.count; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void relayout();
    void setHovered(const QModelIndex& index, Zone zone);
    void activate(const QModelIndex& index, Zone zone, const QPoint& point);
    void popUpMenu(const QModelIndex& index, const QPoint& globalPoint);
    UUID fileID(const QModelIndex& index) const;

    AppStore& store_;
    ProjectAssetsModel* model_;
    GridColumns columns_;
    QPersistentModelIndex hovered_;
    Zone hoveredZone_ = Zone::none;
    QPersistentModelIndex pressed_;
    Zone pressedZone_ = Zone::none;
    bool keyboardInUse_ = false;
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
