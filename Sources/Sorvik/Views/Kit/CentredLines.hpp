#pragma once
// Centred lines with extra line spacing.
#include <QWidget>

#include "Sorvik/Views/Kit/Widgets.hpp"

namespace sorvik::app {

/// Lines of text, each centred, with extra space between them; follows the palette.
class CentredLines : public QWidget {
    Q_OBJECT
public:
    CentredLines(qreal pixelSize, QFont::Weight weight, Tone tone, qreal lineSpacing, QWidget* parent = nullptr);
    void setText(const QString& text);
    const QString& text() const { return text_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString text_;
    Tone tone_;
    qreal lineSpacing_;
};

}  // namespace sorvik::app
