#include "Sorvik/Views/Delivery/TemplateSheet.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QScopedValueRollback>
#include <QTimer>
#include <limits>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Delivery/Logic/DeliveryLogic.hpp"
#include "Sorvik/Views/Kit/DeliveryParts.hpp"
#include "Sorvik/Views/Kit/SheetHeader.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"
#include "SorvikCore/CheckEngine.hpp"

namespace sorvik::app {

namespace {

constexpr int labelWidth = 82;
constexpr int fieldWidth = 110;

ToneLabel* formLabel(QWidget* parent) {
    auto* label = new ToneLabel({}, type::body, QFont::Normal, Tone::primary, parent);
    label->setFixedWidth(labelWidth);
    return label;
}

QHBoxLayout* formRow(ToneLabel* label) {
    auto* row = new QHBoxLayout();
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(space::item);
    row->addWidget(label);
    return row;
}

std::int64_t& limitValue(DeliveryTemplate& templ, std::size_t index) {
    switch (index) {
        case 0: return templ.maxVideoMB;
        case 1: return templ.maxTitleCharacters;
        default: return templ.maxBodyCharacters;
    }
}

}  // namespace

TemplateSheet::TemplateSheet(AppStore& store, std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent), store_(store), dismiss_(std::move(dismiss)), form_(seedTemplateForm(store.selected())) {
    setFixedWidth(520);
    setMinimumHeight(580);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(space::wideMargin, space::wideMargin, space::wideMargin, space::wideMargin);
    layout->setSpacing(space::sheetSections);
    header_ = new SheetHeader({}, {}, this);
    layout->addWidget(header_);
    layout->addWidget(makeStartingPoints());
    layout->addWidget(makeForm());
    saveAsPreset_ = new QCheckBox(this);
    saveAsPreset_->setFont(Theme::font(type::footnote));
    layout->addWidget(saveAsPreset_);
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout();
    cancel_ = new StyledButton(StyledButton::Style::quiet, {}, this);
    save_ = new StyledButton(StyledButton::Style::primary, {}, this);
    buttons->addWidget(cancel_);
    buttons->addStretch(1);
    buttons->addWidget(save_);
    layout->addLayout(buttons);

    connect(cancel_, &QAbstractButton::clicked, this, [this] { dismiss_(); });
    connect(save_, &QAbstractButton::clicked, this, &TemplateSheet::save);
    connect(&store_, &AppStore::changed, this, [this](StoreChanges what) {
        if (what & (StoreChange::busy | StoreChange::presets | StoreChange::selection)) refresh();
    });
    connect(&store_.preferences(), &Preferences::languageChanged, this, &TemplateSheet::retranslate);
    showForm();
    retranslate();
    // Once shown, typing goes to the name rather than to the first starting point.
    QTimer::singleShot(0, name_, [this] { name_->setFocus(); });
}

QWidget* TemplateSheet::makeStartingPoints() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(space::related);
    const auto templates = builtInTemplates();
    for (std::size_t i = 0; i < templates.size(); ++i) {
        builtIns_[i] = new StyledButton(StyledButton::Style::quiet, {}, row);
        const DeliveryTemplate* templ = templates[i];
        connect(builtIns_[i], &QAbstractButton::clicked, this, [this, templ] { choose(*templ); });
        layout->addWidget(builtIns_[i]);
    }
    presets_ = new StyledButton(StyledButton::Style::plain, {}, row);
    presets_->setSymbol(QStringLiteral("chevron.down"), 9);
    presets_->setTone(Tone::secondary);
    presets_->setMaximumWidth(95);
    presetMenu_ = new QMenu(presets_);
    connect(presets_, &QAbstractButton::clicked, this, [this] {
        presetMenu_->clear();
        for (const TemplatePreset& preset : store_.presets()) {
            QAction* action = presetMenu_->addAction(qs(ruleSetLabel(preset.templ.name)));
            const UUID id = preset.id;
            connect(action, &QAction::triggered, this, [this, id] {
                // Looked up when chosen: the list may have changed while the menu was open.
                for (const TemplatePreset& candidate : store_.presets()) {
                    if (candidate.id == id) return choose(candidate.templ);
                }
            });
        }
        presetMenu_->popup(presets_->mapToGlobal(QPoint(0, presets_->height())));
    });
    layout->addSpacing(space::labelGap);
    layout->addWidget(presets_);
    layout->addStretch(1);
    return row;
}

