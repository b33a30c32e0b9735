#pragma once
// The app's colours, palettes and fonts. Sizes are logical pixels.
#include <QColor>
#include <QFont>
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

/// Text colours: primary, secondary (about half strength) and tertiary.
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

/// The light or dark palette of the app; "system" gives the style's own.
QPalette palette(const QString& appearance);
/// Applies the appearance preference to the whole app: "light" and "dark" set explicit palettes,
/// any other value keeps the platform's.
void applyAppearance(QApplication& app, const QString& appearance);

/// The interface font at a pixel size and weight; Chinese glyphs in their Simplified forms.
QFont font(qreal pixelSize, QFont::Weight weight = QFont::Normal);
/// The default font of the app.
QFont defaultFont();

/// Sets the widget's text colour role to `color` (labels, plain buttons).
void setTextColor(QWidget* widget, const QColor& color);

}  // namespace sorvik::app::Theme
