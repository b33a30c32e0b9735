#include "Sorvik/Views/SidebarView.hpp"

namespace sorvik::app {

SidebarView::SidebarView(AppStore& store, QWidget* parent) : QWidget(parent), store_(store) {}

}  // namespace sorvik::app
