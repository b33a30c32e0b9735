#include "Sorvik/Views/Kit/DeliveryParts.hpp"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QScrollBar>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "Sorvik/Views/Kit/Icons.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

bool needsRepaint(const QEvent* event) { return event->type() == QEvent::EnabledChange; }

/// Renews a widget's style sheet when the application's palette changes.
class PaletteStyler : public QObject {
public:
    PaletteStyler(QWidget* widget, std::function<QString(const QPalette&)> make)
        : QObject(widget), widget_(widget), make_(std::move(make)) {
        setObjectName(QStringLiteral("paletteStyler"));
        widget_->installEventFilter(this);
        apply();
    }

    void apply() { widget_->setStyleSheet(make_(QApplication::palette())); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && Theme::isAppearanceChange(event)) apply();
        return false;
    }

private:
    QWidget* widget_;
    std::function<QString(const QPalette&)> make_;
};

QFont titleFont() {
    QFont font = Theme::font(type::heroTitle, QFont::DemiBold);
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
    setFont(Theme::font(type::body, QFont::Medium));
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
    paintButtonFace(painter, QRectF(rect()), palette, corner::button, isDown() ? 0.09 : 0.035);
    if (hasKeyboardFocus(this)) {
        painter.setPen(QPen(Theme::withAlpha(Theme::green(palette), 0.6), 2));
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), corner::control, corner::control);
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
    setFont(Theme::font(type::body, QFont::Medium));
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

void setPaletteStyleSheet(QWidget* widget, std::function<QString(const QPalette&)> make) {
    const auto old = widget->findChildren<QObject*>(QStringLiteral("paletteStyler"), Qt::FindDirectChildrenOnly);
    qDeleteAll(old);
    new PaletteStyler(widget, std::move(make));
}

QString fieldStyle(const QPalette& palette, bool invalid) {
    using Theme::styleSheetColor;
    return QStringLiteral(
               "QLineEdit { border: 1px solid %1; border-radius: 7px; padding: 4px 8px; background: %2; color: %3;"
               " selection-background-color: %4; selection-color: white; }"
               "QLineEdit:focus { border: 1px solid %5; }")
        .arg(styleSheetColor(Theme::primaryAt(palette, 0.16)), styleSheetColor(Theme::surface(palette)),
             styleSheetColor(invalid ? Theme::danger(palette) : Theme::primaryText(palette)),
             styleSheetColor(Theme::withAlpha(Theme::green(palette), 0.85)),
             styleSheetColor(Theme::withAlpha(Theme::green(palette), 0.7)));
}

// FieldComboBox -----------------------------------------------------------------------------------------

void FieldComboBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QApplication::palette();
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), corner::control, corner::control);
    painter.fillPath(path, Theme::surface(palette));
    const QColor edge =
        hasKeyboardFocus(this) ? Theme::withAlpha(Theme::green(palette), 0.7) : Theme::primaryAt(palette, 0.16);
    painter.setPen(QPen(edge, 1));
    painter.drawPath(path);
    const bool chosen = currentIndex() >= 0;
    QColor text = chosen ? Theme::primaryText(palette) : Theme::secondaryText(palette);
    if (!isEnabled()) text = Theme::withAlpha(text, 0.45);
    painter.setPen(text);
    painter.setFont(font());
    const QRectF textRect(9, 0, width() - 9 - 24, height());
    painter.drawText(
        textRect, Qt::AlignLeft | Qt::AlignVCenter,
        fontMetrics().elidedText(chosen ? currentText() : placeholderText(), Qt::ElideRight, int(textRect.width())));
    Icons::paint(painter, QStringLiteral("chevron.down"), QRectF(width() - 19, height() / 2.0 - 4.5, 9, 9),
                 Theme::secondaryText(palette));
}

// FooterPanel -------------------------------------------------------------------------------------------

FooterPanel::FooterPanel(QWidget* parent) : QWidget(parent) {}

void FooterPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QApplication::palette();
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), corner::footer, corner::footer);
    painter.fillPath(path, Theme::withAlpha(Theme::surface(palette), 0.86));
    painter.setPen(QPen(Theme::line(palette), 1));
    painter.drawPath(path);
}

}  // namespace sorvik::app
