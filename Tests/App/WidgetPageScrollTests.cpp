// The project page and the inbox at the smallest window: header and list scroll as one page, the
// page's scroll bar is the slim one, and changes of the rows keep the selection and the place.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "App/Support/LibrarySupport.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Window/ContentView.hpp"
#include "Sorvik/Views/Inbox/InboxView.hpp"
#include "Sorvik/Views/Overview/ProjectOverview.hpp"
#include "Sorvik/Views/Project/ProjectAssetGrid.hpp"
#include "Sorvik/Views/Project/ProjectDetailView.hpp"
#include "Sorvik/Views/Kit/SegmentedPicker.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

namespace {

/// The main window's content at its smallest size over a harnessed store.
struct SmallWindow {
    std::unique_ptr<StoreHarness> harness;
    std::unique_ptr<ContentView> content;

    explicit SmallWindow(const fs::path& library) {
        harness = std::make_unique<StoreHarness>(library);
        harness->preferences().setLanguage("en");
        content = std::make_unique<ContentView>(harness->store());
        content->resize(980, 660);
        content->show();
        QApplication::processEvents();
    }
    ~SmallWindow() {
        content.reset();
        harness.reset();
    }
    AppStore& store() { return harness->store(); }
    template <class Page>
    Page* page() {
        QApplication::processEvents();
        return qobject_cast<Page*>(content->currentPage());
    }
};

/// Where a widget's top lies in the page's visible area.
int topInView(const QWidget& widget, const QScrollArea& page) {
    return widget.mapTo(page.viewport(), QPoint(0, 0)).y();
}

std::vector<IndexedAsset> waitingAssets(const fs::path& folder, int count) {
    std::vector<IndexedAsset> assets;
    for (int i = 0; i < count; ++i) {
        assets.push_back(indexedAsset(originalAt(folder / ("clip" + std::to_string(i) + ".png"))));
    }
    return assets;
}

}  // namespace

TEST(PageScroll, TheProjectPageScrollsItsHeaderAwayWithTheCards) {
    TempDir library, originals;
    Delivery project = projectNamed("Harbor Launch");
    Delivery other = projectNamed("Other");
    std::vector<IndexedAsset> assets;
    for (int i = 0; i < 30; ++i) {
        assets.push_back(indexedAsset(originalAt(originals / ("shot" + std::to_string(i) + ".png")), project.id));
    }
    assets.push_back(indexedAsset(originalAt(originals / "other.png"), other.id));
    writeLibrary(library.path(), libraryOf({project, other}, assets));
    SmallWindow w(library.path());
    w.store().select(project.id);
    auto* page = w.page<ProjectDetailView>();
    ASSERT_NE(page, nullptr);
    QScrollArea* scroll = page->scrollArea();
    AssetGridView* grid = page->grid();
    ASSERT_EQ(grid->assets()->rowCount(), 30);

    // The grid is as tall as its rows and never scrolls by itself; the page does.
    const int rows = (30 + grid->columnCount() - 1) / grid->columnCount();
    EXPECT_EQ(grid->height(), rows * grid->gridSize().height());
    EXPECT_EQ(grid->verticalScrollBar()->maximum(), 0);
    QScrollBar* bar = scroll->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_GE(topInView(*page->rulesButton(), *scroll), 0);

    bar->setValue(bar->maximum());
    QApplication::processEvents();
    EXPECT_LT(topInView(*page->rulesButton(), *scroll) + page->rulesButton()->height(), 0);
    EXPECT_LT(topInView(*page->filterPicker(), *scroll) + page->filterPicker()->height(), 0);
    // Cards fill the whole visible height.
    EXPECT_LE(topInView(*grid, *scroll), 0);
    EXPECT_GE(topInView(*grid, *scroll) + grid->height(), scroll->viewport()->height() - 30);
    // The last card is in view at the end.
    const QRect last = grid->visualRect(grid->assets()->index(29));
    EXPECT_LE(grid->viewport()->mapTo(scroll->viewport(), last.bottomLeft()).y(), scroll->viewport()->height());

    // The slim bar: no arrow buttons, narrower than the stock one.
    EXPECT_LE(bar->sizeHint().width(), 11);
    EXPECT_FALSE(page->showsEmptyState());

    // Another project starts at the top of its page.
    w.store().select(other.id);
    QApplication::processEvents();
    EXPECT_EQ(page->grid()->assets()->rowCount(), 1);
    EXPECT_EQ(bar->value(), 0);
}

