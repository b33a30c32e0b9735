#include "Sorvik/Views/ProjectDetailView.hpp"

namespace sorvik::app {

ProjectDetailView::ProjectDetailView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent)
    : QWidget(parent), store_(store), thumbnails_(thumbnails) {}

}  // namespace sorvik::app
