#include "Sorvik/Views/Window/Logic/ContentLogic.hpp"

namespace sorvik::app {

ContentPage contentPage(const AppStore& store) {
    switch (store.section()) {
        case WorkspaceSection::projects: return ContentPage::overview;
        case WorkspaceSection::inbox: return ContentPage::inbox;
        case WorkspaceSection::project: return store.selected() ? ContentPage::project : ContentPage::overview;
    }
    return ContentPage::overview;
}

ToolbarState toolbarState(const AppStore& store) {
    ToolbarState state;
    if (store.section() == WorkspaceSection::project) {
        if (const Delivery* project = store.selected()) state.breadcrumb = project->name;
    } else if (store.section() == WorkspaceSection::inbox) {
        state.breadcrumb = "待识别";
        state.breadcrumbTranslated = true;
    }
    state.showRescan = !store.isBusy();
    state.showProgress = store.isBusy();
    state.showStop = store.isBusy() && store.hasScanWorker();
    return state;
}

bool CommandStates::enabled(Command command) const {
    switch (command) {
        case Command::newProject: return newProject;
        case Command::connectFolders: return connectFolders;
        case Command::rescan: return rescan;
        case Command::showProjects: return showProjects;
        case Command::showInbox: return showInbox;
        case Command::sources: return sources;
        case Command::exportPackage: return exportPackage;
        case Command::deliveryRules: return deliveryRules;
        case Command::exportHistory: return exportHistory;
        case Command::sample: return sample;
        case Command::settings:
        case Command::closeWindow:
        case Command::quit:
        case Command::showWindow: return true;
    }
    return true;
}

CommandStates commandStates(const AppStore& store) {
    CommandStates states;
    const bool busy = store.isBusy();
    const bool recovery = store.recoveryMode();
    const bool selected = store.selected() != nullptr;
    states.newProject = !busy && !recovery;
    states.connectFolders = !busy && !recovery;
    states.rescan = !busy;
    states.exportPackage = selected && !busy && !store.hasErrors();
    states.deliveryRules = selected && !busy;
    states.exportHistory = selected;
    // Nothing the sample connects could be saved in recovery mode.
    states.sample = !busy && !recovery;
    return states;
}

}  // namespace sorvik::app
