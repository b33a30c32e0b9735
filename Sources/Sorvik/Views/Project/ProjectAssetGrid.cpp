#include "Sorvik/Views/Project/ProjectAssetGrid.hpp"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <cmath>

#include "Sorvik/Views/Kit/Icons.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

constexpr int pagePadding = space::pageMargin;
constexpr int cellInset = assetGridColumnSpacing / 2;

QFont nameFont() { return Theme::font(type::body, QFont::Medium); }
QFont smallFont() { return Theme::font(type::caption); }

/// The width a text takes, at most `limit`.
qreal textWidth(const QFont& font, const QString& text, qreal limit) {
    return std::min(limit, QFontMetricsF(font).horizontalAdvance(text));
}

/// The current record of a project file: from the project, else wherever the store has it.
std::optional<DeliveryFile> currentFile(const AppStore& store, const std::optional<UUID>& projectID, const UUID& id) {
    if (projectID) {
        for (const Delivery& project : store.deliveries()) {
            if (project.id != *projectID) continue;
            for (const DeliveryFile& file : project.files) {
                if (file.id == id) return file;
            }
        }
    }
    return store.file(id);
}

}  // namespace

// AssetGridView -----------------------------------------------------------------------------------

AssetGridView::AssetGridView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent)
    : PaintedListView(parent), store_(store), model_(new ProjectAssetsModel(this)) {
    setModel(model_);
    setItemDelegate(new AssetCardDelegate(*this, thumbnails));
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setSelectionRectVisible(false);
    connect(&thumbnails, &ThumbnailLoader::pictureReady, viewport(), qOverload<>(&QWidget::update));
    relayout();
}

void AssetGridView::relayout() {
    // In a page the scroll bar is the page's; alone, its room is always kept, so showing it never
    // changes the columns.
    const int scrollbar = page() ? 0 : style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
    const int available = width() - 2 * pagePadding - scrollbar;
    columns_ = assetGridColumns(available);
    const int cellWidth = columns_.width + assetGridColumnSpacing;
    const int cellHeight = static_cast<int>(std::ceil(assetCardHeight())) + assetGridRowSpacing;
    const int left = std::max(0, pagePadding + columns_.inset - cellInset);
    // One pixel of slack so the last column never wraps.
    const int right = std::max(0, width() - scrollbar - left - columns_.count * cellWidth - 1);
    setViewportMargins(left, 0, right, 0);
    if (gridSize() != QSize(cellWidth, cellHeight)) setGridSize(QSize(cellWidth, cellHeight));
}

int AssetGridView::contentHeight() const {
    const long long rows = (model_->rowCount() + columns_.count - 1) / columns_.count;
    return static_cast<int>(std::min<long long>(QWIDGETSIZE_MAX, rows * gridSize().height()));
}

void AssetGridView::resizeEvent(QResizeEvent* event) {
    relayout();
    PaintedListView::resizeEvent(event);
}

AssetCardGeometry AssetGridView::cardGeometry(const QModelIndex& index) const {
    const QRect cell = visualRect(index);
    AssetCardGeometry g = assetCardGeometry(cell.width() - assetGridColumnSpacing);
    const QPointF origin(cell.left() + cellInset, cell.top());
    for (QRectF* r : {&g.card, &g.preview, &g.badge, &g.name, &g.sizeLine, &g.menu, &g.folder}) r->translate(origin);
    return g;
}

int AssetGridView::partAt(const QPoint& point, QModelIndex* found) const {
    return static_cast<int>(zoneAt(point, found));
}

AssetGridView::Zone AssetGridView::zoneAt(const QPoint& point, QModelIndex* found) const {
    const QModelIndex index = indexAt(point);
    if (found) *found = index;
    if (!index.isValid()) return Zone::none;
    const AssetCardGeometry g = cardGeometry(index);
    if (!g.card.contains(point)) {
        if (found) *found = {};
        return Zone::none;
    }
    const AssetCardItem& item = model_->item(index.row());
    if (g.preview.contains(point)) return Zone::preview;
    if (g.menu.adjusted(-3, -3, 3, 3).contains(point)) return Zone::menu;
    QRectF name = g.name;
    name.setWidth(textWidth(nameFont(), qs(item.file.name), g.name.width()));
    if (name.adjusted(0, -2, 0, 2).contains(point)) return Zone::name;
    if (item.texts.folderLabel) {
        QRectF folder = g.folder;
        folder.setWidth(
            std::min(g.folder.width(), 16 + textWidth(smallFont(), qs(*item.texts.folderLabel), g.folder.width())));
        if (folder.contains(point)) return Zone::folder;
    }
    return Zone::card;
}

