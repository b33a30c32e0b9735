#include "Sorvik/Views/Project/ProjectDetailView.hpp"

#include <QApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "Sorvik/Views/Kit/Icons.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Project/ProjectAssetGrid.hpp"
#include "Sorvik/Views/Kit/SegmentedPicker.hpp"
#include "Sorvik/Views/Kit/PageLayout.hpp"
#include "Sorvik/Views/Kit/WorkspaceNotice.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"
#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

ProjectDetailView::ProjectDetailView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent)
    : QWidget(parent), store_(store), thumbnails_(thumbnails) {
    // The header, the notice, the filter bar and the cards scroll as one page; the status line
    // stays under it. An opaque page scrolls by moving what is drawn already.
    const ViewPage frame = makeViewPage(this);
    scroll_ = frame.area;
    QWidget* page = frame.page;
    // The cards' cells carry the row spacing under each row.
    const BlocksOverList blocks = makeBlocksOverList(page, space::pageBlocks, space::pageMargin - assetGridRowSpacing);
    QVBoxLayout* body = blocks.body;
    blocks.column->addWidget(makeHeader());
    blocks.column->addWidget(makeWorkspaceNotice(store_, blocks.top));
    blocks.column->addWidget(makeFilterBar());

    grid_ = new AssetGridView(store_, thumbnails_, page);
    body->addWidget(grid_, 1, Qt::AlignTop);
    body->addWidget(makeEmptyState(page), 1);
    empty_->hide();
    scroll_->setWidget(page);
    grid_->useInPage(scroll_);
    frame.outer->addWidget(scroll_, 1);
    frame.outer->addWidget(makeWorkspaceStatus(store_, this));

    connect(&store_, &AppStore::changed, this, &ProjectDetailView::refresh);
    connect(&store_.preferences(), &Preferences::languageChanged, this, [this] {
        retranslate();
        libraryChanged_ = true;
        rebuilds_.changed();
    });
    retranslate();
    refreshStates();
}

QWidget* ProjectDetailView::makeHeader() {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(space::item);
    auto* texts = new QVBoxLayout();
    texts->setSpacing(space::item);
    title_ = new ToneLabel({}, type::pageTitle, QFont::DemiBold, Tone::primary, header);
    QFont titleFont = title_->font();
    titleFont.setLetterSpacing(QFont::AbsoluteSpacing, -0.6);
    title_->setFont(titleFont);
    title_->setElide(Qt::ElideRight);
    counts_ = new ToneLabel({}, type::callout, QFont::Normal, Tone::secondary, header);
    texts->addWidget(title_);
    texts->addWidget(counts_);
    row->addLayout(texts, 1);
    menu_ = new StyledButton(StyledButton::Style::plain, {}, header);
    menu_->setSymbol(QStringLiteral("ellipsis.circle"), 18);
    menu_->setTone(Tone::secondary);
    connect(menu_, &QAbstractButton::clicked, this, [this] {
        const std::unique_ptr<QMenu> menu = makeProjectMenu();
        menu->exec(menu_->mapToGlobal(QPoint(0, menu_->height() + 4)));
    });
    rules_ = new StyledButton(StyledButton::Style::quiet, {}, header);
    rules_->setSymbol(QStringLiteral("slider.horizontal.3"), 13);
    connect(rules_, &QAbstractButton::clicked, this, [this] {
        if (!store_.isBusy()) store_.setSheet(AppSheet::projectRules());
    });
    delivery_ = new StyledButton(StyledButton::Style::quiet, {}, header);
    delivery_->setSymbol(QStringLiteral("shippingbox"), 13);
    connect(delivery_, &QAbstractButton::clicked, this, [this] {
        if (!store_.isBusy()) store_.setSheet(AppSheet::delivery());
    });
    row->addWidget(menu_, 0, Qt::AlignTop);
    row->addWidget(rules_, 0, Qt::AlignTop);
    row->addWidget(delivery_, 0, Qt::AlignTop);
    return header;
}

QWidget* ProjectDetailView::makeFilterBar() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(space::buttonGap);
    filter_ = new SegmentedPicker(bar);
    connect(filter_, &SegmentedPicker::chosen, this,
            [this](int index) { store_.setProjectFilter(FileFilters::allCases.at(static_cast<std::size_t>(index))); });
    row->addWidget(filter_, 0, Qt::AlignVCenter);
    row->addStretch(1);
    link_ = new StyledButton(StyledButton::Style::plain, {}, bar);
    link_->setSymbol(QStringLiteral("link"), 12);
    link_->setPixelSize(type::footnote, QFont::Normal);
    link_->setTone(Tone::secondary);
    connect(link_, &QAbstractButton::clicked, this, [this] { store_.chooseFiles(); });
    find_ = new StyledButton(StyledButton::Style::quiet, {}, bar);
    find_->setSymbol(QStringLiteral("magnifyingglass"), 12);
    connect(find_, &QAbstractButton::clicked, this, [this] { store_.scanFolders(false); });
    row->addWidget(link_, 0, Qt::AlignVCenter);
    row->addWidget(find_, 0, Qt::AlignVCenter);
    return bar;
}

