#include "Sorvik/Views/Kit/Widgets.hpp"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include "Sorvik/Views/Kit/Icons.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

QPalette appPalette() { return QApplication::palette(); }

bool isPaletteEvent(const QEvent* event) {
    return event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange;
}

constexpr const char* keyboardFocusProperty = "sorvikKeyboardFocus";

}  // namespace

bool hasKeyboardFocus(const QWidget* widget) {
    return widget->hasFocus() && widget->property(keyboardFocusProperty).toBool();
}

void noteFocusReason(QWidget* widget, Qt::FocusReason reason) {
    switch (reason) {
        case Qt::TabFocusReason:
        case Qt::BacktabFocusReason:
        case Qt::ShortcutFocusReason: widget->setProperty(keyboardFocusProperty, true); break;
        case Qt::PopupFocusReason:
        case Qt::ActiveWindowFocusReason: break;
        default: widget->setProperty(keyboardFocusProperty, false); break;
    }
}

QColor toneColor(Tone tone, const QPalette& palette, qreal opacity) {
    QColor color;
    switch (tone) {
        case Tone::primary: color = Theme::primaryText(palette); break;
        case Tone::secondary: color = Theme::secondaryText(palette); break;
        case Tone::tertiary: color = Theme::tertiaryText(palette); break;
        case Tone::green: color = Theme::green(palette); break;
        case Tone::warning: color = Theme::warning(palette); break;
        case Tone::danger: color = Theme::danger(palette); break;
        case Tone::white: color = Qt::white; break;
    }
    return Theme::withAlpha(color, opacity);
}

// ToneLabel ----------------------------------------------------------------------------------------

ToneLabel::ToneLabel(Tone tone, QWidget* parent) : QLabel(parent), tone_(tone) { applyTone(); }

ToneLabel::ToneLabel(const QString& text, qreal pixelSize, QFont::Weight weight, Tone tone, QWidget* parent)
    : QLabel(parent), tone_(tone) {
    setFont(Theme::font(pixelSize, weight));
    setFullText(text);
    applyTone();
}

void ToneLabel::setTone(Tone tone, qreal opacity) {
    tone_ = tone;
    opacity_ = opacity;
    applyTone();
}

void ToneLabel::setElide(Qt::TextElideMode mode) {
    elide_ = mode;
    setSizePolicy(QSizePolicy::Preferred, sizePolicy().verticalPolicy());
    applyElide();
}

void ToneLabel::setFullText(const QString& text) {
    fullText_ = text;
    if (elide_ == Qt::ElideNone) {
        setText(text);
    } else {
        updateGeometry();
        applyElide();
    }
}

QSize ToneLabel::sizeHint() const {
    if (elide_ == Qt::ElideNone) return QLabel::sizeHint();
    const QMargins m = contentsMargins();
    return QSize(fontMetrics().horizontalAdvance(fullText_) + m.left() + m.right() + 1,
                 fontMetrics().height() + m.top() + m.bottom());
}

QSize ToneLabel::minimumSizeHint() const {
    if (elide_ == Qt::ElideNone) return QLabel::minimumSizeHint();
    return QSize(0, fontMetrics().height());
}

bool ToneLabel::event(QEvent* event) {
    if (Theme::isAppearanceChange(event)) applyTone();
    return QLabel::event(event);
}

void ToneLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) applyElide();
}

void ToneLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    applyElide();
}

void ToneLabel::applyTone() {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, toneColor(tone_, appPalette(), opacity_));
    p.setColor(QPalette::Text, toneColor(tone_, appPalette(), opacity_));
    setPalette(p);
}

void ToneLabel::applyElide() {
    if (elide_ == Qt::ElideNone) return;
    const QString shown = fontMetrics().elidedText(fullText_, elide_, std::max(0, width()));
    if (shown != text()) setText(shown);
    setToolTip(shown == fullText_ ? QString() : fullText_);
}

// SymbolView ----------------------------------------------------------------------------------------

