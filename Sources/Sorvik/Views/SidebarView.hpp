#pragma once
#include <QWidget>

#include "Sorvik/Stores/AppStore.hpp"

namespace sorvik::app {

class SidebarView : public QWidget {
    Q_OBJECT
public:
    explicit SidebarView(AppStore& store, QWidget* parent = nullptr);

private:
    AppStore& store_;
};

}  // namespace sorvik::app
