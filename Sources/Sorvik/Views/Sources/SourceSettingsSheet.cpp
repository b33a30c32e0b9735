#include "Sorvik/Views/Sources/SourceSettingsSheet.hpp"

#include <QCheckBox>
#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>

#include "Sorvik/Support/Formatting.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Kit/SheetHeader.hpp"
#include "Sorvik/Views/Kit/SlimScrollBar.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

/// One source: symbol, name, path, last error and the enable switch, on a faint rounded panel.
class SourceRow : public QWidget {
public:
    SourceRow(AppStore& store, const SourceFolder& source, QWidget* parent) : QWidget(parent) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(space::panelPadding, space::panelPadding, space::panelPadding, space::panelPadding);
        layout->setSpacing(space::group);
        layout->addWidget(new SymbolView(QStringLiteral("folder"), 21, Tone::green, this), 0, Qt::AlignVCenter);
        auto* texts = new QVBoxLayout();
        texts->setSpacing(space::lines);
        const QString name = qs(lastPathComponent(source.path));
        texts->addWidget(new ToneLabel(name, type::body, QFont::Medium, Tone::primary, this));
        auto* path =
            new ToneLabel(qs(abbreviatingHome(source.path)), type::caption, QFont::Normal, Tone::secondary, this);
        path->setElide(Qt::ElideMiddle);
        texts->addWidget(path);
        if (source.lastError) {
            auto* error = new ToneLabel(Lq(*source.lastError), type::caption, QFont::Normal, Tone::warning, this);
            error->setWordWrap(true);
            // At most two lines.
            error->setMaximumHeight(error->fontMetrics().lineSpacing() * 2 + 2);
            texts->addWidget(error);
        }
        layout->addLayout(texts, 1);
        auto* toggle = new ToggleSwitch(true, this);
        toggle->setChecked(source.enabled);
        toggle->setEnabled(!store.isBusy());
        toggle->setAccessibleName(Lq("启用 {0}", utf8(name)));
        const UUID id = source.id;
        connect(toggle, &QAbstractButton::toggled, this, [&store, id](bool on) { store.toggleSource(id, on); });
        layout->addWidget(toggle, 0, Qt::AlignVCenter);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), corner::preview, corner::preview);
        painter.fillPath(path, Theme::primaryAt(QApplication::palette(), 0.025));
    }
};

QCheckBox* checkBox(QWidget* parent) {
    auto* box = new QCheckBox(parent);
    box->setFont(Theme::font(type::body));
    return box;
}

}  // namespace

SourceSettingsSheet::SourceSettingsSheet(AppStore& store, std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent), store_(store), dismiss_(std::move(dismiss)) {
    setFixedSize(600, 690);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(space::sheetMargin, space::sheetMargin, space::sheetMargin, space::sheetMargin);
    layout->setSpacing(space::sheetSections);

    header_ = new SheetHeader({}, {}, this);
    layout->addWidget(header_);

    auto* sourcesHeader = new QHBoxLayout();
    sourcesTitle_ = new ToneLabel({}, type::callout, QFont::DemiBold, Tone::primary, this);
    addFolder_ = new StyledButton(StyledButton::Style::quiet, {}, this);
    addFolder_->setSymbol(QStringLiteral("plus"), 12);
    connect(addFolder_, &QAbstractButton::clicked, this, [this] { store_.chooseSourceFolders(); });
    sourcesHeader->addWidget(sourcesTitle_);
    sourcesHeader->addStretch(1);
    sourcesHeader->addWidget(addFolder_);
    layout->addLayout(sourcesHeader);

    sourceScroll_ = new QScrollArea(this);
    sourceScroll_->setFrameShape(QFrame::NoFrame);
    sourceScroll_->setWidgetResizable(true);
    sourceScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sourceScroll_->setMinimumHeight(110);
    sourceScroll_->setMaximumHeight(210);
    sourceScroll_->viewport()->setAutoFillBackground(false);
    makeSlim(sourceScroll_->verticalScrollBar());
    sourceList_ = new QWidget(sourceScroll_);
    sourceList_->setAutoFillBackground(false);
    sourceRows_ = new QVBoxLayout(sourceList_);
    sourceRows_->setContentsMargins(0, 0, 0, 0);
    sourceRows_->setSpacing(space::listRows);
    sourceScroll_->setWidget(sourceList_);
    layout->addWidget(sourceScroll_);

    auto* scanSettings = new QVBoxLayout();
    scanSettings->setSpacing(space::group);
    automaticScan_ = checkBox(this);
    recognizeText_ = checkBox(this);
    connect(automaticScan_, &QCheckBox::clicked, this, [this](bool on) { store_.setAutomaticScan(on); });
    connect(recognizeText_, &QCheckBox::clicked, this, [this](bool on) { store_.setRecognizeImageText(on); });
    scanSettings->addWidget(automaticScan_);
    scanSettings->addWidget(recognizeText_);
    layout->addLayout(scanSettings);

    layout->addWidget(new Hairline(Qt::Horizontal, this));

    auto* archive = new QVBoxLayout();
    archive->setSpacing(space::group);
    auto* archiveHeader = new QHBoxLayout();
    archiveTitle_ = new ToneLabel({}, type::callout, QFont::DemiBold, Tone::primary, this);
    archiveLocation_ = new StyledButton(StyledButton::Style::quiet, {}, this);
    connect(archiveLocation_, &QAbstractButton::clicked, this, [this] { store_.chooseArchiveFolder(); });
    archiveHeader->addWidget(archiveTitle_);
    archiveHeader->addStretch(1);
    archiveHeader->addWidget(archiveLocation_);
    archive->addLayout(archiveHeader);
    archivePath_ = new ToneLabel({}, type::caption, QFont::Normal, Tone::secondary, this);
    archivePath_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    archivePath_->setWordWrap(true);
    archive->addWidget(archivePath_);
    automaticArchive_ = checkBox(this);
    connect(automaticArchive_, &QCheckBox::clicked, this, [this](bool on) { store_.setAutomaticArchive(on); });
    archive->addWidget(automaticArchive_);
    archiveNote_ = new ToneLabel({}, type::caption, QFont::Normal, Tone::secondary, this);
    archiveNote_->setWordWrap(true);
    archive->addWidget(archiveNote_);
    archiveNowRow_ = new QWidget(this);
    auto* nowRow = new QHBoxLayout(archiveNowRow_);
    nowRow->setContentsMargins(0, 0, 0, 0);
    archiveNow_ = new StyledButton(StyledButton::Style::plain, {}, archiveNowRow_);
    archiveNow_->setPixelSize(type::footnote, QFont::Normal);
    archiveNow_->setTone(Tone::green);
    connect(archiveNow_, &QAbstractButton::clicked, this, [this] { store_.archiveNow(); });
    archiveCount_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, archiveNowRow_);
    nowRow->addWidget(archiveNow_);
    nowRow->addStretch(1);
    nowRow->addWidget(archiveCount_);
    archive->addWidget(archiveNowRow_);
    layout->addLayout(archive);

    layout->addStretch(1);

    auto* footer = new QHBoxLayout();
    footer->setSpacing(space::related);
    spinner_ = new Spinner(14, this);
    activity_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, this);
    activity_->setElide(Qt::ElideRight);
    done_ = new StyledButton(StyledButton::Style::primary, {}, this);
    // Escape closes the sheet through its dialog, like this button.
    connect(done_, &QAbstractButton::clicked, this, [this] { dismiss_(); });
    footer->addWidget(spinner_);
    footer->addWidget(activity_);
    footer->addStretch(1);
    footer->addWidget(done_);
    layout->addLayout(footer);

    connect(&store_, &AppStore::changed, this, &SourceSettingsSheet::refresh);
    connect(&store_.preferences(), &Preferences::languageChanged, this, [this] {
        retranslate();
        rebuildSources();
    });
    retranslate();
    rebuildSources();
    refresh(StoreChanges{});
}

