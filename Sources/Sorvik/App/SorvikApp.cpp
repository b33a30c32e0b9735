#include "Sorvik/App/SorvikApp.hpp"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLibraryInfo>
#include <QMenu>
#include <QKeySequence>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QWindow>
#include <QSystemTrayIcon>
#include <QThreadPool>
#include <QVBoxLayout>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/ModalFront.hpp"
#include "Sorvik/Views/Kit/SheetDialog.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/WidgetsStyle.hpp"
#include "Sorvik/Views/Window/Logic/ContentLogic.hpp"
#include "Sorvik/Views/Window/Logic/MenuMnemonics.hpp"
#include "Sorvik/Views/Window/Logic/WindowPlacement.hpp"
#include "Sorvik/Views/Window/ContentView.hpp"
#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"
#include "Sorvik/Views/Settings/SettingsView.hpp"

namespace sorvik::app {

namespace {
constexpr QSize kLeastSize(980, 660);
constexpr QSize kFirstSize(1180, 800);
}  // namespace

MainWindow::MainWindow(AppStore& store, QWidget* parent) : QMainWindow(parent) {
    content_ = new ContentView(store, this);
    setCentralWidget(content_);
    setMinimumSize(kLeastSize);
    resize(kFirstSize);
}

void MainWindow::fitInto(const QSize& room) {
    setMinimumSize(kLeastSize.boundedTo(room));
    // Larger than the room (the frame, known once shown, or a smaller screen took some of it), or
    // smaller than the least size a larger screen allows again.
    const QSize fitted = size().boundedTo(room).expandedTo(minimumSize());
    if (fitted != size()) resize(fitted);
}

void MainWindow::fitToScreen() {
    if (const std::optional<QSize> room = roomOnScreen(this)) fitInto(*room);
}

void MainWindow::followScreen() {
    // Panels that come and go give other room.
    disconnect(roomChanges_);
    if (QScreen* screen = this->screen())
        roomChanges_ = connect(screen, &QScreen::availableGeometryChanged, this, &MainWindow::fitToScreen);
    fitToScreen();
}

void MainWindow::setVisible(bool visible) {
    if (visible && !isVisible()) fitToScreen();
    QMainWindow::setVisible(visible);
    if (visible && !shown_) {
        shown_ = true;
        connect(windowHandle(), &QWindow::screenChanged, this, &MainWindow::followScreen);
        followScreen();
    }
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // The window manager's frame is known once it has placed the window.
    if (shown_) fitToScreen();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // A size the window system reports late may be one the screen no longer calls for.
    if (shown_) fitToScreen();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    emit closeRequested();
}

SorvikApp::SorvikApp(QApplication& app, const LibraryChoice& library, std::unique_ptr<PreferenceStorage> storage,
                     AppLocations locations, std::unique_ptr<QtPlatform> platform)
    : app_(app), platform_(platform ? std::move(platform) : std::make_unique<QtPlatform>()) {
    QApplication::setQuitOnLastWindowClosed(false);
    app_.setFont(Theme::defaultFont());
    QApplication::setStyle(new AppStyle);
    appearanceFollower_ = std::make_unique<Theme::AppearanceFollower>(app_);
    new ModalFront(this);
    preferences_ = std::make_unique<Preferences>(std::move(storage));
    Theme::applyAppearance(app_, preferences_->appearance());
    applyLanguage();
    store_ = std::make_unique<AppStore>(library, *platform_, *preferences_, std::make_unique<WorkerThread>(),
                                        std::move(locations));
    window_ = std::make_unique<MainWindow>(*store_);
    platform_->setWindow(window_.get());
    connect(window_->content(), &ContentView::settingsRequested, this, &SorvikApp::showSettings);
    buildMenus();
    buildTray();
    connect(store_.get(), &AppStore::changed, this, [this] { refreshCommands(); });
    connect(preferences_.get(), &Preferences::languageChanged, this, [this] {
        applyLanguage();
        retranslate();
    });
    connect(preferences_.get(), &Preferences::appearanceChanged, this,
            [this] { Theme::applyAppearance(app_, preferences_->appearance()); });
    connect(window_.get(), &MainWindow::closeRequested, this, &SorvikApp::closeMainWindow);
    connect(&app_, &QCoreApplication::aboutToQuit, this, [this] { store_->shutdown(); });
    // The window opens where it was last time, while a screen still shows that place.
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens << screen->availableGeometry();
    if (const std::optional<WindowPlacement> placement = restoredPlacement(preferences_->windowPlacement(), screens)) {
        window_->setGeometry(placement->geometry);
        if (placement->maximized) window_->setWindowState(Qt::WindowMaximized);
    }
    connect(&app_, &QCoreApplication::aboutToQuit, this, &SorvikApp::savePlacement);
    retranslate();
    // The window was built while the library was being read: now it gets the library.
    store_->finishStarting();
}

SorvikApp::~SorvikApp() {
    store_->shutdown();
    if (settings_) delete settings_.data();
    window_.reset();
    store_.reset();
}

void SorvikApp::applyLanguage() {
    // Qt's own buttons and dialogs speak the interface language too.
    QApplication::removeTranslator(&qtTranslator_);
    if (preferences_->interfaceCode() == QLatin1String("zh-Hans") &&
        qtTranslator_.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTranslator_);
    }
}

