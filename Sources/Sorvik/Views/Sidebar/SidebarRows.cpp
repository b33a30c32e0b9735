#include "Sorvik/Views/Sidebar/SidebarRows.hpp"

#include <QAbstractItemView>
#include <QMenu>
#include <QScrollBar>
#include <QApplication>
#include <QEnterEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QtMath>

#include "Sorvik/Views/Kit/Icons.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Sidebar/Logic/SidebarLogic.hpp"
#include "Sorvik/Views/Sidebar/Logic/SidebarModel.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"
#include "Sorvik/Views/Kit/SlimScrollBar.hpp"

namespace sorvik::app {

namespace {

constexpr qreal kInnerMargin = 12;
constexpr qreal kSymbolFrame = 19;
constexpr qreal kSymbolSize = 15;
constexpr qreal kSpacing = 10;

QFont rowFont(bool selected) { return Theme::font(type::body, selected ? QFont::Medium : QFont::Normal); }

/// The title's room in a row and the elided text.
QString shownTitle(const QRectF& rect, const QString& title, std::optional<std::size_t> count, bool selected,
                   qreal* titleLeft = nullptr, qreal* titleWidth = nullptr) {
    const QFontMetricsF countMetrics(Theme::font(type::footnote));
    const qreal countWidth = count ? countMetrics.horizontalAdvance(QString::number(*count)) + kSpacing : 0;
    const qreal left = rect.left() + kInnerMargin + kSymbolFrame + kSpacing;
    const qreal width = std::max<qreal>(0, rect.right() - kInnerMargin - countWidth - left);
    if (titleLeft) *titleLeft = left;
    if (titleWidth) *titleWidth = width;
    return QFontMetricsF(rowFont(selected)).elidedText(singleLine(title), Qt::ElideRight, width);
}

bool isPaletteEvent(const QEvent* event) {
    return event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::PaletteChange ||
           event->type() == QEvent::EnabledChange;
}

}  // namespace

void paintNavigationRow(QPainter& painter, const QRectF& rect, const QString& symbol, const QString& title,
                        std::optional<std::size_t> count, bool selected, bool hovered) {
    const QPalette palette = QApplication::palette();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (selected || hovered) {
        QPainterPath background;
        background.addRoundedRect(rect, corner::button, corner::button);
        painter.fillPath(background,
                         selected ? Theme::withAlpha(Theme::green(palette), 0.1) : Theme::primaryAt(palette, 0.035));
    }
    const QColor color = selected ? Theme::green(palette) : Theme::primaryText(palette);
    const QRectF frame(rect.left() + kInnerMargin, rect.top(), kSymbolFrame, rect.height());
    Icons::paint(
        painter, symbol,
        QRectF(frame.center().x() - kSymbolSize / 2, frame.center().y() - kSymbolSize / 2, kSymbolSize, kSymbolSize),
        color);
    qreal left = 0;
    qreal width = 0;
    const QString shown = shownTitle(rect, title, count, selected, &left, &width);
    painter.setPen(color);
    painter.setFont(rowFont(selected));
    painter.drawText(QRectF(left, rect.top(), width, rect.height()), Qt::AlignLeft | Qt::AlignVCenter, shown);
    if (count) {
        painter.setFont(Theme::font(type::footnote));
        painter.drawText(QRectF(rect.left(), rect.top(), rect.width() - kInnerMargin, rect.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(*count));
    }
    painter.restore();
}

// NavigationButton ------------------------------------------------------------------------------------

NavigationButton::NavigationButton(const QString& symbol, QWidget* parent) : QAbstractButton(parent), symbol_(symbol) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
}

void NavigationButton::setCount(std::optional<std::size_t> count) {
    if (count_ == count) return;
    count_ = count;
    update();
}

void NavigationButton::setSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

QSize NavigationButton::sizeHint() const { return QSize(160, kNavigationRowHeight); }

void NavigationButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void NavigationButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void NavigationButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintNavigationRow(painter, QRectF(rect()), symbol_, text(), count_, selected_, hovered_ || isDown());
    if (hasKeyboardFocus(this)) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Theme::withAlpha(Theme::green(QApplication::palette()), 0.5), 1.5));
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), corner::button, corner::button);
    }
}

// SidebarProjectList -----------------------------------------------------------------------------------

