// The inbox's rows and its assign menu, read from a store on a real library.
#include <gtest/gtest.h>

#include "App/Support/LibrarySupport.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Inbox/Logic/InboxLogic.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

namespace {

std::vector<std::string> rowNames(const AppStore& store) {
    std::vector<std::string> names;
    for (const InboxRowItem& row : inboxRows(store)) names.push_back(row.file.name);
    return names;
}

}  // namespace

TEST(InboxLogic, RowsAreTheWaitingAssetsTheSearchFindsInIndexOrder) {
    TempDir library;
    Delivery project = projectNamed("Harbor");
    IndexedAsset assigned = indexedAsset(originalAt("/o/assigned.png"), project.id);
    IndexedAsset second = indexedAsset(originalAt("/o/b-second.png"));
    second.recognizedText = "SUMMER SALE";
    IndexedAsset missing = indexedAsset(originalAt("/o/missing.png"));
    missing.isMissing = true;
    IndexedAsset first = indexedAsset(originalAt("/o/a-first.txt"));
    first.file.text = std::string(100, 'x');
    IndexedAsset inLibrary =
        indexedAsset(DeliveryFile(UUID::make(), "kept.txt", "files/kept.txt", FileRole::copy, 3, ""));
    writeLibrary(library.path(), libraryOf({project}, {assigned, second, missing, first, inLibrary}));
    StoreHarness h(library.path());
    auto& store = h.store();
    EXPECT_EQ(rowNames(store), (std::vector<std::string>{"b-second.png", "a-first.txt", "kept.txt"}));
    const std::vector<InboxRowItem> rows = inboxRows(store);
    EXPECT_EQ(rows[0].path, "/o/b-second.png");
    EXPECT_EQ(rows[0].reason, "暂时没有足够的项目线索");
    EXPECT_EQ(rows[0].location, fs::path("/o/b-second.png"));
    // Rows keep no long texts; a file without reference has an empty path line.
    EXPECT_FALSE(rows[1].file.text);
    EXPECT_TRUE(rows[2].path.empty());
    EXPECT_EQ(rows[2].location, fs::path(library.path() / "files/kept.txt"));

    store.setSearch("summer");
    EXPECT_EQ(rowNames(store), (std::vector<std::string>{"b-second.png"}));
    store.setSearch("nothing like it");
    EXPECT_TRUE(rowNames(store).empty());
    store.setSearch("");
    EXPECT_EQ(rowNames(store).size(), 3u);
}

TEST(InboxLogic, TheMenuListsEveryProjectInOrderThenCreatesOne) {
    std::vector<InboxMenuEntry> menu = inboxMenu({});
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[0].kind, InboxMenuEntry::Kind::divider);
    EXPECT_EQ(menu[1].kind, InboxMenuEntry::Kind::createProject);
    EXPECT_EQ(menu[1].title, "建立新项目…");
    const Delivery a = projectNamed("Twin"), b = projectNamed("Twin"), c = projectNamed("Alpha");
    menu = inboxMenu({a, b, c});
    ASSERT_EQ(menu.size(), 5u);
    EXPECT_EQ(menu[0].projectID, a.id);
    EXPECT_EQ(menu[1].projectID, b.id);
    EXPECT_EQ(menu[1].title, "Twin");
    EXPECT_EQ(menu[2].title, "Alpha");
    EXPECT_TRUE(inboxMenuEnabled(false, false));
    EXPECT_FALSE(inboxMenuEnabled(true, false));
    EXPECT_FALSE(inboxMenuEnabled(false, true));
    // Names are shown as stored, never as mnemonics or shortcuts.
    EXPECT_EQ(menuItemText("R&D\tcut\nA"), "R&&D cut A");
}

TEST(InboxLogic, TheRowKeepsItsPartsApartAtAnyWidth) {
    const InboxRowGeometry g = inboxRowGeometry(700);
    EXPECT_EQ(g.row.height(), 98);
    EXPECT_EQ(g.thumbnail, QRectF(14, 14, 90, 70));
    EXPECT_EQ(g.menu.width(), 125);
    EXPECT_EQ(g.menu.right(), 686);
    EXPECT_EQ(g.name.left(), 120);
    EXPECT_LE(g.name.right(), g.menu.left() - 16);
    EXPECT_LE(g.path.bottom(), g.row.bottom());
    const InboxRowGeometry narrow = inboxRowGeometry(200);
    EXPECT_GE(narrow.name.width(), 0);
}
