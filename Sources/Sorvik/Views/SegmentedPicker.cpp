#include "Sorvik/Views/SegmentedPicker.hpp"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "Sorvik/Support/Theme.hpp"

namespace sorvik::app {

SegmentedPicker::SegmentedPicker(QWidget* parent) : QWidget(parent) {
    setFont(Theme::font(12, QFont::Medium));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SegmentedPicker::setOptions(const QStringList& titles) {
    titles_ = titles;
    current_ = std::clamp(current_, 0, std::max(0, int(titles_.size()) - 1));
    updateGeometry();
    update();
}

void SegmentedPicker::setCurrent(int index) {
    if (index == current_ || index < 0 || index >= titles_.size()) return;
    current_ = index;
    update();
}

QSize SegmentedPicker::sizeHint() const { return QSize(260, 26); }

QRectF SegmentedPicker::segment(int index) const {
    const QRectF track = QRectF(rect()).adjusted(2, 2, -2, -2);
    if (titles_.isEmpty()) return track;
    // Each option gets its title's width and an equal share of what is left, so a long title
    // (in English) is not cut while short ones have room.
    const QFontMetricsF metrics(font());
    qreal used = 0;
    for (const QString& title : titles_) used += metrics.horizontalAdvance(title);
    const qreal extra = std::max<qreal>(0, track.width() - used) / titles_.size();
    const qreal scale = used > track.width() ? track.width() / used : 1.0;
    qreal left = track.left();
    for (int i = 0; i < index; ++i) left += metrics.horizontalAdvance(titles_[i]) * scale + extra;
    return QRectF(left, track.top(), metrics.horizontalAdvance(titles_[index]) * scale + extra, track.height());
}

void SegmentedPicker::choose(int index) {
    if (index < 0 || index >= titles_.size() || index == current_) return;
    current_ = index;
    update();
    emit picked(index);
}

void SegmentedPicker::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QApplication::palette();
    QPainterPath track;
    track.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
    painter.fillPath(track, Theme::primaryAt(palette, 0.06));
    for (int i = 0; i < titles_.size(); ++i) {
        const QRectF area = segment(i);
        if (i == current_) {
            QPainterPath chosen;
            chosen.addRoundedRect(area, 5.5, 5.5);
            painter.fillPath(chosen.translated(0, 0.5), Theme::primaryAt(palette, 0.08));
            painter.fillPath(chosen, Theme::isDark(palette) ? Theme::primaryAt(palette, 0.16) : Theme::surface(palette));
        } else if (i > 0 && i - 1 != current_) {
            painter.setPen(QPen(Theme::primaryAt(palette, 0.12), 1));
            painter.drawLine(QPointF(area.left(), area.top() + 6), QPointF(area.left(), area.bottom() - 6));
        }
        QColor text = i == current_ ? Theme::primaryText(palette) : Theme::secondaryText(palette);
        if (!isEnabled()) text = Theme::withAlpha(text, 0.4);
        painter.setPen(text);
        painter.setFont(font());
        painter.drawText(area, Qt::AlignCenter, fontMetrics().elidedText(titles_[i], Qt::ElideRight, int(area.width()) - 6));
    }
    if (hasFocus()) {
        painter.setPen(QPen(Theme::withAlpha(Theme::green(palette), 0.55), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 7, 7);
    }
}

void SegmentedPicker::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    for (int i = 0; i < titles_.size(); ++i) {
        if (segment(i).contains(event->position())) choose(i);
    }
}

void SegmentedPicker::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Left) return choose(current_ - 1);
    if (event->key() == Qt::Key_Right) return choose(current_ + 1);
    QWidget::keyPressEvent(event);
}

void SegmentedPicker::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::EnabledChange) update();
}

}  // namespace sorvik::app
