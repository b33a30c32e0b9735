#include "Sorvik/Views/InboxView.hpp"

namespace sorvik::app {

InboxView::InboxView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent)
    : QWidget(parent), store_(store), thumbnails_(thumbnails) {}

}  // namespace sorvik::app
