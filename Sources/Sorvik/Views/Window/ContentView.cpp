#include "Sorvik/Views/Window/ContentView.hpp"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QWindow>
#include <utility>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Window/Logic/ContentLogic.hpp"
#include "Sorvik/Views/Crop/CropSheet.hpp"
#include "Sorvik/Views/Delivery/DeliverySheets.hpp"
#include "Sorvik/Views/Delivery/DeliveryView.hpp"
#include "Sorvik/Views/FileDetail/FileDetailSheet.hpp"
#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"
#include "Sorvik/Views/Inbox/InboxView.hpp"
#include "Sorvik/Views/Project/ProjectDetailView.hpp"
#include "Sorvik/Views/Overview/ProjectOverview.hpp"
#include "Sorvik/Views/Project/ProjectRulesSheet.hpp"
#include "Sorvik/Views/Kit/SheetDialog.hpp"
#include "Sorvik/Views/Sidebar/SidebarView.hpp"
#include "Sorvik/Views/Sources/SourceSettingsSheet.hpp"
#include "Sorvik/Views/Delivery/TemplateSheet.hpp"
#include "Sorvik/Views/Window/WindowDropTarget.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"
#include "Sorvik/Views/Kit/ModalFront.hpp"

namespace sorvik::app {

namespace {

/// The search box: a symbol and a borderless field on a faint rounded fill.
class SearchBox : public QWidget {
public:
    explicit SearchBox(QWidget* parent) : QWidget(parent) {
        setFixedWidth(220);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(space::compactPadding, space::compactPadding, space::compactPadding,
                                   space::compactPadding);
        layout->setSpacing(space::symbolGap);
        layout->addWidget(new SymbolView(QStringLiteral("magnifyingglass"), 12, Tone::tertiary, this));
        field = new QLineEdit(this);
        field->setFrame(false);
        field->setFont(Theme::font(type::footnote));
        field->setAttribute(Qt::WA_MacShowFocusRect, false);
        // Files dropped on the window must reach the window, not become text here.
        field->setAcceptDrops(false);
        QPalette p = field->palette();
        p.setColor(QPalette::Base, Qt::transparent);
        field->setPalette(p);
        layout->addWidget(field, 1);
    }
    QLineEdit* field;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), corner::button, corner::button);
        painter.fillPath(path, Theme::primaryAt(QApplication::palette(), 0.035));
    }
};

/// The delivery sheet's frame: a header with the way back, and the workspace below.
QWidget* deliverySheet(AppStore& store, ThumbnailLoader& thumbnails) {
    auto* sheet = new QWidget;
    sheet->setFixedSize(980, 720);
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* header = new QWidget(sheet);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(space::barPadding, space::barPadding, space::barPadding, space::barPadding);
    auto* title = new ToneLabel({}, type::headline, QFont::DemiBold, Tone::primary, header);
    row->addWidget(title);
    row->addStretch(1);
    auto* back = new StyledButton(StyledButton::Style::quiet, {}, header);
    QObject::connect(back, &QAbstractButton::clicked, sheet, [&store] { store.setSheet(std::nullopt); });
    row->addWidget(back);
    const auto retranslate = [title, back] {
        title->setFullText(Lq("准备交付"));
        back->setText(Lq("返回项目"));
        back->updateGeometry();
    };
    retranslate();
    QObject::connect(&store.preferences(), &Preferences::languageChanged, sheet, retranslate);
    layout->addWidget(header);
    // With nothing selected the workspace shows nothing and the header stands alone.
    layout->addWidget(new DeliveryView(store, thumbnails, sheet), 1);
    return sheet;
}

}  // namespace