UUID AssetGridView::fileID(const QModelIndex& index) const { return model_->item(index.row()).file.id; }

bool AssetGridView::isClickable(int part) const {
    const Zone zone = static_cast<Zone>(part);
    return zone == Zone::preview || zone == Zone::name || zone == Zone::menu || zone == Zone::folder;
}

void AssetGridView::activate(const QModelIndex& index, int part) {
    const UUID id = fileID(index);
    switch (static_cast<Zone>(part)) {
        case Zone::preview:
        case Zone::name: store_.setSheet(AppSheet::file(id)); break;
        case Zone::menu: popUpMenu(index, viewport()->mapToGlobal(menuAnchor(index))); break;
        case Zone::folder: {
            const std::optional<DeliveryFile> file = currentFile(store_, store_.selectedID(), id);
            if (file && file->reference) store_.revealItem(file->reference->resolve(false));
            break;
        }
        case Zone::card:
        case Zone::none: break;
    }
}

std::unique_ptr<QMenu> AssetGridView::makeMenu(const UUID& id) {
    auto menu = std::make_unique<QMenu>();
    const std::optional<UUID> projectID = store_.selected() ? std::optional<UUID>(store_.selected()->id) : std::nullopt;
    for (const AssetMenuEntry& entry : assetMenu(projectID.has_value(), store_.isBusy(), store_.recoveryMode())) {
        QAction* action = menu->addAction(Lq(entry.title));
        action->setEnabled(entry.enabled);
        AppStore& store = store_;
        switch (entry.action) {
            case AssetAction::copyReference:
                connect(action, &QAction::triggered, this, [&store, projectID, id] {
                    const std::optional<DeliveryFile> file = currentFile(store, projectID, id);
                    for (const Delivery& project : store.deliveries()) {
                        if (projectID && project.id == *projectID && file) {
                            store.copyAgentReference(project, file);
                            return;
                        }
                    }
                });
                break;
            case AssetAction::reveal:
            case AssetAction::open:
                connect(action, &QAction::triggered, this, [&store, projectID, id, kind = entry.action] {
                    const std::optional<DeliveryFile> file = currentFile(store, projectID, id);
                    if (!file) return;
                    const std::optional<std::filesystem::path> location = fileLocation(*file, store.repository());
                    if (!location) return;
                    if (kind == AssetAction::reveal) {
                        store.revealItem(*location);
                    } else {
                        store.openItem(*location);
                    }
                });
                break;
            case AssetAction::unlink:
                connect(action, &QAction::triggered, this, [&store, id] {
                    if (store.isBusy() || store.recoveryMode() || !store.selected()) return;
                    for (const DeliveryFile& file : store.selected()->files) {
                        if (file.id == id) {
                            const DeliveryFile removed = file;
                            store.removeFile(removed);
                            return;
                        }
                    }
                });
                break;
        }
    }
    return menu;
}

void AssetGridView::popUpMenu(const QModelIndex& index, const QPoint& globalPoint) {
    if (!index.isValid()) return;
    const std::unique_ptr<QMenu> menu = makeMenu(fileID(index));
    menu->exec(globalPoint);
}

QPoint AssetGridView::menuAnchor(const QModelIndex& index) const {
    return cardGeometry(index).menu.bottomLeft().toPoint() + QPoint(0, 4);
}

void AssetGridView::open(const QModelIndex& index) { store_.setSheet(AppSheet::file(fileID(index))); }

QString AssetGridView::toolTipAt(const QPoint& point) const {
    QModelIndex index;
    const Zone zone = zoneAt(point, &index);
    if (!index.isValid()) return {};
    const AssetCardItem& item = model_->item(index.row());
    if (zone == Zone::preview || zone == Zone::name) return qs(item.file.name);
    if (zone == Zone::folder && item.file.reference) return qs(item.file.reference->path);
    if (zone == Zone::menu) return Lq("更多操作");
    return {};
}

// AssetCardDelegate --------------------------------------------------------------------------------

AssetCardDelegate::AssetCardDelegate(AssetGridView& view, ThumbnailLoader& thumbnails)
    : QStyledItemDelegate(&view), view_(view), thumbnails_(thumbnails) {}

