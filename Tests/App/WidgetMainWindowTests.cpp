// The main window on the offscreen platform: it opens on a library, its menus follow the store and
// its alert shows core messages in the interface language.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSet>
#include <QTest>

#include "App/Support/StoreHarness.hpp"
#include "Sorvik/App/SorvikApp.hpp"
#include "Sorvik/Stores/LibraryPreload.hpp"
#include "Sorvik/Views/Window/ContentView.hpp"
#include "Sorvik/Views/Sources/SourceSettingsSheet.hpp"
#include "SorvikCore/Localization.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using namespace sorvik::app;

namespace {

struct AppFixture {
    TempDir library;
    std::unique_ptr<SorvikApp> app;

    explicit AppFixture(const std::string& language = "en") {
        auto storage = std::make_unique<MemoryPreferenceStorage>();
        storage->setString(Preferences::languageKey, QString::fromStdString(language));
        app = std::make_unique<SorvikApp>(*qApp, LibraryChoice{library.path(), {}}, std::move(storage), AppLocations{});
        app->showMainWindow();
        QApplication::processEvents();
    }
    AppFixture(const AppFixture&) = delete;
    ~AppFixture() { app.reset(); }
    bool enabled(Command command) { return app->action(command)->isEnabled(); }
};

}  // namespace

TEST(MainWindow, OpensOnTheLibraryWithTheOverview) {
    AppFixture f;
    MainWindow& window = f.app->mainWindow();
    EXPECT_TRUE(window.isVisible());
    EXPECT_GE(window.width(), 980);
    EXPECT_GE(window.height(), 660);
    EXPECT_EQ(window.windowTitle(), "Sorvik");
    EXPECT_TRUE(fs::exists(f.library / "workspace.json") || fs::is_directory(f.library.path()));
    EXPECT_FALSE(f.app->store().recoveryMode());
}

TEST(MainWindow, MenuCommandsFollowBusySelectionAndRecovery) {
    AppFixture f;
    AppStore& store = f.app->store();
    // Nothing selected: the delivery commands are off, the library commands on.
    EXPECT_TRUE(f.enabled(Command::newProject));
    EXPECT_TRUE(f.enabled(Command::connectFolders));
    EXPECT_FALSE(f.enabled(Command::exportPackage));
    EXPECT_FALSE(f.enabled(Command::deliveryRules));
    EXPECT_FALSE(f.enabled(Command::exportHistory));
    store.newDelivery();
    store.setSheet(std::nullopt);
    EXPECT_TRUE(f.enabled(Command::deliveryRules));
    EXPECT_TRUE(f.enabled(Command::exportHistory));
    // A new project has no files: the empty check is an error, so no export.
    EXPECT_FALSE(f.enabled(Command::exportPackage));
    // Busy: everything that starts work is off; navigation stays.
    TempDir source;
    store.connectFolders({source.path()});
    ASSERT_TRUE(store.isBusy());
    EXPECT_FALSE(f.enabled(Command::newProject));
    EXPECT_FALSE(f.enabled(Command::rescan));
    EXPECT_FALSE(f.enabled(Command::deliveryRules));
    EXPECT_FALSE(f.enabled(Command::sample));
    EXPECT_TRUE(f.enabled(Command::showProjects));
    EXPECT_TRUE(f.enabled(Command::exportHistory));
    f.app->store().shutdown();
}

TEST(MainWindow, EveryCommandHasItsTextAccessKeyAndShortcut) {
    AppFixture f;
    const struct {
        Command command;
        const char* text;
        const char* shortcut;
    } expected[] = {
        {Command::newProject, "&New project", "Ctrl+N"},
        {Command::connectFolders, "C&onnect source folders…", "Ctrl+O"},
        {Command::settings, "&Settings…", "Ctrl+,"},
        {Command::closeWindow, "&Close window", "Ctrl+W"},
        {Command::quit, "&Quit", "Ctrl+Q"},
        {Command::rescan, "&Rescan sources", "Ctrl+R"},
        {Command::showProjects, "Show &all projects", "Ctrl+1"},
        {Command::showInbox, "Show &inbox", "Ctrl+2"},
        {Command::exportPackage, "&Export delivery package…", "Ctrl+Shift+E"},
        {Command::deliveryRules, "Delivery &rules…", ""},
        {Command::sample, "&Try the sample workspace", ""},
    };
    for (const auto& [command, text, shortcut] : expected) {
        QAction* action = f.app->action(command);
        ASSERT_NE(action, nullptr) << text;
        EXPECT_EQ(action->text().toStdString(), text);
        EXPECT_EQ(action->shortcut().toString(QKeySequence::PortableText).toStdString(), shortcut) << text;
    }
    // The menus keep their order and separators.
    const QList<QAction*> menus = f.app->mainWindow().menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->menu()->actions().size(), 7);
    EXPECT_EQ(menus[1]->menu()->actions().size(), 4);
    EXPECT_EQ(menus[2]->menu()->actions().size(), 5);
    EXPECT_TRUE(menus[2]->menu()->actions()[3]->isSeparator());
}