ContentView::ContentView(AppStore& store, QWidget* parent)
    : QWidget(parent), store_(store), thumbnails_(std::make_unique<ThumbnailLoader>()) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* sidebar = new SidebarView(store_, this);
    sidebar->setFixedWidth(205);
    connect(sidebar, &SidebarView::settingsRequested, this, &ContentView::settingsRequested);
    row->addWidget(sidebar);
    row->addWidget(new Hairline(Qt::Vertical, this));

    auto* column = new QVBoxLayout();
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeToolbar());
    column->addWidget(new Hairline(Qt::Horizontal, this));
    pages_ = new QStackedWidget(this);
    overview_ = new ProjectOverview(store_, *thumbnails_, pages_);
    inbox_ = new InboxView(store_, *thumbnails_, pages_);
    project_ = new ProjectDetailView(store_, *thumbnails_, pages_);
    pages_->addWidget(overview_);
    pages_->addWidget(inbox_);
    pages_->addWidget(project_);
    column->addWidget(pages_, 1);
    row->addLayout(column, 1);
    dropTarget_ = new WindowDropTarget(store_, this);

    connect(&store_, &AppStore::changed, this, &ContentView::refresh);
    connect(&store_.preferences(), &Preferences::languageChanged, this, &ContentView::retranslate);
    retranslate();
    // A start-up failure is shown once the window is up.
    QMetaObject::invokeMethod(
        this, [this] { refresh(~StoreChanges{}); }, Qt::QueuedConnection);
}

ContentView::~ContentView() {
    if (sheet_) sheet_->closeQuietly();
    if (warnings_) warnings_->closeQuietly();
}

QWidget* ContentView::makeToolbar() {
    auto* toolbar = new QWidget(this);
    toolbar->setFixedHeight(54);
    auto* layout = new QHBoxLayout(toolbar);
    layout->setContentsMargins(space::wideMargin, 0, space::wideMargin, 0);
    layout->setSpacing(space::item);
    home_ = new StyledButton(StyledButton::Style::plain, {}, toolbar);
    home_->setSymbol(QStringLiteral("house"), 13);
    home_->setTone(Tone::secondary);
    connect(home_, &QAbstractButton::clicked, this, [this] { store_.showProjects(); });
    slash_ = new ToneLabel(QStringLiteral("/"), type::body, QFont::Normal, Tone::tertiary, toolbar);
    breadcrumb_ = new ToneLabel({}, type::body, QFont::Normal, Tone::primary, toolbar);
    breadcrumb_->setElide(Qt::ElideRight);
    breadcrumb_->setMaximumWidth(360);
    auto* searchBox = new SearchBox(toolbar);
    searchBox_ = searchBox;
    search_ = searchBox->field;
    connect(search_, &QLineEdit::textEdited, this, [this](const QString& text) { store_.setSearch(utf8(text)); });
    rescan_ = new StyledButton(StyledButton::Style::plain, {}, toolbar);
    rescan_->setSymbol(QStringLiteral("arrow.clockwise"), 15);
    rescan_->setTone(Tone::secondary);
    connect(rescan_, &QAbstractButton::clicked, this, [this] { store_.scanFolders(false); });
    spinner_ = new Spinner(14, toolbar);
    stop_ = new StyledButton(StyledButton::Style::plain, {}, toolbar);
    stop_->setSymbol(QStringLiteral("xmark.circle"), 15);
    stop_->setTone(Tone::secondary);
    connect(stop_, &QAbstractButton::clicked, this, [this] { store_.stopScan(); });
    layout->addWidget(home_);
    layout->addWidget(slash_);
    layout->addWidget(breadcrumb_, 0);
    layout->addStretch(1);
    layout->addWidget(searchBox_);
    layout->addWidget(rescan_);
    layout->addWidget(spinner_);
    layout->addWidget(stop_);
    return toolbar;
}

void ContentView::retranslate() {
    home_->setText(Lq("工作空间"));
    home_->updateGeometry();
    search_->setPlaceholderText(Lq("搜索项目、文件、正文"));
    search_->setAccessibleName(Lq("搜索"));
    rescan_->setToolTip(Lq("重新扫描来源（Ctrl+R）"));
    rescan_->setAccessibleName(Lq("重新扫描来源"));
    stop_->setToolTip(Lq("停止扫描"));
    stop_->setAccessibleName(Lq("停止扫描"));
    refreshToolbar();
    translateAlert();
}

