#include "Sorvik/Views/Delivery/DeliveryLists.hpp"

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QPainter>
#include <QTextLayout>
#include <cmath>

#include "Sorvik/Views/Kit/Icons.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Delivery/Logic/DeliveryModel.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

// Check rows: 12 above and below, 4 between title and detail, then the 1-point rule.
constexpr int checkPadding = 12;
constexpr int checkGap = 4;
// File rows: 10 above and below.
constexpr int filePadding = 10;

}  // namespace

Tone toneOf(ViewTone tone) {
    switch (tone) {
        case ViewTone::primary: return Tone::primary;
        case ViewTone::secondary: return Tone::secondary;
        case ViewTone::tertiary: return Tone::tertiary;
        case ViewTone::green: return Tone::green;
        case ViewTone::warning: return Tone::warning;
        case ViewTone::danger: return Tone::danger;
    }
    return Tone::secondary;
}

RowFonts::RowFonts()
    : checkTitle(Theme::font(type::body, QFont::Medium)), checkDetail(Theme::font(type::caption)),
      checkButton(Theme::font(type::footnote, QFont::Medium)), file(Theme::font(type::footnote)),
      edited(Theme::font(type::caption)), checkTitleMetrics(checkTitle), checkDetailMetrics(checkDetail),
      checkButtonMetrics(checkButton), fileMetrics(file), editedMetrics(edited) {}

QColor viewToneColor(ViewTone tone, const QPalette& palette, double opacity) {
    return toneColor(toneOf(tone), palette, opacity);
}

QSize RowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return QSize(option.rect.width(), rowHeight(index, option.rect.width()));
}

void RowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(option.rect.topLeft());
    paintRow(painter, option, index);
    painter->restore();
}

bool RowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                            const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid()) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    const QString tip = toolTipAt(option, index, event->pos());
    if (tip.isEmpty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(event->globalPos(), tip, view);
    }
    return true;
}

// Check rows -------------------------------------------------------------------------------------------

double CheckRowDelegate::buttonWidth(const QModelIndex& index) const {
    const QString text = index.data(DeliveryChecksModel::ButtonRole).toString();
    if (text.isEmpty()) return 0;
    return fonts_.checkButtonMetrics.horizontalAdvance(text) + 4;
}

int CheckRowDelegate::detailLines(const QString& detail, double width) const {
    if (detail.isEmpty()) return 0;
    auto it = detailWidths_.constFind(detail);
    if (it == detailWidths_.constEnd()) {
        if (detailWidths_.size() > 20000) detailWidths_.clear();
        it = detailWidths_.insert(detail, fonts_.checkDetailMetrics.horizontalAdvance(detail));
    }
    return *it > width ? 2 : 1;
}

bool CheckRowDelegate::actionEnabled(const QModelIndex& index) const {
    const auto action = static_cast<CheckAction>(index.data(DeliveryChecksModel::ActionRole).toInt());
    return action != CheckAction::chooseFiles || chooseFilesEnabled_;
}

int CheckRowDelegate::rowHeight(const QModelIndex& index, int width) const {
    const CheckRowGeometry g = checkRowGeometry(width, 0, buttonWidth(index));
    const int lines = detailLines(index.data(DeliveryChecksModel::DetailRole).toString(), g.text.width());
    const QFontMetricsF& title = fonts_.checkTitleMetrics;
    const QFontMetricsF& detail = fonts_.checkDetailMetrics;
    const double text = title.height() + (lines > 0 ? checkGap + lines * detail.lineSpacing() : 0);
    return int(std::ceil(checkPadding * 2 + text)) + 1;
}

int CheckRowDelegate::partAt(const QRect& rect, const QModelIndex& index, const QPoint& point) const {
    const CheckRowGeometry g = checkRowGeometry(rect.width(), rect.height() - 1, buttonWidth(index));
    if (g.button.isEmpty() || !actionEnabled(index)) return none;
    return g.button.adjusted(-4, -8, 4, 8).translated(rect.topLeft()).contains(point) ? button : none;
}

QString CheckRowDelegate::toolTipAt(const QStyleOptionViewItem& option, const QModelIndex& index,
                                    const QPoint& point) const {
    const CheckRowGeometry g = checkRowGeometry(option.rect.width(), option.rect.height() - 1, buttonWidth(index));
    const QString title = index.data(Qt::DisplayRole).toString();
    const QString detail = index.data(DeliveryChecksModel::DetailRole).toString();
    const bool shortened = fonts_.checkTitleMetrics.horizontalAdvance(title) > g.text.width() ||
                           fonts_.checkDetailMetrics.horizontalAdvance(detail) > 2 * g.text.width();
    if (shortened && g.text.translated(option.rect.topLeft()).contains(point))
        return title + QLatin1Char('\n') + detail;
    return {};
}

