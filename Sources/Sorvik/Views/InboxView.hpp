#pragma once
#include <QWidget>

#include "Sorvik/Stores/AppStore.hpp"

namespace sorvik::app {

class ThumbnailLoader;

class InboxView : public QWidget {
    Q_OBJECT
public:
    InboxView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent = nullptr);

private:
    AppStore& store_;
    ThumbnailLoader& thumbnails_;
};

}  // namespace sorvik::app