namespace {

constexpr QKeyCombination noShortcut = QKeyCombination::fromCombined(0);
constexpr QKeyCombination ctrl(Qt::Key key) { return QKeyCombination(Qt::ControlModifier, key); }
constexpr QKeyCombination ctrlShift(Qt::Key key) {
    return QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, key);
}

/// One command of the menu bar: its menu's title, its text (a catalogue key), its shortcut, and
/// whether a separator comes before it.
struct MenuItem {
    const char* menu;
    Command command;
    const char* text;
    char key;  // access key, in both languages
    QKeyCombination shortcut = noShortcut;
    bool separatorBefore = false;
};

const MenuItem menuItems[] = {
    {"文件", Command::newProject, "新建项目", 'N', ctrl(Qt::Key_N)},
    {"文件", Command::connectFolders, "连接来源文件夹…", 'O', ctrl(Qt::Key_O)},
    {"文件", Command::settings, "设置…", 'S', ctrl(Qt::Key_Comma), true},
    {"文件", Command::closeWindow, "关闭窗口", 'C', ctrl(Qt::Key_W), true},
    {"文件", Command::quit, "退出", 'Q', ctrl(Qt::Key_Q)},
    {"项目", Command::rescan, "重新扫描来源", 'R', ctrl(Qt::Key_R)},
    {"项目", Command::showProjects, "查看全部项目", 'A', ctrl(Qt::Key_1)},
    {"项目", Command::showInbox, "查看待识别", 'I', ctrl(Qt::Key_2)},
    {"项目", Command::sources, "来源与自动归档…", 'S'},
    {"交付", Command::exportPackage, "导出交付包…", 'E', ctrlShift(Qt::Key_E)},
    {"交付", Command::deliveryRules, "交付规则…", 'R'},
    {"交付", Command::exportHistory, "导出记录…", 'H'},
    {"交付", Command::sample, "体验分散素材示例", 'T', noShortcut, true},
};

/// The access key of a menu of the menu bar.
char menuKey(std::string_view menu) {
    if (menu == "文件") return 'F';
    if (menu == "项目") return 'P';
    return 'D';
}

}  // namespace

void SorvikApp::buildMenus() {
    QMenuBar* bar = window_->menuBar();
    QMenu* current = nullptr;
    const char* currentTitle = nullptr;
    for (const MenuItem& item : menuItems) {
        if (!currentTitle || std::string_view(currentTitle) != item.menu) {
            current = bar->addMenu(QString());
            currentTitle = item.menu;
            menus_.emplace_back(current, item.menu);
            connect(current, &QMenu::aboutToShow, this, &SorvikApp::refreshCommands);
        } else if (item.separatorBefore) {
            current->addSeparator();
        }
        QAction* a = current->addAction(QString());
        if (item.shortcut != noShortcut) a->setShortcut(QKeySequence(item.shortcut));
        a->setShortcutContext(Qt::ApplicationShortcut);
        const Command command = item.command;
        connect(a, &QAction::triggered, this, [this, command] { run(command); });
        actions_.push_back({a, command, item.text, item.key});
    }
    // F10 opens the first menu, as on other Linux desktops.
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), window_.get());
    connect(f10, &QShortcut::activated, this, [bar] {
        if (!bar->actions().isEmpty()) bar->setActiveAction(bar->actions().constFirst());
    });
}

void SorvikApp::run(Command command) {
    switch (command) {
        case Command::newProject: store_->newDelivery(); break;
        case Command::connectFolders: store_->chooseSourceFolders(); break;
        case Command::settings: showSettings(); break;
        case Command::closeWindow:
            if (QWidget* active = QApplication::activeWindow()) active->close();
            break;
        case Command::quit: quit(); break;
        case Command::rescan: store_->scanFolders(false); break;
        case Command::showProjects: store_->showProjects(); break;
        case Command::showInbox: store_->showInbox(); break;
        case Command::sources: store_->setSheet(AppSheet::sources()); break;
        case Command::exportPackage: store_->exportCommand(); break;
        case Command::deliveryRules:
            if (store_->selected() && !store_->isBusy()) store_->setSheet(AppSheet::templ());
            break;
        case Command::exportHistory:
            if (store_->selected()) store_->setSheet(AppSheet::history());
            break;
        case Command::sample:
            // Runs after the menu has closed, on the next turn of the event loop.
            QMetaObject::invokeMethod(store_.get(), &AppStore::loadRudidEdevov, Qt::QueuedConnection);
            break;
        case Command::showWindow: showMainWindow(); break;
    }
}