TEST(MainWindow, TheKeyboardReachesEveryMenuInBothLanguages) {
    AppFixture f;
    const QList<QAction*> menus = f.app->mainWindow().menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    // Each menu and item has an access key, and no two in one menu share one.
    const auto checkKeys = [&] {
        QSet<int> menuKeys;
        for (QAction* menu : menus) {
            const QKeySequence key = QKeySequence::mnemonic(menu->text());
            EXPECT_FALSE(key.isEmpty()) << menu->text().toStdString();
            menuKeys.insert(key[0].toCombined());
            QSet<int> itemKeys;
            int items = 0;
            for (QAction* item : menu->menu()->actions()) {
                if (item->isSeparator()) continue;
                ++items;
                const QKeySequence itemKey = QKeySequence::mnemonic(item->text());
                EXPECT_FALSE(itemKey.isEmpty()) << item->text().toStdString();
                if (!itemKey.isEmpty()) itemKeys.insert(itemKey[0].toCombined());
            }
            EXPECT_EQ(itemKeys.size(), items) << menu->text().toStdString();
        }
        EXPECT_EQ(menuKeys.size(), menus.size());
    };
    checkKeys();
    EXPECT_EQ(menus[0]->text(), "&File");
    f.app->store().preferences().setLanguage("zh-Hans");
    QApplication::processEvents();
    checkKeys();
    // A Chinese text carries its key in parentheses, before the ellipsis.
    EXPECT_EQ(menus[0]->text(), QString::fromUtf8("文件(&F)"));
    EXPECT_EQ(f.app->action(Command::connectFolders)->text(), QString::fromUtf8("连接来源文件夹(&O)…"));
    // F10 opens the first menu.
    MainWindow& window = f.app->mainWindow();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return menus[0]->menu()->isVisible(); }, 2000));
    menus[0]->menu()->close();
}

TEST(MainWindow, AWindowBuiltWhileTheLibraryIsReadLooksAsOneBuiltAfter) {
    TempDir library;
    WorkspaceState state;
    // Enough cards to need the page's scroll bar either way.
    for (const char* name : {"Alpha", "Beta", "Gamma", "Delta", "Epsilon", "Zeta", "Eta", "Theta", "Iota"}) {
        Delivery project(UUID::make(), name, {}, DeliveryTemplate::flexible());
        project.files.push_back(DeliveryFile(UUID::make(), std::string(name) + ".txt", "", FileRole::copy, 4, ""));
        state.projects.push_back(std::move(project));
    }
    Repository(library.path()).saveWorkspace(state);
    const auto drawn = [&](bool readAhead) {
        auto storage = std::make_unique<MemoryPreferenceStorage>();
        storage->setString(Preferences::languageKey, "en");
        LibraryChoice choice{library.path(), {}};
        if (readAhead) choice.preload = std::make_shared<LibraryPreload>(library.path());
        SorvikApp app(*qApp, choice, std::move(storage), AppLocations{});
        app.showMainWindow();
        QApplication::processEvents();
        EXPECT_EQ(app.store().deliveries().size(), 9u);
        // The menus follow the library that arrived after they were made.
        for (Command command : {Command::newProject, Command::connectFolders, Command::exportPackage,
                                Command::deliveryRules, Command::exportHistory, Command::sample})
            EXPECT_EQ(app.action(command)->isEnabled(), commandStates(app.store()).enabled(command));
        EXPECT_TRUE(app.action(Command::exportHistory)->isEnabled());
        // The cards' folder counts arrive from a lane of their own: drawn once nothing changes.
        QImage last = app.mainWindow().grab().toImage();
        int same = 0;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                QImage now = app.mainWindow().grab().toImage();
                same = now == last ? same + 1 : 0;
                last = std::move(now);
                return same >= 5;
            },
            10000));
        return last;
    };
    const QImage after = drawn(false);
    const QImage during = drawn(true);
    ASSERT_FALSE(after.isNull());
    EXPECT_TRUE(after == during);
}

