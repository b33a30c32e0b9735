// The item models of the project page and the inbox: Qt's model checks while rows are replaced,
// changed in place and reset.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "App/Support/LibrarySupport.hpp"
#include "Support/TestSupport.hpp"
#include "Sorvik/Views/InboxModel.hpp"
#include "Sorvik/Views/ProjectAssetsModel.hpp"

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

TEST(LibraryModels, TheAssetsModelChangesRowsInPlaceAndResetsForOtherFiles) {
    ProjectAssetsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    std::vector<AssetCardItem> items{card("a.png"), card("b.mov"), card("c.txt")};
    model.setItems(items);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(resets.count(), 1);
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
    EXPECT_EQ(resets.count(), 1);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].toModelIndex().row(), 1);
    EXPECT_EQ(changes[0][1].toModelIndex().row(), 1);
    model.setItems(items);
    EXPECT_EQ(changes.count(), 1);

    std::swap(items[0], items[2]);
    model.setItems(items);
    EXPECT_EQ(resets.count(), 2);
    model.setItems({});
    EXPECT_EQ(model.rowCount(), 0);
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
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(model.row(0).reason, "已从项目解除关联");
    rows.pop_back();
    model.setRows(rows);
    EXPECT_EQ(resets.count(), 2);
    EXPECT_EQ(model.rowCount(), 1);
}
