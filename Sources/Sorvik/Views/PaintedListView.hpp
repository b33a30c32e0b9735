#pragma once
// A list view of painted entries whose parts answer clicks: it follows the hovered entry and part,
// turns a press and release on one part into an activation, opens an entry's menu from the mouse
// or the keyboard, and rings the focused entry only while the keyboard is in use.
#include <QListView>
#include <QPersistentModelIndex>

namespace sorvik::app {

class PaintedListView : public QListView {
    Q_OBJECT
public:
    explicit PaintedListView(QWidget* parent = nullptr);
    void setModel(QAbstractItemModel* model) override;

    const QPersistentModelIndex& hovered() const { return hovered_; }
    int hoveredPart() const { return hoveredPart_; }
    bool showsFocusRing() const { return hasFocus() && keyboardInUse_; }

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

    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void setHovered(const QModelIndex& index, int part);

    QPersistentModelIndex hovered_;
    int hoveredPart_ = noPart;
    QPersistentModelIndex pressed_;
    int pressedPart_ = noPart;
    bool keyboardInUse_ = false;
};

}  // namespace sorvik::app