TEST(PageScroll, AssigningAnInboxAssetKeepsTheSelectionAndThePlace) {
    TempDir library, originals;
    Delivery harbor = projectNamed("Harbor");
    const std::vector<IndexedAsset> assets = waitingAssets(originals.path(), 40);
    writeLibrary(library.path(), libraryOf({harbor}, assets));
    SmallWindow w(library.path());
    w.store().showInbox();
    auto* inbox = w.page<InboxView>();
    ASSERT_NE(inbox, nullptr);
    InboxListView* list = inbox->list();
    InboxModel* rows = list->rows();
    ASSERT_EQ(rows->rowCount(), 40);
    QScrollArea* scroll = inbox->scrollArea();
    QScrollBar* bar = scroll->verticalScrollBar();
    EXPECT_LE(bar->sizeHint().width(), 11);

    // The title scrolls away with the rows.
    bar->setValue(list->visualRect(rows->index(20)).top());
    QApplication::processEvents();
    const int place = bar->value();
    ASSERT_GT(place, 0);
    // Everything above the rows (title and explainer) is out of view.
    EXPECT_LT(topInView(*list, *scroll), 0);
    list->setCurrentIndex(rows->index(22));
    const QString chosen = rows->index(22).data(InboxModel::AssetIDRole).toString();

    // An asset further down and one further up go to the project.
    w.store().assign(assets[35], harbor.id);
    ASSERT_TRUE(w.harness->settle());
    w.store().assign(assets[30], harbor.id);
    ASSERT_TRUE(w.harness->settle());
    QApplication::processEvents();
    ASSERT_EQ(rows->rowCount(), 38);
    EXPECT_EQ(bar->value(), place);
    ASSERT_TRUE(list->currentIndex().isValid());
    EXPECT_EQ(list->currentIndex().data(InboxModel::AssetIDRole).toString(), chosen);
    EXPECT_TRUE(list->selectionModel()->isSelected(list->currentIndex()));
    EXPECT_EQ(list->height(), 38 * list->sizeHintForRow(0));

    // The selected asset itself leaves: the place stays and nothing points at the gone asset.
    w.store().assign(assets[22], harbor.id);
    ASSERT_TRUE(w.harness->settle());
    QApplication::processEvents();
    EXPECT_EQ(rows->rowCount(), 37);
    for (const QModelIndex& index : list->selectionModel()->selectedIndexes()) {
        EXPECT_NE(index.data(InboxModel::AssetIDRole).toString(), chosen);
    }
    EXPECT_EQ(bar->value(), place);
}

TEST(PageScroll, ANoticeRaisedOnAScrolledPageIsScrolledIntoView) {
    TempDir library;
    std::vector<Delivery> projects;
    for (int i = 0; i < 9; ++i) projects.push_back(projectNamed("Project " + std::to_string(i), {}, 100 + i));
    writeLibrary(library.path(), libraryOf(projects, {}));
    SmallWindow w(library.path());
    auto* overview = w.page<ProjectOverview>();
    ASSERT_NE(overview, nullptr);
    QScrollArea* scroll = overview->scrollArea();
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    ASSERT_GT(scroll->verticalScrollBar()->value(), 0);
    w.store().deleteProject(w.store().deliveries().back().id);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const int top = topInView(*overview->notice(), *scroll);
            return overview->notice()->isVisible() && top >= 0 &&
                   top + overview->notice()->height() <= scroll->viewport()->height();
        },
        2000))
        << topInView(*overview->notice(), *scroll);
}