TEST(MainWindow, RecoveryModeDisablesWhatCouldNeverBeSaved) {
    TempDir library;
    writeFile(library / "workspace.json", "not json");
    auto storage = std::make_unique<MemoryPreferenceStorage>();
    storage->setString(Preferences::languageKey, "en");
    SorvikApp app(*qApp, LibraryChoice{library.path(), {}}, std::move(storage), AppLocations{});
    app.showMainWindow();
    QApplication::processEvents();
    EXPECT_TRUE(app.store().recoveryMode());
    EXPECT_FALSE(app.action(Command::newProject)->isEnabled());
    EXPECT_FALSE(app.action(Command::connectFolders)->isEnabled());
    EXPECT_FALSE(app.action(Command::sample)->isEnabled());
    EXPECT_TRUE(app.action(Command::rescan)->isEnabled());
    // The start-up failure is shown in the alert, translated.
    QMessageBox* alert = app.mainWindow().content()->alert();
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->informativeText().startsWith("Could not load the library: "))
        << alert->informativeText().toStdString();
    EXPECT_EQ(readFile(library / "workspace.json"), "not json");
}

TEST(MainWindow, TheAlertShowsACoreMessageInTheInterfaceLanguageAndClearsTheError) {
    AppFixture f;
    AppStore& store = f.app->store();
    store.setScanLimit(0);
    TempDir source;
    writeFile(source / "a.txt", "a");
    store.connectFolders({source.path()});
    // Wait for the worker: the loud scan fails with the limit message.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !store.isBusy() && store.error(); }, 20000));
    QMessageBox* alert = f.app->mainWindow().content()->alert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), QString::fromStdString(L(InLanguage{"en"}, "暂时无法完成")));
    EXPECT_NE(alert->text(), QString::fromUtf8("暂时无法完成"));
    EXPECT_TRUE(alert->informativeText().contains("0")) << alert->informativeText().toStdString();
    EXPECT_FALSE(alert->informativeText().contains(QString::fromUtf8("本次扫描")));
    alert->buttons().first()->click();
    QApplication::processEvents();
    EXPECT_FALSE(store.error());
}

TEST(MainWindow, TheSheetFollowsTheStoreAndEscapeClosesIt) {
    AppFixture f;
    AppStore& store = f.app->store();
    ContentView* content = f.app->mainWindow().content();
    store.setSheet(AppSheet::sources());
    QApplication::processEvents();
    ASSERT_NE(content->sheetDialog(), nullptr);
    EXPECT_NE(qobject_cast<SourceSettingsSheet*>(content->sheetDialog()->content()), nullptr);
    content->sheetDialog()->reject();  // Escape
    QApplication::processEvents();
    EXPECT_FALSE(store.sheet());
    EXPECT_EQ(content->sheetDialog(), nullptr);
}

TEST(MainWindow, TheSearchFieldWritesTheStoreAndTakesNoDrops) {
    AppFixture f;
    QLineEdit* search = f.app->mainWindow().content()->searchField();
    search->setFocus();
    search->insert("aur");
    emit search->textEdited(search->text());
    EXPECT_EQ(f.app->store().search(), "aur");
    f.app->store().showInbox();  // clears the search
    QApplication::processEvents();
    EXPECT_TRUE(search->text().isEmpty());
    EXPECT_FALSE(search->acceptDrops());
}

TEST(MainWindow, AFileSheetIsShownOnlyWhileItsFileExists) {
    AppFixture f;
    AppStore& store = f.app->store();
    ContentView* content = f.app->mainWindow().content();
    // An identifier that names no file: nothing is shown and the store lets go of it.
    store.setSheet(AppSheet::file(UUID::make()));
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(content->sheetDialog(), nullptr);
    EXPECT_FALSE(store.sheet());
    // A timer scan is not held off by a sheet nobody can see.
    store.setSheet(AppSheet::sources());
    QApplication::processEvents();
    ASSERT_NE(content->sheetDialog(), nullptr);
    // A dialog closing after the store moved on leaves the newer sheet alone.
    SheetDialog* old = content->sheetDialog();
    store.setSheet(AppSheet::history());
    QApplication::processEvents();
    old->reject();
    QApplication::processEvents();
    EXPECT_EQ(store.sheet(), AppSheet::history());
}