void SourceSettingsSheet::retranslate() {
    header_->setTexts(Lq("连接一次，让素材自己归位。"),
                      Lq("选择你常用的 AI 输出、下载或项目文件夹。Sorvik索引原件，项目中保存引用。"));
    sourcesTitle_->setFullText(Lq("素材来源"));
    addFolder_->setText(Lq("添加文件夹"));
    automaticScan_->setText(Lq("应用打开时，每 30 秒自动发现新素材"));
    recognizeText_->setText(Lq("识别图片中的文字，辅助项目关联（本机处理）"));
    archiveTitle_->setFullText(Lq("自动归档"));
    automaticArchive_->setText(Lq("扫描后，自动为项目创建归档副本"));
    archiveNote_->setFullText(Lq("原文件与项目引用保持不变。只复制新版本，同名旧版本保留；待识别素材不会自动归档。"));
    archiveNow_->setText(Lq("立即归档"));
    done_->setText(Lq("完成"));
    refresh(StoreChanges{});
}

void SourceSettingsSheet::rebuildSources() {
    while (QLayoutItem* item = sourceRows_->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();  // gone at once, deleted once the event loop is back
            widget->deleteLater();
        }
        delete item;
    }
    const auto& sources = store_.workspace().sources;
    if (sources.empty()) {
        auto* empty = new ToneLabel(Lq("还没有连接的文件夹"), type::body, QFont::Normal, Tone::secondary, sourceList_);
        empty->setAlignment(Qt::AlignCenter);
        empty->setContentsMargins(space::emptyPadding, space::emptyPadding, space::emptyPadding, space::emptyPadding);
        sourceRows_->addWidget(empty);
    }
    for (const SourceFolder& source : sources) sourceRows_->addWidget(new SourceRow(store_, source, sourceList_));
    sourceRows_->addStretch(1);
}

void SourceSettingsSheet::refresh(StoreChanges what) {
    if (what & (StoreChange::sources | StoreChange::busy)) rebuildSources();
    const WorkspaceState& workspace = store_.workspace();
    const bool busy = store_.isBusy();
    // In recovery mode nothing connected or archived could be saved.
    const bool recovery = store_.recoveryMode();
    addFolder_->setEnabled(!busy && !recovery);
    automaticScan_->setChecked(workspace.automaticScan);
    recognizeText_->setChecked(workspace.recognizeImageText);
    automaticScan_->setEnabled(!busy);
    recognizeText_->setEnabled(!busy);
    const bool hasArchive = workspace.archiveFolder.has_value();
    archiveLocation_->setText(hasArchive ? Lq("更改位置") : Lq("选择归档位置"));
    archiveLocation_->setEnabled(!busy && !recovery);
    archivePath_->setVisible(hasArchive);
    if (hasArchive) archivePath_->setFullText(qs(abbreviatingHome(workspace.archiveFolder->path)));
    automaticArchive_->setChecked(workspace.automaticArchive);
    automaticArchive_->setEnabled(hasArchive && !busy && !recovery);
    archiveNowRow_->setVisible(hasArchive);
    archiveNow_->setEnabled(!busy && !recovery);
    archiveCount_->setFullText(Lq("已记录 {0} 份归档", workspace.archives.size()));
    spinner_->setVisible(busy);
    activity_->setVisible(busy);
    activity_->setFullText(Lq(store_.activity()));
}

}  // namespace sorvik::app
