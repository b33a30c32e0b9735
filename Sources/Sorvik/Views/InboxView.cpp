#include "Sorvik/Views/InboxView.hpp"

#include <QApplication>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStackedWidget>
#include <QToolTip>
#include <QVBoxLayout>
#include <cmath>

#include "Sorvik/Support/Icons.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Support/Theme.hpp"
#include "Sorvik/Support/Widgets.hpp"
#include "Sorvik/Views/FileThumbnail.hpp"
#include "Sorvik/Views/WorkspaceNotice.hpp"

namespace sorvik::app {

namespace {

constexpr int pagePadding = 30;

/// The asset with this identifier as the store holds it now.
const IndexedAsset* findAsset(const AppStore& store, const UUID& id) {
    for (const IndexedAsset& asset : store.workspace().assets) {
        if (asset.id() == id) return &asset;
    }
    return nullptr;
}

}  // namespace

// InboxListView ------------------------------------------------------------------------------------

InboxListView::InboxListView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent)
    : QListView(parent), store_(store), model_(new InboxModel(this)) {
    setModel(model_);
    setItemDelegate(new InboxRowDelegate(*this, thumbnails, store));
    setViewMode(QListView::ListMode);
    setUniformItemSizes(true);
    setResizeMode(QListView::Adjust);
    setSpacing(0);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(false);
    setAcceptDrops(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(24);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    connect(&thumbnails, &ThumbnailLoader::pictureReady, viewport(), qOverload<>(&QWidget::update));
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { setHovered({}, Zone::none); });
}

void InboxListView::resizeEvent(QResizeEvent* event) {
    setViewportMargins(pagePadding, 0, pagePadding, 0);
    QListView::resizeEvent(event);
}

InboxRowGeometry InboxListView::rowGeometry(const QModelIndex& index) const {
    const QRect cell = visualRect(index);
    InboxRowGeometry g = inboxRowGeometry(viewport()->width());
    for (QRectF* r : {&g.row, &g.thumbnail, &g.name, &g.reason, &g.path, &g.menu}) r->translate(cell.left(), cell.top());
    return g;
}

InboxListView::Zone InboxListView::zoneAt(const QPoint& point, QModelIndex* found) const {
    const QModelIndex index = indexAt(point);
    if (found) *found = index;
    if (!index.isValid()) return Zone::none;
    const InboxRowGeometry g = rowGeometry(index);
    if (!g.row.contains(point)) {
        if (found) *found = {};
        return Zone::none;
    }
    if (g.thumbnail.contains(point)) return Zone::thumbnail;
    if (g.menu.contains(point)) return Zone::menu;
    return Zone::row;
}

void InboxListView::setHovered(const QModelIndex& index, Zone zone) {
    if (QPersistentModelIndex(index) == hovered_ && zone == hoveredZone_) return;
    const QModelIndex before = hovered_;
    hovered_ = index;
    hoveredZone_ = zone;
    viewport()->setCursor(zone == Zone::thumbnail || zone == Zone::menu ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (before.isValid()) viewport()->update(visualRect(before));
    if (index.isValid()) viewport()->update(visualRect(index));
}

void InboxListView::mouseMoveEvent(QMouseEvent* event) {
    QModelIndex index;
    const Zone zone = zoneAt(event->position().toPoint(), &index);
    setHovered(index, zone);
    QListView::mouseMoveEvent(event);
}

void InboxListView::leaveEvent(QEvent* event) {
    setHovered({}, Zone::none);
    QListView::leaveEvent(event);
}

void InboxListView::focusInEvent(QFocusEvent* event) {
    keyboardInUse_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QListView::focusInEvent(event);
}

void InboxListView::mousePressEvent(QMouseEvent* event) {
    keyboardInUse_ = false;
    QModelIndex index;
    pressedZone_ = zoneAt(event->position().toPoint(), &index);
    pressed_ = index;
    QListView::mousePressEvent(event);
    // The menu opens on press, like a pop-up button.
    if (event->button() == Qt::LeftButton && pressedZone_ == Zone::menu && index.isValid()) {
        pressed_ = QPersistentModelIndex();
        const InboxRowGeometry g = rowGeometry(index);
        popUpMenu(index, viewport()->mapToGlobal(g.menu.bottomLeft().toPoint() + QPoint(0, 3)));
    }
}

void InboxListView::mouseReleaseEvent(QMouseEvent* event) {
    QModelIndex index;
    const Zone zone = zoneAt(event->position().toPoint(), &index);
    QListView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !index.isValid() || index != pressed_ || zone != pressedZone_) return;
    pressed_ = QPersistentModelIndex();
    if (zone == Zone::thumbnail) store_.setSheet(AppSheet::file(model_->row(index.row()).file.id));
}

