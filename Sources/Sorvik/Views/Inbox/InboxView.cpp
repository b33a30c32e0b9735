#include "Sorvik/Views/Inbox/InboxView.hpp"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cmath>

#include "Sorvik/Views/Kit/Icons.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"
#include "Sorvik/Views/Kit/PageLayout.hpp"
#include "Sorvik/Views/Kit/WorkspaceNotice.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

constexpr int pagePadding = space::pageMargin;

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
    : PaintedListView(parent), store_(store), model_(new InboxModel(this)) {
    setModel(model_);
    setItemDelegate(new InboxRowDelegate(*this, thumbnails, store));
    setViewMode(QListView::ListMode);
    connect(&thumbnails, &ThumbnailLoader::pictureReady, viewport(), qOverload<>(&QWidget::update));
}

void InboxListView::resizeEvent(QResizeEvent* event) {
    setViewportMargins(pagePadding, 0, pagePadding, 0);
    PaintedListView::resizeEvent(event);
}

InboxRowGeometry InboxListView::rowGeometry(const QModelIndex& index) const {
    const QRect cell = visualRect(index);
    InboxRowGeometry g = inboxRowGeometry(viewport()->width());
    for (QRectF* r : {&g.row, &g.thumbnail, &g.name, &g.reason, &g.path, &g.menu})
        r->translate(cell.left(), cell.top());
    return g;
}

