#include "Sorvik/Views/Delivery/DeliveryView.hpp"

#include <QHBoxLayout>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Delivery/DeliveryLists.hpp"
#include "Sorvik/Views/Delivery/Logic/DeliveryModel.hpp"
#include "Sorvik/Views/Kit/DeliveryParts.hpp"
#include "Sorvik/Views/Kit/SlimScrollBar.hpp"
#include "Sorvik/Views/Delivery/FileCard.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

QVBoxLayout* column(QWidget* parent, int spacing) {
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

/// The file of the selected delivery with this identifier, as it is now.
std::optional<DeliveryFile> selectedFile(const AppStore& store, const UUID& id) {
    const Delivery* delivery = store.selected();
    if (!delivery) return std::nullopt;
    for (const DeliveryFile& file : delivery->files) {
        if (file.id == id) return file;
    }
    return std::nullopt;
}

}  // namespace

DeliveryView::DeliveryView(AppStore& store, ThumbnailLoader& loader, QWidget* parent)
    : QWidget(parent), store_(store), loader_(loader) {
    auto* layout = column(this, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->viewport()->setAutoFillBackground(false);
    scroll_->verticalScrollBar()->setSingleStep(24);
    makeSlim(scroll_->verticalScrollBar());
    page_ = new QWidget(scroll_);
    page_->setAutoFillBackground(false);
    auto* blocks = column(page_, space::deliveryBlocks);
    blocks->setContentsMargins(space::pageMargin, space::deliveryTop, space::pageMargin, 0);
    blocks->addWidget(makeHeader(page_));
    blocks->addWidget(makeNotice(page_));
    auto* cardsRow = new QHBoxLayout();
    cardsRow->setSpacing(space::group);
    for (std::size_t i = 0; i < cards_.size(); ++i) {
        cards_[i] = new FileCard(store_, loader_, page_);
        cardsRow->addWidget(cards_[i], 1, Qt::AlignTop);
    }
    blocks->addLayout(cardsRow);
    blocks->addWidget(makeChecks(page_));
    blocks->addWidget(makeFiles(page_));
    footnote_ = new ToneLabel({}, type::caption, QFont::Normal, Tone::tertiary, page_);
    footnote_->setWordWrap(true);
    footnote_->setContentsMargins(0, 0, 0, space::group);
    blocks->addWidget(footnote_);
    blocks->addStretch(1);
    scroll_->setWidget(page_);
    layout->addWidget(scroll_, 1);
    footer_ = makeFooter();
    layout->addWidget(footer_);

    connect(&store_, &AppStore::changed, this, &DeliveryView::refresh);
    connect(&store_.preferences(), &Preferences::languageChanged, this, &DeliveryView::retranslate);
    retranslate();
}

QWidget* DeliveryView::makeHeader(QWidget* parent) {
    auto* header = new QWidget(parent);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(space::section);
    auto* left = column(nullptr, space::item);
    name_ = new TitleButton(header);
    connect(name_, &QAbstractButton::clicked, this, [this] {
        if (!store_.isBusy()) store_.setSheet(AppSheet::rename());
    });
    tagline_ = new ToneLabel({}, type::headline, QFont::Normal, Tone::secondary, header);
    tagline_->setWordWrap(true);
    left->addWidget(name_);
    left->addWidget(tagline_);
    row->addLayout(left, 1);
    rules_ = new MenuStyleButton(QStringLiteral("square.3.layers.3d"), header);
    connect(rules_, &QAbstractButton::clicked, this, [this] {
        if (!store_.isBusy()) store_.setSheet(AppSheet::templ());
    });
    row->addWidget(rules_, 0, Qt::AlignTop);
    return header;
}

QWidget* DeliveryView::makeNotice(QWidget* parent) {
    notice_ = new QWidget(parent);
    auto* row = new QHBoxLayout(notice_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(space::related);
    row->addWidget(new SymbolView(QStringLiteral("info.circle"), 13, Tone::secondary, notice_), 0, Qt::AlignVCenter);
    noticeText_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, notice_);
    noticeText_->setWordWrap(true);
    row->addWidget(noticeText_, 1);
    undo_ = new StyledButton(StyledButton::Style::plain, {}, notice_);
    undo_->setPixelSize(type::footnote, QFont::Medium);
    undo_->setTone(Tone::green);
    connect(undo_, &QAbstractButton::clicked, this, [this] { store_.undoRemove(); });
    row->addWidget(undo_, 0, Qt::AlignVCenter);
    closeNotice_ = new StyledButton(StyledButton::Style::plain, {}, notice_);
    closeNotice_->setSymbol(QStringLiteral("xmark"), 10);
    closeNotice_->setTone(Tone::secondary);
    connect(closeNotice_, &QAbstractButton::clicked, this, [this] { store_.clearNotice(); });
    row->addWidget(closeNotice_, 0, Qt::AlignVCenter);
    return notice_;
}

QWidget* DeliveryView::makeChecks(QWidget* parent) {
    auto* section = new QWidget(parent);
    auto* layout = column(section, 0);
    auto* header = new QHBoxLayout();
    header->setContentsMargins(0, 0, 0, space::buttonGap);
    checksTitle_ = new ToneLabel({}, type::callout, QFont::DemiBold, Tone::primary, section);
    issuesToggle_ = new StyledButton(StyledButton::Style::plain, {}, section);
    issuesToggle_->setPixelSize(type::footnote, QFont::Normal);
    issuesToggle_->setTone(Tone::secondary);
    connect(issuesToggle_, &QAbstractButton::clicked, this,
            [this] { store_.setShowOnlyIssues(!store_.showOnlyIssues()); });
    header->addWidget(checksTitle_);
    header->addStretch(1);
    header->addWidget(issuesToggle_);
    layout->addLayout(header);
    layout->addWidget(new Hairline(Qt::Horizontal, section));
    checksModel_ = new DeliveryChecksModel(this);
    checkDelegate_ = new CheckRowDelegate();
    checkList_ = new RowListView(checkDelegate_, section);
    checkList_->setModel(checksModel_);
    connect(checkList_, &RowListView::partClicked, this,
            [this](const QModelIndex& index, int part, const QPoint&) { checkClicked(index, part); });
    layout->addWidget(checkList_);
    allPassed_ = new ToneLabel({}, type::callout, QFont::Normal, Tone::green, section);
    allPassed_->setAlignment(Qt::AlignCenter);
    allPassed_->setContentsMargins(space::notePadding, space::notePadding, space::notePadding, space::notePadding);
    // The page lays its sections out from their minimum heights: the margins must count there too.
    allPassed_->setMinimumHeight(allPassed_->fontMetrics().height() + 48);
    layout->addWidget(allPassed_);
    return section;
}

QWidget* DeliveryView::makeFiles(QWidget* parent) {
    filesSection_ = new QWidget(parent);
    auto* layout = column(filesSection_, space::item);
    filesToggle_ = new DisclosureButton(filesSection_);
    layout->addWidget(filesToggle_);
    filesModel_ = new DeliveryFilesModel(this);
    fileList_ = new RowListView(new FileRowDelegate(), filesSection_);
    fileList_->setUniformItemSizes(true);
    fileList_->setModel(filesModel_);
    fileList_->setVisible(false);
    connect(fileList_, &RowListView::partClicked, this, &DeliveryView::fileClicked);
    layout->addWidget(fileList_);
    // Collapsed when first shown; the flag lives only as long as the view.
    connect(filesToggle_, &QAbstractButton::toggled, this, [this](bool open) {
        fileList_->setVisible(open);
        if (open) fileList_->fitToRows();
    });
    return filesSection_;
}

QWidget* DeliveryView::makeFooter() {
    auto* outer = new QWidget(this);
    auto* inset = column(outer, 0);
    inset->setContentsMargins(space::insetPadding, space::insetPadding, space::insetPadding, space::insetPadding);
    auto* panel = new FooterPanel(outer);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(space::cardPadding, space::headerGap, space::cardPadding, space::headerGap);
    row->setSpacing(space::group);
    statusSymbol_ = new SymbolView(QStringLiteral("tray"), 24, Tone::secondary, panel);
    row->addWidget(statusSymbol_, 0, Qt::AlignVCenter);
    auto* texts = column(nullptr, space::tightLines);
    statusTitle_ = new ToneLabel({}, type::callout, QFont::DemiBold, Tone::primary, panel);
    statusTitle_->setElide(Qt::ElideRight);
    statusLine_ = new ToneLabel({}, type::caption, QFont::Normal, Tone::secondary, panel);
    statusLine_->setElide(Qt::ElideRight);
    texts->addWidget(statusTitle_);
    texts->addWidget(statusLine_);
    row->addLayout(texts, 1);
    reveal_ = new StyledButton(StyledButton::Style::quiet, {}, panel);
    connect(reveal_, &QAbstractButton::clicked, this, [this] {
        const Delivery* delivery = store_.selected();
        if (delivery && !delivery->exports.empty() && store_.latestIsCurrent()) {
            store_.revealItem(delivery->exports.back().path);
        }
    });
    history_ = new StyledButton(StyledButton::Style::plain, {}, panel);
    history_->setSymbol(QStringLiteral("clock.arrow.circlepath"), 17);
    history_->setTone(Tone::secondary);
    connect(history_, &QAbstractButton::clicked, this, [this] { store_.setSheet(AppSheet::history()); });
    export_ = new StyledButton(StyledButton::Style::primary, {}, panel);
    export_->setSymbol(QStringLiteral("shippingbox"), 15);
    connect(export_, &QAbstractButton::clicked, this, [this] {
        if (!store_.recoveryMode()) store_.exportCommand();
    });
    row->addWidget(reveal_, 0, Qt::AlignVCenter);
    row->addWidget(history_, 0, Qt::AlignVCenter);
    row->addWidget(export_, 0, Qt::AlignVCenter);
    inset->addWidget(panel);
    return outer;
}

void DeliveryView::retranslate() {
    name_->setToolTip(Lq("重命名交付"));
    name_->setAccessibleDescription(Lq("重命名交付"));
    tagline_->setFullText(Lq("整理好每一件，再交出去。"));
    closeNotice_->setToolTip(Lq("关闭提示"));
    closeNotice_->setAccessibleName(Lq("关闭提示"));
    undo_->setText(Lq("撤销"));
    undo_->updateGeometry();
    checksTitle_->setFullText(Lq("文件检查"));
    allPassed_->setFullText(Lq("所有检查已通过。"));
    footnote_->setFullText(Lq("检查依据：你的交付规则。文件在本机处理，原件始终保留。"));
    reveal_->setText(Lq("在文件管理器中显示"));
    reveal_->updateGeometry();
    history_->setToolTip(Lq("导出记录"));
    history_->setAccessibleName(Lq("导出记录"));
    export_->setText(Lq("导出交付包"));
    export_->updateGeometry();
    refresh(~StoreChanges{});
}

void DeliveryView::refresh(StoreChanges what) {
    // Sheets, search, sources and the like show nowhere here.
    constexpr StoreChanges shown = StoreChange::projects | StoreChange::selection | StoreChange::busy |
                                   StoreChange::messages | StoreChange::lastExport;
    if (!(what & shown)) return;
    const Delivery* delivery = store_.selected();
    scroll_->setVisible(delivery != nullptr);
    footer_->setVisible(delivery != nullptr);
    if (!delivery) return;
    const bool lists = what & (StoreChange::projects | StoreChange::selection);
    if (lists) snapshot_ = deliverySnapshot(store_);
    const bool busy = store_.isBusy();
    const bool recovery = store_.recoveryMode();

    if (what & (StoreChange::projects | StoreChange::selection | StoreChange::busy)) {
        name_->setText(qs(delivery->name));
        name_->updateGeometry();
        name_->setEnabled(!busy);
        rules_->setText(qs(ruleSetLabel(delivery->templ.name)));
        rules_->updateGeometry();
        rules_->setEnabled(!busy);
        const auto cards = fileCards(*delivery, snapshot_.checks);
        for (std::size_t i = 0; i < cards.size(); ++i) cards_[i]->setCard(cards[i]);
    }
    if (what & (StoreChange::messages | StoreChange::busy | StoreChange::selection | StoreChange::projects)) {
        const auto& notice = store_.notice();
        notice_->setVisible(notice.has_value());
        if (notice) noticeText_->setFullText(Lq(*notice));
        undo_->setVisible(store_.canUndo());
        undo_->setEnabled(!busy && !recovery);
    }
    if (lists || (what & StoreChange::busy)) refreshLists(*delivery);
    refreshFooter(*delivery);
}

void DeliveryView::refreshLists(const Delivery& delivery) {
    const bool busy = store_.isBusy();
    const bool recovery = store_.recoveryMode();
    const bool onlyIssues = store_.showOnlyIssues();
    checksModel_->setChecks(visibleChecks(checkSource(snapshot_, onlyIssues)));
    checkDelegate_->setChooseFilesEnabled(!busy && !recovery);
    checkList_->fitToRows();
    checkList_->viewport()->update();
    checkList_->setVisible(checksModel_->rowCount() > 0);
    issuesToggle_->setText(qs(issuesToggleText(onlyIssues, delivery.files.size(), snapshot_.issues.size())));
    issuesToggle_->updateGeometry();
    allPassed_->setVisible(showsAllPassed(onlyIssues, snapshot_.issues.size()));

    filesSection_->setVisible(!delivery.files.empty());
    filesToggle_->setText(qs(allFilesTitle(delivery.files.size())));
    filesToggle_->updateGeometry();
    filesToggle_->setEnabled(!busy);
    fileList_->setEnabled(!busy);
    filesModel_->setFiles(delivery.files);
    if (fileList_->isVisible()) fileList_->fitToRows();
}

void DeliveryView::refreshFooter(const Delivery& delivery) {
    FooterInputs inputs;
    inputs.filesEmpty = delivery.files.empty();
    inputs.latestIsCurrent = snapshot_.latestIsCurrent;
    inputs.issueCount = snapshot_.issues.size();
    inputs.hasErrors = snapshot_.hasErrors;
    inputs.busy = store_.isBusy();
    inputs.activity = store_.activity();
    const FooterStatus status = footerStatus(inputs);
    statusSymbol_->setSymbol(qs(status.symbol));
    statusSymbol_->setTone(toneOf(status.tone));
    statusTitle_->setFullText(qs(status.title));
    statusLine_->setFullText(qs(status.line));
    const ExportRecordControl control = exportRecordControl(!delivery.exports.empty(), snapshot_.latestIsCurrent);
    reveal_->setVisible(control == ExportRecordControl::reveal);
    history_->setVisible(control == ExportRecordControl::history);
    export_->setEnabled(exportButtonEnabled(store_, snapshot_));
}

void DeliveryView::checkClicked(const QModelIndex& index, int part) {
    if (part != CheckRowDelegate::button || !index.isValid()) return;
    const auto action = static_cast<CheckAction>(index.data(DeliveryChecksModel::ActionRole).toInt());
    const std::optional<UUID> file = UUID::parse(utf8(index.data(DeliveryChecksModel::FileIDRole).toString()));
    switch (action) {
        case CheckAction::cropCover:
            if (file) store_.setSheet(AppSheet::crop(*file));
            break;
        case CheckAction::showFile:
            if (file) store_.setSheet(AppSheet::file(*file));
            break;
        case CheckAction::chooseFiles:
            if (!store_.isBusy() && !store_.recoveryMode()) store_.chooseFiles();
            break;
    }
}

QMenu* DeliveryView::makeFileMenu(const UUID& fileID) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The file menu changes the model: nothing while busy or in recovery mode.
    const bool editable = !store_.isBusy() && !store_.recoveryMode();
    for (const FileRole role : FileRoles::allCases) {
        QAction* action = menu->addAction(qs(useAsText(role)));
        action->setEnabled(editable);
        connect(action, &QAction::triggered, this, [this, fileID, role] {
            if (const auto file = selectedFile(store_, fileID)) store_.editFile(withRole(*file, role));
        });
    }
    menu->addSeparator();
    QAction* remove = menu->addAction(Lq("从交付中移除"));
    remove->setEnabled(editable);
    connect(remove, &QAction::triggered, this, [this, fileID] {
        if (const auto file = selectedFile(store_, fileID)) store_.removeFile(*file);
    });
    return menu;
}

void DeliveryView::fileClicked(const QModelIndex& index, int part, const QPoint& global) {
    const std::optional<UUID> id = filesModel_->fileID(index.row());
    if (!id) return;
    if (part == FileRowDelegate::name) {
        store_.setSheet(AppSheet::file(*id));
    } else if (part == FileRowDelegate::menu) {
        QMenu* menu = makeFileMenu(*id);
        menu->setToolTip(Lq("文件操作"));
        menu->popup(global);
    }
}

}  // namespace sorvik::app
