#include "Sorvik/Views/Overview/ProjectCardView.hpp"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include "Sorvik/Views/Kit/Icons.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"
#include "Sorvik/Views/Overview/Logic/OverviewLogic.hpp"
#include "Sorvik/Views/Kit/PaintedListView.hpp"
#include "Sorvik/Views/Sidebar/Logic/SidebarLogic.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

constexpr qreal kRadius = corner::card;
constexpr qreal kPadding = 18;
constexpr qreal kPictureHeight = 220;
constexpr qreal kSymbolAreaHeight = 180;

/// The card's fonts and their metrics, made once (GUI thread).
struct CardFonts {
    QFont name = Theme::font(type::title2, QFont::DemiBold);
    QFont detail = Theme::font(type::footnote);
    QFont badge = Theme::font(type::caption);
    QFontMetricsF nameMetrics{name};
    QFontMetricsF detailMetrics{detail};
    QFontMetricsF badgeMetrics{badge};
};

const CardFonts& fonts() {
    static const CardFonts made;
    return made;
}

/// The area with its two top corners rounded like the card's.
QPainterPath topRounded(const QRectF& area, qreal radius) {
    QPainterPath path;
    path.moveTo(area.left(), area.bottom());
    path.lineTo(area.left(), area.top() + radius);
    path.arcTo(QRectF(area.left(), area.top(), 2 * radius, 2 * radius), 180, -90);
    path.lineTo(area.right() - radius, area.top());
    path.arcTo(QRectF(area.right() - 2 * radius, area.top(), 2 * radius, 2 * radius), 90, -90);
    path.lineTo(area.right(), area.bottom());
    path.closeSubpath();
    return path;
}

/// What lies outside the card's rounded top corners within the area.
QPainterPath cornerOutside(const QRectF& area, qreal radius) {
    QPainterPath path;
    path.moveTo(area.left(), area.top());
    path.lineTo(area.left() + radius, area.top());
    path.arcTo(QRectF(area.left(), area.top(), 2 * radius, 2 * radius), 90, 90);
    path.closeSubpath();
    path.moveTo(area.right(), area.top());
    path.lineTo(area.right(), area.top() + radius);
    path.arcTo(QRectF(area.right() - 2 * radius, area.top(), 2 * radius, 2 * radius), 0, 90);
    path.closeSubpath();
    return path;
}

/// The picture area. The thumbnail draws with a clip of its own, so the card's rounded top corners
/// are laid over it afterwards in the colour of the page the card sits on (clipping every card to
/// its rounded shape would cost far more).
void paintPicture(QPainter& painter, const QRectF& area, const ProjectCard& card, ThumbnailLoader& loader,
                  const QPalette& palette) {
    if (!card.pictureLocated) {
        // The location is on its way: a quiet fill rather than a glyph that would flash.
        painter.fillPath(topRounded(area, kRadius), Theme::primaryAt(palette, 0.025));
        return;
    }
    painter.save();
    paintFileThumbnail(painter, area, *card.picture, card.pictureLocation, loader);
    painter.restore();
    painter.fillPath(cornerOutside(area, kRadius), palette.color(QPalette::Window));
}

}  // namespace

namespace {

qreal detailsHeight() {
    const CardFonts& f = fonts();
    return kPadding + f.nameMetrics.height() + 9 + f.detailMetrics.height() + 9 + 4 +
           std::max(f.detailMetrics.height(), f.badgeMetrics.height()) + kPadding;
}

}  // namespace

qreal projectCardHeight(bool hasPicture) { return (hasPicture ? kPictureHeight : kSymbolAreaHeight) + detailsHeight(); }

