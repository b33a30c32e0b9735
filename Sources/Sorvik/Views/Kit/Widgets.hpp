#pragma once
// The shared view kit: text in the app's tones, the two button styles and plain symbol buttons,
// symbols, the brand mark, hairlines, status dots and the card surface. Colours are taken from the
// app palette whenever they are drawn, so an appearance change needs no rebuilding.
#include <QAbstractButton>
#include <QLabel>
#include <QWidget>

#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

/// The colours views name.
enum class Tone { primary, secondary, tertiary, green, warning, danger, white };

/// The colour of a tone in the palette, at an extra opacity.
QColor toneColor(Tone tone, const QPalette& palette, qreal opacity = 1.0);

/// Whether the widget has focus that the keyboard moved there (Tab, Backtab, a shortcut): only then
/// is a focus ring drawn. The app style notes every widget's focus reasons.
bool hasKeyboardFocus(const QWidget* widget);
/// Records why the widget took focus; focus given back by a popup or the window keeps its reason.
void noteFocusReason(QWidget* widget, Qt::FocusReason reason);

/// A label whose text colour is a tone and follows the appearance.
class ToneLabel : public QLabel {
    Q_OBJECT
public:
    explicit ToneLabel(Tone tone = Tone::primary, QWidget* parent = nullptr);
    ToneLabel(const QString& text, qreal pixelSize, QFont::Weight weight, Tone tone, QWidget* parent = nullptr);
    void setTone(Tone tone, qreal opacity = 1.0);
    /// Shortens the text in the middle or at the end to the width instead of wrapping.
    void setElide(Qt::TextElideMode mode);
    void setFullText(const QString& text);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyTone();
    void applyElide();
    Tone tone_;
    qreal opacity_ = 1.0;
    Qt::TextElideMode elide_ = Qt::ElideNone;
    QString fullText_;
};

/// A symbol drawn in a tone.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(const QString& name, qreal size, Tone tone = Tone::primary, QWidget* parent = nullptr);
    void setSymbol(const QString& name);
    void setTone(Tone tone, qreal opacity = 1.0);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString name_;
    qreal size_;
    Tone tone_;
    qreal opacity_ = 1.0;
};

/// A button drawn in one of the app's styles.
class StyledButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Style {
        primary,  // the one main action: filled green, 42 high
        quiet,    // secondary actions: faint fill and a hairline
        plain,    // text and symbol only
    };
    StyledButton(Style style, const QString& text, QWidget* parent = nullptr);
    /// A symbol before the text (or alone when the text is empty).
    void setSymbol(const QString& name, qreal size = 0);
    void setTone(Tone tone, qreal opacity = 1.0);
    void setPixelSize(qreal size, QFont::Weight weight);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Style style_;
    QString symbol_;
    qreal symbolSize_ = 0;
    Tone tone_ = Tone::primary;
    qreal opacity_ = 1.0;
};

/// The brand: two sheets and a check disc on a soft rounded tile, `size` square.
class BrandMark : public QWidget {
    Q_OBJECT
public:
    explicit BrandMark(qreal size, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal size_;
};

/// A 1-pixel line in the hairline colour.
class Hairline : public QWidget {
    Q_OBJECT
public:
    explicit Hairline(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

/// A filled circle in a tone.
class StatusDot : public QWidget {
    Q_OBJECT
public:
    StatusDot(qreal diameter, Tone tone, qreal opacity = 1.0, QWidget* parent = nullptr);
    void setTone(Tone tone, qreal opacity = 1.0);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal diameter_;
    Tone tone_;
    qreal opacity_;
};

/// A panel with the card surface: rounded, filled with the surface (or a tone's tint) and edged
/// with a hairline.
class CardFrame : public QWidget {
    Q_OBJECT
public:
    explicit CardFrame(qreal radius = corner::card, QWidget* parent = nullptr);
    /// Fill with the primary colour at this opacity instead of the surface.
    void setTint(qreal primaryOpacity);
    void setBorder(bool border);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal radius_;
    qreal tint_ = -1;
    bool border_ = true;
};

/// An on/off switch, green when on.
class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    /// `mini`: the small control size of lists.
    explicit ToggleSwitch(bool mini = true, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool mini_;
};

/// A small indeterminate progress indicator; animates only while shown.
class Spinner : public QWidget {
    Q_OBJECT
public:
    explicit Spinner(qreal size = 16, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    qreal size_;
    int angle_ = 0;
    int timer_ = 0;
};

/// Draws the card surface into `rect`.
void paintCard(QPainter& painter, const QRectF& rect, const QPalette& palette, qreal radius);
/// Draws a bordered button face into `rect`, tinted with the primary colour at `tint`.
void paintButtonFace(QPainter& painter, const QRectF& rect, const QPalette& palette, qreal radius, qreal tint);

}  // namespace sorvik::app