int InboxListView::partAt(const QPoint& point, QModelIndex* found) const {
    return static_cast<int>(zoneAt(point, found));
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

bool InboxListView::isClickable(int part) const {
    return static_cast<Zone>(part) == Zone::thumbnail || static_cast<Zone>(part) == Zone::menu;
}

// The menu opens on press, like a pop-up button.
bool InboxListView::actsOnPress(int part) const { return static_cast<Zone>(part) == Zone::menu; }

void InboxListView::activate(const QModelIndex& index, int part) {
    switch (static_cast<Zone>(part)) {
        case Zone::thumbnail: open(index); break;
        case Zone::menu: popUpMenu(index, viewport()->mapToGlobal(menuAnchor(index))); break;
        case Zone::row:
        case Zone::none: break;
    }
}

void InboxListView::open(const QModelIndex& index) {
    store_.setSheet(AppSheet::file(model_->row(index.row()).file.id));
}

QPoint InboxListView::menuAnchor(const QModelIndex& index) const {
    return rowGeometry(index).menu.bottomLeft().toPoint() + QPoint(0, 3);
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

QString InboxListView::toolTipAt(const QPoint& point) const {
    QModelIndex index;
    if (zoneAt(point, &index) != Zone::row) return {};
    const InboxRowItem& row = model_->row(index.row());
    const InboxRowGeometry g = rowGeometry(index);
    if (g.name.contains(point)) return qs(row.file.name);
    if (g.reason.contains(point)) return Lq(row.reason);
    if (g.path.contains(point)) return qs(row.path);
    return {};
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
    const InboxListView::Zone zone = view_.hovered() == index ? view_.hoveredZone() : InboxListView::Zone::none;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    paintCard(*painter, g.row, palette, corner::panel);

    paintFileThumbnail(*painter, g.thumbnail, row.file, row.location, thumbnails_);
    QPainterPath corners;
    corners.addRect(g.thumbnail);
    QPainterPath rounded;
    rounded.addRoundedRect(g.thumbnail, corner::control, corner::control);
    painter->fillPath(corners.subtracted(rounded), Theme::surface(palette));
    if (zone == InboxListView::Zone::thumbnail) painter->fillPath(rounded, Theme::primaryAt(palette, 0.05));

    const QFont name = Theme::font(type::callout, QFont::Medium);
    painter->setFont(name);
    painter->setPen(Theme::primaryText(palette));
    painter->drawText(g.name, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetricsF(name).elidedText(qs(row.file.name), Qt::ElideMiddle, g.name.width()));
    const QFont reason = Theme::font(type::footnote);
    painter->setFont(reason);
    painter->setPen(Theme::secondaryText(palette));
    painter->drawText(g.reason, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetricsF(reason).elidedText(Lq(row.reason), Qt::ElideRight, g.reason.width()));
    const QFont path = Theme::font(type::fine);
    painter->setFont(path);
    painter->setPen(Theme::tertiaryText(palette));
    painter->drawText(g.path, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetricsF(path).elidedText(qs(row.path), Qt::ElideMiddle, g.path.width()));

    // The assign menu, drawn as a pop-up button.
    const bool enabled = inboxMenuEnabled(store_.isBusy(), store_.recoveryMode());
    QPainterPath button;
    button.addRoundedRect(g.menu.adjusted(0.5, 0.5, -0.5, -0.5), corner::control, corner::control);
    painter->fillPath(button, Theme::primaryAt(palette, enabled && zone == InboxListView::Zone::menu ? 0.08 : 0.035));
    painter->setPen(QPen(Theme::line(palette), 1));
    painter->drawPath(button);
    QColor text = Theme::primaryText(palette);
    if (!enabled) text = Theme::withAlpha(text, 0.35);
    const QFont label = Theme::font(type::footnote, QFont::Medium);
    painter->setFont(label);
    painter->setPen(text);
    const QRectF chevron(g.menu.right() - 9 - 8, g.menu.center().y() - 4, 8, 8);
    const QRectF labelRect(g.menu.left() + 9, g.menu.top(), chevron.left() - 4 - g.menu.left() - 9, g.menu.height());
    painter->drawText(labelRect, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetricsF(label).elidedText(Lq("关联到项目"), Qt::ElideRight, labelRect.width()));
    Icons::paint(*painter, QStringLiteral("chevron.down"), chevron, enabled ? Theme::secondaryText(palette) : text);

    if ((option.state & QStyle::State_HasFocus) && view_.showsFocusRing()) {
        QPainterPath ring;
        ring.addRoundedRect(g.row.adjusted(-1.5, -1.5, 1.5, 1.5), corner::panel + corner::outerRing,
                            corner::panel + corner::outerRing);
        painter->setPen(QPen(Theme::withAlpha(Theme::green(palette), 0.55), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(ring);
    }
    painter->restore();
}

// InboxView ---------------------------------------------------------------------------------------------

InboxView::InboxView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent) : QWidget(parent), store_(store) {
    // The title, the explainer and the rows scroll as one page; the status line stays under it.
    const ViewPage frame = makeViewPage(this);
    scroll_ = frame.area;
    QWidget* page = frame.page;
    // Each row carries the spacing under it.
    const BlocksOverList blocks =
        makeBlocksOverList(page, space::wideSections, std::max(0, pagePadding - inboxRowSpacing));
    QVBoxLayout* body = blocks.body;
    title_ = new ToneLabel({}, type::pageTitle, QFont::DemiBold, Tone::primary, blocks.top);
    explainer_ = new ToneLabel({}, type::callout, QFont::Normal, Tone::secondary, blocks.top);
    explainer_->setWordWrap(true);
    blocks.column->addWidget(title_);
    blocks.column->addWidget(explainer_);

    list_ = new InboxListView(store_, thumbnails, page);
    body->addWidget(list_, 1, Qt::AlignTop);
    empty_ = new QWidget(page);
    auto* emptyColumn = new QVBoxLayout(empty_);
    emptyColumn->setContentsMargins(space::emptyPageMargin, space::emptyPageMargin, space::emptyPageMargin,
                                    space::emptyPageMargin);
    auto* emptyRow = new QHBoxLayout();
    emptyRow->setSpacing(space::smallGap);
    emptyRow->addStretch(1);
    emptyRow->addWidget(new SymbolView(QStringLiteral("checkmark.circle"), 14, Tone::green, empty_), 0,
                        Qt::AlignVCenter);
    emptyLabel_ = new ToneLabel({}, type::callout, QFont::Normal, Tone::green, empty_);
    emptyRow->addWidget(emptyLabel_, 0, Qt::AlignVCenter);
    emptyRow->addStretch(1);
    emptyColumn->addLayout(emptyRow);
    emptyColumn->addStretch(1);
    body->addWidget(empty_, 1);
    empty_->hide();
    scroll_->setWidget(page);
    list_->placeInPage(scroll_);
    frame.outer->addWidget(scroll_, 1);
    frame.outer->addWidget(makeWorkspaceStatus(store_, this));

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
    if (what & (StoreChange::assets | StoreChange::search | StoreChange::projects)) rebuilds_.changed();
}

void InboxView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    rebuilds_.shown();
}

void InboxView::rebuild() {
    std::vector<InboxRowItem> rows = inboxRows(store_);
    const bool empty = rows.empty();
    list_->rows()->setRows(std::move(rows));
    list_->setVisible(!empty);
    empty_->setVisible(empty);
}

bool InboxView::showsEmptyState() const { return !empty_->isHidden(); }

}  // namespace sorvik::app
