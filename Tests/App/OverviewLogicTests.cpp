// What the overview shows: counts, layout, the empty state, the grid's columns, the explainer
// strip's sources and the inbox banner.
#include <gtest/gtest.h>

#include "App/Support/LibraryFixtures.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Overview/Logic/OverviewLogic.hpp"
#include "SorvikCore/Localization.hpp"

using namespace sorvik;
using namespace sorvik::test;
using namespace sorvik::app;

namespace {

SourceFolder source(const std::string& path, bool enabled = true, std::optional<std::string> error = std::nullopt) {
    SourceFolder folder = SourceFolder::make(path);
    folder.enabled = enabled;
    folder.lastError = std::move(error);
    return folder;
}

}  // namespace

TEST(OverviewCounts, AFileCountsOnceWhereverItAppearsAndDisabledSourcesDoNot) {
    WorkspaceState workspace;
    Delivery a = makeProject("A");
    Delivery b = makeProject("B");
    const DeliveryFile shared = makeFile("shared.png");
    addFile(workspace, a, shared);
    b.files.push_back(shared);                       // in two projects
    b.files.push_back(makeFile("linked-only.txt"));  // a project file without an asset
    workspace.assets.push_back(makeAsset(makeFile("inbox.png")));
    workspace.sources = {source("/a"), source("/b", false), source("/c", true, std::string("无法读取"))};
    const OverviewCounts counts = overviewCounts({a, b}, workspace);
    EXPECT_EQ(counts, (OverviewCounts{2, 3, 2}));
    EXPECT_EQ(overviewCounts({}, WorkspaceState{}), (OverviewCounts{0, 0, 0}));
    EXPECT_EQ(countsTexts(counts),
              (std::vector<std::string>{L("{0} 个项目", 2), "·", L("{0} 件素材", 3), "·", L("{0} 个来源", 2)}));
}

TEST(OverviewCounts, TheStoreCountsWhatItHoldsLikeThePlainCount) {
    TempDir dir;
    WorkspaceState workspace;
    Delivery a = makeProject("A");
    Delivery b = makeProject("B");
    const DeliveryFile shared = makeFile("shared.png");
    addFile(workspace, a, shared);
    b.files.push_back(shared);
    b.files.push_back(makeFile("linked-only.txt"));
    b.files.push_back(makeFile("linked-only-too.txt"));
    workspace.assets.push_back(makeAsset(makeFile("inbox.png")));
    workspace.assets.push_back(workspace.assets.back());  // the same asset twice
    workspace.sources = {source("/a"), source("/b", false)};
    const OverviewCounts expected = overviewCounts({a, b}, workspace);
    EXPECT_EQ(expected, (OverviewCounts{2, 4, 1}));
    workspace.projects = {a, b};
    Repository(dir.path()).saveWorkspace(workspace);

    StoreHarness h(dir.path());
    AppStore& store = h.store();
    EXPECT_EQ(overviewCounts(store), expected);
    EXPECT_EQ(overviewCounts(store), overviewCounts(store.deliveries(), store.workspace()));
}

TEST(OverviewLayout, AreaEmptyStateAndConnectHintFollowTheLibraryAndTheSearch) {
    EXPECT_EQ(projectsArea(0), ProjectsArea::empty);
    EXPECT_EQ(projectsArea(1), ProjectsArea::single);
    EXPECT_EQ(projectsArea(2), ProjectsArea::grid);
    EXPECT_EQ(projectsArea(500), ProjectsArea::grid);

    const EmptyStateContent firstRun = emptyState(true);
    EXPECT_EQ(firstRun.symbol, "folder.badge.plus");
    EXPECT_EQ(firstRun.title, "从你的常用输出目录开始。");
    EXPECT_TRUE(firstRun.sampleButton);
    const EmptyStateContent noMatch = emptyState(false);
    EXPECT_EQ(noMatch.symbol, "magnifyingglass");
    EXPECT_EQ(noMatch.title, "没有匹配的项目");
    EXPECT_EQ(noMatch.text, "试试文件名、项目别名或文案中的词。");
    EXPECT_FALSE(noMatch.sampleButton);

    WorkspaceState workspace;
    EXPECT_FALSE(showsConnectHint({}, workspace));  // nothing at all: the empty state invites instead
    EXPECT_TRUE(showsConnectHint({makeProject("A")}, workspace));
    workspace.sources = {source("/a", false)};
    EXPECT_FALSE(showsConnectHint({makeProject("A")}, workspace));
}

TEST(OverviewLayout, GridColumnsAreAdaptiveBetween290And460) {
    // The narrowest page of the smallest window: two columns sharing the width.
    EXPECT_EQ(gridLayout(714), (GridLayout{2, 348, 0}));
    // Exactly three of the least width.
    EXPECT_EQ(gridLayout(906), (GridLayout{3, 290, 0}));
    EXPECT_EQ(gridLayout(905).columns, 2);
    // Columns stop growing at 460 and the grid is centred.
    const GridLayout wide = gridLayout(1000);
    EXPECT_EQ(wide.columns, 3);
    EXPECT_DOUBLE_EQ(wide.cellWidth, (1000 - 36) / 3.0);
    const GridLayout huge = gridLayout(2000);
    EXPECT_EQ(huge.columns, 6);
    EXPECT_DOUBLE_EQ(huge.cellWidth, (2000 - 90) / 6.0);
    const GridLayout capped = gridLayout(600);
    EXPECT_EQ(capped.columns, 2);
    EXPECT_DOUBLE_EQ(capped.cellWidth, 291);
    const GridLayout single = gridLayout(500);
    EXPECT_EQ(single.columns, 1);
    EXPECT_DOUBLE_EQ(single.cellWidth, 460);
    EXPECT_DOUBLE_EQ(single.leading, 20);
    // Narrower than one card: one card as wide as the page, never wider.
    EXPECT_EQ(gridLayout(200), (GridLayout{1, 200, 0}));
    EXPECT_EQ(gridLayout(0).columns, 1);

    EXPECT_EQ(gridRows(0, 3), 0u);
    EXPECT_EQ(gridRows(1, 3), 1u);
    EXPECT_EQ(gridRows(3, 3), 1u);
    EXPECT_EQ(gridRows(500, 2), 250u);
    EXPECT_EQ(gridRows(4, 0), 4u);
}

TEST(SourceFlow, ShowsTheFirstThreeEnabledSources) {
    std::vector<SourceFolder> sources{source("/a"), source("/b", false), source("/c"), source("/d", true, "x"),
                                      source("/e"), source("/f")};
    const std::vector<const SourceFolder*> shown = flowSources(sources);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0]->path, "/a");
    EXPECT_EQ(shown[1]->path, "/c");
    EXPECT_EQ(shown[2]->path, "/d");
    EXPECT_TRUE(flowSources({}).empty());
}

TEST(InboxBanner, TitleAndViewKeepTheSearch) {
    EXPECT_FALSE(inboxBannerTitle(0));
    EXPECT_EQ(inboxBannerTitle(12), L("{0} 件素材待识别", 12));

    TempDir dir;
    StoreHarness h(dir.path());
    AppStore& store = h.store();
    store.setSearch("IMG ");
    store.copyAgentReference(makeProject("P"), std::nullopt);
    ASSERT_TRUE(store.notice());
    openInboxKeepingSearch(store);
    EXPECT_EQ(store.section(), WorkspaceSection::inbox);
    EXPECT_EQ(store.search(), "IMG ");
    EXPECT_FALSE(store.notice());
    store.showProjects();
    openInboxKeepingSearch(store);
    EXPECT_EQ(store.search(), "");
}
