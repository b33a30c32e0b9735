#include "Sorvik/Views/Kit/CentredLines.hpp"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QtMath>

#include "Sorvik/Views/Kit/Theme.hpp"

namespace sorvik::app {

CentredLines::CentredLines(qreal pixelSize, QFont::Weight weight, Tone tone, qreal lineSpacing, QWidget* parent)
    : QWidget(parent), tone_(tone), lineSpacing_(lineSpacing) {
    setFont(Theme::font(pixelSize, weight));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void CentredLines::setText(const QString& text) {
    text_ = text;
    setAccessibleName(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    updateGeometry();
    update();
}

QSize CentredLines::sizeHint() const {
    const QFontMetricsF metrics(font());
    const QStringList lines = text_.split(QLatin1Char('\n'));
    qreal width = 0;
    for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
    const qreal height = lines.size() * metrics.height() + (lines.size() - 1) * lineSpacing_;
    return QSize(qCeil(width), qCeil(height));
}

QSize CentredLines::minimumSizeHint() const { return QSize(0, sizeHint().height()); }

void CentredLines::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ApplicationPaletteChange) update();
}

void CentredLines::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font());
    painter.setPen(toneColor(tone_, QApplication::palette()));
    const QFontMetricsF metrics(font());
    qreal y = 0;
    for (const QString& line : text_.split(QLatin1Char('\n'))) {
        painter.drawText(QRectF(0, y, width(), metrics.height()), Qt::AlignHCenter | Qt::AlignVCenter,
                         metrics.elidedText(line, Qt::ElideRight, width()));
        y += metrics.height() + lineSpacing_;
    }
}

}  // namespace sorvik::app
