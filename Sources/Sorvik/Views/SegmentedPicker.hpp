#pragma once
// A segmented control: a row of options in one rounded track, the chosen one raised on the
// surface. Keyboard: arrows move the choice.
#include <QStringList>
#include <QWidget>

namespace sorvik::app {

class SegmentedPicker : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedPicker(QWidget* parent = nullptr);
    void setOptions(const QStringList& titles);
    int current() const { return current_; }
    /// Shows a choice without emitting `picked`.
    void setCurrent(int index);
    QSize sizeHint() const override;

signals:
    /// The person chose an option.
    void picked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QRectF segment(int index) const;
    void choose(int index);

    QStringList titles_;
    int current_ = 0;
};

}  // namespace sorvik::app