void SorvikApp::closeMainWindow() {
    if (quitting_) return;  // quitting closes every window
    // Without a tray nothing would show that the app still runs, nor bring its window back.
    if (!tray_ || !platform_->hasSystemTray()) {
        quit();
        return;
    }
    // The app keeps running, and scanning, with no window open.
    savePlacement();
    window_->hide();
    if (!trayMessageShown_ && QSystemTrayIcon::supportsMessages()) {
        trayMessageShown_ = true;
        tray_->showMessage(QStringLiteral("Sorvik"), Lq("Sorvik 正在后台运行，继续按时发现新素材。"));
    }
}

void SorvikApp::buildTray() {
    if (!platform_->hasSystemTray()) return;
    tray_ = new QSystemTrayIcon(QIcon(QStringLiteral(":/sorvik/app/sorvik-tray.svg")), this);
    auto* trayMenu = new QMenu(window_.get());
    for (const auto& [command, text] :
         {std::pair{Command::showWindow, "显示 Sorvik"}, std::pair{Command::quit, "退出"}}) {
        QAction* a = trayMenu->addAction(QString());
        connect(a, &QAction::triggered, this, [this, command] { run(command); });
        actions_.push_back({a, command, text, 0});
    }
    tray_->setContextMenu(trayMenu);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) showMainWindow();
    });
    tray_->show();
}

void SorvikApp::retranslate() {
    window_->setWindowTitle(Lq("Sorvik"));
    for (auto& [menu, key] : menus_) menu->setTitle(withMnemonic(Lq(key), QLatin1Char(menuKey(key))));
    for (const CommandAction& entry : actions_) {
        entry.action->setText(entry.key ? withMnemonic(Lq(entry.text), QLatin1Char(entry.key)) : Lq(entry.text));
    }
    if (tray_) tray_->setToolTip(QStringLiteral("Sorvik"));
    if (settings_) settings_->setWindowTitle(Lq("设置"));
    refreshCommands();
}

void SorvikApp::refreshCommands() {
    const CommandStates states = commandStates(*store_);
    for (const CommandAction& entry : actions_) entry.action->setEnabled(states.enabled(entry.command));
}

QAction* SorvikApp::action(Command command) const {
    for (const CommandAction& entry : actions_) {
        if (entry.command == command) return entry.action;
    }
    return nullptr;
}

void SorvikApp::showMainWindow() {
    window_->show();
    window_->setWindowState((window_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window_->raise();
    window_->activateWindow();
}

void SorvikApp::savePlacement() {
    if (!window_->isVisible()) return;
    preferences_->setWindowPlacement(placementText({window_->normalGeometry(), window_->isMaximized()}));
}

void SorvikApp::showSettings() {
    if (!settings_) {
        auto* settings = new QWidget(nullptr, Qt::Window);
        settings->setAttribute(Qt::WA_DeleteOnClose);
        auto* layout = new QVBoxLayout(settings);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        layout->addWidget(new SettingsView(
            *store_, [this] { showMainWindow(); }, settings));
        settings->setWindowTitle(Lq("设置"));
        settings_ = settings;
    }
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

void SorvikApp::quit() { finishQuit(true); }

void SorvikApp::quitOnSignal() { finishQuit(false); }

void SorvikApp::finishQuit(bool askAboutUnsaved) {
    if (quitting_) {
        // A signal (a logout) while the quit waits for the library or asks about it: the wait and
        // the question end, and the quit goes on unasked, saving what it can in a bounded time.
        if (!askAboutUnsaved) {
            store_->interruptQuit();
            QCoreApplication::exit(0);
        }
        return;
    }
    quitting_ = true;
    // Nothing held in memory only is dropped without asking; a signal (a logout) asks nobody, and
    // the shutdown below still writes what is unsaved once.
    if (askAboutUnsaved) store_->saveBeforeQuit();
    store_->shutdown();
    // Every event loop ends, nested ones (a chooser, an alert) too; no window is asked first.
    QCoreApplication::exit(0);
}

bool SorvikApp::backgroundWorkEnded(std::chrono::milliseconds patience) {
    if (!store_->workersEnded()) return false;
    // Decodes for previews on their own threads and on Qt's pool (detail pictures, video frames).
    if (window_->content()->thumbnails().hasWork()) return false;
    return QThreadPool::globalInstance()->waitForDone(static_cast<int>(patience.count()));
}

}  // namespace sorvik::app