QWidget* ProjectDetailView::makeEmptyState(QWidget* page) {
    empty_ = new QWidget(page);
    auto* column = new QVBoxLayout(empty_);
    column->setContentsMargins(space::missingMargin, space::missingMargin, space::missingMargin, space::missingMargin);
    column->setSpacing(space::rows);
    column->addStretch(1);
    column->addWidget(new SymbolView(QStringLiteral("folder.badge.questionmark"), 36, Tone::tertiary, empty_), 0,
                      Qt::AlignHCenter);
    emptyTitle_ = new ToneLabel({}, type::callout, QFont::DemiBold, Tone::primary, empty_);
    emptyTitle_->setAlignment(Qt::AlignCenter);
    emptyText_ = new ToneLabel({}, type::body, QFont::Normal, Tone::secondary, empty_);
    emptyText_->setAlignment(Qt::AlignCenter);
    emptyText_->setWordWrap(true);
    emptyButton_ = new StyledButton(StyledButton::Style::quiet, {}, empty_);
    connect(emptyButton_, &QAbstractButton::clicked, this, [this] { store_.setSheet(AppSheet::projectRules()); });
    column->addWidget(emptyTitle_);
    column->addWidget(emptyText_);
    column->addWidget(emptyButton_, 0, Qt::AlignHCenter);
    column->addStretch(2);
    return empty_;
}

std::unique_ptr<QMenu> ProjectDetailView::makeProjectMenu() {
    auto menu = std::make_unique<QMenu>();
    const std::optional<UUID> projectID = store_.selected() ? std::optional<UUID>(store_.selected()->id) : std::nullopt;
    const ProjectPageStates states = projectPageStates(store_.isBusy(), store_.recoveryMode());
    QAction* copy = menu->addAction(Lq("复制 AI 项目引用"));
    copy->setEnabled(states.menu && projectID);
    connect(copy, &QAction::triggered, this, [this, projectID] {
        if (store_.isBusy() || !projectID) return;
        for (const Delivery& project : store_.deliveries()) {
            if (project.id == *projectID) {
                store_.copyAgentReference(project, std::nullopt);
                return;
            }
        }
    });
    menu->addSeparator();
    QAction* remove = menu->addAction(Icons::icon(QStringLiteral("trash"), Theme::danger(QApplication::palette())),
                                      Lq("删除项目（保留原文件）"));
    remove->setEnabled(states.deleteProject && projectID);
    connect(remove, &QAction::triggered, this, [this, projectID] {
        if (store_.isBusy() || store_.recoveryMode() || !projectID) return;
        store_.deleteProject(*projectID);
    });
    return menu;
}

void ProjectDetailView::retranslate() {
    menu_->setToolTip(Lq("更多操作"));
    menu_->setAccessibleName(Lq("更多操作"));
    grid_->setAccessibleName(Lq("项目素材"));
    rules_->setText(Lq("识别规则"));
    delivery_->setText(Lq("准备交付"));
    QStringList titles;
    for (const FileFilter filter : FileFilters::allCases) titles << Lq(FileFilters::label(filter));
    filter_->setLabels(titles);
    filter_->setAccessibleName(Lq("素材类型"));
    link_->setText(Lq("关联文件"));
    find_->setText(Lq("寻找新素材"));
    emptyTitle_->setFullText(Lq("还没有匹配的素材"));
    emptyText_->setFullText(Lq("连接来源目录，或添加项目别名，Sorvik会继续寻找。"));
    emptyButton_->setText(Lq("添加识别线索"));
    for (StyledButton* button : {rules_, delivery_, link_, find_, emptyButton_}) button->updateGeometry();
    menu_->setFixedHeight(rules_->sizeHint().height());
}

void ProjectDetailView::refreshStates() {
    const ProjectPageStates states = projectPageStates(store_.isBusy(), store_.recoveryMode());
    menu_->setEnabled(states.menu);
    rules_->setEnabled(states.rules);
    delivery_->setEnabled(states.delivery);
    link_->setEnabled(states.linkFiles);
    find_->setEnabled(states.findAssets);
    const auto position = std::find(FileFilters::allCases.begin(), FileFilters::allCases.end(), store_.projectFilter());
    filter_->setCurrent(static_cast<int>(position - FileFilters::allCases.begin()));
}

void ProjectDetailView::refresh(StoreChanges what) {
    if (what & (StoreChange::busy | StoreChange::selection)) refreshStates();
    if (what & (StoreChange::projects | StoreChange::assets)) libraryChanged_ = true;
    if (!(what & (StoreChange::projects | StoreChange::assets | StoreChange::selection | StoreChange::search))) return;
    // A hidden page catches up when it is shown.
    rebuilds_.changed();
}

void ProjectDetailView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    rebuilds_.shown();
}

void ProjectDetailView::rebuild() {
    const Delivery* project = store_.selected();
    if (!project) {
        cards_.clear();
        cardsProject_.reset();
        grid_->assets()->setItems({});
        showGrid(false);
        return;
    }
    title_->setFullText(qs(project->name));
    if (libraryChanged_ || cardsProject_ != project->id) {
        const bool otherProject = cardsProject_ != project->id;
        const std::string language = InterfaceLanguage::code();
        cards_.clear();
        cards_.reserve(project->files.size());
        for (const DeliveryFile& file : project->files)
            cards_.push_back(assetCardItem(file, store_.repository(), language));
        const ProjectCounts counts = projectCounts(*project, store_.repository());
        counts_->setFullText(Lq("{0} 件素材，关联自 {1} 个文件夹。", counts.assets, counts.folders));
        cardsProject_ = project->id;
        libraryChanged_ = false;
        if (otherProject) scroll_->verticalScrollBar()->setValue(0);
    }
    std::vector<AssetCardItem> shown;
    for (const std::size_t i : visibleFiles(*project, store_.matchingFiles(*project), store_.projectFilter())) {
        shown.push_back(cards_[i]);
    }
    const bool empty = shown.empty();
    grid_->assets()->setItems(std::move(shown));
    showGrid(!empty);
}

void ProjectDetailView::showGrid(bool shown) {
    grid_->setVisible(shown);
    empty_->setVisible(!shown);
}

bool ProjectDetailView::showsEmptyState() const { return !empty_->isHidden(); }

QString ProjectDetailView::countsText() const { return counts_->text(); }

}  // namespace sorvik::app
