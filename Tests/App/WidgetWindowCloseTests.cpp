// Closing the main window: to the background where a system tray can bring it back, the Quit
// command (saving first) where none exists; and the alert for a location nothing could open.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "Sorvik/App/SorvikApp.hpp"
#include "Sorvik/Views/Window/ContentView.hpp"
#include "Support/TestSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using namespace sorvik::app;

namespace {

/// The desktop with or without a tray, where nothing opens a location.
class DesktopPlatform : public QtPlatform {
public:
    explicit DesktopPlatform(bool tray) : tray_(tray) {}
    bool hasSystemTray() override { return tray_; }
    void reveal(const fs::path&, std::function<void()> unopened) override { unopened(); }
    void open(const fs::path&, std::function<void()> unopened) override { unopened(); }

private:
    bool tray_;
};

std::unique_ptr<SorvikApp> makeApp(const TempDir& library, bool tray) {
    auto storage = std::make_unique<MemoryPreferenceStorage>();
    storage->setString(Preferences::languageKey, "en");
    auto app = std::make_unique<SorvikApp>(*qApp, LibraryChoice{library.path(), {}}, std::move(storage), AppLocations{},
                                           std::make_unique<DesktopPlatform>(tray));
    app->showMainWindow();
    QApplication::processEvents();
    return app;
}

}  // namespace

TEST(WindowClose, WithoutATrayClosingQuitsAfterSaving) {
    TempDir library;
    auto app = makeApp(library, false);
    app->store().newDelivery();
    const std::string id = app->store().deliveries().back().id.string();
    // The event loop the close runs in must end, as it does on Quit.
    bool closed = false;
    QTimer::singleShot(0, [&] { closed = app->mainWindow().close(); });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    deadline.start(20000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    deadline.stop();
    EXPECT_FALSE(closed);  // the window is not closed by itself: the quit ends everything
    EXPECT_TRUE(app->isQuitting());
    EXPECT_FALSE(app->store().hasUnsavedChanges());
    EXPECT_NE(readFile(library / "workspace.json").find(id), std::string::npos);
    app.reset();
}

TEST(WindowClose, WithATrayClosingHidesTheWindowAndTheAppRuns) {
    TempDir library;
    auto app = makeApp(library, true);
    ASSERT_TRUE(app->mainWindow().isVisible());
    app->mainWindow().close();
    QApplication::processEvents();
    EXPECT_FALSE(app->mainWindow().isVisible());
    EXPECT_FALSE(app->isQuitting());
    // The app still acts: the window comes back and the store takes work.
    app->showMainWindow();
    EXPECT_TRUE(app->mainWindow().isVisible());
    app->store().newDelivery();
    EXPECT_FALSE(app->store().deliveries().empty());
    app.reset();
}

TEST(WindowClose, TheAlertForALocationNothingOpensCopiesThePath) {
    TempDir library;
    auto app = makeApp(library, false);
    QApplication::clipboard()->clear();
    app->store().openLibraryFolder();
    QApplication::processEvents();
    QMessageBox* alert = app->mainWindow().content()->alert();
    ASSERT_NE(alert, nullptr);
    const QString where = QString::fromStdString(app->store().repository()->root().string());
    EXPECT_EQ(alert->informativeText(), "No file manager could open this location. It is at:\n" + where);
    QAbstractButton* copy = nullptr;
    for (QAbstractButton* button : alert->buttons()) {
        if (button->text() == "Copy path") copy = button;
    }
    ASSERT_NE(copy, nullptr);
    copy->click();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::clipboard()->text(), where);
    EXPECT_FALSE(app->store().error());
    EXPECT_EQ(app->mainWindow().content()->alert(), nullptr);
    // An error without a location has no such button.
    app->store().setScanLimit(0);
    TempDir source;
    writeFile(source / "a.txt", "a");
    app->store().connectFolders({source.path()});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !app->store().isBusy() && app->store().error(); }, 20000));
    alert = app->mainWindow().content()->alert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->buttons().size(), 1);
    app.reset();
}
