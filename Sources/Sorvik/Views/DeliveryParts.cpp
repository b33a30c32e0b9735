#include "Sorvik/Views/DeliveryParts.hpp"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "Sorvik/Support/Icons.hpp"
#include "Sorvik/Support/Theme.hpp"

namespace sorvik::app {

namespace {

bool needsRepaint(const QEvent* event) {
    return event->type() == QEvent::EnabledChange || event->type() == QEvent::ApplicationPaletteChange;
}

QFont titleFont() {
    QFont font = Theme::font(31, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -0.8);
    return font;
}

}  // namespace

// TitleButton -------------------------------------------------------------------------------------------

TitleButton::TitleButton(QWidget* parent) : QAbstractButton(parent) {
    setFont(titleFont());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QSize TitleButton::sizeHint() const {
    const QFontMetricsF metrics(font());
    return QSize(int(std::ceil(metrics.horizontalAdvance(text()))) + 2, int(std::ceil(metrics.height())));
}

QSize TitleButton::minimumSizeHint() const { return QSize(80, QFontMetrics(font()).height()); }

int TitleButton::heightForWidth(int width) const {
    const QRectF bounds = QFontMetricsF(font()).boundingRect(QRectF(0, 0, std::max(1, width), 1e6),
                                                             Qt::TextWordWrap | Qt::AlignLeft, text());
    return int(std::ceil(bounds.height()));
}

void TitleButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor color = Theme::primaryText(QApplication::palette());
    if (!isEnabled()) color = Theme::withAlpha(color, 0.45);
    if (isDown()) painter.setOpacity(0.6);
    painter.setPen(color);
    painter.setFont(font());
    painter.drawText(rect(), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text());
}

void TitleButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (needsRepaint(event)) update();
}

// MenuStyleButton ---------------------------------------------------------------------------------------

MenuStyleButton::MenuStyleButton(const QString& symbol, QWidget* parent) : QAbstractButton(parent), symbol_(symbol) {
    setFont(Theme::font(12, QFont::Medium));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize MenuStyleButton::sizeHint() const {
    const QFontMetricsF metrics(font());
    const double width = 13 + 14 + 6 + std::min(260.0, metrics.horizontalAdvance(text())) + 6 + 9 + 13;
    return QSize(int(std::ceil(width)), int(std::ceil(metrics.height() + 16)));
}

void MenuStyleButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QApplication::palette();
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(bounds, 8, 8);
    painter.fillPath(path, Theme::primaryAt(palette, isDown() ? 0.09 : 0.035));
    painter.setPen(QPen(Theme::line(palette), 1));
    painter.drawPath(path);
    if (hasFocus()) {
        painter.setPen(QPen(Theme::withAlpha(Theme::green(palette), 0.6), 2));
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), 7, 7);
    }
    QColor color = Theme::primaryText(palette);
    if (!isEnabled()) color = Theme::withAlpha(color, 0.4);
    const double mid = height() / 2.0;
    double x = 13;
    Icons::paint(painter, symbol_, QRectF(x, mid - 7, 14, 14), color);
    x += 14 + 6;
    const double textWidth = width() - x - 6 - 9 - 13;
    painter.setPen(color);
    painter.setFont(font());
    const QFontMetricsF metrics(font());
    painter.drawText(QRectF(x, 0, textWidth, height()), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(text(), Qt::ElideRight, textWidth));
    Icons::paint(painter, QStringLiteral("chevron.down"), QRectF(width() - 13 - 9, mid - 4.5, 9, 9), color);
}

void MenuStyleButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (needsRepaint(event)) update();
}

// DisclosureButton --------------------------------------------------------------------------------------

DisclosureButton::DisclosureButton(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setFont(Theme::font(12, QFont::Medium));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize DisclosureButton::sizeHint() const {
    const QFontMetricsF metrics(font());
    return QSize(int(std::ceil(10 + 8 + metrics.horizontalAdvance(text()) + 2)), int(std::ceil(metrics.height() + 4)));
}

void DisclosureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QApplication::palette();
    QColor color = Theme::primaryText(palette);
    if (!isEnabled()) color = Theme::withAlpha(color, 0.4);
    const QRectF chevron(0, height() / 2.0 - 5, 10, 10);
    painter.save();
    painter.translate(chevron.center());
    if (!isChecked()) painter.rotate(-90);
    Icons::paint(painter, QStringLiteral("chevron.down"), QRectF(-5, -5, 10, 10), Theme::secondaryText(palette));
    painter.restore();
    painter.setPen(color);
    painter.setFont(font());
    painter.drawText(QRectF(18, 0, width() - 18, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

void DisclosureButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (needsRepaint(event)) update();
}

// FooterPanel -------------------------------------------------------------------------------------------

FooterPanel::FooterPanel(QWidget* parent) : QWidget(parent) {}

void FooterPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QApplication::palette();
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
    painter.fillPath(path, Theme::withAlpha(Theme::surface(palette), 0.86));
    painter.setPen(QPen(Theme::line(palette), 1));
    painter.drawPath(path);
}

}  // namespace sorvik::app
