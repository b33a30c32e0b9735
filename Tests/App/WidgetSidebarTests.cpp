// The sidebar on the offscreen platform: what it lists, and which controls wait while a job runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListView>
#include <QScrollArea>
#include <QScrollBar>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include "App/Support/LibraryFixtures.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Kit/LanguagePicker.hpp"
#include "Sorvik/Views/Sidebar/Logic/SidebarModel.hpp"
#include "Sorvik/Views/Sidebar/SidebarRows.hpp"
#include "Sorvik/Views/Sidebar/SidebarView.hpp"
#include "SorvikCore/Localization.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using namespace sorvik::app;

namespace {

struct SidebarFixture {
    TempDir library;
    TempDir folder;
    WorkspaceState state;
    std::unique_ptr<StoreHarness> harness;
    std::unique_ptr<SidebarView> sidebar;

    SidebarFixture() {
        Delivery older = makeProject("Older", 100);
        Delivery newer = makeProject("Newer", 200);
        addFile(state, older, makeFile("a.png"));
        state.projects = {older, newer};
        state.deletedProjects = std::vector<Delivery>{makeProject("Gone One"), makeProject("Gone Two")};
        state.assets.push_back(makeAsset(makeFile("loose.png")));
        for (const char* name : {"one", "two", "three", "four", "five"}) {
            state.sources.push_back(SourceFolder::make(folder.path() / name));
        }
        state.sources[1].enabled = false;
        state.sources[2].lastError = "无法读取";
        state.automaticScan = false;
        writeLibrary(library.path(), state);
        harness = std::make_unique<StoreHarness>(library.path());
        harness->preferences().setLanguage("zh-Hans");
        sidebar = std::make_unique<SidebarView>(harness->store());
        sidebar->resize(205, 900);
        sidebar->show();
        QApplication::processEvents();
    }
    ~SidebarFixture() {
        sidebar.reset();
        harness.reset();
    }
    AppStore& store() { return harness->store(); }
    /// A job that holds the store busy until the test releases it.
    void makeBusy() {
        fs::create_directories(folder / "new");
        store().connectFolders({folder / "new"});
        ASSERT_TRUE(store().isBusy());
    }
};

}  // namespace

TEST(Sidebar, ListsProjectsNewestFirstTheInboxCountSourcesAndDeletedProjects) {
    SidebarFixture f;
    SidebarView& sidebar = *f.sidebar;
    QAbstractItemModel* model = sidebar.projectList()->model();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->index(0, 0).data().toString(), "Newer");
    EXPECT_EQ(sidebar.inboxRow()->text(), QString::fromStdString(L("待识别")));
    EXPECT_TRUE(sidebar.projectsRow()->isSelected());
    EXPECT_FALSE(sidebar.inboxRow()->isSelected());
    // Four of the five sources.
    ASSERT_EQ(sidebar.sourceRows().size(), 4u);
    EXPECT_EQ(sidebar.sourceRows()[0]->text(), "one");
    EXPECT_EQ(sidebar.sourceRows()[3]->text(), "four");
    EXPECT_TRUE(sidebar.restoreButton()->isVisible());
    std::unique_ptr<QMenu> restore(sidebar.makeRestoreMenu());
    ASSERT_EQ(restore->actions().size(), 2);
    EXPECT_EQ(restore->actions()[0]->text(), "Gone One");

    // Opening a project highlights its row only.
    f.store().select(f.store().deliveries()[0].id);
    EXPECT_TRUE(static_cast<SidebarModel*>(model)->isSelected(model->index(1, 0)));
    EXPECT_FALSE(sidebar.projectsRow()->isSelected());
    // Restoring: the project is back, selected, and the menu is gone with the last deleted one.
    restore->actions()[0]->trigger();
    restore.reset(sidebar.makeRestoreMenu());
    restore->actions()[0]->trigger();
    QApplication::processEvents();
    EXPECT_EQ(model->rowCount(), 4);
    EXPECT_FALSE(sidebar.restoreButton()->isVisible());
}

TEST(Sidebar, WhileAJobRunsOnlyTheControlsThatChangeTheLibraryWait) {
    SidebarFixture f;
    SidebarView& sidebar = *f.sidebar;
    const UUID older = f.store().deliveries()[0].id;
    // A menu opened before the job starts and used after it.
    std::unique_ptr<QMenu> early(sidebar.makeProjectMenu(older));
    ASSERT_TRUE(early->actions()[0]->isEnabled());

    f.makeBusy();
    EXPECT_FALSE(sidebar.newProjectButton()->isEnabled());
    EXPECT_FALSE(sidebar.restoreButton()->isEnabled());
    EXPECT_FALSE(sidebar.connectButton()->isEnabled());
    std::unique_ptr<QMenu> menu(sidebar.makeProjectMenu(older));
    EXPECT_FALSE(menu->actions()[0]->isEnabled());
    for (QWidget* stays :
         std::initializer_list<QWidget*>{sidebar.projectsRow(), sidebar.inboxRow(), sidebar.projectList(),
                                         sidebar.sourcesButton(), sidebar.settingsButton(), sidebar.sourceRows()[0]}) {
        EXPECT_TRUE(stays->isEnabled());
    }
    EXPECT_TRUE(sidebar.findChild<LanguagePicker*>()->isEnabled());

    // The early menu's action checks again when it fires: nothing is deleted.
    early->actions()[0]->trigger();
    EXPECT_EQ(f.store().deliveries().size(), 2u);
    // Navigation still works.
    QTest::mouseClick(sidebar.inboxRow(), Qt::LeftButton);
    EXPECT_EQ(f.store().section(), WorkspaceSection::inbox);
    EXPECT_TRUE(sidebar.inboxRow()->isSelected());
    QTest::mouseClick(sidebar.sourceRows()[0], Qt::LeftButton);
    EXPECT_EQ(f.store().sheet(), AppSheet::sources());
    f.store().setSheet(std::nullopt);

    f.harness->settle();
    EXPECT_FALSE(f.store().isBusy());
    EXPECT_TRUE(sidebar.newProjectButton()->isEnabled());
    EXPECT_TRUE(sidebar.connectButton()->isEnabled());
    menu.reset(sidebar.makeProjectMenu(older));
    menu->actions()[0]->trigger();
    EXPECT_EQ(f.store().deliveries().size(), 1u);
    ASSERT_TRUE(f.store().notice());
}

