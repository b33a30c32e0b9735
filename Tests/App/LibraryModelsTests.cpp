// The item models of the project page and the inbox: Qt's model checks while rows are replaced,
// changed in place and reset.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "App/Support/LibrarySupport.hpp"
#include "Support/TestSupport.hpp"
#include "Sorvik/Views/Inbox/Logic/InboxModel.hpp"
#include "Sorvik/Views/Project/Logic/ProjectAssetsModel.hpp"

using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

namespace {

AssetCardItem card(const std::string& name) { return assetCardItem(originalAt("/o/" + name, 2000), nullptr, "en"); }

InboxRowItem row(const std::string& name) {
    InboxRowItem item;
    item.file = originalAt("/o/" + name);
    item.reason = "暂时没有足够的项目线索";
    item.path = "/o/" + name;
    return item;
}

}  // namespace

TEST(LibraryModels, TheAssetsModelChangesRowsInPlaceAndMovesThemByFile) {
    ProjectAssetsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    std::vector<AssetCardItem> items{card("a.png"), card("b.mov"), card("c.txt")};
    model.setItems(items);
    EXPECT_EQ(model.rowCount(), 3);
    // The first rows arrive as rows too.
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(model.data(model.index(1)).toString(), "b.mov");
    EXPECT_EQ(model.data(model.index(1), ProjectAssetsModel::FileIDRole).toString().toStdString(),
              items[1].file.id.string());
    EXPECT_EQ(model.rowOf(items[2].file.id), 2);
    EXPECT_EQ(model.rowOf(UUID::make()), -1);
    EXPECT_FALSE(model.index(0).flags() & Qt::ItemIsEditable);

    // The same files in the same order: only the changed row is reported.
    items[1].file.bytes = 5;
    items[1].texts = assetCardTexts(items[1].file, "en");
    model.setItems(items);
    EXPECT_EQ(resets.count(), 0);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].toModelIndex().row(), 1);
    EXPECT_EQ(changes[0][1].toModelIndex().row(), 1);
    model.setItems(items);
    EXPECT_EQ(changes.count(), 1);

    // A new order moves the rows: an index held by a view follows its file.
    QSignalSpy layouts(&model, &QAbstractItemModel::layoutChanged);
    const QPersistentModelIndex held(model.index(0));
    std::swap(items[0], items[2]);
    model.setItems(items);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(layouts.count(), 1);
    EXPECT_EQ(held.row(), 2);
    EXPECT_EQ(model.item(0).file.name, "c.txt");
    model.setItems({});
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(held.isValid());
}

TEST(LibraryModels, RowsArriveAndLeaveInPlaceUnlessTheChangeIsScattered) {
    ProjectAssetsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<AssetCardItem> items;
    for (int i = 0; i < 100; ++i) items.push_back(card("f" + std::to_string(i) + ".png"));
    model.setItems(items);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    const QPersistentModelIndex held(model.index(50));

    // One file leaves and two arrive, one of them in place of a changed file.
    std::vector<AssetCardItem> next = items;
    next.erase(next.begin() + 10);
    next.insert(next.begin() + 30, card("new.png"));
    next.push_back(card("last.png"));
    next[60].file.bytes = 9;
    model.setItems(next);
    EXPECT_EQ(resets.count(), 0);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed[0][1].toInt(), 10);
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted[0][1].toInt(), 30);
    EXPECT_EQ(inserted[1][1].toInt(), 100);
    EXPECT_EQ(model.items(), next);
    EXPECT_EQ(held.row(), 50);
    EXPECT_EQ(model.item(held.row()).file.id, items[50].file.id);

    // Every other file leaving (a search narrowing) resets instead of sending fifty removals.
    std::vector<AssetCardItem> half;
    for (std::size_t i = 0; i < next.size(); i += 2) half.push_back(next[i]);
    model.setItems(half);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(model.items(), half);
}

TEST(LibraryModels, TheInboxModelKeepsRowsByAssetAndShowsNames) {
    InboxModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    std::vector<InboxRowItem> rows{row("a.png"), row("b.png")};
    model.setRows(rows);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.data(model.index(0)).toString(), "a.png");
    EXPECT_EQ(model.data(model.index(0), Qt::ToolTipRole).toString(), "/o/a.png");
    rows[0].reason = "已从项目解除关联";
    model.setRows(rows);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(model.row(0).reason, "已从项目解除关联");
    rows.pop_back();
    model.setRows(rows);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(model.rowCount(), 1);
}
