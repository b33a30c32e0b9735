#pragma once
// The pieces of the sidebar: navigation rows (as buttons and as the project list's painting
// delegate), source rows, and the pull-down of deleted projects.
#include <QAbstractButton>
#include <QStyledItemDelegate>
#include <functional>
#include <optional>
#include <utility>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/Kit/PaintedListView.hpp"

#include "Sorvik/Views/Kit/Widgets.hpp"

class QMenu;

namespace sorvik::app {

/// Draws one navigation row into `rect` (the row itself, 37 high): a 19-wide symbol frame, the
/// title on one line, the count when there is one; green on a faint green fill when selected.
void paintNavigationRow(QPainter& painter, const QRectF& rect, const QString& symbol, const QString& title,
                        std::optional<std::size_t> count, bool selected, bool hovered);

inline constexpr int kNavigationRowHeight = 37;
inline constexpr int kNavigationRowGap = 3;
inline constexpr int kNavigationOuterMargin = 12;

/// "全部项目" and "待识别".
class NavigationButton : public QAbstractButton {
    Q_OBJECT
public:
    NavigationButton(const QString& symbol, QWidget* parent = nullptr);
    void setCount(std::optional<std::size_t> count);
    void setSelected(bool selected);
    bool isSelected() const { return selected_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString symbol_;
    std::optional<std::size_t> count_;
    bool selected_ = false;
    bool hovered_ = false;
};

class SidebarModel;

/// The sidebar's project rows (SidebarModel): a row opens its project, its menu is built by the
/// sidebar when it opens, and a shortened name shows whole as a tooltip.
class SidebarProjectList : public PaintedListView {
    Q_OBJECT
public:
    SidebarProjectList(AppStore& store, SidebarModel& model, std::function<QMenu*(const UUID&)> makeMenu,
                       QWidget* parent = nullptr);
    /// The row itself within its cell (without the gap after it), in viewport coordinates.
    QRect rowRect(const QModelIndex& index) const;
    /// The room right of the rows: less by the scroll bar's width while it shows.
    int rightMargin() const;
    /// Asks for its least height only: it takes what the column's other parts leave.
    QSize sizeHint() const override { return QSize(PaintedListView::sizeHint().width(), minimumHeight()); }

protected:
    int partAt(const QPoint& point, QModelIndex* index) const override;
    bool isClickable(int part) const override { return part != noPart; }
    void activate(const QModelIndex& index, int part) override;
    void open(const QModelIndex& index) override;
    void popUpMenu(const QModelIndex& index, const QPoint& globalPoint) override;
    QPoint menuAnchor(const QModelIndex& index) const override;
    QString toolTipAt(const QPoint& point) const override;

private:
    AppStore& store_;
    SidebarModel& model_;
    std::function<QMenu*(const UUID&)> makeMenu_;
};

/// Paints the rows of the sidebar's project list.
class ProjectRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit ProjectRowDelegate(SidebarProjectList& list);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    SidebarProjectList& list_;
};

/// A source folder: its symbol, name and status dot; or, with no dot, the connect button.
class SourceRowButton : public QAbstractButton {
    Q_OBJECT
public:
    SourceRowButton(const QString& symbol, QWidget* parent = nullptr);
    /// The status dot in a tone (read from the palette when drawn).
    void setDot(Tone tone, qreal opacity);
    /// Draws the title in the secondary colour (the connect button).
    void setSecondary(bool secondary);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString symbol_;
    std::optional<std::pair<Tone, qreal>> dot_;
    bool secondary_ = false;
};

/// A borderless pull-down: a title and a chevron; the menu is built by the owner when it opens.
class PullDownButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PullDownButton(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
};

}  // namespace sorvik::app
