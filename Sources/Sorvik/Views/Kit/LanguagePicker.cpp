#include "Sorvik/Views/Kit/LanguagePicker.hpp"

#include <QComboBox>
#include <QHBoxLayout>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

QComboBox* preferenceCombo(QWidget* parent, qreal pixelSize) {
    auto* combo = new QComboBox(parent);
    combo->setFont(Theme::font(pixelSize));
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    combo->setCursor(Qt::PointingHandCursor);
    return combo;
}

const QStringList& LanguagePicker::values() {
    static const QStringList list{QStringLiteral("system"), QStringLiteral("zh-Hans"), QStringLiteral("en")};
    return list;
}

LanguagePicker::LanguagePicker(Preferences& preferences, qreal pixelSize, QWidget* parent)
    : QWidget(parent), preferences_(preferences) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(space::related);
    label_ = new ToneLabel({}, pixelSize, QFont::Normal, Tone::primary, this);
    combo_ = preferenceCombo(this, pixelSize);
    layout->addWidget(label_);
    layout->addStretch(1);
    layout->addWidget(combo_);
    connect(combo_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < values().size()) preferences_.setLanguage(values()[index]);
    });
    connect(&preferences_, &Preferences::languageChanged, this, &LanguagePicker::retranslate);
    retranslate();
}

void LanguagePicker::retranslate() {
    label_->setFullText(Lq("语言"));
    combo_->setAccessibleName(Lq("语言"));
    const QSignalBlocker block(combo_);
    combo_->clear();
    combo_->addItems({Lq("跟随系统"), QStringLiteral("简体中文"), QStringLiteral("English")});
    const qsizetype index = values().indexOf(preferences_.language());
    combo_->setCurrentIndex(index < 0 ? 0 : int(index));
}

}  // namespace sorvik::app