TEST(Sidebar, RowsOpenProjectsAndTheSettingsLinkAsksTheApp) {
    SidebarFixture f;
    SidebarView& sidebar = *f.sidebar;
    QListView* list = sidebar.projectList();
    const QRect first = list->visualRect(list->model()->index(0, 0));
    ASSERT_TRUE(first.isValid());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
    ASSERT_TRUE(f.store().selectedID());
    EXPECT_EQ(f.store().selected()->name, "Newer");
    EXPECT_EQ(f.store().section(), WorkspaceSection::project);

    QSignalSpy settings(&sidebar, &SidebarView::settingsRequested);
    QTest::mouseClick(sidebar.settingsButton(), Qt::LeftButton);
    EXPECT_EQ(settings.count(), 1);

    QTest::mouseClick(sidebar.newProjectButton(), Qt::LeftButton);
    EXPECT_EQ(f.store().deliveries().size(), 3u);
    EXPECT_EQ(f.store().sheet(), AppSheet::projectRules());
    EXPECT_EQ(list->model()->rowCount(), 3);
}

TEST(Sidebar, AWindowTooShortForTheColumnScrollsItInsteadOfOverlappingItsRows) {
    SidebarFixture f;
    SidebarView& sidebar = *f.sidebar;
    QScrollBar* bar = sidebar.scrollArea()->verticalScrollBar();
    QWidget* body = sidebar.scrollArea()->widget();
    // Tall enough: nothing scrolls, and the project list takes the spare height.
    EXPECT_EQ(bar->maximum(), 0);
    EXPECT_GT(sidebar.projectList()->height(), sidebar.projectList()->minimumSizeHint().height());
    // Four sources and deleted projects do not fit a short window: every row keeps its height and
    // the column scrolls down to the settings link.
    sidebar.resize(205, 480);
    QApplication::processEvents();
    EXPECT_GE(body->height(), body->minimumSizeHint().height());
    EXPECT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    QApplication::processEvents();
    const QRect settings(sidebar.settingsButton()->mapTo(sidebar.scrollArea()->viewport(), QPoint(0, 0)),
                         sidebar.settingsButton()->size());
    EXPECT_TRUE(sidebar.scrollArea()->viewport()->rect().contains(settings));
    // As wide as the column, so that no row is cut at the side.
    EXPECT_EQ(body->width(), sidebar.scrollArea()->viewport()->width());
}

TEST(Sidebar, AtTheLeastWindowHeightOnlyTheListsScrollAndTheirBarsNarrowNoRow) {
    SidebarFixture f;
    SidebarView& sidebar = *f.sidebar;
    ASSERT_FALSE(sidebar.sourceRows().empty());
    const int rowWidth = sidebar.sourceRows().front()->width();
    const QRect projectRow = sidebar.projectList()->rowRect(sidebar.projectList()->model()->index(0, 0));
    // The least window's height less its menu bar.
    sidebar.resize(205, 630);
    QApplication::processEvents();
    // The column itself does not scroll: the fixed parts are whole and in view.
    EXPECT_EQ(sidebar.scrollArea()->verticalScrollBar()->maximum(), 0);
    for (QWidget* part : std::initializer_list<QWidget*>{sidebar.settingsButton(), sidebar.restoreButton(),
                                                         sidebar.projectsRow(), sidebar.inboxRow()}) {
        const QRect shown(part->mapTo(&sidebar, QPoint(0, 0)), part->size());
        EXPECT_TRUE(sidebar.rect().contains(shown)) << part->metaObject()->className();
        EXPECT_GE(part->width(), part->sizeHint().width()) << part->metaObject()->className();
    }
    // The sources scroll on their own, their rows as wide as before.
    QScrollBar* sourcesBar = sidebar.sourcesArea()->verticalScrollBar();
    EXPECT_GT(sourcesBar->maximum(), 0);
    EXPECT_TRUE(sourcesBar->isVisible());
    EXPECT_EQ(sidebar.sourceRows().front()->width(), rowWidth);
    // So do the projects, when there are more than fit.
    for (int i = 0; i < 12; ++i) f.store().newDelivery();
    f.store().setSheet(std::nullopt);
    QApplication::processEvents();
    ASSERT_TRUE(sidebar.projectList()->verticalScrollBar()->isVisible());
    EXPECT_EQ(sidebar.projectList()->rowRect(sidebar.projectList()->model()->index(0, 0)).width(), projectRow.width());
}
