#include "Sorvik/Views/Kit/SlimScrollBar.hpp"

#include <QApplication>
#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>

#include "Sorvik/Views/Kit/Theme.hpp"

namespace sorvik::app {

namespace {

void style(QScrollBar* bar) {
    const QPalette palette = QApplication::palette();
    bar->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { background: transparent; width: %3px; margin: 3px 2px 3px 2px; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 32px; }"
                       "QScrollBar::handle:vertical:hover, QScrollBar::handle:vertical:pressed { background: %2; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }")
            .arg(Theme::styleSheetColor(Theme::primaryAt(palette, 0.22)),
                 Theme::styleSheetColor(Theme::primaryAt(palette, 0.38)))
            .arg(kSlimBarWidth));
}

/// Styles the bar again when the appearance changes.
class Follower : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (Theme::isAppearanceChange(event)) {
            if (auto* bar = qobject_cast<QScrollBar*>(watched)) style(bar);
        }
        return false;
    }
};

}  // namespace

void makeSlim(QScrollBar* bar) {
    style(bar);
    bar->installEventFilter(new Follower(bar));
}

ScrollPage makeScrollPage(QWidget* parent) {
    auto* area = new QScrollArea(parent);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->verticalScrollBar()->setSingleStep(40);
    makeSlim(area->verticalScrollBar());
    auto* page = new QWidget(area);
    page->setAutoFillBackground(true);
    return {area, page};
}

}  // namespace sorvik::app
