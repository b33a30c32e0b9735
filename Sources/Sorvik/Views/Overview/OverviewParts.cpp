#include "Sorvik/Views/Overview/OverviewParts.hpp"

#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Overview/Logic/OverviewLogic.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

// EmptyStateView ---------------------------------------------------------------------------------------

EmptyStateView::EmptyStateView(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, space::emptyStateMargin, 0, space::emptyStateMargin);
    column->setSpacing(space::block);
    symbol_ = new SymbolView(QStringLiteral("folder.badge.plus"), 46, Tone::green, this);
    title_ = new ToneLabel({}, type::title1, QFont::Medium, Tone::primary, this);
    title_->setAlignment(Qt::AlignCenter);
    text_ = new CentredLines(type::callout, QFont::Normal, Tone::secondary, 6, this);
    sample_ = new StyledButton(StyledButton::Style::quiet, {}, this);
    connect(sample_, &QAbstractButton::clicked, this, &EmptyStateView::sampleRequested);
    column->addWidget(symbol_, 0, Qt::AlignHCenter);
    column->addWidget(title_, 0, Qt::AlignHCenter);
    column->addWidget(text_);
    column->addWidget(sample_, 0, Qt::AlignHCenter);
    setSearchEmpty(true);
}

void EmptyStateView::setSearchEmpty(bool searchEmpty) {
    const EmptyStateContent content = emptyState(searchEmpty);
    symbol_->setSymbol(qs(content.symbol));
    title_->setFullText(Lq(content.title));
    text_->setText(Lq(content.text));
    sample_->setText(Lq("体验分散素材示例"));
    sample_->updateGeometry();
    sample_->setVisible(content.sampleButton);
}

void EmptyStateView::setSampleEnabled(bool enabled) { sample_->setEnabled(enabled); }

QString EmptyStateView::title() const { return title_->text(); }

// InboxBanner ------------------------------------------------------------------------------------------

InboxBanner::InboxBanner(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(space::cardPadding, space::cardPadding, space::cardPadding, space::cardPadding);
    row->setSpacing(space::cardGap);
    row->addWidget(new SymbolView(QStringLiteral("magnifyingglass"), 24, Tone::secondary, this));
    auto* texts = new QVBoxLayout();
    texts->setSpacing(space::lines);
    title_ = new ToneLabel({}, type::callout, QFont::Medium, Tone::primary, this);
    text_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, this);
    text_->setWordWrap(true);
    texts->addWidget(title_);
    texts->addWidget(text_);
    row->addLayout(texts, 1);
    view_ = new StyledButton(StyledButton::Style::quiet, {}, this);
    connect(view_, &QAbstractButton::clicked, this, &InboxBanner::viewRequested);
    row->addWidget(view_);
    retranslate();
}

void InboxBanner::setTitle(const QString& title) { title_->setFullText(title); }

void InboxBanner::retranslate() {
    text_->setFullText(Lq("暂时没有足够的项目线索，保留在原始位置。"));
    view_->setText(Lq("查看"));
    view_->updateGeometry();
}

void InboxBanner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QApplication::palette();
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), corner::card, corner::card);
    painter.fillPath(path, Theme::primaryAt(palette, 0.018));
    painter.setPen(QPen(Theme::line(palette), 1));
    painter.drawPath(path);
}

}  // namespace sorvik::app
