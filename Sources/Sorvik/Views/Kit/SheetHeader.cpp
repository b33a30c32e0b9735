#include "Sorvik/Views/Kit/SheetHeader.hpp"

#include <QVBoxLayout>

#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

SheetHeader::SheetHeader(const QString& title, const QString& subtitle, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(space::related);
    title_ = new ToneLabel(title, type::sheetTitle, QFont::DemiBold, Tone::primary, this);
    title_->setWordWrap(true);
    subtitle_ = new ToneLabel(subtitle, type::body, QFont::Normal, Tone::secondary, this);
    subtitle_->setWordWrap(true);
    layout->addWidget(title_);
    layout->addWidget(subtitle_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
}

void SheetHeader::setTexts(const QString& title, const QString& subtitle) {
    title_->setFullText(title);
    subtitle_->setFullText(subtitle);
}

}  // namespace sorvik::app