SymbolView::SymbolView(const QString& name, qreal size, Tone tone, QWidget* parent)
    : QWidget(parent), name_(name), size_(size), tone_(tone) {
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::setSymbol(const QString& name) {
    name_ = name;
    update();
}

void SymbolView::setTone(Tone tone, qreal opacity) {
    tone_ = tone;
    opacity_ = opacity;
    update();
}

QSize SymbolView::sizeHint() const { return QSize(qCeil(size_), qCeil(size_)); }

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor color = toneColor(tone_, appPalette(), opacity_);
    if (!isEnabled()) color = Theme::withAlpha(color, 0.35);
    Icons::paint(painter, name_, QRectF(rect()), color);
}

// StyledButton --------------------------------------------------------------------------------------

StyledButton::StyledButton(Style style, const QString& text, QWidget* parent) : QAbstractButton(parent), style_(style) {
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(style == Style::plain ? Qt::TabFocus : Qt::StrongFocus);
    switch (style_) {
        case Style::primary: setFont(Theme::font(type::callout, QFont::DemiBold)); break;
        case Style::quiet: setFont(Theme::font(type::body, QFont::Medium)); break;
        case Style::plain: setFont(Theme::font(type::body, QFont::Normal)); break;
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void StyledButton::setSymbol(const QString& name, qreal size) {
    symbol_ = name;
    symbolSize_ = size;
    updateGeometry();
    update();
}

void StyledButton::setTone(Tone tone, qreal opacity) {
    tone_ = tone;
    opacity_ = opacity;
    update();
}

void StyledButton::setPixelSize(qreal size, QFont::Weight weight) {
    setFont(Theme::font(size, weight));
    updateGeometry();
}

QSize StyledButton::sizeHint() const {
    const QFontMetricsF metrics(font());
    const qreal symbol = symbol_.isEmpty() ? 0 : (symbolSize_ > 0 ? symbolSize_ : metrics.height() * 0.95);
    const qreal textWidth = text().isEmpty() ? 0 : metrics.horizontalAdvance(text());
    const qreal gap = symbol > 0 && textWidth > 0 ? 6 : 0;
    const qreal content = symbol + gap + textWidth;
    switch (style_) {
        case Style::primary: return QSize(qCeil(content + 44), 42);
        case Style::quiet: return QSize(qCeil(content + 26), qCeil(std::max(metrics.height(), symbol) + 16));
        case Style::plain: return QSize(qCeil(content + 4), qCeil(std::max(metrics.height(), symbol) + 4));
    }
    return {};
}

QSize StyledButton::minimumSizeHint() const { return sizeHint(); }

void StyledButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (isPaletteEvent(event) || event->type() == QEvent::EnabledChange) update();
}

void StyledButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = appPalette();
    const bool enabled = isEnabled();
    const bool pressed = isDown();
    QColor foreground;
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    switch (style_) {
        case Style::primary: {
            if (pressed) painter.setOpacity(0.8);
            QPainterPath path;
            path.addRoundedRect(bounds, corner::primaryButton, corner::primaryButton);
            painter.fillPath(path, enabled ? Theme::primaryButtonFill() : Theme::primaryAt(palette, 0.07));
            foreground = enabled ? QColor(Qt::white) : Theme::secondaryText(palette);
            break;
        }
        case Style::quiet: {
            QPainterPath path;
            path.addRoundedRect(bounds, corner::button, corner::button);
            painter.fillPath(path, Theme::primaryAt(palette, pressed ? 0.09 : 0.035));
            painter.setPen(QPen(Theme::line(palette), 1));
            painter.drawPath(path);
            foreground = toneColor(tone_, palette, opacity_);
            if (!enabled) foreground = Theme::withAlpha(foreground, 0.4);
            break;
        }
        case Style::plain: {
            foreground = toneColor(tone_, palette, opacity_);
            if (!enabled) foreground = Theme::withAlpha(foreground, 0.35);
            if (pressed) painter.setOpacity(0.6);
            break;
        }
    }
    // Every button shows the keyboard's focus, a plain one too.
    if (hasKeyboardFocus(this)) {
        QPainterPath ring;
        ring.addRoundedRect(bounds.adjusted(1, 1, -1, -1),
                            style_ == Style::primary ? corner::primaryButton - 1 : corner::button - 1,
                            style_ == Style::primary ? corner::primaryButton - 1 : corner::button - 1);
        painter.setPen(QPen(Theme::withAlpha(Theme::green(palette), 0.6), 2));
        painter.drawPath(ring);
    }
    const QFontMetricsF metrics(font());
    const qreal symbol = symbol_.isEmpty() ? 0 : (symbolSize_ > 0 ? symbolSize_ : metrics.height() * 0.95);
    const qreal textWidth = text().isEmpty() ? 0 : metrics.horizontalAdvance(text());
    const qreal gap = symbol > 0 && textWidth > 0 ? 6 : 0;
    const qreal content = symbol + gap + textWidth;
    qreal x = style_ == Style::plain ? 2 : (width() - content) / 2;
    if (style_ == Style::plain && content + 4 < width()) x = 2;
    if (symbol > 0) {
        Icons::paint(painter, symbol_, QRectF(x, (height() - symbol) / 2, symbol, symbol), foreground);
        x += symbol + gap;
    }
    if (textWidth > 0) {
        painter.setPen(foreground);
        painter.setFont(font());
        const QString shown = metrics.elidedText(text(), Qt::ElideRight, width() - x);
        painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignVCenter | Qt::AlignLeft, shown);
    }
}