void paintProjectCard(QPainter& painter, const QRectF& rect, const ProjectCard& card, ThumbnailLoader& loader) {
    const QPalette palette = QApplication::palette();
    const CardFonts& f = fonts();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
    painter.fillPath(shape, Theme::surface(palette));

    // Picture; the folder symbol's area takes whatever height the card has above its details.
    const qreal pictureHeight =
        card.picture ? kPictureHeight : std::max(kSymbolAreaHeight, rect.height() - detailsHeight());
    const QRectF area(rect.left(), rect.top(), rect.width(), pictureHeight);
    if (card.picture) {
        paintPicture(painter, area, card, loader, palette);
    } else {
        painter.fillPath(topRounded(area.adjusted(0.5, 0.5, -0.5, 0), kRadius), Theme::primaryAt(palette, 0.025));
        const qreal symbol = 55;
        Icons::paint(painter, QStringLiteral("folder"),
                     QRectF(area.center().x() - symbol / 2, area.center().y() - symbol / 2, symbol, symbol),
                     Theme::withAlpha(Theme::green(palette), 0.5));
    }

    // Details.
    const qreal left = rect.left() + kPadding;
    const qreal width = rect.width() - 2 * kPadding;
    qreal y = area.bottom() + kPadding;
    painter.setPen(Theme::primaryText(palette));
    painter.setFont(f.name);
    const qreal nameHeight = f.nameMetrics.height();
    painter.drawText(QRectF(left, y, width, nameHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     f.nameMetrics.elidedText(card.name, Qt::ElideRight, width));
    y += nameHeight + 9;

    const QColor secondary = Theme::secondaryText(palette);
    painter.setFont(f.detail);
    painter.setPen(secondary);
    const qreal detailHeight = f.detailMetrics.height();
    if (card.folderCount) {
        const QString detail = qs(cardDetailText(card.values.assetCount, *card.folderCount));
        painter.drawText(QRectF(left, y, width, detailHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         f.detailMetrics.elidedText(detail, Qt::ElideRight, width));
    }
    y += detailHeight + 9 + 4;

    // Badge at the right, roles from the left up to it.
    const qreal rowHeight = std::max(detailHeight, f.badgeMetrics.height());
    const QColor green = Theme::green(palette);
    const QString badge = qs(cardBadgeText(card.values));
    const qreal badgeText = f.badgeMetrics.horizontalAdvance(badge);
    const qreal badgeSymbol = 10;
    const qreal badgeLeft = left + width - badgeText - 4 - badgeSymbol;
    Icons::paint(painter, QStringLiteral("link"),
                 QRectF(badgeLeft, y + (rowHeight - badgeSymbol) / 2, badgeSymbol, badgeSymbol), green);
    painter.setPen(green);
    painter.setFont(f.badge);
    painter.drawText(QRectF(left + width - badgeText, y, badgeText, rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     badge);

    painter.setFont(f.detail);
    painter.setPen(secondary);
    const QFontMetricsF& detailMetrics = f.detailMetrics;
    qreal x = left;
    const qreal roleSymbol = 11;
    for (const RoleCount& role : card.values.roles) {
        const QString count = QString::number(role.count);
        const qreal itemWidth = roleSymbol + 4 + detailMetrics.horizontalAdvance(count);
        if (x + itemWidth > badgeLeft - 8) break;
        Icons::paint(painter, qs(FileRoles::symbol(role.role)),
                     QRectF(x, y + (rowHeight - roleSymbol) / 2, roleSymbol, roleSymbol), secondary);
        painter.drawText(QRectF(x + roleSymbol + 4, y, itemWidth, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, count);
        x += itemWidth + 15;
    }

    painter.setPen(QPen(Theme::line(palette), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    painter.restore();
}

QMenu* projectCardMenu(AppStore& store, const UUID& project, QWidget* parent) {
    auto* menu = new QMenu(parent);
    QAction* copy = menu->addAction(
        Icons::icon(QStringLiteral("doc.on.doc"), Theme::primaryText(QApplication::palette())), Lq("复制 AI 项目引用"));
    QObject::connect(copy, &QAction::triggered, &store, [&store, project] {
        for (const Delivery& candidate : store.deliveries()) {
            if (candidate.id != project) continue;
            store.copyAgentReference(candidate, std::nullopt);
            return;
        }
    });
    QAction* remove = menu->addAction(Icons::icon(QStringLiteral("trash"), Theme::danger(QApplication::palette())),
                                      Lq("删除项目（保留原文件）"));
    remove->setEnabled(sidebarControls(store).deleteProject);
    QObject::connect(remove, &QAction::triggered, &store, [&store, project] {
        if (sidebarControls(store).deleteProject) store.deleteProject(project);
    });
    return menu;
}

// ProjectCardDelegate -----------------------------------------------------------------------------------

ProjectCardDelegate::ProjectCardDelegate(const ProjectCardModel& model, ThumbnailLoader& loader, QObject* parent)
    : QStyledItemDelegate(parent), model_(model), loader_(loader) {}

void ProjectCardDelegate::setCardWidth(qreal width) { cardWidth_ = width; }

QSize ProjectCardDelegate::cellSize() const {
    return QSize(qFloor(cardWidth_ + kGridColumnSpacing), qCeil(projectCardHeight(true) + kGridRowSpacing));
}

QSize ProjectCardDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const { return cellSize(); }

void ProjectCardDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const ProjectCard* card = model_.card(index);
    if (!card) return;
    // Every card of the grid is as high as one with a picture, so that tops and bottoms line up.
    const QRectF rect(option.rect.left(), option.rect.top(), cardWidth_, projectCardHeight(true));
    paintProjectCard(*painter, rect, *card, loader_);
    const auto* view = qobject_cast<const PaintedListView*>(option.widget);
    if (option.state.testFlag(QStyle::State_HasFocus) && view && view->showsFocusRing()) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(Theme::withAlpha(Theme::green(QApplication::palette()), 0.6), 2));
        painter->drawRoundedRect(rect.adjusted(1, 1, -1, -1), kRadius - 1, kRadius - 1);
        painter->restore();
    }
}

// ProjectCardView ------------------------------------------------------------------------------------------

ProjectCardView::ProjectCardView(AppStore& store, const ProjectCardModel& model, ThumbnailLoader& loader,
                                 QWidget* parent)
    : QWidget(parent), store_(store), model_(model), loader_(loader) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setMinimumWidth(qRound(kCardMinWidth));
    setMaximumWidth(440);
    auto changed = [this] {
        updateGeometry();
        update();
    };
    connect(&model_, &QAbstractItemModel::modelReset, this, changed);
    connect(&model_, &QAbstractItemModel::dataChanged, this, changed);
    connect(&model_, &QAbstractItemModel::rowsInserted, this, changed);
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(&model_, &QAbstractItemModel::layoutChanged, this, changed);
    connect(&loader_, &ThumbnailLoader::pictureReady, this, qOverload<>(&QWidget::update));
}

QSize ProjectCardView::sizeHint() const {
    const ProjectCard* card = model_.card(0);
    return QSize(440, qCeil(projectCardHeight(card && card->picture)));
}

void ProjectCardView::paintEvent(QPaintEvent*) {
    const ProjectCard* card = model_.card(0);
    if (!card) return;
    QPainter painter(this);
    const QRectF rect(0, 0, width(), projectCardHeight(card->picture.has_value()));
    paintProjectCard(painter, rect, *card, loader_);
    if (hasKeyboardFocus(this)) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Theme::withAlpha(Theme::green(QApplication::palette()), 0.6), 2));
        painter.drawRoundedRect(rect.adjusted(1, 1, -1, -1), kRadius - 1, kRadius - 1);
    }
}

void ProjectCardView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        if (const ProjectCard* card = model_.card(0)) store_.select(card->id);
    }
}

void ProjectCardView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
        if (const ProjectCard* card = model_.card(0)) store_.select(card->id);
        return;
    }
    QWidget::keyPressEvent(event);
}

void ProjectCardView::contextMenuEvent(QContextMenuEvent* event) {
    const ProjectCard* card = model_.card(0);
    if (!card) return;
    QMenu* menu = projectCardMenu(store_, card->id, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

}  // namespace sorvik::app
