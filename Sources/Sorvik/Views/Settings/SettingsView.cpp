#include "Sorvik/Views/Settings/SettingsView.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QShortcut>
#include <QVBoxLayout>

#include "Sorvik/Support/AppConfiguration.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Kit/LanguagePicker.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

const QStringList appearanceValues{QStringLiteral("system"), QStringLiteral("light"), QStringLiteral("dark")};

/// A grouped section: rounded surface, rows separated by hairlines.
class FormSection : public CardFrame {
public:
    explicit FormSection(QWidget* parent) : CardFrame(corner::panel, parent) {
        layout_ = new QVBoxLayout(this);
        layout_->setContentsMargins(space::insetPadding, space::insetRow, space::insetPadding, space::insetRow);
        layout_->setSpacing(0);
    }
    void addRow(QWidget* row) {
        if (layout_->count() > 0) layout_->addWidget(new Hairline(Qt::Horizontal, this));
        row->setMinimumHeight(38);
        layout_->addWidget(row);
    }

private:
    QVBoxLayout* layout_;
};

QWidget* labelledRow(QWidget* parent, QWidget* label, QWidget* control) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, space::symbolGap, 0, space::symbolGap);
    layout->addWidget(label);
    layout->addStretch(1);
    layout->addWidget(control);
    return row;
}

}  // namespace

SettingsView::SettingsView(AppStore& store, std::function<void()> showMainWindow, QWidget* parent)
    : QWidget(parent), store_(store), showMainWindow_(std::move(showMainWindow)) {
    setFixedSize(520, 510);
    // Escape closes the settings window, as it closes every sheet.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] { window()->close(); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(space::cardPadding, space::cardPadding, space::cardPadding, space::cardPadding);
    layout->setSpacing(space::buttonGap);
    Preferences& preferences = store_.preferences();

    auto* brandSection = new FormSection(this);
    auto* brand = new QWidget(brandSection);
    auto* brandLayout = new QHBoxLayout(brand);
    brandLayout->setContentsMargins(0, space::item, 0, space::item);
    brandLayout->setSpacing(space::buttonGap);
    brandLayout->addWidget(new BrandMark(44, brand), 0, Qt::AlignVCenter);
    auto* brandTexts = new QVBoxLayout();
    brandTexts->setSpacing(space::lines);
    version_ = new ToneLabel({}, type::subheadline, QFont::DemiBold, Tone::primary, brand);
    tagline_ = new ToneLabel({}, type::body, QFont::Normal, Tone::secondary, brand);
    brandTexts->addWidget(version_);
    brandTexts->addWidget(tagline_);
    brandLayout->addLayout(brandTexts, 1);
    brandSection->addRow(brand);
    layout->addWidget(brandSection);

    auto* preferencesSection = new FormSection(this);
    preferencesSection->addRow(new LanguagePicker(preferences, type::callout, preferencesSection));
    appearanceLabel_ = new ToneLabel({}, type::callout, QFont::Normal, Tone::primary, preferencesSection);
    appearance_ = preferenceCombo(preferencesSection, 13);
    connect(appearance_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < appearanceValues.size()) store_.preferences().setAppearance(appearanceValues[index]);
    });
    preferencesSection->addRow(labelledRow(preferencesSection, appearanceLabel_, appearance_));
    revealLabel_ = new ToneLabel({}, type::callout, QFont::Normal, Tone::primary, preferencesSection);
    reveal_ = new ToggleSwitch(false, preferencesSection);
    connect(reveal_, &QAbstractButton::toggled, this,
            [this](bool on) { store_.preferences().setRevealAfterExport(on); });
    preferencesSection->addRow(labelledRow(preferencesSection, revealLabel_, reveal_));
    layout->addWidget(preferencesSection);

    libraryHeader_ = new ToneLabel({}, type::body, QFont::DemiBold, Tone::secondary, this);
    libraryHeader_->setContentsMargins(space::labelGap, space::labelGap, 0, 0);
    layout->addWidget(libraryHeader_);
    auto* librarySection = new FormSection(this);
    libraryNote_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, librarySection);
    libraryNote_->setWordWrap(true);
    libraryNote_->setContentsMargins(0, space::related, 0, space::related);
    librarySection->addRow(libraryNote_);
    auto addButton = [&](StyledButton*& button, auto action) {
        button = new StyledButton(StyledButton::Style::plain, {}, librarySection);
        button->setPixelSize(type::callout, QFont::Normal);
        button->setTone(Tone::green);
        connect(button, &QAbstractButton::clicked, this, action);
        librarySection->addRow(button);
    };
    addButton(manageSources_, [this] {
        store_.setSheet(AppSheet::sources());
        if (showMainWindow_) showMainWindow_();
    });
    addButton(openLibrary_, [this] { store_.openLibraryFolder(); });
    addButton(sample_, [this] { store_.loadRudidEdevov(); });
    layout->addWidget(librarySection);
    layout->addStretch(1);

    connect(&preferences, &Preferences::languageChanged, this, &SettingsView::retranslate);
    connect(&preferences, &Preferences::appearanceChanged, this, &SettingsView::refresh);
    connect(&store_, &AppStore::changed, this, [this] { refresh(); });
    retranslate();
}

void SettingsView::retranslate() {
    version_->setFullText(Lq("Sorvik {0}", AppConfiguration::version()));
    tagline_->setFullText(Lq("散落各处，也能Sorvik。"));
    appearanceLabel_->setFullText(Lq("外观"));
    {
        const QSignalBlocker block(appearance_);
        appearance_->clear();
        appearance_->addItems({Lq("跟随系统"), Lq("浅色"), Lq("深色")});
    }
    revealLabel_->setFullText(Lq("导出完成后在文件管理器中显示"));
    // The controls are named by the labels beside them.
    appearance_->setAccessibleName(Lq("外观"));
    reveal_->setAccessibleName(Lq("导出完成后在文件管理器中显示"));
    libraryHeader_->setFullText(Lq("资料库"));
    libraryNote_->setFullText(Lq("项目保存原文件引用与索引。只有启用归档副本或准备交付时才复制文件；应用不上传素材。"));
    manageSources_->setText(Lq("管理来源文件夹与自动归档"));
    openLibrary_->setText(Lq("打开资料库文件夹"));
    sample_->setText(Lq("体验分散素材示例"));
    for (StyledButton* button : {manageSources_, openLibrary_, sample_}) button->updateGeometry();
    refresh();
}

void SettingsView::refresh() {
    const qsizetype index = appearanceValues.indexOf(store_.preferences().appearance());
    {
        const QSignalBlocker block(appearance_);
        appearance_->setCurrentIndex(index < 0 ? 0 : int(index));
    }
    {
        const QSignalBlocker block(reveal_);
        reveal_->setChecked(store_.preferences().revealAfterExport());
    }
    sample_->setEnabled(!store_.isBusy() && !store_.recoveryMode());
}

}  // namespace sorvik::app