// BrandMark ------------------------------------------------------------------------------------------

BrandMark::BrandMark(qreal size, QWidget* parent) : QWidget(parent), size_(size) {
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize BrandMark::sizeHint() const { return QSize(qCeil(size_), qCeil(size_)); }

void BrandMark::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = appPalette();
    const qreal s = size_;
    const QRectF tile(0, 0, s, s);
    // A soft shadow under the tile, approximated by a few widening outlines.
    const qreal blur = 0.15 * s;
    const qreal dy = 0.07 * s;
    for (int i = 3; i >= 1; --i) {
        const qreal grow = blur * i / 6;
        QPainterPath shadow;
        shadow.addRoundedRect(tile.adjusted(-grow / 2, dy - grow / 2, grow / 2, dy + grow / 2).adjusted(2, 2, -2, -2),
                              0.25 * s, 0.25 * s);
        painter.fillPath(shadow, QColor(0, 0, 0, int(0.07 * 255 / i)));
    }
    QPainterPath path;
    path.addRoundedRect(tile, 0.25 * s, 0.25 * s);
    const QColor surface = Theme::surface(palette);
    QLinearGradient gradient(tile.topLeft(), tile.bottomLeft());
    gradient.setColorAt(0, surface.lighter(104));
    gradient.setColorAt(1, surface.darker(Theme::isDark(palette) ? 115 : 106));
    painter.fillPath(path, gradient);
    const QColor green = Theme::green(palette);
    const qreal doc = 0.45 * s;
    Icons::paint(painter, QStringLiteral("doc.on.doc"),
                 QRectF((s - doc) / 2 - 0.03 * s, (s - doc) / 2 - 0.03 * s, doc, doc), Theme::withAlpha(green, 0.65));
    const qreal disc = 0.3 * s * 0.86;
    const QPointF centre(s / 2 + 0.21 * s, s / 2 + 0.13 * s);
    painter.setPen(Qt::NoPen);
    painter.setBrush(green);
    painter.drawEllipse(centre, disc / 2, disc / 2);
    QPainterPath check;
    check.moveTo(centre + QPointF(-0.22 * disc, 0.0));
    check.lineTo(centre + QPointF(-0.06 * disc, 0.17 * disc));
    check.lineTo(centre + QPointF(0.24 * disc, -0.16 * disc));
    painter.setPen(QPen(Qt::white, std::max(1.0, disc * 0.12), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(check);
}

// Hairline, StatusDot, CardFrame -------------------------------------------------------------------------

Hairline::Hairline(Qt::Orientation orientation, QWidget* parent) : QWidget(parent) {
    if (orientation == Qt::Horizontal) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    } else {
        setFixedWidth(1);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }
}

void Hairline::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Theme::line(appPalette()));
}