QWidget* ContentView::currentPage() const { return pages_->currentWidget(); }

void ContentView::refresh(StoreChanges what) {
    refreshToolbar();
    switch (contentPage(store_)) {
        case ContentPage::overview: pages_->setCurrentWidget(overview_); break;
        case ContentPage::inbox: pages_->setCurrentWidget(inbox_); break;
        case ContentPage::project: pages_->setCurrentWidget(project_); break;
    }
    if (what & StoreChange::search) {
        const QString text = qs(store_.search());
        if (search_->text() != text) search_->setText(text);
    }
    if (what & (StoreChange::sheet | StoreChange::assets | StoreChange::projects)) routeSheet();
    if (what & StoreChange::sheet) routeWarnings();
    if (what & StoreChange::messages) routeAlert();
}

void ContentView::refreshToolbar() {
    const ToolbarState state = toolbarState(store_);
    slash_->setVisible(state.breadcrumb.has_value());
    breadcrumb_->setVisible(state.breadcrumb.has_value());
    if (state.breadcrumb) {
        const QString text = state.breadcrumbTranslated ? Lq(*state.breadcrumb) : qs(*state.breadcrumb);
        // An eliding label asks for no width of its own: it gets its text's, up to the limit.
        breadcrumb_->setFixedWidth(std::min(360, breadcrumb_->fontMetrics().horizontalAdvance(text) + 2));
        breadcrumb_->setFullText(text);
    }
    rescan_->setVisible(state.showRescan);
    spinner_->setVisible(state.showProgress);
    stop_->setVisible(state.showStop);
}

QWidget* ContentView::topmost() const {
    if (sheet_ && sheet_->isVisible()) return sheet_;
    if (warnings_ && warnings_->isVisible()) return warnings_;
    return window();
}

QWidget* ContentView::makeSheetContent(const AppSheet& sheet) {
    auto dismiss = dismissal(sheet.identifier());
    switch (sheet.kind()) {
        case AppSheet::Kind::sources: return new SourceSettingsSheet(store_, dismiss);
        case AppSheet::Kind::delivery: return deliverySheet(store_, *thumbnails_);
        case AppSheet::Kind::projectRules: return new ProjectRulesSheet(store_, dismiss);
        case AppSheet::Kind::rename: return new RenameSheet(store_, dismiss);
        case AppSheet::Kind::templ: return new TemplateSheet(store_, dismiss);
        case AppSheet::Kind::history: return new HistorySheet(store_, dismiss);
        case AppSheet::Kind::file:
        case AppSheet::Kind::crop: {
            // The file as the store holds it now (routeSheet shows no sheet for a file that is gone).
            std::optional<DeliveryFile> file = sheet.fileID() ? store_.file(*sheet.fileID()) : std::nullopt;
            if (!file) break;
            if (sheet.kind() == AppSheet::Kind::file) return new FileDetailSheet(store_, dismiss, std::move(*file));
            return new CropSheet(store_, dismiss, std::move(*file));
        }
    }
    // Not reached for the kinds above; Escape closes an empty sheet.
    auto* empty = new QWidget;
    empty->setFixedSize(420, 160);
    return empty;
}

std::function<void()> ContentView::dismissal(const std::string& identifier) {
    // A sheet that closes clears the store's sheet only while the store still names it.
    return [this, identifier] {
        if (store_.sheet() && store_.sheet()->identifier() == identifier) store_.setSheet(std::nullopt);
    };
}

bool ContentView::resolves(const AppSheet& sheet) const {
    if (sheet.kind() != AppSheet::Kind::file && sheet.kind() != AppSheet::Kind::crop) return true;
    return sheet.fileID() && store_.file(*sheet.fileID()).has_value();
}

