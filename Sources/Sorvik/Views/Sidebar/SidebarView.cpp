#include "Sorvik/Views/Sidebar/SidebarView.hpp"

#include <QApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QEvent>

#include "Sorvik/Support/Formatting.hpp"
#include "Sorvik/Views/Kit/Icons.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Kit/LanguagePicker.hpp"
#include "Sorvik/Views/Sidebar/Logic/SidebarLogic.hpp"
#include "Sorvik/Views/Sidebar/Logic/SidebarModel.hpp"
#include "Sorvik/Views/Sidebar/SidebarRows.hpp"
#include "Sorvik/Views/Kit/SlimScrollBar.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

/// A divider with room around it.
QWidget* divider(QWidget* parent, int horizontal, int vertical) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(horizontal, vertical, horizontal, vertical);
    layout->addWidget(new Hairline(Qt::Horizontal, box));
    return box;
}

/// A small header: an 11-point title in the secondary colour and a plain symbol button.
QWidget* header(QWidget* parent, ToneLabel*& title, StyledButton*& button, const QString& symbol) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(space::sidebarInset, 0, space::sidebarInset, 0);
    layout->setSpacing(space::symbolGap);
    title = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, row);
    button = new StyledButton(StyledButton::Style::plain, {}, row);
    button->setSymbol(symbol, 13);
    button->setTone(Tone::secondary);
    layout->addWidget(title);
    layout->addStretch(1);
    layout->addWidget(button);
    return row;
}

/// The column inside its scroll area: as tall as the area while it is at least its least height.
/// (For the wrapping texts in it, the area would otherwise give it the height it would like.)
class SidebarBody : public QWidget {
public:
    using QWidget::QWidget;
    int heightForWidth(int) const override { return -1; }
};

/// The source rows in a frame that asks for their height and scrolls them when it gets less. Its
/// bar stands in the rows' right margin, so that it never narrows them.
class SourcesArea : public QScrollArea {
public:
    explicit SourcesArea(QWidget* parent) : QScrollArea(parent) {
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        viewport()->setAutoFillBackground(false);
        makeSlim(verticalScrollBar());
        // The bar shows while there is anything to scroll.
        connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int maximum) {
            if (QLayout* rows = widget() ? widget()->layout() : nullptr) {
                const QMargins m = rows->contentsMargins();
                const int right = maximum > 0 ? std::max(0, space::sidebarInset - kSlimBarWidth) : space::sidebarInset;
                if (m.right() != right) rows->setContentsMargins(m.left(), m.top(), right, m.bottom());
            }
        });
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    }
    QSize sizeHint() const override { return widget() ? widget()->sizeHint() : QScrollArea::sizeHint(); }
    /// Two rows at least (a source and the connect button), or all there are.
    QSize minimumSizeHint() const override {
        const QLayout* rows = widget() ? widget()->layout() : nullptr;
        const int row = rows && rows->count() > 0 ? rows->itemAt(0)->sizeHint().height() : 0;
        return QSize(0, std::min(sizeHint().height(), space::block + 2 * row + space::rows));
    }
};

