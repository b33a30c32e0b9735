#include "Sorvik/Views/ProjectOverview.hpp"

namespace sorvik::app {

ProjectOverview::ProjectOverview(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent)
    : QWidget(parent), store_(store), thumbnails_(thumbnails) {}

}  // namespace sorvik::app
