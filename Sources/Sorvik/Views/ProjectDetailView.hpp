#pragma once
#include <QWidget>

#include "Sorvik/Stores/AppStore.hpp"

namespace sorvik::app {

class ThumbnailLoader;

class ProjectDetailView : public QWidget {
    Q_OBJECT
public:
    ProjectDetailView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent = nullptr);

private:
    AppStore& store_;
    ThumbnailLoader& thumbnails_;
};

}  // namespace sorvik::app
