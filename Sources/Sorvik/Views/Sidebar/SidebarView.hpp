#pragma once
// The left column of the main window: brand, navigation, the user's projects, the deleted ones to
// restore, the source folders, the language and the way to the settings. It keeps no state: rows
// read the store and controls call its operations.
#include <QWidget>
#include <vector>

#include "Sorvik/Stores/AppStore.hpp"

class QScrollArea;
class QVBoxLayout;

namespace sorvik::app {

class LanguagePicker;
class NavigationButton;
class PullDownButton;
class SidebarModel;
class SidebarProjectList;
class SourceRowButton;
class StyledButton;
class ToneLabel;

class SidebarView : public QWidget {
    Q_OBJECT
public:
    explicit SidebarView(AppStore& store, QWidget* parent = nullptr);

    // Parts, for tests.
    NavigationButton* projectsRow() const { return projectsRow_; }
    NavigationButton* inboxRow() const { return inboxRow_; }
    StyledButton* newProjectButton() const { return newProject_; }
    SidebarProjectList* projectList() const { return projectList_; }
    SidebarModel* projectModel() const { return model_; }
    PullDownButton* restoreButton() const { return restore_; }
    SourceRowButton* connectButton() const { return connect_; }
    StyledButton* sourcesButton() const { return sourcesButton_; }
    StyledButton* settingsButton() const { return settings_; }
    const std::vector<SourceRowButton*>& sourceRows() const { return sourceRows_; }
    /// What the column scrolls in when the window is too short for it.
    QScrollArea* scrollArea() const { return scroll_; }
    /// What the source rows scroll in when there is no room for them all.
    QScrollArea* sourcesArea() const { return sourcesArea_; }
    /// The context menu of a project row, built as when it opens (the caller owns it).
    QMenu* makeProjectMenu(const UUID& project);
    /// The restore menu, built as when it opens (the caller owns it).
    QMenu* makeRestoreMenu();

signals:
    /// The settings link: the app opens its settings window.
    void settingsRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void retranslate();
    void refresh(StoreChanges what);
    void refreshControls();
    void rebuildSources();
    void showRestoreMenu();

    AppStore& store_;
    QScrollArea* scroll_;
    NavigationButton* projectsRow_;
    NavigationButton* inboxRow_;
    ToneLabel* productName_;
    ToneLabel* tagline_;
    ToneLabel* projectsTitle_;
    StyledButton* newProject_;
    SidebarProjectList* projectList_;
    SidebarModel* model_;
    QWidget* restoreRow_;
    PullDownButton* restore_;
    ToneLabel* sourcesTitle_;
    StyledButton* sourcesButton_;
    QScrollArea* sourcesArea_;
    QVBoxLayout* sourcesLayout_;
    std::vector<SourceRowButton*> sourceRows_;
    SourceRowButton* connect_;
    LanguagePicker* language_;
    ToneLabel* footerText_;
    StyledButton* settings_;
};

}  // namespace sorvik::app
