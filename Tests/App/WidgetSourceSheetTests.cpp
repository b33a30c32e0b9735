// The sources sheet: rows, switches, and what busy and recovery mode turn off.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>

#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Sources/SourceSettingsSheet.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using namespace sorvik::app;

namespace {

QStringList labels(const QWidget& widget) {
    QStringList texts;
    for (const QLabel* label : widget.findChildren<QLabel*>()) {
        if (label->isVisibleTo(&widget)) texts << label->text();
    }
    return texts;
}

}  // namespace

TEST(SourceSheet, ListsSourcesWithTheirErrorsAndSwitchesWriteAtOnce) {
    TempDir library, a, parent;
    const fs::path b = parent / "gone";
    {
        WorkspaceState state;
        SourceFolder first = SourceFolder::make(a.path());
        SourceFolder second = SourceFolder::make(b);

        state.sources = {first, second};
        Repository(library.path()).saveWorkspace(state);
    }
    StoreHarness h(library.path());
    h.settle();  // the start-up scan of a library with sources
    ASSERT_FALSE(h.store().isBusy());
    h.preferences().setLanguage("zh-Hans");
    bool dismissed = false;
    SourceSettingsSheet sheet(h.store(), [&] { dismissed = true; });
    sheet.show();
    QApplication::processEvents();
    EXPECT_EQ(sheet.size(), QSize(600, 690));
    EXPECT_TRUE(labels(sheet).contains(QString::fromStdString(b.filename().string())));
    // The scan recorded the missing folder's error on its row.
    ASSERT_TRUE(h.store().workspace().sources[1].lastError);
    EXPECT_EQ(*h.store().workspace().sources[1].lastError,
              "cannot read \"" + b.string() + "\": " + std::generic_category().message(ENOENT));
    EXPECT_TRUE(labels(sheet).contains(QString::fromStdString("无法读取“" + b.string() + "”：文件或文件夹不存在")));
    // No archive folder: "选择归档位置", the automatic box off and disabled, no archive-now row.
    EXPECT_EQ(sheet.archiveLocationButton()->text(), QString::fromUtf8("选择归档位置"));
    EXPECT_FALSE(sheet.automaticArchiveBox()->isEnabled());
    EXPECT_FALSE(sheet.archiveNowButton()->isVisibleTo(&sheet));
    // A switch writes and saves at once.
    const auto switches = sheet.findChildren<ToggleSwitch*>();
    ASSERT_EQ(switches.size(), 2);
    switches[0]->click();
    EXPECT_FALSE(h.store().workspace().sources[0].enabled);
    EXPECT_FALSE(Repository(library.path()).loadWorkspace().sources[0].enabled);
    sheet.automaticScanBox()->click();
    EXPECT_FALSE(Repository(library.path()).loadWorkspace().automaticScan);
    sheet.doneButton()->click();
    EXPECT_TRUE(dismissed);
}

TEST(SourceSheet, BusyTurnsOffEverythingButDoneAndShowsTheActivity) {
    TempDir library, a;
    StoreHarness h(library.path());
    h.preferences().setLanguage("zh-Hans");
    SourceSettingsSheet sheet(h.store(), [] {});
    sheet.show();
    EXPECT_TRUE(labels(sheet).contains(QString::fromUtf8("还没有连接的文件夹")));
    h.store().connectFolders({a.path()});
    ASSERT_TRUE(h.store().isBusy());
    QApplication::processEvents();
    EXPECT_FALSE(sheet.addFolderButton()->isEnabled());
    EXPECT_FALSE(sheet.archiveLocationButton()->isEnabled());
    EXPECT_FALSE(sheet.automaticScanBox()->isEnabled());
    EXPECT_TRUE(sheet.doneButton()->isEnabled());
    EXPECT_TRUE(labels(sheet).contains(QString::fromUtf8("正在连接来源文件夹…")));
    for (ToggleSwitch* toggle : sheet.findChildren<ToggleSwitch*>()) EXPECT_FALSE(toggle->isEnabled());
    h.settle();
    QApplication::processEvents();
    EXPECT_TRUE(sheet.addFolderButton()->isEnabled());
}

TEST(SourceSheet, RecoveryModeTurnsOffConnectingAndArchiving) {
    TempDir library;
    writeFile(library / "workspace.json", "{");
    StoreHarness h(library.path());
    ASSERT_TRUE(h.store().recoveryMode());
    SourceSettingsSheet sheet(h.store(), [] {});
    EXPECT_FALSE(sheet.addFolderButton()->isEnabled());
    EXPECT_FALSE(sheet.archiveLocationButton()->isEnabled());
    EXPECT_TRUE(sheet.doneButton()->isEnabled());
}
