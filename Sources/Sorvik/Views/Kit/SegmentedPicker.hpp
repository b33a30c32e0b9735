#pragma once
// A segmented picker: equal segments on a faint track, the chosen one raised. It may show no
// choice at all (a value outside its segments).
#include <QWidget>
#include <optional>

namespace sorvik::app {

class SegmentedPicker : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedPicker(QWidget* parent = nullptr);
    void setLabels(const QStringList& labels);
    QStringList labels() const { return labels_; }
    /// The marked segment; none marks nothing. Emits nothing.
    void setCurrent(std::optional<int> index);
    std::optional<int> current() const { return current_; }
    /// Chooses a segment as a click does (tests).
    void choose(int index);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    /// The person chose a segment.
    void chosen(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int segmentAt(QPointF point) const;
    QStringList labels_;
    std::optional<int> current_;
};

}  // namespace sorvik::app
