// The project overview on the offscreen platform: the projects area follows the search, the
// inbox banner keeps it, and the notice line offers undo only while a removal can be undone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "App/Support/LibraryFixtures.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"
#include "Sorvik/Views/Overview/OverviewParts.hpp"
#include "Sorvik/Views/Overview/Logic/ProjectCardModel.hpp"
#include "Sorvik/Views/Overview/ProjectGridView.hpp"
#include "Sorvik/Views/Overview/ProjectOverview.hpp"
#include "Sorvik/Views/Sources/SourceFlowView.hpp"
#include "Sorvik/Views/Kit/WorkspaceNotice.hpp"
#include "SorvikCore/Localization.hpp"

using namespace sorvik;
using namespace sorvik::test;
using namespace sorvik::app;

namespace {

/// The button of a line with this text (or, for an empty text, the one without text).
StyledButton* buttonIn(QWidget* line, const QString& text) {
    for (StyledButton* button : line->findChildren<StyledButton*>()) {
        if (button->text() == text) return button;
    }
    return nullptr;
}

struct OverviewFixture {
    TempDir library;
    std::unique_ptr<StoreHarness> harness;
    ThumbnailLoader loader;
    std::unique_ptr<ProjectOverview> overview;

    explicit OverviewFixture(bool withProjects = true) {
        WorkspaceState state;
        if (withProjects) {
            Delivery a = makeProject("Harbor Launch", 300);
            Delivery b = makeProject("Harbor Tour", 200);
            Delivery c = makeProject("Cedar", 100);
            addFile(state, a, makeFile("cover.jpg", "/media/harbor", FileRole::cover));
            addFile(state, c, makeFile("notes.txt", "/media/cedar", FileRole::copy, std::string("cedar notes")));
            state.projects = {a, b, c};
            state.assets.push_back(makeAsset(makeFile("IMG_0001.png", "/media/inbox")));
        }
        writeLibrary(library.path(), state);
        harness = std::make_unique<StoreHarness>(library.path());
        harness->preferences().setLanguage("zh-Hans");
        overview = std::make_unique<ProjectOverview>(harness->store(), loader);
        overview->resize(1000, 800);
        overview->show();
        QApplication::processEvents();
    }
    ~OverviewFixture() {
        overview.reset();
        harness.reset();
    }
    AppStore& store() { return harness->store(); }
    void search(const std::string& text) {
        store().setSearch(text);
        QApplication::processEvents();
    }
};

}  // namespace

TEST(Overview, TheProjectsAreaFollowsTheSearch) {
    OverviewFixture f;
    ProjectOverview& page = *f.overview;
    EXPECT_EQ(page.area(), ProjectsArea::grid);
    EXPECT_TRUE(page.grid()->isVisible());
    EXPECT_FALSE(page.singleRow()->isVisible());
    EXPECT_FALSE(page.emptyStateView()->isVisible());
    EXPECT_EQ(page.cardModel()->rowCount(), 3);
    EXPECT_EQ(page.cardModel()->index(0).data().toString(), "Harbor Launch");
    // 1000 wide less the page's padding: three columns.
    EXPECT_EQ(page.grid()->layout().columns, 3);
    EXPECT_GT(page.grid()->height(), 0);
    const QStringList counts = page.countsLine();
    EXPECT_EQ(counts[0], QString::fromStdString(L("{0} 个项目", 3)));
    EXPECT_EQ(counts[2], QString::fromStdString(L("{0} 件素材", 3)));
    // Projects but no sources: the hint to connect some.
    EXPECT_TRUE(page.connectHint()->isVisible());

    f.search("harbor");
    EXPECT_EQ(page.area(), ProjectsArea::grid);
    EXPECT_EQ(page.cardModel()->rowCount(), 2);
    f.search("cedar notes");
    EXPECT_EQ(page.area(), ProjectsArea::single);
    EXPECT_TRUE(page.singleRow()->isVisible());
    EXPECT_FALSE(page.grid()->isVisible());
    EXPECT_EQ(page.cardModel()->index(0).data().toString(), "Cedar");
    f.search("nothing like it");
    EXPECT_EQ(page.area(), ProjectsArea::empty);
    EXPECT_TRUE(page.emptyStateView()->isVisible());
    EXPECT_EQ(page.emptyStateView()->title(), QString::fromStdString(L("没有匹配的项目")));
    EXPECT_FALSE(page.emptyStateView()->sampleButton()->isVisible());
    // The counts line still counts the whole library.
    EXPECT_EQ(page.countsLine()[0], QString::fromStdString(L("{0} 个项目", 3)));
    f.search("");
    EXPECT_EQ(page.area(), ProjectsArea::grid);
    EXPECT_EQ(page.cardModel()->rowCount(), 3);
}

TEST(Overview, AnEmptyLibraryInvitesToStartAndCardsOpenTheirProject) {
    {
        OverviewFixture empty(false);
        EXPECT_EQ(empty.overview->area(), ProjectsArea::empty);
        EXPECT_EQ(empty.overview->emptyStateView()->title(), QString::fromStdString(L("从你的常用输出目录开始。")));
        EXPECT_TRUE(empty.overview->emptyStateView()->sampleButton()->isVisible());
        EXPECT_FALSE(empty.overview->connectHint()->isVisible());
        EXPECT_FALSE(empty.overview->banner()->isVisible());
    }
    OverviewFixture f;
    ProjectGridView* grid = f.overview->grid()->view();
    const QModelIndex second = grid->model()->index(1, 0);
    const QRect card = grid->cardRect(second);
    ASSERT_FALSE(card.isEmpty());
    // The gap after a card opens nothing; the card opens its project.
    const QRect cell = grid->visualRect(second);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(cell.right() - 4, cell.center().y()));
    EXPECT_EQ(f.store().section(), WorkspaceSection::projects);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, card.center());
    EXPECT_EQ(f.store().section(), WorkspaceSection::project);
    ASSERT_TRUE(f.store().selected());
    EXPECT_EQ(f.store().selected()->name, "Harbor Tour");
}