void ContentView::routeSheet() {
    const std::optional<AppSheet>& wanted = store_.sheet();
    // The sheet of a file that is gone is never shown, and closes once its file disappears.
    if (wanted && !resolves(*wanted)) {
        QMetaObject::invokeMethod(this, dismissal(wanted->identifier()), Qt::QueuedConnection);
        if (sheet_) sheet_->closeQuietly();
        sheet_ = nullptr;
        sheetIdentifier_.clear();
        return;
    }
    const std::string identifier = wanted ? wanted->identifier() : std::string();
    if (sheet_ && identifier == sheetIdentifier_) return;
    if (sheet_) sheet_->closeQuietly();
    sheet_ = nullptr;
    sheetIdentifier_ = identifier;
    if (!wanted) return;
    sheet_ = new SheetDialog(window(), makeSheetContent(*wanted), dismissal(identifier));
    sheet_->open();
}

void ContentView::routeWarnings() {
    if (!store_.showWarnings()) {
        if (warnings_) warnings_->closeQuietly();
        warnings_ = nullptr;
        return;
    }
    if (warnings_) return;
    auto dismiss = [this] { store_.setShowWarnings(false); };
    // Opened last, it stands over the delivery sheet when that is up.
    warnings_ = new SheetDialog(window(), new WarningSheet(store_, dismiss), dismiss);
    warnings_->open();
}

void ContentView::routeAlert() {
    const std::optional<std::string>& error = store_.error();
    if (!error) {
        if (alert_) {
            alert_->hide();
            alert_->deleteLater();
        }
        alert_ = nullptr;
        return;
    }
    if (alert_ && (alert_->buttons().size() > 1) == store_.errorLocation().has_value()) {
        translateAlert();
        return;
    }
    if (alert_) {
        // Another error took the place of one with or without a location: a new box.
        QMessageBox* old = std::exchange(alert_, nullptr);
        old->disconnect(this);
        old->hide();
        old->deleteLater();
    }
    alert_ = new QMessageBox(topmost());
    alert_->setIcon(QMessageBox::Warning);
    alert_->setWindowModality(Qt::WindowModal);
    // The location is there to be selected and copied by hand too.
    alert_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton* accept = alert_->addButton(QString(), QMessageBox::AcceptRole);
    alert_->setDefaultButton(accept);
    if (store_.errorLocation()) {
        QPushButton* copy = alert_->addButton(QString(), QMessageBox::ActionRole);
        copy->setObjectName(QStringLiteral("copyLocation"));
        // Said before the box finishes, which clears the error and its location.
        connect(alert_, &QMessageBox::buttonClicked, this, [this, copy](QAbstractButton* clicked) {
            if (clicked == copy) store_.copyErrorLocation();
        });
    }
    translateAlert();
    connect(alert_, &QMessageBox::finished, this, [this] {
        if (alert_) alert_->deleteLater();
        alert_ = nullptr;
        store_.clearError();
    });
    openAlert();
}

void ContentView::openAlert() {
    if (!alert_ || alert_->isVisible()) return;
    QWindow* handle = window()->windowHandle();
    if (!handle || !handle->isExposed()) {
        // Opened before the window manager has mapped the window, the box would end up below the
        // window it blocks: it waits until the window is on screen.
        window()->installEventFilter(this);
        if (handle) handle->installEventFilter(this);
        return;
    }
    alert_->open();
    ModalFront::bringToFront(alert_);
}

bool ContentView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window() && event->type() == QEvent::Show) {
        if (QWindow* handle = window()->windowHandle()) handle->installEventFilter(this);
    } else if (watched == window()->windowHandle() && event->type() == QEvent::Expose) {
        window()->removeEventFilter(this);
        watched->removeEventFilter(this);
        // Once the expose is done with, on the window that is now on screen.
        QMetaObject::invokeMethod(this, &ContentView::openAlert, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void ContentView::translateAlert() {
    const std::optional<std::string>& error = store_.error();
    if (!alert_ || !error) return;
    alert_->setWindowTitle(Lq("暂时无法完成"));
    alert_->setText(Lq("暂时无法完成"));
    alert_->setInformativeText(Lq(*error));
    for (QAbstractButton* button : alert_->buttons()) {
        button->setText(button->objectName() == QLatin1String("copyLocation") ? Lq("复制路径") : Lq("知道了"));
    }
}

}  // namespace sorvik::app
