#pragma once
// The app's style over the platform's: check boxes drawn in the app's colours, and focus rings
// only for focus the keyboard moved.
#include <QProxyStyle>

namespace sorvik::app {

class AppStyle : public QProxyStyle {
public:
    AppStyle();
    void polish(QWidget* widget) override;
    void unpolish(QWidget* widget) override;
    using QProxyStyle::polish;
    using QProxyStyle::unpolish;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool keyboardInput_ = false;  // whether the last press was a key's rather than the mouse's
};

}  // namespace sorvik::app
