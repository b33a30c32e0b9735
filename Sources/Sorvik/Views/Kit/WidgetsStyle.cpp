#include "Sorvik/Views/Kit/WidgetsStyle.hpp"

#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>
#include <QWidget>

#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

void paintCheckBox(const QStyleOption& option, QPainter& painter) {
    const QPalette& palette = option.palette;
    const bool enabled = option.state.testFlag(QStyle::State_Enabled);
    const bool on = option.state.testFlag(QStyle::State_On);
    const bool partly = option.state.testFlag(QStyle::State_NoChange);
    const qreal side = std::min(option.rect.width(), option.rect.height()) - 1;
    const QRectF box(option.rect.x() + (option.rect.width() - side) / 2.0,
                     option.rect.y() + (option.rect.height() - side) / 2.0, side, side);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (!enabled) painter.setOpacity(0.45);
    QPainterPath path;
    path.addRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), corner::checkbox, corner::checkbox);
    const QColor green = Theme::green(palette);
    if (on || partly) {
        painter.fillPath(path, green);
    } else {
        painter.fillPath(path, Theme::surface(palette));
        // Strong enough to be seen on either appearance's window and surface.
        painter.setPen(QPen(Theme::primaryAt(palette, option.state.testFlag(QStyle::State_MouseOver) ? 0.62 : 0.5), 1));
        painter.drawPath(path);
    }
    // The dark appearance's green is light: the mark is drawn in the window colour there.
    const QColor mark = Theme::isDark(palette) ? palette.color(QPalette::Window) : QColor(Qt::white);
    painter.setPen(QPen(mark, std::max(1.5, side / 8), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (on) {
        QPainterPath check;
        check.moveTo(box.left() + side * 0.25, box.top() + side * 0.52);
        check.lineTo(box.left() + side * 0.43, box.top() + side * 0.7);
        check.lineTo(box.left() + side * 0.76, box.top() + side * 0.33);
        painter.drawPath(check);
    } else if (partly) {
        painter.drawLine(QPointF(box.left() + side * 0.28, box.center().y()),
                         QPointF(box.right() - side * 0.28, box.center().y()));
    }
    if (option.state.testFlag(QStyle::State_HasFocus)) {
        painter.setOpacity(1);
        painter.setPen(QPen(Theme::withAlpha(green, 0.6), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box.adjusted(-1.5, -1.5, 1.5, 1.5), corner::checkbox + 1, corner::checkbox + 1);
    }
    painter.restore();
}

}  // namespace

AppStyle::AppStyle() = default;

void AppStyle::polish(QWidget* widget) {
    QProxyStyle::polish(widget);
    widget->installEventFilter(this);
}

void AppStyle::unpolish(QWidget* widget) {
    widget->removeEventFilter(this);
    QProxyStyle::unpolish(widget);
}

bool AppStyle::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: keyboardInput_ = true; break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::TouchBegin: keyboardInput_ = false; break;
        case QEvent::FocusIn:
            if (auto* widget = qobject_cast<QWidget*>(watched)) {
                Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
                // Qt moves focus on "by Tab" when the focused control hides, after a click too.
                const bool tab = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
                if (tab && !keyboardInput_) reason = Qt::OtherFocusReason;
                noteFocusReason(widget, reason);
            }
            break;
        default: break;
    }
    return QProxyStyle::eventFilter(watched, event);
}

void AppStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
    const bool mouseFocus = widget && widget->hasFocus() && !hasKeyboardFocus(widget);
    if (element == PE_FrameFocusRect && mouseFocus) return;
    if (element == PE_IndicatorCheckBox || element == PE_IndicatorItemViewItemCheck) {
        QStyleOption plain(*option);
        if (mouseFocus || element == PE_IndicatorItemViewItemCheck) plain.state &= ~State_HasFocus;
        paintCheckBox(plain, *painter);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void AppStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                  const QWidget* widget) const {
    if (widget && widget->hasFocus() && !hasKeyboardFocus(widget) && option->state.testFlag(State_HasFocus)) {
        if (const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option)) {
            QStyleOptionComboBox plain(*combo);
            plain.state &= ~State_HasFocus;
            return QProxyStyle::drawComplexControl(control, &plain, painter, widget);
        }
        if (const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option)) {
            QStyleOptionSlider plain(*slider);
            plain.state &= ~State_HasFocus;
            return QProxyStyle::drawComplexControl(control, &plain, painter, widget);
        }
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}

}  // namespace sorvik::app