QSize AssetCardDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const { return view_.gridSize(); }

void AssetCardDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* model = qobject_cast<const ProjectAssetsModel*>(index.model());
    if (!model) return;
    const AssetCardItem& item = model->item(index.row());
    const QPalette palette = QApplication::palette();
    const AssetCardGeometry g = view_.cardGeometry(index);
    const AssetGridView::Zone zone = view_.hovered() == index ? view_.hoveredZone() : AssetGridView::Zone::none;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    paintCard(*painter, g.card, palette, corner::assetCard);

    // The preview, its corners rounded by painting the card's surface over them.
    paintFileThumbnail(*painter, g.preview, item.file, item.location, thumbnails_);
    QPainterPath corners;
    corners.addRect(g.preview);
    QPainterPath rounded;
    rounded.addRoundedRect(g.preview, corner::preview, corner::preview);
    painter->fillPath(corners.subtracted(rounded), Theme::surface(palette));
    if (zone == AssetGridView::Zone::preview) painter->fillPath(rounded, Theme::primaryAt(palette, 0.04));

    QPainterPath badge;
    badge.addRoundedRect(g.badge, corner::badge, corner::badge);
    painter->fillPath(badge, Theme::withAlpha(Theme::surface(palette), 0.86));
    const QRectF symbol = g.badge.adjusted(7, 7, -7, -7);
    if (item.texts.attention) {
        Icons::paint(*painter, QStringLiteral("exclamationmark.triangle.fill"), symbol, Theme::warning(palette));
    } else {
        Icons::paint(*painter, QStringLiteral("arrow.up.forward"), symbol, Theme::secondaryText(palette));
    }

    const QFont name = nameFont();
    painter->setFont(name);
    painter->setPen(Theme::primaryText(palette));
    const QString nameText = QFontMetricsF(name).elidedText(qs(item.file.name), Qt::ElideMiddle, g.name.width());
    painter->drawText(g.name, Qt::AlignLeft | Qt::AlignVCenter, nameText);
    if (zone == AssetGridView::Zone::name) {
        const qreal width = textWidth(name, nameText, g.name.width());
        painter->setPen(QPen(Theme::primaryAt(palette, 0.35), 1));
        painter->drawLine(QPointF(g.name.left(), g.name.bottom() - 0.5),
                          QPointF(g.name.left() + width, g.name.bottom() - 0.5));
    }

    const QFont small = smallFont();
    painter->setFont(small);
    painter->setPen(item.texts.attention ? Theme::warning(palette) : Theme::secondaryText(palette));
    const QString size = item.texts.attention ? Lq(item.texts.sizeLine) : qs(item.texts.sizeLine);
    painter->drawText(g.sizeLine, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetricsF(small).elidedText(size, Qt::ElideRight, g.sizeLine.width()));

    if (zone == AssetGridView::Zone::menu) {
        QPainterPath fill;
        fill.addRoundedRect(g.menu.adjusted(-3, -2, 3, 2), corner::chip, corner::chip);
        painter->fillPath(fill, Theme::primaryAt(palette, 0.07));
    }
    const qreal side = 14;
    Icons::paint(*painter, QStringLiteral("ellipsis"),
                 QRectF(g.menu.center().x() - side / 2, g.menu.center().y() - side / 2, side, side),
                 zone == AssetGridView::Zone::menu ? Theme::primaryText(palette) : Theme::secondaryText(palette));

    if (item.texts.folderLabel) {
        const QColor color =
            zone == AssetGridView::Zone::folder ? Theme::secondaryText(palette) : Theme::tertiaryText(palette);
        const QRectF icon(g.folder.left(), g.folder.center().y() - 5.5, 11, 11);
        Icons::paint(*painter, QStringLiteral("folder"), icon, color);
        painter->setPen(color);
        const QRectF text = g.folder.adjusted(16, 0, 0, 0);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetricsF(small).elidedText(qs(*item.texts.folderLabel), Qt::ElideRight, text.width()));
    }

    if ((option.state & QStyle::State_HasFocus) && view_.showsFocusRing()) {
        QPainterPath ring;
        ring.addRoundedRect(g.card.adjusted(-1.5, -1.5, 1.5, 1.5), corner::assetCard + corner::outerRing,
                            corner::assetCard + corner::outerRing);
        painter->setPen(QPen(Theme::withAlpha(Theme::green(palette), 0.55), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(ring);
    }
    painter->restore();
}

}  // namespace sorvik::app