void CheckRowDelegate::paintRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QPalette palette = QApplication::palette();
    const QRect rect = option.rect;
    const bool enabled = option.state & QStyle::State_Enabled;
    const double height = rect.height() - 1;
    const CheckRowGeometry g = checkRowGeometry(rect.width(), height, buttonWidth(index));

    const auto tone = static_cast<ViewTone>(index.data(DeliveryChecksModel::ToneRole).toInt());
    const double opacity = index.data(DeliveryChecksModel::OpacityRole).toDouble();
    const double symbol = 18;
    Icons::paint(*painter, index.data(DeliveryChecksModel::SymbolRole).toString(),
                 QRectF(g.symbol.left(), (height - symbol) / 2, symbol, symbol), viewToneColor(tone, palette, opacity));

    const QString detail = index.data(DeliveryChecksModel::DetailRole).toString();
    const int lines = detailLines(detail, g.text.width());
    const QFontMetricsF& titleMetrics = fonts_.checkTitleMetrics;
    const QFontMetricsF& detailMetrics = fonts_.checkDetailMetrics;
    const double textHeight = titleMetrics.height() + (lines > 0 ? checkGap + lines * detailMetrics.lineSpacing() : 0);
    double y = (height - textHeight) / 2;
    painter->setFont(fonts_.checkTitle);
    painter->setPen(Theme::primaryText(palette));
    painter->drawText(QRectF(g.text.left(), y, g.text.width(), titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      titleMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, g.text.width()));
    y += titleMetrics.height() + checkGap;
    if (lines > 0) {
        painter->setFont(fonts_.checkDetail);
        painter->setPen(Theme::secondaryText(palette));
        if (lines == 1) {
            painter->drawText(QRectF(g.text.left(), y, g.text.width(), detailMetrics.lineSpacing()),
                              Qt::AlignLeft | Qt::AlignVCenter, detail);
        } else {
            // Two lines at most: the first as far as it fits, the rest elided.
            QTextLayout layout(detail, fonts_.checkDetail);
            layout.beginLayout();
            QTextLine first = layout.createLine();
            first.setLineWidth(g.text.width());
            layout.endLayout();
            const int split = first.textLength();
            const QString head = detail.left(split);
            const QString tail = detailMetrics.elidedText(detail.mid(split), Qt::ElideRight, g.text.width());
            painter->drawText(QRectF(g.text.left(), y, g.text.width(), detailMetrics.lineSpacing()),
                              Qt::AlignLeft | Qt::AlignVCenter, head);
            painter->drawText(
                QRectF(g.text.left(), y + detailMetrics.lineSpacing(), g.text.width(), detailMetrics.lineSpacing()),
                Qt::AlignLeft | Qt::AlignVCenter, tail);
        }
    }
    if (!g.button.isEmpty()) {
        QColor color = Theme::green(palette);
        if (!enabled || !actionEnabled(index)) color = Theme::withAlpha(color, 0.35);
        painter->setFont(fonts_.checkButton);
        painter->setPen(color);
        painter->drawText(g.button, Qt::AlignCenter, index.data(DeliveryChecksModel::ButtonRole).toString());
    }
    painter->fillRect(QRectF(0, height, rect.width(), 1), Theme::line(palette));
}

// File rows ---------------------------------------------------------------------------------------------

int FileRowDelegate::rowHeight(const QModelIndex&, int) const {
    return int(std::ceil(fonts_.fileMetrics.height())) + filePadding * 2;
}

FileRowGeometry FileRowDelegate::geometry(const QRect& rect, const QModelIndex& index) const {
    const QFontMetricsF& metrics = fonts_.fileMetrics;
    const double nameWidth = metrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 1;
    const double sizeWidth = metrics.horizontalAdvance(index.data(DeliveryFilesModel::SizeRole).toString()) + 1;
    double editedWidth = 0;
    if (index.data(DeliveryFilesModel::EditedRole).toBool()) {
        editedWidth = fonts_.editedMetrics.horizontalAdvance(Lq("已调整")) + 1;
    }
    return fileRowGeometry(rect.width(), rect.height(), nameWidth, editedWidth, sizeWidth);
}

