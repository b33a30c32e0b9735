#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace sorvik::app::Theme {

namespace {

QColor rgb(double r, double g, double b) { return QColor::fromRgbF(float(r), float(g), float(b), 1.0f); }

/// The colours one appearance is made of.
struct Scheme {
    QColor text, window, base, alternateBase, button, highlight, disabledHighlight, link;
    QColor light, midlight, mid, dark, shadow;
};

QPalette paletteOf(const Scheme& c) {
    QPalette p;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        QColor fg = c.text;
        if (disabled) fg.setAlpha(90);
        QColor placeholder = c.text;
        placeholder.setAlpha(110);
        p.setColor(group, QPalette::Window, c.window);
        p.setColor(group, QPalette::WindowText, fg);
        p.setColor(group, QPalette::Base, c.base);
        p.setColor(group, QPalette::AlternateBase, c.alternateBase);
        p.setColor(group, QPalette::Text, fg);
        p.setColor(group, QPalette::Button, c.button);
        p.setColor(group, QPalette::ButtonText, fg);
        p.setColor(group, QPalette::BrightText, Qt::white);
        p.setColor(group, QPalette::Highlight, disabled ? c.disabledHighlight : c.highlight);
        p.setColor(group, QPalette::HighlightedText, Qt::white);
        p.setColor(group, QPalette::ToolTipBase, c.base);
        p.setColor(group, QPalette::ToolTipText, c.text);
        p.setColor(group, QPalette::PlaceholderText, placeholder);
        p.setColor(group, QPalette::Link, c.link);
        p.setColor(group, QPalette::Light, c.light);
        p.setColor(group, QPalette::Midlight, c.midlight);
        p.setColor(group, QPalette::Mid, c.mid);
        p.setColor(group, QPalette::Dark, c.dark);
        p.setColor(group, QPalette::Shadow, c.shadow);
    }
    return p;
}

QPalette lightPalette() {
    const QColor accent = rgb(0.16, 0.31, 0.23);
    return paletteOf({QColor(0x1d, 0x1d, 0x1f), QColor(0xf6, 0xf6, 0xf4), Qt::white, QColor(0xf2, 0xf2, 0xf0),
                      Qt::white, accent, QColor(0xc8, 0xc8, 0xc8), accent, Qt::white, QColor(0xe6, 0xe6, 0xe4),
                      QColor(0xc4, 0xc4, 0xc2), QColor(0x9a, 0x9a, 0x98), QColor(0, 0, 0, 60)});
}

QPalette darkPalette() {
    return paletteOf({QColor(0xf2, 0xf2, 0xf0), QColor(0x1f, 0x20, 0x1f), QColor(0x2a, 0x2b, 0x2a),
                      QColor(0x30, 0x31, 0x30), QColor(0x33, 0x34, 0x33), rgb(0.24, 0.45, 0.33),
                      QColor(0x50, 0x50, 0x50), rgb(0.55, 0.77, 0.61), QColor(0x44, 0x45, 0x44),
                      QColor(0x3a, 0x3b, 0x3a), QColor(0x2a, 0x2b, 0x2a), QColor(0x14, 0x14, 0x14),
                      QColor(0, 0, 0, 140)});
}

}  // namespace

bool isDark(const QPalette& palette) { return palette.color(QPalette::Window).lightnessF() < 0.5; }

QColor green(const QPalette& palette) { return isDark(palette) ? rgb(0.55, 0.77, 0.61) : rgb(0.16, 0.31, 0.23); }

QColor surface(const QPalette& palette) { return palette.color(QPalette::Active, QPalette::Base); }

QColor line(const QPalette& palette) { return primaryAt(palette, 0.075); }

QColor warning(const QPalette& palette) {
    return isDark(palette) ? QColor(0xff, 0x9f, 0x0a) : QColor(0xf0, 0x8c, 0x00);
}

QColor danger(const QPalette& palette) { return isDark(palette) ? QColor(0xff, 0x45, 0x3a) : QColor(0xe0, 0x32, 0x2a); }

QColor primaryText(const QPalette& palette) { return palette.color(QPalette::Active, QPalette::WindowText); }

// Both keep body text at a contrast of at least 4.5 : 1 on the window and on the surface.
QColor secondaryText(const QPalette& palette) { return primaryAt(palette, isDark(palette) ? 0.62 : 0.68); }

QColor tertiaryText(const QPalette& palette) { return primaryAt(palette, isDark(palette) ? 0.55 : 0.64); }

QColor primaryAt(const QPalette& palette, qreal opacity) { return withAlpha(primaryText(palette), opacity); }

QColor withAlpha(QColor color, qreal opacity) {
    color.setAlphaF(float(std::clamp(opacity * color.alphaF(), 0.0, 1.0)));
    return color;
}

QString styleSheetColor(const QColor& color) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(QString::number(color.alphaF(), 'f', 3));
}

QColor primaryButtonFill() { return rgb(0.13, 0.25, 0.18); }

QPalette palette(const QString& appearance) {
    if (appearance == QLatin1String("light")) return lightPalette();
    if (appearance == QLatin1String("dark")) return darkPalette();
    QPalette none = QApplication::palette();
    none.setResolveMask(0);
    return none;
}

void applyAppearance(QApplication& app, const QString& appearance) { app.setPalette(palette(appearance)); }

void announceAppearance() {
    // Qt passes a new application palette on only to widgets without colours of their own.
    QList<QPointer<QWidget>> widgets;
    for (QWidget* widget : QApplication::allWidgets()) widgets.append(widget);
    for (const QPointer<QWidget>& widget : widgets) {
        if (!widget) continue;
        QEvent event(appearanceChangeEvent());
        QCoreApplication::sendEvent(widget, &event);
        if (widget) widget->update();
    }
}

QEvent::Type appearanceChangeEvent() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool isAppearanceChange(const QEvent* event) { return event->type() == appearanceChangeEvent(); }

AppearanceFollower::AppearanceFollower(QApplication& app) { app.installEventFilter(this); }

bool AppearanceFollower::eventFilter(QObject* watched, QEvent* event) {
    if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationPaletteChange) {
        announceAppearance();
    }
    return false;
}

namespace {

double relativeLuminance(const QColor& color) {
    const auto channel = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
}

}  // namespace

double contrastRatio(const QColor& text, const QColor& background) {
    const double a = text.alphaF();
    const QColor blended = QColor::fromRgbF(float(text.redF() * a + background.redF() * (1 - a)),
                                            float(text.greenF() * a + background.greenF() * (1 - a)),
                                            float(text.blueF() * a + background.blueF() * (1 - a)));
    const double l1 = relativeLuminance(blended);
    const double l2 = relativeLuminance(background);
    return (std::max(l1, l2) + 0.05) / (std::min(l1, l2) + 0.05);
}

QFont font(qreal pixelSize, QFont::Weight weight) {
    QFont f = defaultFont();
    f.setPixelSize(qRound(pixelSize));
    f.setWeight(weight);
    return f;
}

QFont defaultFont() {
    QFont f;
    // Noto Sans CJK SC draws Latin text well and Chinese in its Simplified forms.
    f.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(type::callout);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::ButtonText, color);
    p.setColor(QPalette::Text, color);
    widget->setPalette(p);
}

}  // namespace sorvik::app::Theme
