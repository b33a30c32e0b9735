#include "Sorvik/Views/Kit/SegmentedPicker.hpp"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

SegmentedPicker::SegmentedPicker(QWidget* parent) : QWidget(parent) {
    setFont(Theme::font(type::body));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void SegmentedPicker::setLabels(const QStringList& labels) {
    labels_ = labels;
    updateGeometry();
    update();
}

void SegmentedPicker::setCurrent(std::optional<int> index) {
    if (index && (*index < 0 || *index >= labels_.size())) index.reset();
    current_ = index;
    update();
}

void SegmentedPicker::choose(int index) {
    if (index < 0 || index >= labels_.size() || !isEnabled()) return;
    current_ = index;
    update();
    emit chosen(index);
}

QSize SegmentedPicker::sizeHint() const {
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString& label : labels_) widest = std::max(widest, metrics.horizontalAdvance(label));
    return QSize(static_cast<int>(labels_.size()) * (widest + 24) + 4, 26);
}

QSize SegmentedPicker::minimumSizeHint() const { return QSize(static_cast<int>(labels_.size()) * 24, 26); }

int SegmentedPicker::segmentAt(QPointF point) const {
    if (labels_.isEmpty() || !rect().contains(point.toPoint())) return -1;
    const qreal width = qreal(this->width()) / labels_.size();
    return std::clamp(static_cast<int>(point.x() / width), 0, static_cast<int>(labels_.size()) - 1);
}

void SegmentedPicker::mousePressEvent(QMouseEvent* event) {
    const int index = segmentAt(event->position());
    if (index >= 0) choose(index);
}

void SegmentedPicker::keyPressEvent(QKeyEvent* event) {
    const int count = static_cast<int>(labels_.size());
    if (count == 0) return QWidget::keyPressEvent(event);
    if (event->key() == Qt::Key_Left) {
        choose(current_ ? std::max(0, *current_ - 1) : 0);
    } else if (event->key() == Qt::Key_Right) {
        choose(current_ ? std::min(count - 1, *current_ + 1) : 0);
    } else {
        QWidget::keyPressEvent(event);
    }
}

void SegmentedPicker::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) update();
}

void SegmentedPicker::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QApplication::palette();
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath track;
    track.addRoundedRect(bounds, corner::control, corner::control);
    const bool dark = Theme::isDark(palette);
    painter.fillPath(track, Theme::primaryAt(palette, dark ? 0.07 : 0.075));
    if (labels_.isEmpty()) return;
    const qreal width = bounds.width() / labels_.size();
    painter.setFont(font());
    for (int i = 0; i < labels_.size(); ++i) {
        const QRectF segment(bounds.left() + i * width, bounds.top(), width, bounds.height());
        const bool chosen = current_ == i;
        if (chosen) {
            QPainterPath raised;
            raised.addRoundedRect(segment.adjusted(2, 2, -2, -2), corner::chip, corner::chip);
            // Raised clearly off the track: on the dark appearance the surface is nearly the track.
            painter.fillPath(raised, dark ? Theme::primaryAt(palette, 0.2) : Theme::surface(palette));
            painter.setPen(QPen(Theme::primaryAt(palette, dark ? 0.12 : 0.16), 1));
            painter.drawPath(raised);
        } else if (i > 0 && current_ != i - 1) {
            painter.setPen(QPen(Theme::primaryAt(palette, 0.12), 1));
            painter.drawLine(QPointF(segment.left(), segment.top() + 6), QPointF(segment.left(), segment.bottom() - 6));
        }
        QColor text = chosen ? Theme::primaryText(palette) : Theme::secondaryText(palette);
        if (!isEnabled()) text = Theme::withAlpha(text, 0.45);
        painter.setPen(text);
        painter.drawText(segment, Qt::AlignCenter,
                         QFontMetrics(font()).elidedText(labels_[i], Qt::ElideRight, int(segment.width()) - 8));
    }
    if (hasKeyboardFocus(this)) {
        painter.setPen(QPen(Theme::withAlpha(Theme::green(palette), 0.5), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), corner::control - 1, corner::control - 1);
    }
}

}  // namespace sorvik::app
