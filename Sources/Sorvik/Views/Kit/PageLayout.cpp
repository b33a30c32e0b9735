#include "Sorvik/Views/Kit/PageLayout.hpp"

#include <QScrollArea>
#include <QVBoxLayout>

#include "Sorvik/Views/Kit/Metrics.hpp"
#include "Sorvik/Views/Kit/SlimScrollBar.hpp"

namespace sorvik::app {

ViewPage makeViewPage(QWidget* view) {
    auto* outer = new QVBoxLayout(view);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    const ScrollPage scrollPage = makeScrollPage(view);
    return {outer, scrollPage.area, scrollPage.page};
}

QVBoxLayout* makePageColumn(QWidget* widget, int gap, int bottom) {
    auto* column = new QVBoxLayout(widget);
    column->setContentsMargins(space::pageMargin, space::pageMargin, space::pageMargin, bottom);
    column->setSpacing(gap);
    return column;
}

BlocksOverList makeBlocksOverList(QWidget* page, int gap, int listBottom) {
    auto* body = new QVBoxLayout(page);
    body->setContentsMargins(0, 0, 0, listBottom);
    body->setSpacing(0);
    auto* top = new QWidget(page);
    QVBoxLayout* column = makePageColumn(top, gap, gap);
    body->addWidget(top);
    return {body, top, column};
}

}  // namespace sorvik::app
