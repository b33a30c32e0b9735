#pragma once
// The status line under the library pages: whether automatic rescanning runs (or what the running
// job does) and when the library was last indexed.
#include <QWidget>

#include "Sorvik/Stores/AppStore.hpp"

namespace sorvik::app {

class StatusDot;
class ToneLabel;

class WorkspaceStatus : public QWidget {
    Q_OBJECT
public:
    explicit WorkspaceStatus(AppStore& store, QWidget* parent = nullptr);

    ToneLabel* statusLabel() const { return text_; }
    ToneLabel* lastIndexedLabel() const { return lastIndexed_; }

private:
    void refresh();

    AppStore& store_;
    StatusDot* dot_;
    ToneLabel* text_;
    ToneLabel* lastIndexed_;
};

}  // namespace sorvik::app
