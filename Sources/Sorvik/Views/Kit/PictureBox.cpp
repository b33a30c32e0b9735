#include "Sorvik/Views/Kit/PictureBox.hpp"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cstdlib>

#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

PictureBox::PictureBox(int padding, QWidget* parent) : QWidget(parent), padding_(padding) {}

void PictureBox::setPicture(const QImage& picture, const QImage& display) {
    picture_ = picture;
    display_ = display;
    scaled_ = QImage();
    update();
}

void PictureBox::setWindow(std::optional<QRectF> window) {
    window_ = window;
    update();
}

QSize PictureBox::pictureRoom() const {
    const QSize room = rect().adjusted(padding_, padding_, -padding_, -padding_).size();
    return room * devicePixelRatioF();
}

QRectF PictureBox::pictureRect() const {
    if (picture_.isNull()) return {};
    const QRectF room = QRectF(rect()).adjusted(padding_, padding_, -padding_, -padding_);
    const QSizeF fitted = QSizeF(picture_.size()).scaled(room.size(), Qt::KeepAspectRatio);
    return QRectF(room.center().x() - fitted.width() / 2, room.center().y() - fitted.height() / 2, fitted.width(),
                  fitted.height());
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QApplication::palette();
    QPainterPath panel;
    panel.addRoundedRect(QRectF(rect()), corner::panel, corner::panel);
    painter.fillPath(panel, Theme::primaryAt(palette, 0.03));
    if (picture_.isNull()) return;
    const QRectF target = pictureRect();
    const QSize devicePixels = (target.size() * devicePixelRatioF()).toSize();
    if (scaled_.isNull() || scaled_.size() != devicePixels) {
        // The worker's fitted version when it matches; otherwise one fitted here once per size.
        // A fitted version a pixel off by rounding is drawn as it is: scaling it again would cost
        // a smooth scale on every new picture.
        const QImage& source = display_.isNull() ? picture_ : display_;
        const QSize off = source.size() - devicePixels;
        scaled_ = std::abs(off.width()) <= 1 && std::abs(off.height()) <= 1
                      ? source
                      : source.scaled(devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, scaled_);
    if (window_) {
        const qreal scale = target.width() / picture_.width();
        const QRectF frame(target.left() + window_->x() * scale, target.top() + window_->y() * scale,
                           window_->width() * scale, window_->height() * scale);
        // Dim what the crop leaves out, then outline the window.
        QPainterPath outside;
        outside.addRect(target);
        outside.addRect(frame);
        outside.setFillRule(Qt::OddEvenFill);
        painter.fillPath(outside, QColor(0, 0, 0, 90));
        painter.setPen(QPen(QColor(255, 255, 255, 230), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(frame.adjusted(0.75, 0.75, -0.75, -0.75));
    }
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    if (!draggable_ || !window_ || picture_.isNull()) return QWidget::mousePressEvent(event);
    const QRectF target = pictureRect();
    const qreal scale = target.width() / picture_.width();
    const QPointF inPicture = (event->position() - target.topLeft()) / scale;
    if (!window_->contains(inPicture)) return QWidget::mousePressEvent(event);
    grab_ = inPicture - window_->topLeft();
    setCursor(Qt::ClosedHandCursor);
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    if (!grab_ || picture_.isNull()) return QWidget::mouseMoveEvent(event);
    const QRectF target = pictureRect();
    const qreal scale = target.width() / picture_.width();
    const QPointF inPicture = (event->position() - target.topLeft()) / scale;
    emit windowDragged(inPicture - *grab_);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (!grab_) return QWidget::mouseReleaseEvent(event);
    grab_.reset();
    unsetCursor();
}

}  // namespace sorvik::app
