#pragma once
// Controls drawn for the delivery workspace alone: the delivery's name as a wrapping button, the
// rules button with its trailing chevron, the disclosure of all files and the footer's panel.
#include <QAbstractButton>
#include <QWidget>

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

/// The footer's panel: a translucent surface in a rounded rectangle edged with a hairline.
class FooterPanel : public QWidget {
    Q_OBJECT
public:
    explicit FooterPanel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace sorvik::app
