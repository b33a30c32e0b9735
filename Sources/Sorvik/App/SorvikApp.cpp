#include "Sorvik/App/SorvikApp.hpp"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLibraryInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>
#include <QThreadPool>
#include <QVBoxLayout>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Support/Theme.hpp"
#include "Sorvik/Support/WidgetsStyle.hpp"
#include "Sorvik/Views/ContentLogic.hpp"
#include "Sorvik/Views/ContentView.hpp"
#include "Sorvik/Views/FileThumbnail.hpp"
#include "Sorvik/Views/SettingsView.hpp"

namespace sorvik::app {

MainWindow::MainWindow(AppStore& store, QWidget* parent) : QMainWindow(parent) {
    content_ = new ContentView(store, this);
    setCentralWidget(content_);
    setMinimumSize(980, 660);
    resize(1180, 800);
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
    retranslate();
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

void SorvikApp::buildMenus() {
    QMenuBar* bar = window_->menuBar();
    auto menu = [&](const char* key) {
        QMenu* m = bar->addMenu(QString());
        menus_.emplace_back(m, key);
        connect(m, &QMenu::aboutToShow, this, &SorvikApp::refreshCommands);
        return m;
    };
    auto item = [&](QMenu* m, const char* key, const QKeySequence& shortcut, auto slot) {
        QAction* a = m->addAction(QString());
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::ApplicationShortcut);
        connect(a, &QAction::triggered, this, slot);
        actions_.emplace_back(a, key);
        return a;
    };
    QMenu* file = menu("文件");
    item(file, "新建项目", QKeySequence(Qt::CTRL | Qt::Key_N), [this] { store_->newDelivery(); });
    item(file, "连接来源文件夹…", QKeySequence(Qt::CTRL | Qt::Key_O), [this] { store_->chooseSourceFolders(); });
    file->addSeparator();
    item(file, "设置…", QKeySequence(Qt::CTRL | Qt::Key_Comma), [this] { showSettings(); });
    file->addSeparator();
    item(file, "关闭窗口", QKeySequence(Qt::CTRL | Qt::Key_W), [this] {
        if (QWidget* active = QApplication::activeWindow()) active->close();
    });
    item(file, "退出", QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { quit(); });

    QMenu* projects = menu("项目");
    item(projects, "重新扫描来源", QKeySequence(Qt::CTRL | Qt::Key_R), [this] { store_->scanFolders(false); });
    item(projects, "查看全部项目", QKeySequence(Qt::CTRL | Qt::Key_1), [this] { store_->showProjects(); });
    item(projects, "查看待识别", QKeySequence(Qt::CTRL | Qt::Key_2), [this] { store_->showInbox(); });
    item(projects, "来源与自动归档…", QKeySequence(), [this] { store_->setSheet(AppSheet::sources()); });

    QMenu* delivery = menu("交付");
    item(delivery, "导出交付包…", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), [this] { store_->exportCommand(); });
    item(delivery, "交付规则…", QKeySequence(), [this] {
        if (store_->selected() && !store_->isBusy()) store_->setSheet(AppSheet::templ());
    });
    item(delivery, "导出记录…", QKeySequence(), [this] {
        if (store_->selected()) store_->setSheet(AppSheet::history());
    });
    delivery->addSeparator();
    // Runs after the menu has closed, on the next turn of the event loop.
    item(delivery, "体验分散素材示例", QKeySequence(), [this] {
        QMetaObject::invokeMethod(store_.get(), &AppStore::loadRudidEdevov, Qt::QueuedConnection);
    });
}

void SorvikApp::closeMainWindow() {
    if (quitting_) return;  // quitting closes every window
    // Without a tray nothing would show that the app still runs, nor bring its window back.
    if (!tray_ || !platform_->hasSystemTray()) {
        quit();
        return;
    }
    // The app keeps running, and scanning, with no window open.
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
    QAction* show = trayMenu->addAction(QString());
    connect(show, &QAction::triggered, this, &SorvikApp::showMainWindow);
    actions_.emplace_back(show, "显示 Sorvik");
    QAction* quitAction = trayMenu->addAction(QString());
    connect(quitAction, &QAction::triggered, this, &SorvikApp::quit);
    actions_.emplace_back(quitAction, "退出");
    tray_->setContextMenu(trayMenu);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) showMainWindow();
    });
    tray_->show();
}

void SorvikApp::retranslate() {
    window_->setWindowTitle(Lq("Sorvik"));
    for (auto& [menu, key] : menus_) menu->setTitle(Lq(key));
    for (auto& [action, key] : actions_) action->setText(Lq(key));
    if (tray_) tray_->setToolTip(QStringLiteral("Sorvik"));
    if (settings_) settings_->setWindowTitle(Lq("设置"));
    refreshCommands();
}

void SorvikApp::refreshCommands() {
    const CommandStates states = commandStates(*store_);
    const std::pair<const char*, bool> rules[] = {
        {"新建项目", states.newProject},       {"连接来源文件夹…", states.connectFolders},
        {"重新扫描来源", states.rescan},       {"导出交付包…", states.exportPackage},
        {"交付规则…", states.deliveryRules},   {"导出记录…", states.exportHistory},
        {"体验分散素材示例", states.sample},
    };
    for (auto& [action, key] : actions_) {
        for (const auto& [ruleKey, enabled] : rules) {
            if (key == ruleKey) action->setEnabled(enabled);
        }
    }
}

QAction* SorvikApp::action(const QString& key) const {
    for (const auto& [action, actionKey] : actions_) {
        if (qs(actionKey) == key) return action;
    }
    return nullptr;
}

void SorvikApp::showMainWindow() {
    window_->show();
    window_->setWindowState((window_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window_->raise();
    window_->activateWindow();
}

void SorvikApp::showSettings() {
    if (!settings_) {
        auto* settings = new QWidget(nullptr, Qt::Window);
        settings->setAttribute(Qt::WA_DeleteOnClose);
        auto* layout = new QVBoxLayout(settings);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        layout->addWidget(new SettingsView(*store_, [this] { showMainWindow(); }, settings));
        settings->setWindowTitle(Lq("设置"));
        settings_ = settings;
    }
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

void SorvikApp::quit() {
    finishQuit(true);
}

void SorvikApp::quitOnSignal() { finishQuit(false); }

void SorvikApp::finishQuit(bool askAboutUnsaved) {
    if (quitting_) return;
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
