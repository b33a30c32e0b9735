#pragma once
// The notice line of the library pages (the store's latest notice with undo and close) and the
// status line at their foot (automatic updates, the running job, the last index time). Both follow
// the store by themselves; a page only places them.
#include <QWidget>

namespace sorvik::app {

class AppStore;

/// The notice line: shown while the store has a notice.
QWidget* makeWorkspaceNotice(AppStore& store, QWidget* parent);

/// The status line.
QWidget* makeWorkspaceStatus(AppStore& store, QWidget* parent);

}  // namespace sorvik::app