TEST(Overview, TheInboxBannerLeadsToTheInboxWithTheSameSearch) {
    OverviewFixture f;
    ProjectOverview& page = *f.overview;
    EXPECT_TRUE(page.banner()->isVisible());
    f.search("IMG_0001");
    EXPECT_TRUE(page.banner()->isVisible());
    EXPECT_EQ(page.area(), ProjectsArea::empty);
    QTest::mouseClick(page.banner()->viewButton(), Qt::LeftButton);
    EXPECT_EQ(f.store().section(), WorkspaceSection::inbox);
    EXPECT_EQ(f.store().search(), "IMG_0001");
    f.store().showProjects();
    f.search("harbor");
    EXPECT_FALSE(page.banner()->isVisible());
}

TEST(Overview, TheNoticeOffersUndoOnlyWhileTheRemovalCanBeUndone) {
    OverviewFixture f;
    AppStore& store = f.store();
    QWidget* notice = f.overview->notice();
    EXPECT_FALSE(notice->isVisible());

    store.copyAgentReference(store.deliveries()[0], std::nullopt);
    QApplication::processEvents();
    EXPECT_TRUE(notice->isVisible());
    // Shown once: the undo button has its text and the close button has none.
    StyledButton* undo = buttonIn(notice, QString::fromStdString(L("撤销")));
    StyledButton* close = buttonIn(notice, {});
    ASSERT_NE(undo, nullptr);
    ASSERT_NE(close, nullptr);
    EXPECT_FALSE(undo->isVisible());

    // A removal from the selected project can be undone; the overview shows the line when the
    // project is left for it without another selection.
    const Delivery harbor = store.deliveries()[0];
    store.select(harbor.id);
    store.removeFile(harbor.files[0]);
    ASSERT_TRUE(store.canUndo());
    store.showProjects();
    store.copyAgentReference(store.deliveries()[0], std::nullopt);
    QApplication::processEvents();
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(undo->isVisible());
    EXPECT_TRUE(undo->isEnabled());
    QTest::mouseClick(undo, Qt::LeftButton);
    EXPECT_EQ(store.selected()->files.size(), 1u);
    EXPECT_FALSE(store.canUndo());
    EXPECT_FALSE(undo->isVisible());

    // Closing removes the line and nothing else.
    ASSERT_TRUE(store.notice());
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(store.notice());
    EXPECT_FALSE(notice->isVisible());
    EXPECT_EQ(store.selected()->files.size(), 1u);
}

TEST(Overview, TheCardGridSettlesAlikeWhicheverSizeTheWindowCameFrom) {
    // Whether the page needs its scroll bar is decided at the width it has without one: a grid
    // that fits in three columns never settles in two columns beside a scroll bar instead.
    TempDir library;
    WorkspaceState state;
    for (int i = 0; i < 6; ++i) state.projects.push_back(makeProject("Project " + std::to_string(i), 100 + i));
    writeLibrary(library.path(), state);
    StoreHarness harness(library.path());
    ThumbnailLoader loader;
    ProjectOverview fromWide(harness.store(), loader), fromNarrow(harness.store(), loader);
    fromWide.show();
    fromNarrow.show();
    const auto settleAt = [](ProjectOverview& page, QSize before, QSize size) {
        page.resize(before);
        QApplication::processEvents();
        page.resize(size);
        QApplication::processEvents();
        // The grid is laid out for the width it has, and has the page's width.
        EXPECT_EQ(page.grid()->layout(), gridLayout(page.grid()->width()));
        EXPECT_EQ(page.grid()->width() + 2 * space::pageMargin, page.scrollArea()->viewport()->width());
        return std::pair(page.grid()->layout().columns, page.scrollArea()->verticalScrollBar()->isVisible());
    };
    int fitsWithoutBar = 0, needsBar = 0;
    for (int height = 500; height <= 1100; height += 100) {
        for (int width = 900; width <= 1060; width += 32) {
            const QSize size(width, height);
            const auto wide = settleAt(fromWide, QSize(1600, height), size);
            const auto narrow = settleAt(fromNarrow, QSize(640, height), size);
            EXPECT_EQ(wide, narrow) << width << "x" << height;
            (wide.second ? needsBar : fitsWithoutBar) += 1;
        }
    }
    EXPECT_GT(fitsWithoutBar, 0);
    EXPECT_GT(needsBar, 0);
}

TEST(Overview, WhileAJobRunsTheButtonsThatChangeTheLibraryWait) {
    OverviewFixture f;
    TempDir folder;
    f.store().connectFolders({folder.path()});
    ASSERT_TRUE(f.store().isBusy());
    EXPECT_FALSE(f.overview->connectButton()->isEnabled());
    f.harness->settle();
    EXPECT_TRUE(f.overview->connectButton()->isEnabled());
}

TEST(SourceFlow, DrawsNoArrowFromAnEmptySourceColumn) {
    TempDir library, folder;
    StoreHarness h(library.path());
    SourceFlowView flow(h.store());
    EXPECT_EQ(flow.sourceRowCount(), 0);
    EXPECT_FALSE(flow.showsArrow());
    h.store().connectFolders({folder.path()});
    ASSERT_TRUE(h.settle());
    EXPECT_EQ(flow.sourceRowCount(), 1);
    EXPECT_TRUE(flow.showsArrow());
}