QWidget* TemplateSheet::makeForm() {
    auto* form = new QWidget(this);
    auto* column = new QVBoxLayout(form);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(space::formRows);

    labels_[0] = formLabel(form);
    auto* nameRow = formRow(labels_[0]);
    name_ = new QLineEdit(form);
    // A stored rule name of any length is shown and kept whole, never cut.
    name_->setMaxLength(std::numeric_limits<int>::max());
    name_->setFont(Theme::font(type::body));
    name_->setMinimumHeight(28);
    setPaletteStyleSheet(name_, [](const QPalette& palette) { return fieldStyle(palette); });
    connect(name_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (showingName_) return;
        nameTyped_ = true;
        form_.templ.name = utf8(text);
        refresh();
    });
    nameRow->addWidget(name_, 1);
    column->addLayout(nameRow);
    column->addWidget(new Hairline(Qt::Horizontal, form));

    labels_[1] = formLabel(form);
    auto* rolesRow = formRow(labels_[1]);
    rolesRow->setSpacing(space::buttonGap);
    for (std::size_t i = 0; i < roles_.size(); ++i) {
        roles_[i] = new QCheckBox(form);
        roles_[i]->setFont(Theme::font(type::body));
        const FileRole role = FileRoles::allCases[i];
        connect(roles_[i], &QCheckBox::clicked, this, [this, role](bool on) {
            setRequired(form_.templ, role, on);
            refresh();
        });
        rolesRow->addWidget(roles_[i]);
    }
    rolesRow->addStretch(1);
    column->addLayout(rolesRow);
    column->addWidget(new Hairline(Qt::Horizontal, form));

    labels_[2] = formLabel(form);
    auto* ratioRow = formRow(labels_[2]);
    ratio_ = new FieldComboBox(form);
    ratio_->setMinimumHeight(28);
    ratio_->setCursor(Qt::PointingHandCursor);
    ratio_->setFont(Theme::font(type::body));
    ratio_->setFixedWidth(fieldWidth);
    for (std::size_t i = 0; i < ruleRatioChoices().size(); ++i) ratio_->addItem(QString());
    connect(ratio_, &QComboBox::activated, this, [this](int index) {
        if (index < 0 || index >= int(ruleRatioChoices().size())) return;
        form_.ratio = ruleRatioChoices()[std::size_t(index)].value;
        refresh();
    });
    ratioRow->addWidget(ratio_);
    ratioRow->addStretch(1);
    column->addLayout(ratioRow);

    for (std::size_t i = 0; i < limits_.size(); ++i) {
        LimitRow& limit = limits_[i];
        limit.title = formLabel(form);
        auto* row = formRow(limit.title);
        limit.field = new QLineEdit(form);
        limit.field->setFont(Theme::font(type::body));
        limit.field->setFixedWidth(fieldWidth);
        limit.field->setMinimumHeight(28);
        setPaletteStyleSheet(limit.field, [](const QPalette& palette) { return fieldStyle(palette); });
        connect(limit.field, &QLineEdit::textChanged, this, [this, i](const QString& text) { limitEdited(i, text); });
        limit.unit = new ToneLabel({}, type::body, QFont::Normal, Tone::secondary, form);
        row->addWidget(limit.field);
        row->addWidget(limit.unit);
        row->addStretch(1);
        column->addLayout(row);
    }
    labels_[3] = new ToneLabel({}, type::caption, QFont::Normal, Tone::secondary, form);
    labels_[3]->setWordWrap(true);
    column->addWidget(labels_[3]);
    return form;
}

