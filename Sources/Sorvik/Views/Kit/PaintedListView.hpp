#pragma once
// A list view of painted entries whose parts answer clicks: it follows the hovered entry and part,
// turns a press and release on one part into an activation, opens an entry's menu from the mouse
// or the keyboard, and rings the focused entry only while the keyboard is in use. Placed in a
// scrolling page it grows to the height of all its entries and the page scrolls it with what lies
// above; only the entries in view are painted.
#include <QListView>
#include <QPersistentModelIndex>
#include <QPointer>

class QScrollArea;

namespace sorvik::app {

class PaintedListView : public QListView {
    Q_OBJECT
public:
    explicit PaintedListView(QWidget* parent = nullptr);
    void setModel(QAbstractItemModel* model) override;

    const QPersistentModelIndex& hovered() const { return hovered_; }
    int hoveredPart() const { return hoveredPart_; }
    bool showsFocusRing() const { return hasFocus() && keyboardInUse_; }

    /// Lets `page` scroll the list: the list keeps the height of its entries, has no scroll bar of
    /// its own, passes the wheel on, and scrolls the page to the current entry.
    void placeInPage(QScrollArea* page);
    QScrollArea* page() const;
    /// Sets the height to the entries' (in a page).
    void fitToContent();

protected:
    /// The part of a point outside every entry.
    static constexpr int noPart = 0;

    /// The entry and its part under a point of the viewport.
    virtual int partAt(const QPoint& point, QModelIndex* index) const = 0;
    virtual bool isClickable(int part) const = 0;
    /// A part that acts when pressed (a pop-up button) rather than when released.
    virtual bool actsOnPress(int /*part*/) const { return false; }
    virtual void activate(const QModelIndex& index, int part) = 0;
    /// Return, Enter and Space on the current entry.
    virtual void open(const QModelIndex& index) = 0;
    virtual void popUpMenu(const QModelIndex& index, const QPoint& globalPoint) = 0;
    /// Where the keyboard opens the current entry's menu, in viewport coordinates.
    virtual QPoint menuAnchor(const QModelIndex& index) const = 0;
    /// The tooltip of a point of the viewport; empty for none.
    virtual QString toolTipAt(const QPoint& point) const = 0;
    /// The height of all entries at the current width; by default rows of the first entry's height.
    virtual int contentHeight() const;

    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    void setHovered(const QModelIndex& index, int part);

    QPersistentModelIndex hovered_;
    int hoveredPart_ = noPart;
    QPersistentModelIndex pressed_;
    int pressedPart_ = noPart;
    bool keyboardInUse_ = false;
    QPointer<QScrollArea> page_;
    int fittedWidth_ = -1;
};

}  // namespace sorvik::app
