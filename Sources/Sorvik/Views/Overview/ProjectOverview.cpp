#include "Sorvik/Views/Overview/ProjectOverview.hpp"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"
#include "Sorvik/Views/Overview/OverviewParts.hpp"
#include "Sorvik/Views/Overview/ProjectCardView.hpp"
#include "Sorvik/Views/Overview/Logic/ProjectCardModel.hpp"
#include "Sorvik/Views/Overview/ProjectGridView.hpp"
#include "Sorvik/Views/Sidebar/Logic/SidebarLogic.hpp"
#include "Sorvik/Views/Kit/PageLayout.hpp"
#include "Sorvik/Views/Sources/SourceFlowView.hpp"
#include "Sorvik/Views/Kit/WorkspaceNotice.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

/// What the page reads; anything else leaves it alone.
constexpr StoreChanges kPageChanges =
    StoreChange::projects | StoreChange::assets | StoreChange::sources | StoreChange::search | StoreChange::busy;

/// The model-changing buttons of the page: off while busy and in recovery mode.
bool mayChange(const AppStore& store) { return sidebarControls(store).connect; }

}  // namespace

ProjectOverview::ProjectOverview(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent)
    : QWidget(parent), store_(store), thumbnails_(thumbnails) {
    // An opaque page scrolls by moving what is drawn already; only the uncovered strip is painted.
    const ViewPage frame = makeViewPage(this);
    scroll_ = frame.area;
    QWidget* page = frame.page;
    QVBoxLayout* column = makePageColumn(page, space::overviewSections, space::pageMargin);

    column->addWidget(makeHeader(page));
    column->addWidget(makeCounts(page));
    notice_ = makeWorkspaceNotice(store_, page);
    column->addWidget(notice_);
    column->addWidget(makeHint(page));

    empty_ = new EmptyStateView(page);
    connect(empty_, &EmptyStateView::sampleRequested, this, &ProjectOverview::loadSample);
    column->addWidget(empty_);

    cards_ = new ProjectCardModel(nullptr, this);
    single_ = new QWidget(page);
    auto* singleRow = new QHBoxLayout(single_);
    singleRow->setContentsMargins(0, 0, 0, 0);
    singleRow->setSpacing(space::overviewSections);
    singleCard_ = new ProjectCardView(store_, *cards_, thumbnails_, single_);
    flow_ = new SourceFlowView(store_, single_);
    singleRow->addWidget(singleCard_, 0, Qt::AlignVCenter);
    singleRow->addWidget(flow_, 1);
    column->addWidget(single_);

    grid_ = new ProjectGridHost(store_, *cards_, thumbnails_, page);
    grid_->view()->setRevealer([this](const QRect& rect) {
        const QPoint topLeft = grid_->mapTo(scroll_->widget(), rect.topLeft());
        scroll_->ensureVisible(topLeft.x() + rect.width() / 2, topLeft.y() + rect.height() / 2, rect.width() / 2,
                               rect.height() / 2);
    });
    column->addWidget(grid_);

    banner_ = new InboxBanner(page);
    connect(banner_, &InboxBanner::viewRequested, this, [this] { openInboxKeepingSearch(store_); });
    column->addWidget(banner_);
    column->addStretch(1);

    scroll_->setWidget(page);
    frame.outer->addWidget(scroll_, 1);
    status_ = makeWorkspaceStatus(store_, this);
    frame.outer->addWidget(status_);

    connect(&store_, &AppStore::changed, this, &ProjectOverview::refresh);
    connect(&store_.preferences(), &Preferences::languageChanged, this, &ProjectOverview::retranslate);
    // Makes the texts and applies the whole state once.
    retranslate();
}

QWidget* ProjectOverview::makeHeader(QWidget* page) {
    auto* header = new QWidget(page);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(space::headerGap);
    auto* words = new QVBoxLayout();
    words->setSpacing(space::item);
    headline_ = new ToneLabel({}, type::heroTitle, QFont::DemiBold, Tone::primary, header);
    QFont headlineFont = headline_->font();
    headlineFont.setLetterSpacing(QFont::AbsoluteSpacing, -0.8);
    headline_->setFont(headlineFont);
    subtitle_ = new ToneLabel({}, type::headline, QFont::Normal, Tone::secondary, header);
    subtitle_->setWordWrap(true);
    words->addWidget(headline_);
    words->addWidget(subtitle_);
    row->addLayout(words, 1);
    connect_ = new StyledButton(StyledButton::Style::primary, {}, header);
    connect_->setSymbol(QStringLiteral("plus"), 13);
    connect(connect_, &QAbstractButton::clicked, this, [this] {
        if (mayChange(store_)) store_.chooseSourceFolders();
    });
    row->addWidget(connect_, 0, Qt::AlignTop);
    return header;
}

