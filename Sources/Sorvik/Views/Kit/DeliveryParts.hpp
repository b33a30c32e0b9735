#pragma once
// Controls drawn for the delivery workspace alone: the delivery's name as a wrapping button, the
// rules button with its trailing chevron, the disclosure of all files and the footer's panel.
#include <QAbstractButton>
#include <QComboBox>
#include <QWidget>
#include <functional>

class QAbstractScrollArea;

namespace sorvik::app {

/// A large title that wraps onto more lines and acts as a button.
class TitleButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TitleButton(QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
};

/// A quiet button with a symbol before its text and a small chevron after it.
class MenuStyleButton : public QAbstractButton {
    Q_OBJECT
public:
    MenuStyleButton(const QString& symbol, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString symbol_;
};

/// The label of a disclosure group: a chevron that turns when open, and the title.
class DisclosureButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit DisclosureButton(QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
};

/// A picker drawn like the sheets' text fields: rounded hairline edge, the choice (or the
/// placeholder when none is chosen) and a chevron.
class FieldComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent* event) override;
};

/// The footer's panel: a translucent surface in a rounded rectangle edged with a hairline.
class FooterPanel : public QWidget {
    Q_OBJECT
public:
    explicit FooterPanel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

/// Gives the widget a style sheet made from the application palette, made again whenever the
/// appearance changes.
void setPaletteStyleSheet(QWidget* widget, std::function<QString(const QPalette&)> make);
/// The style of a text field: a rounded hairline edge on the surface; red text when `invalid`.
QString fieldStyle(const QPalette& palette, bool invalid = false);

}  // namespace sorvik::app