SidebarProjectList::SidebarProjectList(AppStore& store, SidebarModel& model,
                                       std::function<QMenu*(const UUID&)> makeMenu, QWidget* parent)
    : PaintedListView(parent), store_(store), model_(model), makeMenu_(std::move(makeMenu)) {
    setModel(&model_);
    setItemDelegate(new ProjectRowDelegate(*this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    verticalScrollBar()->setSingleStep(kNavigationRowHeight + kNavigationRowGap);
}

QRect SidebarProjectList::rowRect(const QModelIndex& index) const {
    // As wide as the viewport allows, whatever width the list laid its cells out for.
    const QRect cell = visualRect(index);
    return QRect(kNavigationOuterMargin, cell.top(), viewport()->width() - kNavigationOuterMargin - rightMargin(),
                 cell.height() - kNavigationRowGap);
}

int SidebarProjectList::rightMargin() const {
    // The bar stands in the margin: rows keep their width when it comes (with anything to scroll).
    return verticalScrollBar()->maximum() > 0 ? std::max(0, kNavigationOuterMargin - kSlimBarWidth)
                                              : kNavigationOuterMargin;
}

int SidebarProjectList::partAt(const QPoint& point, QModelIndex* index) const {
    const QModelIndex found = indexAt(point);
    if (!found.isValid() || !rowRect(found).contains(point)) return noPart;
    if (index) *index = found;
    return 1;
}

void SidebarProjectList::activate(const QModelIndex& index, int) { open(index); }

void SidebarProjectList::open(const QModelIndex& index) {
    if (const std::optional<UUID> id = model_.projectID(index)) store_.select(*id);
}

void SidebarProjectList::popUpMenu(const QModelIndex& index, const QPoint& globalPoint) {
    const std::optional<UUID> id = model_.projectID(index);
    if (!id) return;
    QMenu* menu = makeMenu_(*id);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPoint);
}

QPoint SidebarProjectList::menuAnchor(const QModelIndex& index) const { return rowRect(index).bottomLeft(); }

QString SidebarProjectList::toolTipAt(const QPoint& point) const {
    // The full name, only when the row shortens it.
    QModelIndex index;
    if (partAt(point, &index) == noPart) return {};
    const QString title = index.data(Qt::DisplayRole).toString();
    const bool selected = index.data(SidebarModel::SelectedRole).toBool();
    return shownTitle(QRectF(rowRect(index)), title, std::nullopt, selected) == title ? QString() : title;
}

// ProjectRowDelegate ----------------------------------------------------------------------------------

ProjectRowDelegate::ProjectRowDelegate(SidebarProjectList& list) : QStyledItemDelegate(&list), list_(list) {}

void ProjectRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QRectF row(list_.rowRect(index));
    const bool selected = index.data(SidebarModel::SelectedRole).toBool();
    paintNavigationRow(*painter, row, QStringLiteral("folder"), index.data(Qt::DisplayRole).toString(), std::nullopt,
                       selected, list_.hovered() == index);
    if (option.state.testFlag(QStyle::State_HasFocus) && list_.showsFocusRing()) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(Theme::withAlpha(Theme::green(QApplication::palette()), 0.5), 1.5));
        painter->drawRoundedRect(row.adjusted(1, 1, -1, -1), corner::button, corner::button);
        painter->restore();
    }
}

QSize ProjectRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), kNavigationRowHeight + kNavigationRowGap);
}

// SourceRowButton -------------------------------------------------------------------------------------

SourceRowButton::SourceRowButton(const QString& symbol, QWidget* parent) : QAbstractButton(parent), symbol_(symbol) {
    setFont(Theme::font(type::footnote));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

void SourceRowButton::setDot(Tone tone, qreal opacity) {
    dot_ = std::make_pair(tone, opacity);
    update();
}

void SourceRowButton::setSecondary(bool secondary) {
    secondary_ = secondary;
    update();
}

QSize SourceRowButton::sizeHint() const {
    return QSize(150, qCeil(std::max<qreal>(QFontMetricsF(font()).height(), 13)));
}

void SourceRowButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (isPaletteEvent(event)) update();
}

void SourceRowButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QApplication::palette();
    QColor color = secondary_ ? Theme::secondaryText(palette) : Theme::primaryText(palette);
    if (!isEnabled()) color = Theme::withAlpha(color, 0.35);
    if (isDown()) painter.setOpacity(0.6);
    const qreal symbol = 12;
    const qreal spacing = 9;
    const QRectF bounds(rect());
    Icons::paint(painter, symbol_, QRectF(0, (bounds.height() - symbol) / 2, symbol, symbol), color);
    qreal right = bounds.right();
    if (dot_) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(toneColor(dot_->first, palette, dot_->second));
        painter.drawEllipse(QRectF(right - 5, bounds.center().y() - 2.5, 5, 5));
        right -= 5 + spacing;
    }
    const qreal left = symbol + spacing;
    const QFontMetricsF metrics(font());
    painter.setPen(color);
    painter.setFont(font());
    painter.drawText(QRectF(left, 0, std::max<qreal>(0, right - left), bounds.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(singleLine(text()), Qt::ElideMiddle, std::max<qreal>(0, right - left)));
    if (hasKeyboardFocus(this)) {
        painter.setPen(QPen(Theme::withAlpha(Theme::green(palette), 0.5), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), corner::mark, corner::mark);
    }
}

// PullDownButton --------------------------------------------------------------------------------------

PullDownButton::PullDownButton(QWidget* parent) : QAbstractButton(parent) {
    setFont(Theme::font(type::footnote));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

QSize PullDownButton::sizeHint() const { return QSize(150, qCeil(QFontMetricsF(font()).height() + 12)); }

void PullDownButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (isPaletteEvent(event)) update();
}

void PullDownButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QApplication::palette();
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    paintButtonFace(painter, QRectF(rect()), palette, corner::control, isDown() ? 0.08 : 0.035);
    QColor color = Theme::primaryText(palette);
    if (!isEnabled()) color = Theme::withAlpha(color, 0.35);
    const qreal chevron = 9;
    const qreal padding = 10;
    Icons::paint(painter, QStringLiteral("chevron.down"),
                 QRectF(bounds.right() - padding - chevron, bounds.center().y() - chevron / 2, chevron, chevron),
                 Theme::withAlpha(color, 0.6));
    const QRectF textRect(bounds.left() + padding, bounds.top(), bounds.width() - 2 * padding - chevron - 6,
                          bounds.height());
    painter.setPen(color);
    painter.setFont(font());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(font()).elidedText(singleLine(text()), Qt::ElideRight, textRect.width()));
    if (hasKeyboardFocus(this)) {
        painter.setPen(QPen(Theme::withAlpha(Theme::green(palette), 0.5), 1.5));
        painter.drawRoundedRect(bounds, corner::control, corner::control);
    }
}

}  // namespace sorvik::app
