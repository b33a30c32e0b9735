#include "Sorvik/Views/Project/ProjectRulesSheet.hpp"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>
#include <limits>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Kit/DeliveryParts.hpp"
#include "Sorvik/Views/Project/Logic/ProjectRulesLogic.hpp"
#include "Sorvik/Views/Kit/SheetHeader.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

QLineEdit* textField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    // Stored names and alias lists of any length are shown whole, never cut.
    field->setMaxLength(std::numeric_limits<int>::max());
    field->setFont(Theme::font(type::callout));
    field->setMinimumHeight(32);
    field->setClearButtonEnabled(false);
    setPaletteStyleSheet(field, [](const QPalette& palette) {
        using Theme::styleSheetColor;
        return QStringLiteral(
                   "QLineEdit { border: 1px solid %1; border-radius: 7px; padding: 0 8px;"
                   " background: %2; color: %3; } QLineEdit:focus { border: 1px solid %4; }")
            .arg(styleSheetColor(Theme::primaryAt(palette, 0.16)), styleSheetColor(Theme::surface(palette)),
                 styleSheetColor(Theme::primaryText(palette)),
                 styleSheetColor(Theme::withAlpha(Theme::green(palette), 0.8)));
    });
    return field;
}

QVBoxLayout* group(ToneLabel* label, QWidget* field) {
    auto* column = new QVBoxLayout();
    column->setSpacing(space::related);
    column->addWidget(label);
    column->addWidget(field);
    return column;
}

}  // namespace

ProjectRulesSheet::ProjectRulesSheet(AppStore& store, std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent), store_(store), dismiss_(std::move(dismiss)) {
    setFixedWidth(520);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(space::sheetMargin, space::sheetMargin, space::sheetMargin, space::sheetMargin);
    layout->setSpacing(space::pageBlocks);
    header_ = new SheetHeader({}, {}, this);
    layout->addWidget(header_);

    nameLabel_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, this);
    name_ = textField(this);
    layout->addLayout(group(nameLabel_, name_));

    aliasLabel_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, this);
    aliases_ = textField(this);
    auto* aliasGroup = group(aliasLabel_, aliases_);
    hint_ = new ToneLabel({}, type::caption, QFont::Normal, Tone::secondary, this);
    hint_->setWordWrap(true);
    aliasGroup->addWidget(hint_);
    layout->addLayout(aliasGroup);

    auto* buttons = new QHBoxLayout();
    cancel_ = new StyledButton(StyledButton::Style::quiet, {}, this);
    // Escape closes the sheet through its dialog, like this button.
    connect(cancel_, &QAbstractButton::clicked, this, [this] { dismiss_(); });
    save_ = new StyledButton(StyledButton::Style::primary, {}, this);
    connect(save_, &QAbstractButton::clicked, this, &ProjectRulesSheet::save);
    buttons->addWidget(cancel_);
    buttons->addStretch(1);
    buttons->addWidget(save_);
    layout->addLayout(buttons);

    // Filled from the selected project each time the sheet is shown.
    const Delivery* project = store_.selected();
    name_->setText(prefillName(project));
    aliases_->setText(prefillAliases(project));
    // As the fields hold them: what the fields do to a text never counts as an edit.
    openedName_ = name_->text();
    openedAliases_ = aliases_->text();

    connect(name_, &QLineEdit::textChanged, this, &ProjectRulesSheet::refreshStates);
    // Return saves when saving is possible; it never cancels.
    connect(name_, &QLineEdit::returnPressed, this, &ProjectRulesSheet::save);
    connect(aliases_, &QLineEdit::returnPressed, this, &ProjectRulesSheet::save);
    connect(&store_, &AppStore::changed, this, [this](StoreChanges what) {
        if (what & StoreChange::busy) refreshStates();
    });
    connect(&store_.preferences(), &Preferences::languageChanged, this, &ProjectRulesSheet::retranslate);
    retranslate();
    refreshStates();
    name_->setFocus();
}

void ProjectRulesSheet::retranslate() {
    header_->setTexts(Lq("给项目一些识别线索。"),
                      Lq("项目名称和别名会用于跨文件夹匹配。以后生成的新素材，也能自动关联进来。"));
    nameLabel_->setFullText(Lq("项目名称"));
    name_->setAccessibleName(Lq("项目名称"));
    aliases_->setAccessibleName(Lq("项目别名 / 关键词"));
    name_->setPlaceholderText(Lq("例如：山间慢生活"));
    aliasLabel_->setFullText(Lq("项目别名 / 关键词"));
    aliases_->setPlaceholderText(Lq("例如：周末山行, Mountain Weekend"));
    hint_->setFullText(Lq("用逗号分隔。相似但不确定的素材会留在待识别，不会强行合并。"));
    cancel_->setText(Lq("取消"));
    save_->setText(Lq("保存并关联"));
    cancel_->updateGeometry();
    save_->updateGeometry();
    setFixedHeight(layout()->totalHeightForWidth(width()));
}

void ProjectRulesSheet::refreshStates() {
    save_->setEnabled(canSaveNameAndAliases(name_->text(), store_.isBusy(), store_.recoveryMode()));
}

void ProjectRulesSheet::save() {
    if (!canSaveNameAndAliases(name_->text(), store_.isBusy(), store_.recoveryMode())) return;
    NameAndAliasesChange change = nameAndAliasesChange(openedName_, name_->text(), openedAliases_, aliases_->text());
    if (change.empty()) return dismiss_();
    store_.update(std::nullopt, [&](Delivery& project) {
        if (change.name) project.name = *change.name;
        if (change.keywords) project.keywords = std::move(*change.keywords);
    });
    // Matching the whole library runs on the worker; the store saves when it is done.
    store_.regroupAndSave();
    dismiss_();
}

}  // namespace sorvik::app