QWidget* ProjectOverview::makeCounts(QWidget* page) {
    auto* line = new QWidget(page);
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(space::rows);
    for (ToneLabel*& label : counts_) {
        label = new ToneLabel({}, type::body, QFont::Normal, Tone::secondary, line);
        row->addWidget(label);
    }
    row->addStretch(1);
    return line;
}

QWidget* ProjectOverview::makeHint(QWidget* page) {
    hint_ = new QWidget(page);
    auto* row = new QHBoxLayout(hint_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(space::smallGap);
    row->addWidget(new SymbolView(QStringLiteral("folder.badge.plus"), 14, Tone::secondary, hint_));
    hintText_ = new ToneLabel({}, type::body, QFont::Normal, Tone::secondary, hint_);
    hintText_->setElide(Qt::ElideRight);
    row->addWidget(hintText_, 1);
    hintSample_ = new StyledButton(StyledButton::Style::quiet, {}, hint_);
    connect(hintSample_, &QAbstractButton::clicked, this, &ProjectOverview::loadSample);
    row->addWidget(hintSample_);
    return hint_;
}

void ProjectOverview::loadSample() {
    if (mayChange(store_)) store_.loadRudidEdevov();
}

QStringList ProjectOverview::countsLine() const {
    QStringList texts;
    for (const ToneLabel* label : counts_) texts << label->text();
    return texts;
}

void ProjectOverview::retranslate() {
    headline_->setFullText(Lq("项目都在这里。"));
    subtitle_->setFullText(Lq("素材留在原处，Sorvik把它们联系起来。"));
    connect_->setText(Lq("连接文件夹"));
    connect_->updateGeometry();
    hintText_->setFullText(Lq("连接素材目录，开启自动项目发现"));
    hintSample_->setText(Lq("体验分散素材示例"));
    hintSample_->updateGeometry();
    banner_->retranslate();
    // Texts that come from the state are made again in the new language.
    apply(~StoreChanges{});
    grid_->view()->viewport()->update();
    singleCard_->update();
}

void ProjectOverview::refresh(StoreChanges what) {
    if (!(what & kPageChanges)) return;
    if (!isVisible()) {
        pending_ |= what;
        return;
    }
    apply(what);
}

void ProjectOverview::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (pending_) {
        const StoreChanges what = pending_;
        pending_ = {};
        apply(what);
    }
}

void ProjectOverview::apply(StoreChanges what) {
    const std::vector<Delivery>& projects = store_.deliveries();
    const WorkspaceState& workspace = store_.workspace();
    if (what & StoreChange::projects) {
        // Looked up on a lane; a change of the projects meanwhile ends the lookup instead of
        // copying them, and brings new ones.
        std::stop_source giveUp;
        const auto yield = [giveUp]() mutable { return giveUp.request_stop() || true; };
        cards_->setProjects(store_.deliveriesSnapshot(yield), store_.repository(), giveUp.get_token());
    }
    if (what & (StoreChange::projects | StoreChange::assets | StoreChange::search)) {
        const std::vector<const Delivery*> matching = store_.matchingProjects();
        cards_->setShown(matching);
        area_ = projectsArea(matching.size());
        empty_->setSearchEmpty(store_.search().empty());
        empty_->setVisible(area_ == ProjectsArea::empty);
        single_->setVisible(area_ == ProjectsArea::single);
        grid_->setVisible(area_ == ProjectsArea::grid);
        if (area_ == ProjectsArea::grid) grid_->relayout();
        const std::optional<std::string> bannerTitle = inboxBannerTitle(store_.matchingUnassigned().size());
        banner_->setVisible(bannerTitle.has_value());
        if (bannerTitle) banner_->setTitle(qs(*bannerTitle));
    }
    if (what & (StoreChange::projects | StoreChange::assets | StoreChange::sources)) {
        const std::vector<std::string> texts = countsTexts(overviewCounts(store_));
        for (std::size_t i = 0; i < counts_.size(); ++i) counts_[i]->setFullText(qs(texts[i]));
    }
    if (what & (StoreChange::projects | StoreChange::sources)) hint_->setVisible(showsConnectHint(projects, workspace));
    const bool enabled = mayChange(store_);
    connect_->setEnabled(enabled);
    hintSample_->setEnabled(enabled);
    empty_->setSampleEnabled(enabled);
}

}  // namespace sorvik::app
