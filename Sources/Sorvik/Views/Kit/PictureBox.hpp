#pragma once
// A picture on a faint rounded panel, fitted inside with the aspect kept. Optionally marks a window
// of the picture that the person can drag (the crop editor's original).
#include <QImage>
#include <QRectF>
#include <QWidget>
#include <optional>

namespace sorvik::app {

class PictureBox : public QWidget {
    Q_OBJECT
public:
    /// `padding` around the picture inside the panel of corner radius 10.
    explicit PictureBox(int padding, QWidget* parent = nullptr);
    /// The picture at its own pixel size and, optionally, a version already fitted for drawing.
    void setPicture(const QImage& picture, const QImage& display = {});
    const QImage& picture() const { return picture_; }
    /// A window in the picture's pixels to outline; none outlines nothing.
    void setWindow(std::optional<QRectF> window);
    /// Whether the outlined window can be dragged.
    void setDraggable(bool draggable) { draggable_ = draggable; }
    /// The room the picture is fitted into, in device pixels.
    QSize pictureRoom() const;

signals:
    /// The window was dragged so that its origin would lie at this point of the picture's pixels.
    void windowDragged(QPointF origin);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    /// Where the picture is drawn, in widget coordinates.
    QRectF pictureRect() const;
    int padding_;
    QImage picture_;
    QImage display_;
    QImage scaled_;  // display_ or a fitted copy made when drawn at another size
    std::optional<QRectF> window_;
    bool draggable_ = false;
    std::optional<QPointF> grab_;  // the press point's offset from the window's origin, in picture pixels
};

}  // namespace sorvik::app