std::unique_ptr<QMenu> InboxListView::makeMenu(const UUID& assetID) {
    auto menu = std::make_unique<QMenu>();
    // A long project list scrolls instead of running off the screen.
    menu->setStyleSheet(QStringLiteral("QMenu { menu-scrollable: 1; }"));
    menu->setEnabled(inboxMenuEnabled(store_.isBusy(), store_.recoveryMode()));
    AppStore& store = store_;
    const auto allowed = [&store] { return inboxMenuEnabled(store.isBusy(), store.recoveryMode()); };
    for (const InboxMenuEntry& entry : inboxMenu(store_.deliveries())) {
        switch (entry.kind) {
            case InboxMenuEntry::Kind::divider: menu->addSeparator(); break;
            case InboxMenuEntry::Kind::project: {
                QAction* action = menu->addAction(qs(menuItemText(entry.title)));
                connect(action, &QAction::triggered, this, [&store, allowed, assetID, projectID = entry.projectID] {
                    if (!allowed()) return;
                    if (const IndexedAsset* asset = findAsset(store, assetID)) store.assign(*asset, projectID);
                });
                break;
            }
            case InboxMenuEntry::Kind::createProject: {
                QAction* action = menu->addAction(Lq(entry.title));
                connect(action, &QAction::triggered, this, [&store, allowed, assetID] {
                    if (!allowed()) return;
                    if (const IndexedAsset* asset = findAsset(store, assetID)) store.createProject(*asset);
                });
                break;
            }
        }
    }
    return menu;
}

void InboxListView::popUpMenu(const QModelIndex& index, const QPoint& globalPoint) {
    if (!index.isValid() || !inboxMenuEnabled(store_.isBusy(), store_.recoveryMode())) return;
    const std::unique_ptr<QMenu> menu = makeMenu(model_->row(index.row()).file.id);
    menu->exec(globalPoint);
}

void InboxListView::contextMenuEvent(QContextMenuEvent* event) {
    QModelIndex index;
    if (event->reason() == QContextMenuEvent::Keyboard) {
        index = currentIndex();
        if (!index.isValid()) return;
        popUpMenu(index, viewport()->mapToGlobal(rowGeometry(index).menu.bottomLeft().toPoint()));
        return;
    }
    if (zoneAt(viewport()->mapFromGlobal(event->globalPos()), &index) == Zone::none) return;
    popUpMenu(index, event->globalPos());
}

void InboxListView::keyPressEvent(QKeyEvent* event) {
    if (!keyboardInUse_) {
        keyboardInUse_ = true;
        viewport()->update();
    }
    const QModelIndex index = currentIndex();
    if (index.isValid() &&
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space)) {
        store_.setSheet(AppSheet::file(model_->row(index.row()).file.id));
        return;
    }
    QListView::keyPressEvent(event);
}

bool InboxListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        QModelIndex index;
        const Zone zone = zoneAt(help->pos(), &index);
        QString tip;
        if (index.isValid() && zone == Zone::row) {
            const InboxRowItem& row = model_->row(index.row());
            const InboxRowGeometry g = rowGeometry(index);
            if (g.reason.contains(help->pos())) tip = Lq(row.reason);
            if (g.path.contains(help->pos())) tip = qs(row.path);
            if (g.name.contains(help->pos())) tip = qs(row.file.name);
        }
        if (tip.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), tip, viewport());
        }
        return true;
    }
    return QListView::viewportEvent(event);
}

// InboxRowDelegate -----------------------------------------------------------------------------------

InboxRowDelegate::InboxRowDelegate(InboxListView& view, ThumbnailLoader& thumbnails, AppStore& store)
    : QStyledItemDelegate(&view), view_(view), thumbnails_(thumbnails), store_(store) {}

QSize InboxRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return QSize(std::max(1, view_.viewport()->width()),
                 static_cast<int>(std::ceil(inboxRowHeight())) + inboxRowSpacing);
}

void InboxRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* model = qobject_cast<const InboxModel*>(index.model());
    if (!model) return;
    const InboxRowItem& row = model->row(index.row());
    const QPalette palette = QApplication::palette();
    const InboxRowGeometry g = view_.rowGeometry(index);
    const bool hovered = view_.hovered() == index;
    const InboxListView::Zone zone = hovered ? view_.hoveredZone() : InboxListView::Zone::none;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    paintCard(*painter, g.row, palette, 10);

    paintFileThumbnail(*painter, g.thumbnail, row.file, row.location, thumbnails_);
    QPainterPath corners;
    corners.addRect(g.thumbnail);
    QPainterPath rounded;
    rounded.addRoundedRect(g.thumbnail, 7, 7);
    painter->fillPath(corners.subtracted(rounded), Theme::surface(palette));
    if (zone == InboxListView::Zone::thumbnail) painter->fillPath(rounded, Theme::primaryAt(palette, 0.05));

    const QFont name = Theme::font(13, QFont::Medium);
    painter->setFont(name);
    painter->setPen(Theme::primaryText(palette));
    painter->drawText(g.name, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetricsF(name).elidedText(qs(row.file.name), Qt::ElideMiddle, g.name.width()));
    const QFont reason = Theme::font(11);
    painter->setFont(reason);
    painter->setPen(Theme::secondaryText(palette));
    painter->drawText(g.reason, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetricsF(reason).elidedText(Lq(row.reason), Qt::ElideRight, g.reason.width()));
    const QFont path = Theme::font(9);
    painter->setFont(path);
    painter->setPen(Theme::tertiaryText(palette));
    painter->drawText(g.path, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetricsF(path).elidedText(qs(row.path), Qt::ElideMiddle, g.path.width()));

    // The assign menu, drawn as a pop-up button.
    const bool enabled = inboxMenuEnabled(store_.isBusy(), store_.recoveryMode());
    QPainterPath button;
    button.addRoundedRect(g.menu.adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
    painter->fillPath(button, Theme::primaryAt(palette, enabled && zone == InboxListView::Zone::menu ? 0.08 : 0.035));
    painter->setPen(QPen(Theme::line(palette), 1));
    painter->drawPath(button);
    QColor text = Theme::primaryText(palette);
    if (!enabled) text = Theme::withAlpha(text, 0.35);
    const QFont label = Theme::font(11, QFont::Medium);
    painter->setFont(label);
    painter->setPen(text);
    const QRectF chevron(g.menu.right() - 9 - 8, g.menu.center().y() - 4, 8, 8);
    const QRectF labelRect(g.menu.left() + 9, g.menu.top(), chevron.left() - 4 - g.menu.left() - 9, g.menu.height());
    painter->drawText(labelRect, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetricsF(label).elidedText(Lq("关联到项目"), Qt::ElideRight, labelRect.width()));
    Icons::paint(*painter, QStringLiteral("chevron.down"), chevron, enabled ? Theme::secondaryText(palette) : text);

    if ((option.state & QStyle::State_HasFocus) && view_.showsFocusRing()) {
        QPainterPath ring;
        ring.addRoundedRect(g.row.adjusted(-1.5, -1.5, 1.5, 1.5), 11.5, 11.5);
        painter->setPen(QPen(Theme::withAlpha(Theme::green(palette), 0.55), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(ring);
    }
    painter->restore();
}

// InboxView ---------------------------------------------------------------------------------------------

InboxView::InboxView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent) : QWidget(parent), store_(store) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    auto* top = new QWidget(this);
    auto* column = new QVBoxLayout(top);
    column->setContentsMargins(pagePadding, pagePadding, pagePadding, 24);
    column->setSpacing(24);
    title_ = new ToneLabel({}, 30, QFont::DemiBold, Tone::primary, top);
    explainer_ = new ToneLabel({}, 13, QFont::Normal, Tone::secondary, top);
    explainer_->setWordWrap(true);
    column->addWidget(title_);
    column->addWidget(explainer_);
    page->addWidget(top);

    content_ = new QStackedWidget(this);
    list_ = new InboxListView(store_, thumbnails, content_);
    content_->addWidget(list_);
    empty_ = new QWidget(content_);
    auto* emptyColumn = new QVBoxLayout(empty_);
    emptyColumn->setContentsMargins(60, 60, 60, 60);
    auto* emptyRow = new QHBoxLayout();
    emptyRow->setSpacing(7);
    emptyRow->addStretch(1);
    emptyRow->addWidget(new SymbolView(QStringLiteral("checkmark.circle"), 14, Tone::green, empty_), 0, Qt::AlignVCenter);
    emptyLabel_ = new ToneLabel({}, 13, QFont::Normal, Tone::green, empty_);
    emptyRow->addWidget(emptyLabel_, 0, Qt::AlignVCenter);
    emptyRow->addStretch(1);
    emptyColumn->addLayout(emptyRow);
    emptyColumn->addStretch(1);
    content_->addWidget(empty_);
    page->addWidget(content_, 1);
    page->addWidget(makeWorkspaceStatus(store_, this));

    connect(&store_, &AppStore::changed, this, &InboxView::refresh);
    connect(&store_.preferences(), &Preferences::languageChanged, this, [this] {
        retranslate();
        list_->viewport()->update();
    });
    retranslate();
}

void InboxView::retranslate() {
    title_->setFullText(Lq("还差一条线索。"));
    explainer_->setFullText(Lq("这些素材还没有明确的项目归属。确认关联后，Sorvik会持续跟踪原文件。"));
    emptyLabel_->setFullText(Lq("当前没有待识别素材"));
}

void InboxView::refresh(StoreChanges what) {
    // The menus' look follows the busy state.
    if (what & StoreChange::busy) list_->viewport()->update();
    if (!(what & (StoreChange::assets | StoreChange::search | StoreChange::projects))) return;
    if (isVisible()) {
        rebuild();
    } else {
        stale_ = true;
    }
}

void InboxView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_) rebuild();
}

void InboxView::rebuild() {
    stale_ = false;
    std::vector<InboxRowItem> rows = inboxRows(store_);
    const bool empty = rows.empty();
    list_->rows()->setRows(std::move(rows));
    content_->setCurrentWidget(empty ? empty_ : static_cast<QWidget*>(list_));
}

bool InboxView::showsEmptyState() const { return content_->currentWidget() == empty_; }

}  // namespace sorvik::app
