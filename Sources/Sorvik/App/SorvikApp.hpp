#pragma once
// The desktop program: the store, the main window with its menus, the settings window, the tray
// icon that brings the window back, the appearance and the interface language.
#include <QMainWindow>
#include <QPointer>
#include <QTranslator>
#include <chrono>
#include <memory>

#include "Sorvik/App/QtPlatform.hpp"
#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/Window/Logic/ContentLogic.hpp"

class QAction;
class QApplication;
class QMenu;
class QSystemTrayIcon;

namespace sorvik::app {

class ContentView;
namespace Theme {
class AppearanceFollower;
}

/// The main window; closing it asks the app, which hides it (a tray icon brings it back) or quits.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppStore& store, QWidget* parent = nullptr);
    ContentView* content() const { return content_; }
    /// The least and the first size for this much room on the screen: as drawn where they fit,
    /// else cut to the room, so that a small screen holds the whole window.
    void fitInto(const QSize& room);
    void setVisible(bool visible) override;

signals:
    /// The window was asked to close; it stays until the app hides it or quits.
    void closeRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitToScreen();
    void followScreen();

    ContentView* content_;
    bool shown_ = false;
    QMetaObject::Connection roomChanges_;
};

class SorvikApp : public QObject {
    Q_OBJECT
public:
    /// `platform` is the desktop's seams; none means the real one.
    SorvikApp(QApplication& app, const LibraryChoice& library, std::unique_ptr<PreferenceStorage> storage,
              AppLocations locations, std::unique_ptr<QtPlatform> platform = nullptr);
    ~SorvikApp() override;

    AppStore& store() { return *store_; }
    MainWindow& mainWindow() { return *window_; }
    /// Brings the main window to the front.
    void showMainWindow();
    void showSettings();
    /// The first action of a command, in the menu bar before the tray (tests).
    QAction* action(Command command) const;
    /// The Quit command: the store saves what it holds and stops its work, waiting for it a
    /// bounded time, then the event loop ends. While the last save fails it asks first.
    void quit();
    /// Whether the Quit command has begun.
    bool isQuitting() const { return quitting_; }
    /// Quit for SIGTERM, SIGINT or SIGHUP: the same, but nobody is asked (a logout waits for no one).
    void quitOnSignal();
    /// After quitting: whether no thread is still at work (a decode, a job stuck on a dead mount),
    /// so that tearing everything down waits for nothing. When false the process must leave
    /// without running destructors that join threads.
    bool backgroundWorkEnded(std::chrono::milliseconds patience);

private:
    void finishQuit(bool askAboutUnsaved);
    /// Closing the main window: to the background where a tray icon can bring it back, else quit.
    void closeMainWindow();
    /// Keeps where the main window is, for the next launch.
    void savePlacement();
    void buildMenus();
    void buildTray();
    void retranslate();
    void refreshCommands();
    void run(Command command);
    void applyLanguage();

    QApplication& app_;
    std::unique_ptr<QtPlatform> platform_;
    std::unique_ptr<Preferences> preferences_;
    std::unique_ptr<AppStore> store_;
    std::unique_ptr<MainWindow> window_;
    QPointer<QWidget> settings_;
    QSystemTrayIcon* tray_ = nullptr;
    bool trayMessageShown_ = false;
    bool quitting_ = false;
    QTranslator qtTranslator_;
    std::unique_ptr<Theme::AppearanceFollower> appearanceFollower_;
    struct CommandAction {
        QAction* action;
        Command command;
        const char* text;  // catalogue key
        char key;          // access key, or 0
    };
    std::vector<CommandAction> actions_;
    std::vector<std::pair<QMenu*, std::string>> menus_;
};

}  // namespace sorvik::app
