#pragma once
// The two lists of the delivery workspace, drawn by delegates: the check rows and the rows of all
// files. A list is as tall as its rows and scrolls with the page; clicks on a row's parts (a
// check's button, a file's name or menu) are reported with the row.
#include <QHash>
#include <QListView>
#include <QStyledItemDelegate>

#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Delivery/Logic/DeliveryLogic.hpp"

namespace sorvik::app {

/// The colour of a view tone in the palette.
QColor viewToneColor(ViewTone tone, const QPalette& palette, double opacity = 1.0);
/// The view kit's tone of a view tone.
Tone toneOf(ViewTone tone);

/// The fonts of the rows and their metrics, made once per delegate: rows are measured by the
/// thousand.
struct RowFonts {
    RowFonts();
    QFont checkTitle, checkDetail, checkButton, file, edited;
    QFontMetricsF checkTitleMetrics, checkDetailMetrics, checkButtonMetrics, fileMetrics, editedMetrics;
};

/// A delegate whose rows have clickable parts and a height that follows the width.
class RowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    /// The part under `point` in a row drawn in `rect`; 0 for none.
    virtual int partAt(const QRect& rect, const QModelIndex& index, const QPoint& point) const = 0;
    virtual int rowHeight(const QModelIndex& index, int width) const = 0;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    /// Paints a row through `paintRow`, in the row's own coordinates.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const final;
    /// Shows `toolTipAt`'s text over a row, or hides the tip where it has none.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) final;

protected:
    /// The painter is antialiased, at the row's top left, and restored afterwards.
    virtual void paintRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const = 0;
    /// The tip at `point` (in the view) over a row drawn in `option.rect`; empty for none.
    virtual QString toolTipAt(const QStyleOptionViewItem& option, const QModelIndex& index,
                              const QPoint& point) const = 0;

    const RowFonts fonts_;
};

/// A check row: level symbol, title and detail, and the button of a problem.
class CheckRowDelegate : public RowDelegate {
    Q_OBJECT
public:
    enum Part { none = 0, button = 1 };
    using RowDelegate::RowDelegate;
    /// Whether "添加文件" can act now (idle, not in recovery).
    void setChooseFilesEnabled(bool enabled) { chooseFilesEnabled_ = enabled; }
    bool actionEnabled(const QModelIndex& index) const;

    int partAt(const QRect& rect, const QModelIndex& index, const QPoint& point) const override;
    int rowHeight(const QModelIndex& index, int width) const override;

protected:
    void paintRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    /// The whole title and detail over a row that shows them shortened.
    QString toolTipAt(const QStyleOptionViewItem& option, const QModelIndex& index, const QPoint& point) const override;

private:
    double buttonWidth(const QModelIndex& index) const;
    /// How many lines the detail takes at this text width.
    int detailLines(const QString& detail, double width) const;
    bool chooseFilesEnabled_ = true;
    // Details repeat (every cover of a size reads the same): their widths are measured once.
    mutable QHash<QString, double> detailWidths_;
};

/// A file row: role symbol, name, edited mark, size and the menu symbol.
class FileRowDelegate : public RowDelegate {
    Q_OBJECT
public:
    enum Part { none = 0, name = 1, menu = 2 };
    using RowDelegate::RowDelegate;

    int partAt(const QRect& rect, const QModelIndex& index, const QPoint& point) const override;
    int rowHeight(const QModelIndex& index, int width) const override;

protected:
    void paintRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    /// "文件操作" over the menu symbol; the whole name over a shortened one.
    QString toolTipAt(const QStyleOptionViewItem& option, const QModelIndex& index, const QPoint& point) const override;

private:
    FileRowGeometry geometry(const QRect& rect, const QModelIndex& index) const;
};

/// A list as tall as its rows, without its own scrolling, reporting clicks on row parts.
class RowListView : public QListView {
    Q_OBJECT
public:
    RowListView(RowDelegate* delegate, QWidget* parent = nullptr);
    /// Sets the height to the rows' total at the current width.
    void fitToRows();

signals:
    /// A part of a row was clicked; `global` is where, for menus.
    void partClicked(const QModelIndex& index, int part, const QPoint& global);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    int partAt(const QPoint& point, QModelIndex* index) const;
    RowDelegate* delegate_;
    int fittedWidth_ = -1;
};

}  // namespace sorvik::app
