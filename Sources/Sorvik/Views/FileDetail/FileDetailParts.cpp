#include "Sorvik/Views/FileDetail/FileDetailParts.hpp"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/FileDetail/Logic/FileDetailLogic.hpp"
#include "Sorvik/Views/Kit/SlimScrollBar.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

LocationRow::LocationRow(const QString& path, std::function<void()> reveal, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(space::symbolGap);
    row->addWidget(new SymbolView(QStringLiteral("link"), 10, Tone::secondary, this));
    auto* label = new ToneLabel(path, type::caption, QFont::Normal, Tone::secondary, this);
    label->setElide(Qt::ElideMiddle);
    row->addWidget(label, 1);
    button_ = new StyledButton(StyledButton::Style::plain, {}, this);
    button_->setPixelSize(type::caption, QFont::Normal);
    button_->setTone(Tone::green);
    connect(button_, &QAbstractButton::clicked, this, [reveal = std::move(reveal)] { reveal(); });
    row->addWidget(button_);
    retranslate();
}

void LocationRow::retranslate() {
    button_->setText(Lq("原文件位置"));
    button_->updateGeometry();
}

namespace {

/// The editor's text as typed: blocks joined by line feeds, every other character kept (unlike
/// toPlainText, which turns no-break spaces into spaces).
std::string typedText(const QPlainTextEdit& editor) {
    QString raw = editor.document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return utf8(raw);
}

}  // namespace

TextEditorSection::TextEditorSection(const std::string& text, QWidget* parent) : QWidget(parent), text_(text) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(space::related);
    countsRow_ = new QWidget(this);
    auto* counts = new QHBoxLayout(countsRow_);
    counts->setContentsMargins(0, 0, 0, 0);
    hint_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, countsRow_);
    counts_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, countsRow_);
    counts->addWidget(hint_);
    counts->addStretch(1);
    counts->addWidget(counts_);
    column->addWidget(countsRow_);

    auto* frame = new CardFrame(corner::panel, this);
    auto* inside = new QVBoxLayout(frame);
    inside->setContentsMargins(space::panelPadding, space::panelPadding, space::panelPadding, space::panelPadding);
    editor_ = new QPlainTextEdit(frame);
    editor_->setFrameShape(QFrame::NoFrame);
    editor_->viewport()->setAutoFillBackground(false);
    editor_->setAutoFillBackground(false);
    editor_->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));
    makeSlim(editor_->verticalScrollBar());
    replacing_ = true;
    editor_->setPlainText(qs(text_));
    replacing_ = false;
    inside->addWidget(editor_);
    // As tall as the sheet allows, and no less than this even with a location row and an error line.
    frame->setMinimumHeight(200);
    column->addWidget(frame, 1);
    setMonospaced(false);

    connect(editor_->document(), &QTextDocument::contentsChanged, this, [this] {
        if (replacing_) return;
        typed_ = true;
        emit textEdited();
        // Counted once per pass of the event loop, however many keys arrived.
        if (countsPending_) return;
        countsPending_ = true;
        QTimer::singleShot(0, this, [this] {
            countsPending_ = false;
            refreshCounts();
        });
    });
    retranslate();
}

const std::string& TextEditorSection::text() const {
    if (typed_) {
        text_ = typedText(*editor_);
        typed_ = false;
    }
    return text_;
}

void TextEditorSection::setText(const std::string& text) {
    text_ = text;
    typed_ = false;
    replacing_ = true;
    editor_->setPlainText(qs(text));
    replacing_ = false;
    refreshCounts();
}

void TextEditorSection::setCountsVisible(bool visible) {
    if (visible == !countsRow_->isHidden()) return;
    countsRow_->setVisible(visible);
    if (visible) refreshCounts();
}

void TextEditorSection::setMonospaced(bool monospaced) {
    // A new font lays the whole text out again: only when the design changes.
    if (monospaced_ == monospaced) return;
    monospaced_ = monospaced;
    QFont font = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : Theme::font(type::callout);
    font.setPixelSize(type::callout);
    editor_->setFont(font);
}

void TextEditorSection::retranslate() {
    hint_->setFullText(Lq("第一行是标题，其余为正文"));
    editor_->setAccessibleName(Lq("文件内容"));
    refreshCounts();
}

void TextEditorSection::refreshCounts() {
    if (countsRow_->isHidden()) return;
    const CopyCounts c = copyCounts(text());
    counts_->setFullText(Lq("标题 {0} 字 · 正文 {1} 字", c.title, c.body));
}

ExternalHint::ExternalHint(const QString& symbol, std::function<void()> open, QWidget* parent) : QWidget(parent) {
    setMinimumHeight(220);
    auto* column = new QVBoxLayout(this);
    column->setSpacing(space::section);
    column->addStretch(1);
    symbol_ = new SymbolView(symbol, 48, Tone::secondary, this);
    column->addWidget(symbol_, 0, Qt::AlignHCenter);
    text_ = new ToneLabel({}, type::callout, QFont::Normal, Tone::secondary, this);
    text_->setAlignment(Qt::AlignCenter);
    column->addWidget(text_, 0, Qt::AlignHCenter);
    button_ = new StyledButton(StyledButton::Style::quiet, {}, this);
    connect(button_, &QAbstractButton::clicked, this, [open = std::move(open)] { open(); });
    column->addWidget(button_, 0, Qt::AlignHCenter);
    column->addStretch(1);
    retranslate();
}

void ExternalHint::setSymbol(const QString& symbol) { symbol_->setSymbol(symbol); }

void ExternalHint::retranslate() {
    text_->setFullText(Lq("使用系统应用查看此格式"));
    button_->setText(Lq("使用默认应用打开"));
    button_->updateGeometry();
}

}  // namespace sorvik::app
