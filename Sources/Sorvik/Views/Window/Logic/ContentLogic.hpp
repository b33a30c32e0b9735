#pragma once
// What the main window shows and enables, read from the store: the page, the toolbar and the
// menu commands. Pure functions of the store's state.
#include <optional>
#include <string>

#include "Sorvik/Stores/AppStore.hpp"

namespace sorvik::app {

enum class ContentPage { overview, inbox, project };

/// The page of the content area: the project page only when the selected id names a project.
ContentPage contentPage(const AppStore& store);

struct ToolbarState {
    /// The breadcrumb after "/": a project's name as stored, or the key "待识别"; none on the overview.
    std::optional<std::string> breadcrumb;
    bool breadcrumbTranslated = false;  // the breadcrumb is a catalogue key
    bool showRescan = true;             // idle
    bool showProgress = false;          // a job runs
    bool showStop = false;              // the job is a scan
};

ToolbarState toolbarState(const AppStore& store);

/// The commands of the menus and the tray icon.
enum class Command {
    newProject,
    connectFolders,
    settings,
    closeWindow,
    quit,
    rescan,
    showProjects,
    showInbox,
    sources,
    exportPackage,
    deliveryRules,
    exportHistory,
    sample,
    showWindow,
};

/// Whether each menu command may run now.
struct CommandStates {
    bool newProject = false;
    bool connectFolders = false;
    bool rescan = false;
    bool showProjects = true;
    bool showInbox = true;
    bool sources = true;
    bool exportPackage = false;
    bool deliveryRules = false;
    bool exportHistory = false;
    bool sample = false;

    /// The state of `command`; a command with no rule of its own may always run.
    bool enabled(Command command) const;

    friend bool operator==(const CommandStates&, const CommandStates&) = default;
};

CommandStates commandStates(const AppStore& store);

}  // namespace sorvik::app