void TemplateSheet::retranslate() {
    header_->setTexts(Lq("你的交付，你的规则。"),
                      Lq("选择一个起点，按这次交付调整。也可以存为常用规则，下次直接使用。"));
    const auto templates = builtInTemplates();
    for (std::size_t i = 0; i < templates.size(); ++i) {
        builtIns_[i]->setText(Lq(templates[i]->name));
        builtIns_[i]->updateGeometry();
    }
    presets_->setText(Lq("常用规则"));
    presets_->updateGeometry();
    labels_[0]->setFullText(Lq("规则名称"));
    name_->setAccessibleName(Lq("规则名称"));
    labels_[1]->setFullText(Lq("必需文件"));
    labels_[2]->setFullText(Lq("封面比例"));
    labels_[3]->setFullText(Lq("0 表示不检查；第一行为标题。规则不代表平台限制。"));
    for (std::size_t i = 0; i < roles_.size(); ++i) roles_[i]->setText(Lq(FileRoles::label(FileRoles::allCases[i])));
    const auto& choices = ruleRatioChoices();
    for (std::size_t i = 0; i < choices.size(); ++i) {
        ratio_->setItemText(int(i), choices[i].translated ? Lq(choices[i].label) : qs(choices[i].label));
    }
    ratio_->setAccessibleName(Lq("封面比例"));
    const char* titles[] = {"成片上限", "标题上限", "正文上限"};
    for (std::size_t i = 0; i < limits_.size(); ++i) {
        limits_[i].title->setFullText(Lq(titles[i]));
        limits_[i].field->setAccessibleName(Lq(titles[i]));
        limits_[i].unit->setFullText(i == 0 ? QStringLiteral("MB") : Lq("字"));
    }
    saveAsPreset_->setText(Lq("同时存为常用规则"));
    if (!nameTyped_) showName();
    // The labels' column is 82 wide, or as wide as the longest label of the language.
    int column = labelWidth;
    for (ToneLabel* label :
         {labels_[0], labels_[1], labels_[2], limits_[0].title, limits_[1].title, limits_[2].title}) {
        column = std::max(column, label->fontMetrics().horizontalAdvance(label->text()) + 4);
    }
    for (ToneLabel* label :
         {labels_[0], labels_[1], labels_[2], limits_[0].title, limits_[1].title, limits_[2].title}) {
        label->setFixedWidth(column);
    }
    cancel_->setText(Lq("取消"));
    save_->setText(Lq("保存规则"));
    cancel_->updateGeometry();
    save_->updateGeometry();
    refresh();
}

void TemplateSheet::choose(const DeliveryTemplate& templ) {
    form_ = startingPoint(templ);
    showForm();
}

void TemplateSheet::showForm() {
    const std::string code = utf8(store_.preferences().interfaceCode());
    nameTyped_ = false;
    showName();
    for (std::size_t i = 0; i < roles_.size(); ++i) {
        roles_[i]->setChecked(isRequired(form_.templ, FileRoles::allCases[i]));
    }
    for (std::size_t i = 0; i < limits_.size(); ++i) {
        limits_[i].field->setText(qs(formatWholeNumber(limitValue(form_.templ, i), code)));
        limits_[i].readable = true;
    }
    refresh();
}

void TemplateSheet::showName() {
    // A built-in rule set's name shows in the interface language until the user types one; the
    // form keeps the name itself, so saving it unchanged keeps the built-in name.
    const QScopedValueRollback guard(showingName_, true);
    name_->setText(qs(ruleSetLabel(form_.templ.name)));
}

void TemplateSheet::limitEdited(std::size_t index, const QString& text) {
    const auto value = parseWholeNumber(utf8(text), utf8(store_.preferences().interfaceCode()));
    limits_[index].readable = value.has_value();
    if (value) limitValue(form_.templ, index) = *value;
    refresh();
}

void TemplateSheet::refresh() {
    // A value the picker does not offer shows as its ratio name, with no choice selected.
    const auto choice = ruleRatioIndex(form_.ratio);
    ratio_->setPlaceholderText(qs(CheckEngine::ratioLabel(form_.ratio)));
    ratio_->setCurrentIndex(choice ? int(*choice) : -1);
    bool readable = true;
    for (std::size_t i = 0; i < limits_.size(); ++i) {
        LimitRow& limit = limits_[i];
        const bool bad = !limit.readable || limitValue(form_.templ, i) < 0;
        readable = readable && limit.readable;
        // What cannot be saved shows in red.
        if (bad != limit.shownInvalid) {
            limit.shownInvalid = bad;
            setPaletteStyleSheet(limit.field, [bad](const QPalette& palette) { return fieldStyle(palette, bad); });
        }
    }
    presets_->setVisible(!store_.presets().empty());
    save_->setEnabled(canSaveTemplate(form_.templ, readable, store_.isBusy(), store_.recoveryMode()));
}

void TemplateSheet::save() {
    bool readable = true;
    for (const LimitRow& limit : limits_) readable = readable && limit.readable;
    if (!canSaveTemplate(form_.templ, readable, store_.isBusy(), store_.recoveryMode())) return;
    const DeliveryTemplate templ = templateToSave(form_);
    store_.update(std::nullopt, [&templ](Delivery& delivery) { delivery.templ = templ; });
    if (saveAsPreset_->isChecked()) store_.savePreset(templ);
    dismiss_();
}

}  // namespace sorvik::app
