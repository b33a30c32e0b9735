#pragma once
// The app's colours, palettes and fonts. Sizes are logical pixels.
#include <QColor>
#include <QEvent>
#include <QFont>
#include <QObject>
#include <QPalette>
#include <QString>

class QApplication;
class QWidget;

namespace sorvik::app::Theme {

/// Whether a palette is a dark one (its window is darker than mid-grey).
bool isDark(const QPalette& palette);

/// The accent: selection, highlights, the brand symbol; follows the palette's appearance.
QColor green(const QPalette& palette);
/// Card and panel backgrounds.
QColor surface(const QPalette& palette);
/// Hairlines and borders: the text colour at 7.5 % opacity.
QColor line(const QPalette& palette);
/// Warnings: the system orange of the appearance.
QColor warning(const QPalette& palette);
/// Errors: the system red of the appearance.
QColor danger(const QPalette& palette);

/// Text colours: primary, secondary and tertiary (each fainter, all readable as body text).
QColor primaryText(const QPalette& palette);
QColor secondaryText(const QPalette& palette);
QColor tertiaryText(const QPalette& palette);
/// The primary text colour at the given opacity (fills such as "the primary colour at 3.5 %").
QColor primaryAt(const QPalette& palette, qreal opacity);
/// The colour with the given opacity.
QColor withAlpha(QColor color, qreal opacity);
/// The colour as a style sheet writes it: "rgba(r, g, b, a)".
QString styleSheetColor(const QColor& color);

/// The filled background of the primary button when enabled.
QColor primaryButtonFill();

/// The palette of an appearance: "light" and "dark" give the app's own; any other value a palette
/// with no roles of its own, which as the app palette means the platform's (light or dark:
/// `isDark` tells).
QPalette palette(const QString& appearance);
/// Applies the appearance preference to the whole app: "light" and "dark" set the app's palettes,
/// any other value goes back to the platform's, which then also follows the desktop's changes.
void applyAppearance(QApplication& app, const QString& appearance);

/// The event sent to every widget once a new app palette is in place: widgets that keep colours of
/// their own (palettes, style sheets) take them again from the app palette on it.
QEvent::Type appearanceChangeEvent();
/// Whether `event` is `appearanceChangeEvent()`.
bool isAppearanceChange(const QEvent* event);
/// Sends `appearanceChangeEvent()` to every widget and repaints it.
void announceAppearance();

/// Announces the appearance each time the app palette changes, whether the app or the desktop
/// changed it, while it exists.
class AppearanceFollower : public QObject {
public:
    explicit AppearanceFollower(QApplication& app);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

/// The WCAG contrast ratio of a text colour over a background (1 to 21). A translucent text
/// colour is first blended over the background; the background is taken as opaque.
double contrastRatio(const QColor& text, const QColor& background);

/// The interface font at a pixel size and weight; Chinese glyphs in their Simplified forms.
QFont font(qreal pixelSize, QFont::Weight weight = QFont::Normal);
/// The default font of the app.
QFont defaultFont();

/// Sets the widget's text colour role to `color` (labels, plain buttons).
void setTextColor(QWidget* widget, const QColor& color);

}  // namespace sorvik::app::Theme