StatusDot::StatusDot(qreal diameter, Tone tone, qreal opacity, QWidget* parent)
    : QWidget(parent), diameter_(diameter), tone_(tone), opacity_(opacity) {
    setFixedSize(qCeil(diameter), qCeil(diameter));
}

void StatusDot::setTone(Tone tone, qreal opacity) {
    tone_ = tone;
    opacity_ = opacity;
    update();
}

void StatusDot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(toneColor(tone_, appPalette(), opacity_));
    painter.drawEllipse(QRectF(0, 0, diameter_, diameter_));
}

CardFrame::CardFrame(qreal radius, QWidget* parent) : QWidget(parent), radius_(radius) {}

void CardFrame::setTint(qreal primaryOpacity) {
    tint_ = primaryOpacity;
    update();
}

void CardFrame::setBorder(bool border) {
    border_ = border;
    update();
}

void CardFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = appPalette();
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius_, radius_);
    painter.fillPath(path, tint_ >= 0 ? Theme::primaryAt(palette, tint_) : Theme::surface(palette));
    if (border_) {
        painter.setPen(QPen(Theme::line(palette), 1));
        painter.drawPath(path);
    }
}

ToggleSwitch::ToggleSwitch(bool mini, QWidget* parent) : QAbstractButton(parent), mini_(mini) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ToggleSwitch::sizeHint() const { return mini_ ? QSize(28, 16) : QSize(38, 22); }

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = appPalette();
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = track.height() / 2;
    QColor fill = isChecked() ? Theme::green(palette) : Theme::primaryAt(palette, Theme::isDark(palette) ? 0.3 : 0.28);
    if (!isEnabled()) fill = Theme::withAlpha(fill, 0.45);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, radius, radius);
    const qreal knob = track.height() - 3;
    const qreal x = isChecked() ? track.right() - knob - 1.5 : track.left() + 1.5;
    painter.setBrush(QColor(255, 255, 255, isEnabled() ? 255 : 200));
    painter.setPen(QPen(QColor(0, 0, 0, 30), 0.5));
    painter.drawEllipse(QRectF(x, track.top() + 1.5, knob, knob));
    if (hasKeyboardFocus(this)) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Theme::withAlpha(Theme::green(palette), 0.5), 2));
        painter.drawRoundedRect(track.adjusted(-0.5, -0.5, 0.5, 0.5), radius, radius);
    }
}

Spinner::Spinner(qreal size, QWidget* parent) : QWidget(parent), size_(size) {
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize Spinner::sizeHint() const { return QSize(qCeil(size_), qCeil(size_)); }

void Spinner::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!timer_) timer_ = startTimer(60);
}

void Spinner::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (timer_) killTimer(timer_);
    timer_ = 0;
}

void Spinner::timerEvent(QTimerEvent*) {
    angle_ = (angle_ + 30) % 360;
    update();
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = appPalette();
    const qreal s = size_;
    painter.translate(s / 2, s / 2);
    painter.rotate(angle_);
    for (int i = 0; i < 12; ++i) {
        painter.setPen(
            QPen(Theme::primaryAt(palette, 0.15 + 0.6 * i / 11.0), std::max(1.5, s / 10), Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -s * 0.24), QPointF(0, -s * 0.44));
        painter.rotate(30);
    }
}

void paintCard(QPainter& painter, const QRectF& rect, const QPalette& palette, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.fillPath(path, Theme::surface(palette));
    painter.setPen(QPen(Theme::line(palette), 1));
    painter.drawPath(path);
}

void paintButtonFace(QPainter& painter, const QRectF& rect, const QPalette& palette, qreal radius, qreal tint) {
    QPainterPath path;
    path.addRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.fillPath(path, Theme::primaryAt(palette, tint));
    painter.setPen(QPen(Theme::line(palette), 1));
    painter.drawPath(path);
}

}  // namespace sorvik::app
