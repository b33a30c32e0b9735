#include "Sorvik/Views/ProjectCard.hpp"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include "Sorvik/Support/Icons.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Support/Theme.hpp"
#include "Sorvik/Views/FileThumbnail.hpp"
#include "Sorvik/Views/OverviewLogic.hpp"
#include "Sorvik/Views/SidebarLogic.hpp"
#include "Sorvik/Views/SidebarRows.hpp"

namespace sorvik::app {

namespace {

constexpr qreal kRadius = 13;
constexpr qreal kPadding = 18;
constexpr qreal kPictureHeight = 220;
constexpr qreal kSymbolAreaHeight = 180;

QFont nameFont() { return Theme::font(19, QFont::DemiBold); }
QFont detailFont() { return Theme::font(11); }
QFont badgeFont() { return Theme::font(10); }

qreal lineHeight(const QFont& font) { return QFontMetricsF(font).height(); }

/// The picture area: the thumbnail, drawn offscreen so the card's rounded corners clip it.
void paintPicture(QPainter& painter, const QRectF& area, const ProjectCard& card, ThumbnailLoader& loader,
                  const QPalette& palette) {
    if (!card.pictureLocated) {
        // The location is on its way: a quiet fill rather than a glyph that would flash.
        painter.fillRect(area, Theme::primaryAt(palette, 0.025));
        return;
    }
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    QImage buffer((area.size() * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    buffer.setDevicePixelRatio(ratio);
    buffer.fill(Theme::surface(palette));
    {
        QPainter offscreen(&buffer);
        paintFileThumbnail(offscreen, QRectF(QPointF(0, 0), area.size()), *card.picture, card.pictureLocation, loader);
    }
    painter.drawImage(area.topLeft(), buffer);
}

}  // namespace

qreal projectCardHeight(bool hasPicture) {
    const qreal details = kPadding + lineHeight(nameFont()) + 9 + lineHeight(detailFont()) + 9 + 4 +
                          std::max(lineHeight(detailFont()), lineHeight(badgeFont())) + kPadding;
    return (hasPicture ? kPictureHeight : kSymbolAreaHeight) + details;
}

void paintProjectCard(QPainter& painter, const QRectF& rect, const ProjectCard& card, ThumbnailLoader& loader) {
    const QPalette palette = QApplication::palette();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
    painter.fillPath(shape, Theme::surface(palette));
    painter.setClipPath(shape);

    // Picture.
    const qreal pictureHeight = card.picture ? kPictureHeight : kSymbolAreaHeight;
    const QRectF area(rect.left(), rect.top(), rect.width(), pictureHeight);
    if (card.picture) {
        paintPicture(painter, area, card, loader, palette);
    } else {
        painter.fillRect(area, Theme::primaryAt(palette, 0.025));
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
    painter.setFont(nameFont());
    const qreal nameHeight = lineHeight(nameFont());
    painter.drawText(QRectF(left, y, width, nameHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(nameFont()).elidedText(card.name, Qt::ElideRight, width));
    y += nameHeight + 9;

    const QColor secondary = Theme::secondaryText(palette);
    painter.setFont(detailFont());
    painter.setPen(secondary);
    const qreal detailHeight = lineHeight(detailFont());
    if (card.folderCount) {
        const QString detail = qs(cardDetailText(card.values.assetCount, *card.folderCount));
        painter.drawText(QRectF(left, y, width, detailHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         QFontMetricsF(detailFont()).elidedText(detail, Qt::ElideRight, width));
    }
    y += detailHeight + 9 + 4;

    // Badge at the right, roles from the left up to it.
    const qreal rowHeight = std::max(detailHeight, lineHeight(badgeFont()));
    const QColor green = Theme::green(palette);
    const QString badge = Lq(card.values.badge);
    const qreal badgeText = QFontMetricsF(badgeFont()).horizontalAdvance(badge);
    const qreal badgeSymbol = 10;
    const qreal badgeLeft = left + width - badgeText - 4 - badgeSymbol;
    Icons::paint(painter, QStringLiteral("link"), QRectF(badgeLeft, y + (rowHeight - badgeSymbol) / 2, badgeSymbol, badgeSymbol),
                 green);
    painter.setPen(green);
    painter.setFont(badgeFont());
    painter.drawText(QRectF(left + width - badgeText, y, badgeText, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, badge);

    painter.setFont(detailFont());
    painter.setPen(secondary);
    const QFontMetricsF detailMetrics(detailFont());
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

    painter.setClipping(false);
    painter.setPen(QPen(Theme::line(palette), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    painter.restore();
}

QMenu* projectCardMenu(AppStore& store, const UUID& project, QWidget* parent) {
    auto* menu = new QMenu(parent);
    QAction* copy = menu->addAction(Icons::icon(QStringLiteral("doc.on.doc"), Theme::primaryText(QApplication::palette())),
                                    Lq("复制 AI 项目引用"));
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
    const qreal height = projectCardHeight(card->picture.has_value());
    const qreal room = projectCardHeight(true);
    // Cards without a picture are shorter; they sit in the middle of their row.
    const QRectF rect(option.rect.left(), option.rect.top() + (room - height) / 2, cardWidth_, height);
    paintProjectCard(*painter, rect, *card, loader_);
    if (option.state.testFlag(QStyle::State_HasFocus) && option.widget && hasKeyboardFocus(option.widget)) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(Theme::withAlpha(Theme::green(QApplication::palette()), 0.6), 2));
        painter->drawRoundedRect(rect.adjusted(1, 1, -1, -1), kRadius - 1, kRadius - 1);
        painter->restore();
    }
}

// ProjectCardView ------------------------------------------------------------------------------------------

ProjectCardView::ProjectCardView(AppStore& store, const ProjectCardModel& model, ThumbnailLoader& loader, QWidget* parent)
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
