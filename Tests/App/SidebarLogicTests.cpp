// What the sidebar lists and enables.
#include <gtest/gtest.h>

#include "App/Support/LibraryFixtures.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Sidebar/Logic/SidebarLogic.hpp"

using namespace sorvik;
using namespace sorvik::test;
using namespace sorvik::app;

TEST(SidebarLogic, ProjectsAreNewestFirstAndAnUpdateMovesOneToTheTop) {
    TempDir dir;
    WorkspaceState state;
    state.projects = {makeProject("A", 100), makeProject("B", 100), makeProject("C", 50), makeProject("D", 200)};
    writeLibrary(dir.path(), state);
    StoreHarness h(dir.path());
    auto order = [&] {
        std::vector<std::string> names;
        for (const Delivery* project : sidebarProjects(h.store().deliveries())) names.push_back(project->name);
        return names;
    };
    EXPECT_EQ(order(), (std::vector<std::string>{"D", "A", "B", "C"}));
    h.platform().clock = Date{300};
    h.store().update(h.store().deliveries()[1].id, [](Delivery&) {});
    EXPECT_EQ(order(), (std::vector<std::string>{"B", "D", "A", "C"}));
    // The store's own order is untouched.
    EXPECT_EQ(h.store().deliveries()[0].name, "A");
}

TEST(SidebarLogic, SourcesShowTheFirstFourWithTheirStatus) {
    std::vector<SourceFolder> sources;
    for (const char* path : {"/a", "/b", "/c", "/d", "/e"}) sources.push_back(SourceFolder::make(path));
    ASSERT_EQ(visibleSources(sources).size(), 4u);
    EXPECT_EQ(visibleSources(sources).back().path, "/d");
    sources.resize(3);
    EXPECT_EQ(visibleSources(sources).size(), 3u);
    EXPECT_TRUE(visibleSources({}).empty());

    SourceFolder folder = SourceFolder::make("/x");
    EXPECT_EQ(sourceStatus(folder), SourceStatus::ok);
    folder.lastError = "无法读取";
    EXPECT_EQ(sourceStatus(folder), SourceStatus::failing);
    // Switched off wins over a recorded error.
    folder.enabled = false;
    EXPECT_EQ(sourceStatus(folder), SourceStatus::disabled);
}

TEST(SidebarLogic, CountsAndSelection) {
    EXPECT_FALSE(navigationCount(0));
    EXPECT_EQ(navigationCount(1), 1u);

    EXPECT_TRUE(navigationSelected(NavigationRow::projects, WorkspaceSection::projects));
    EXPECT_FALSE(navigationSelected(NavigationRow::inbox, WorkspaceSection::projects));
    EXPECT_TRUE(navigationSelected(NavigationRow::inbox, WorkspaceSection::inbox));
    EXPECT_FALSE(navigationSelected(NavigationRow::projects, WorkspaceSection::project));
    EXPECT_FALSE(navigationSelected(NavigationRow::inbox, WorkspaceSection::project));

    const UUID a = UUID::make();
    const UUID b = UUID::make();
    EXPECT_TRUE(projectRowSelected(a, WorkspaceSection::project, a));
    EXPECT_FALSE(projectRowSelected(b, WorkspaceSection::project, a));
    // The overview shows with a selected id left over: no project row is highlighted.
    EXPECT_FALSE(projectRowSelected(a, WorkspaceSection::projects, a));
    EXPECT_FALSE(projectRowSelected(a, WorkspaceSection::project, std::nullopt));
}

TEST(SidebarLogic, ControlsThatChangeTheLibraryWaitForTheJobAndRecovery) {
    EXPECT_EQ(sidebarControls(false, false), (SidebarControls{true, true, true, true}));
    EXPECT_EQ(sidebarControls(true, false), (SidebarControls{false, false, false, false}));
    EXPECT_EQ(sidebarControls(false, true), (SidebarControls{false, false, false, false}));
}

TEST(SidebarLogic, NamesAreDrawnOnOneLine) {
    EXPECT_EQ(singleLine(QStringLiteral("Spring launch")), QStringLiteral("Spring launch"));
    // Each run of breaks and control characters is one space; other text stays as it is.
    EXPECT_EQ(singleLine(QStringLiteral("第一行\n第二行")), QStringLiteral("第一行 第二行"));
    EXPECT_EQ(singleLine(QStringLiteral("a\r\n\tb\x0b\x0c"
                                        "c")),
              QStringLiteral("a b c"));
    EXPECT_EQ(singleLine(QString::fromUtf8("a\u2028b\u2029c\u0085d\x7f"
                                           "e")),
              QStringLiteral("a b c d e"));
    EXPECT_EQ(singleLine(QStringLiteral("\n\nlead")), QStringLiteral(" lead"));
    const QString kept = QString::fromUtf8("A & B \U0001F468\u200D\U0001F469 e\u0301");
    EXPECT_EQ(singleLine(kept), kept);
    EXPECT_EQ(singleLine(QString()), QString());
}