/// Menu texts show "&" as it stands.
/// One line (a tab would start the shortcut column), "&" shown as itself.
QString menuText(const std::string& name) {
    return singleLine(qs(name)).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace

SidebarView::SidebarView(AppStore& store, QWidget* parent) : QWidget(parent), store_(store) {
    // Navigation, language and footer stay whole; the project and source lists scroll. The column
    // scrolls as a whole only when the window is shorter than it is allowed to be (a small screen).
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->viewport()->setAutoFillBackground(false);
    makeSlim(scroll_->verticalScrollBar());
    outer->addWidget(scroll_);
    auto* body = new SidebarBody(scroll_);
    // As wide as the column, whatever its rows would like: they were laid out for that width.
    body->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Brand.
    auto* brand = new QWidget(this);
    auto* brandRow = new QHBoxLayout(brand);
    brandRow->setContentsMargins(space::block, space::brandTop, space::block, space::brandBottom);
    brandRow->setSpacing(space::item);
    brandRow->addWidget(new BrandMark(40, brand));
    auto* brandText = new QVBoxLayout();
    brandText->setSpacing(space::lines);
    brandText->setContentsMargins(0, 0, 0, 0);
    productName_ = new ToneLabel({}, type::title1, QFont::DemiBold, Tone::primary, brand);
    tagline_ = new ToneLabel({}, type::fine, QFont::Normal, Tone::secondary, brand);
    tagline_->setWordWrap(true);
    brandText->addStretch(1);
    brandText->addWidget(productName_);
    brandText->addWidget(tagline_);
    brandText->addStretch(1);
    brandRow->addLayout(brandText, 1);
    column->addWidget(brand);

    // Navigation.
    auto* navigation = new QWidget(this);
    auto* navigationColumn = new QVBoxLayout(navigation);
    navigationColumn->setContentsMargins(kNavigationOuterMargin, 0, kNavigationOuterMargin, 0);
    navigationColumn->setSpacing(0);
    projectsRow_ = new NavigationButton(QStringLiteral("square.grid.2x2"), navigation);
    inboxRow_ = new NavigationButton(QStringLiteral("tray"), navigation);
    navigationColumn->addWidget(projectsRow_);
    navigationColumn->addWidget(inboxRow_);
    connect(projectsRow_, &QAbstractButton::clicked, this, [this] { store_.showProjects(); });
    connect(inboxRow_, &QAbstractButton::clicked, this, [this] { store_.showInbox(); });
    column->addWidget(navigation);
    column->addWidget(divider(this, space::sidebarRowInset, space::navigationDivider));

    // The user's projects.
    column->addWidget(header(this, projectsTitle_, newProject_, QStringLiteral("plus")));
    connect(newProject_, &QAbstractButton::clicked, this, [this] {
        if (sidebarControls(store_).newProject) store_.newDelivery();
    });
    column->addSpacing(space::group);
    model_ = new SidebarModel(this);
    projectList_ = new SidebarProjectList(
        store_, *model_, [this](const UUID& id) { return makeProjectMenu(id); }, this);
    makeSlim(projectList_->verticalScrollBar());
    // It gives its room to the fixed parts first, down to two rows.
    projectList_->setMinimumHeight(2 * (kNavigationRowHeight + kNavigationRowGap));
    column->addWidget(projectList_, 1);

    // Deleted projects.
    restoreRow_ = new QWidget(this);
    auto* restoreLayout = new QHBoxLayout(restoreRow_);
    restoreLayout->setContentsMargins(space::sidebarRowInset, space::symbolGap, space::sidebarRowInset, 0);
    restore_ = new PullDownButton(restoreRow_);
    restoreLayout->addWidget(restore_);
    connect(restore_, &QAbstractButton::clicked, this, &SidebarView::showRestoreMenu);
    column->addWidget(restoreRow_);
    column->addWidget(divider(this, space::sidebarRowInset, space::sourcesDivider));

    // Sources.
    column->addWidget(header(this, sourcesTitle_, sourcesButton_, QStringLiteral("slider.horizontal.3")));
    connect(sourcesButton_, &QAbstractButton::clicked, this, [this] { store_.setSheet(AppSheet::sources()); });
    // The source rows scroll on their own when there is no room for them all.
    sourcesArea_ = new SourcesArea(this);
    auto* sources = new QWidget(sourcesArea_);
    sourcesLayout_ = new QVBoxLayout(sources);
    sourcesLayout_->setContentsMargins(space::sidebarInset, space::block, space::sidebarInset, 0);
    sourcesLayout_->setSpacing(space::rows);
    connect_ = new SourceRowButton(QStringLiteral("plus"), sources);
    connect_->setSecondary(true);
    connect(connect_, &QAbstractButton::clicked, this, [this] {
        if (sidebarControls(store_).connect) store_.chooseSourceFolders();
    });
    sourcesLayout_->addWidget(connect_);
    sourcesArea_->setWidget(sources);
    sources->setAutoFillBackground(false);
    column->addWidget(sourcesArea_);

    // Language.
    auto* languageRow = new QWidget(this);
    auto* languageLayout = new QHBoxLayout(languageRow);
    languageLayout->setContentsMargins(space::sidebarRowInset, space::block, space::sidebarRowInset, 0);
    language_ = new LanguagePicker(store_.preferences(), type::footnote, languageRow);
    languageLayout->addWidget(language_);
    column->addWidget(languageRow);

    // Footer.
    auto* footer = new QWidget(this);
    auto* footerRow = new QHBoxLayout(footer);
    footerRow->setContentsMargins(space::sidebarInset, space::sidebarInset, space::sidebarInset, space::sidebarInset);
    footerRow->setSpacing(space::symbolGap);
    footerRow->addWidget(new SymbolView(QStringLiteral("link"), 11, Tone::secondary, footer));
    footerText_ = new ToneLabel({}, type::fine, QFont::Normal, Tone::secondary, footer);
    footerText_->setWordWrap(true);
    footerRow->addWidget(footerText_, 1);
    settings_ = new StyledButton(StyledButton::Style::plain, {}, footer);
    settings_->setSymbol(QStringLiteral("gearshape"), 13);
    settings_->setTone(Tone::secondary);
    connect(settings_, &QAbstractButton::clicked, this, &SidebarView::settingsRequested);
    footerRow->addWidget(settings_);
    column->addWidget(footer);
    scroll_->setWidget(body);
    body->setAutoFillBackground(false);  // the column's own tone shows through

    connect(&store_, &AppStore::changed, this, &SidebarView::refresh);
    connect(&store_.preferences(), &Preferences::languageChanged, this, &SidebarView::retranslate);
    refresh(~StoreChanges{});
    retranslate();
}

void SidebarView::paintEvent(QPaintEvent*) {
    // The side column sits on a slightly deeper tone than the content.
    QPainter painter(this);
    const QPalette palette = QApplication::palette();
    painter.fillRect(rect(), palette.color(QPalette::Window));
    painter.fillRect(rect(), Theme::primaryAt(palette, Theme::isDark(palette) ? 0.035 : 0.028));
}

void SidebarView::retranslate() {
    productName_->setFullText(Lq("Sorvik"));
    tagline_->setFullText(Lq("散落各处，也能Sorvik"));
    projectsRow_->setText(Lq("全部项目"));
    inboxRow_->setText(Lq("待识别"));
    projectsTitle_->setFullText(Lq("我的项目"));
    projectList_->setAccessibleName(Lq("我的项目"));
    newProject_->setToolTip(Lq("新建项目"));
    newProject_->setAccessibleName(Lq("新建项目"));
    restore_->setText(Lq("恢复已删除项目"));
    sourcesTitle_->setFullText(Lq("来源文件夹"));
    sourcesButton_->setToolTip(Lq("管理来源与归档"));
    sourcesButton_->setAccessibleName(Lq("管理来源与归档"));
    connect_->setText(Lq("连接文件夹"));
    // Wrapped at spaces only: "On-device" stays whole.
    footerText_->setFullText(Lq("引用原件 · 本机处理").replace(QLatin1Char('-'), QChar(0x2011)));
    settings_->setToolTip(Lq("设置"));
    settings_->setAccessibleName(Lq("设置"));
    update();
}

void SidebarView::refresh(StoreChanges what) {
    if (what & StoreChange::projects) model_->setProjects(store_.deliveries());
    if (what & (StoreChange::projects | StoreChange::selection)) {
        model_->setSelection(store_.section(), store_.selectedID());
        projectsRow_->setSelected(navigationSelected(NavigationRow::projects, store_.section()));
        inboxRow_->setSelected(navigationSelected(NavigationRow::inbox, store_.section()));
    }
    if (what & (StoreChange::assets | StoreChange::projects)) {
        inboxRow_->setCount(navigationCount(store_.unassigned().size()));
    }
    if (what & StoreChange::deleted) {
        restoreRow_->setVisible(!store_.workspace().deletedProjects.value_or(std::vector<Delivery>{}).empty());
    }
    if (what & StoreChange::sources) rebuildSources();
    refreshControls();
}

void SidebarView::refreshControls() {
    const SidebarControls controls = sidebarControls(store_);
    newProject_->setEnabled(controls.newProject);
    restore_->setEnabled(controls.restore);
    connect_->setEnabled(controls.connect);
}

void SidebarView::rebuildSources() {
    for (SourceRowButton* row : sourceRows_) row->deleteLater();
    sourceRows_.clear();
    int position = 0;
    for (const SourceFolder& source : visibleSources(store_.workspace().sources)) {
        auto* row = new SourceRowButton(QStringLiteral("folder"), connect_->parentWidget());
        row->setText(qs(lastPathComponent(source.path)));
        row->setToolTip(qs(abbreviatingHome(source.path)));
        switch (sourceStatus(source)) {
            case SourceStatus::disabled: row->setDot(Tone::secondary, 0.3); break;
            case SourceStatus::failing: row->setDot(Tone::warning, 1.0); break;
            case SourceStatus::ok: row->setDot(Tone::green, 0.75); break;
        }
        connect(row, &QAbstractButton::clicked, this, [this] { store_.setSheet(AppSheet::sources()); });
        sourcesLayout_->insertWidget(position++, row);
        sourceRows_.push_back(row);
    }
    // A scroll area does not pass on that its content asks for other room.
    sourcesArea_->updateGeometry();
}

QMenu* SidebarView::makeProjectMenu(const UUID& project) {
    auto* menu = new QMenu(this);
    QAction* remove = menu->addAction(Icons::icon(QStringLiteral("trash"), Theme::danger(QApplication::palette())),
                                      Lq("删除项目（保留原文件）"));
    remove->setEnabled(sidebarControls(store_).deleteProject);
    // The state may have changed while the menu was open.
    connect(remove, &QAction::triggered, this, [this, project] {
        if (sidebarControls(store_).deleteProject) store_.deleteProject(project);
    });
    return menu;
}

QMenu* SidebarView::makeRestoreMenu() {
    auto* menu = new QMenu(this);
    const bool enabled = sidebarControls(store_).restore;
    for (const Delivery& project : store_.workspace().deletedProjects.value_or(std::vector<Delivery>{})) {
        QAction* item = menu->addAction(menuText(project.name));
        item->setEnabled(enabled);
        connect(item, &QAction::triggered, this, [this, id = project.id] {
            if (sidebarControls(store_).restore) store_.restoreProject(id);
        });
    }
    return menu;
}

void SidebarView::showRestoreMenu() {
    QMenu* menu = makeRestoreMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setMinimumWidth(restore_->width());
    menu->popup(restore_->mapToGlobal(QPoint(0, restore_->height() + 2)));
}

}  // namespace sorvik::app