int FileRowDelegate::partAt(const QRect& rect, const QModelIndex& index, const QPoint& point) const {
    const FileRowGeometry g = geometry(rect, index);
    const QPointF local = point - rect.topLeft();
    if (g.menu.contains(local)) return menu;
    if (g.name.contains(local)) return name;
    return none;
}

QString FileRowDelegate::toolTipAt(const QStyleOptionViewItem& option, const QModelIndex& index,
                                   const QPoint& point) const {
    const QString name = index.data(Qt::DisplayRole).toString();
    const FileRowGeometry g = geometry(option.rect, index);
    const QPointF local = point - option.rect.topLeft();
    if (g.menu.contains(local)) return Lq("文件操作");
    if (g.name.contains(local) && fonts_.fileMetrics.horizontalAdvance(name) + 1 > g.name.width()) return name;
    return {};
}

void FileRowDelegate::paintRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QPalette palette = QApplication::palette();
    const QRect rect = option.rect;
    const bool enabled = option.state & QStyle::State_Enabled;
    if (!enabled) painter->setOpacity(0.45);
    const FileRowGeometry g = geometry(QRect(0, 0, rect.width(), rect.height()), index);
    const QColor secondary = Theme::secondaryText(palette);
    const double symbol = 14;
    Icons::paint(*painter, index.data(DeliveryFilesModel::SymbolRole).toString(),
                 QRectF(g.symbol.center().x() - symbol / 2, g.symbol.center().y() - symbol / 2, symbol, symbol),
                 secondary);
    const QFontMetricsF& metrics = fonts_.fileMetrics;
    painter->setFont(fonts_.file);
    painter->setPen(Theme::primaryText(palette));
    painter->drawText(g.name, Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, g.name.width()));
    if (!g.edited.isEmpty()) {
        painter->setFont(fonts_.edited);
        painter->setPen(Theme::green(palette));
        painter->drawText(g.edited, Qt::AlignLeft | Qt::AlignVCenter, Lq("已调整"));
    }
    painter->setFont(fonts_.file);
    painter->setPen(secondary);
    painter->drawText(g.size, Qt::AlignRight | Qt::AlignVCenter, index.data(DeliveryFilesModel::SizeRole).toString());
    const double dots = 15;
    Icons::paint(*painter, QStringLiteral("ellipsis"),
                 QRectF(g.menu.center().x() - dots / 2, g.menu.center().y() - dots / 2, dots, dots), secondary);
}

// The list ----------------------------------------------------------------------------------------------

RowListView::RowListView(RowDelegate* delegate, QWidget* parent) : QListView(parent), delegate_(delegate) {
    delegate_->setParent(this);
    setItemDelegate(delegate_);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setResizeMode(QListView::Adjust);
    setLayoutMode(QListView::Batched);
    setBatchSize(500);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
}

void RowListView::fitToRows() {
    const int width = viewport()->width() > 0 ? viewport()->width() : this->width();
    fittedWidth_ = width;
    long long total = 0;
    const int rows = model() ? model()->rowCount() : 0;
    for (int row = 0; row < rows; ++row) total += delegate_->rowHeight(model()->index(row, 0), width);
    setFixedHeight(int(std::min<long long>(total, QWIDGETSIZE_MAX)));
    // Rows changed in place may have changed height: lay them out again.
    scheduleDelayedItemsLayout();
}

int RowListView::partAt(const QPoint& point, QModelIndex* index) const {
    const QModelIndex at = indexAt(point);
    if (index) *index = at;
    if (!at.isValid()) return 0;
    return delegate_->partAt(visualRect(at), at, point);
}

void RowListView::mousePressEvent(QMouseEvent* event) {
    // Rows are not selected; a press only prepares the click.
    event->accept();
}

void RowListView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) return;
    QModelIndex index;
    const int part = partAt(event->position().toPoint(), &index);
    if (part != 0) emit partClicked(index, part, event->globalPosition().toPoint());
}

void RowListView::mouseMoveEvent(QMouseEvent* event) {
    const int part = isEnabled() ? partAt(event->position().toPoint(), nullptr) : 0;
    viewport()->setCursor(part != 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void RowListView::leaveEvent(QEvent* event) {
    QListView::leaveEvent(event);
    viewport()->unsetCursor();
}

void RowListView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    if (viewport()->width() != fittedWidth_) fitToRows();
}

}  // namespace sorvik::app
