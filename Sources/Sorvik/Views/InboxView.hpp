#pragma once
// The inbox: the indexed assets that wait for a project, one row each with a thumbnail, the name,
// the matcher's reason and the original's path, and a menu that assigns the asset to a project or
// makes a new project from it. Rows are painted by a delegate over a list model.
#include <QListView>
#include <QStyledItemDelegate>
#include <QWidget>
#include <memory>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/InboxModel.hpp"

class QMenu;
class QStackedWidget;

namespace sorvik::app {

class ThumbnailLoader;
class ToneLabel;

class InboxListView : public QListView {
    Q_OBJECT
public:
    enum class Zone { none, row, thumbnail, menu };

    InboxListView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent = nullptr);
    InboxModel* rows() const { return model_; }
    Zone zoneAt(const QPoint& point, QModelIndex* index = nullptr) const;
    InboxRowGeometry rowGeometry(const QModelIndex& index) const;
    /// The assign menu of an asset, built from the store now.
    std::unique_ptr<QMenu> makeMenu(const UUID& assetID);
    const QPersistentModelIndex& hovered() const { return hovered_; }
    Zone hoveredZone() const { return hoveredZone_; }
    /// The focused entry is ringed only while the keyboard is in use.
    bool showsFocusRing() const { return hasFocus() && keyboardInUse_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void setHovered(const QModelIndex& index, Zone zone);
    void popUpMenu(const QModelIndex& index, const QPoint& globalPoint);

    AppStore& store_;
    InboxModel* model_;
    QPersistentModelIndex hovered_;
    Zone hoveredZone_ = Zone::none;
    QPersistentModelIndex pressed_;
    Zone pressedZone_ = Zone::none;
    bool keyboardInUse_ = false;
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
    QStackedWidget* content_;
    InboxListView* list_;
    QWidget* empty_;
    ToneLabel* emptyLabel_;
    bool stale_ = true;
};

}  // namespace sorvik::app
