// The delivery views on the offscreen platform: the warning sheet's confirmation opens the chooser
// only after the sheet is gone, Save of the rename and rules sheets waits for an idle store, and
// the workspace's controls follow busy and recovery mode.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/SheetDialog.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Window/ContentView.hpp"
#include "Sorvik/Views/Delivery/DeliveryLists.hpp"
#include "Sorvik/Views/Delivery/Logic/DeliveryModel.hpp"
#include "Sorvik/Views/Kit/DeliveryParts.hpp"
#include "Sorvik/Views/Delivery/DeliverySheets.hpp"
#include "Sorvik/Views/Delivery/DeliveryView.hpp"
#include "Sorvik/Views/Delivery/FileCard.hpp"
#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"
#include "Sorvik/Views/Delivery/TemplateSheet.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

namespace {

/// A library with one delivery of two identical attachments: a warning ("duplicates"), no error.
struct DeliveryLibrary {
    TempDir library;
    UUID id;

    DeliveryLibrary() {
        Delivery d(UUID::make(), "Spring", {}, DeliveryTemplate::flexible());
        d.files = {DeliveryFile(UUID::make(), "a.bin", "files/a.bin", FileRole::extra, 4, "aa"),
                   DeliveryFile(UUID::make(), "b.bin", "files/b.bin", FileRole::extra, 4, "aa")};
        id = d.id;
        Repository(library.path()).saveWorkspace(WorkspaceState({d}));
    }
};

/// The main window on that library, its delivery selected.
struct Window {
    DeliveryLibrary library;
    StoreHarness harness{library.library.path()};
    ContentView view{harness.store()};

    Window() {
        view.resize(1180, 800);
        view.show();
        harness.store().select(library.id);
    }
    AppStore& store() { return harness.store(); }
    FakePlatform& platform() { return harness.platform(); }
};

void settleEvents() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

/// Starts a job the harness holds: the store stays busy until it is released.
void makeBusy(StoreHarness& h, const TempDir& source) {
    h.store().connectFolders({source.path()});
    ASSERT_TRUE(h.store().isBusy());
}

QPoint rowPoint(RowListView* list, int row, bool right) {
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    return QPoint(right ? rect.right() - 8 : rect.left() + 40, rect.center().y());
}

}  // namespace

TEST(WarningSheet, ConfirmOpensTheChooserOnlyAfterTheSheetIsGone) {
    Window w;
    AppStore& store = w.store();
    ContentView& view = w.view;
    ASSERT_FALSE(store.issues().empty());
    ASSERT_FALSE(store.hasErrors());
    store.exportCommand();
    ASSERT_NE(view.warningDialog(), nullptr);
    EXPECT_TRUE(view.warningDialog()->isVisible());
    auto* sheet = qobject_cast<WarningSheet*>(view.warningDialog()->content());
    ASSERT_NE(sheet, nullptr);
    bool sheetGone = false;
    w.platform().whileChoosing = [&] { sheetGone = !view.warningDialog() || !view.warningDialog()->isVisible(); };
    sheet->confirmButton()->click();
    // The chooser waits for the next turn of the event loop.
    EXPECT_FALSE(store.showWarnings());
    EXPECT_TRUE(w.platform().requests.empty());
    settleEvents();
    ASSERT_EQ(w.platform().requests.size(), 1u);
    EXPECT_TRUE(sheetGone);
    EXPECT_EQ(w.platform().requests[0].prompt, L("导出到这里"));
}

TEST(WarningSheet, BackAndEscapeCloseItWithoutExporting) {
    Window w;
    AppStore& store = w.store();
    ContentView& view = w.view;
    store.exportCommand();
    ASSERT_TRUE(view.warningDialog());
    QTest::keyClick(view.warningDialog(), Qt::Key_Escape);
    settleEvents();
    EXPECT_FALSE(store.showWarnings());
    EXPECT_FALSE(view.warningDialog());
    store.exportCommand();
    ASSERT_TRUE(view.warningDialog());
    auto* sheet = qobject_cast<WarningSheet*>(view.warningDialog()->content());
    // "返回检查" is the other button of the row.
    for (auto* button : sheet->findChildren<StyledButton*>()) {
        if (button != sheet->confirmButton()) button->click();
    }
    settleEvents();
    EXPECT_FALSE(store.showWarnings());
    EXPECT_TRUE(w.platform().requests.empty());
}

TEST(RenameSheet, SaveAndReturnWaitForAnIdleStoreAndKeepWhatWasTyped) {
    Window w;
    TempDir source;
    StoreHarness& h = w.harness;
    AppStore& store = w.store();
    ContentView& view = w.view;
    store.setSheet(AppSheet::rename());
    auto* sheet = qobject_cast<RenameSheet*>(view.sheetDialog()->content());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->field()->text(), QStringLiteral("Spring"));
    sheet->field()->setText(QStringLiteral(" \n "));
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
    sheet->field()->setText(QStringLiteral("  Autumn walk  "));
    EXPECT_TRUE(sheet->saveButton()->isEnabled());
    makeBusy(h, source);
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
    QTest::keyClick(sheet->field(), Qt::Key_Return);
    EXPECT_EQ(store.selected()->name, "Spring");
    EXPECT_EQ(store.sheet(), AppSheet::rename());
    ASSERT_TRUE(h.settle());
    // The scan replaced the project list; the sheet still holds the typed name.
    EXPECT_EQ(sheet->field()->text(), QStringLiteral("  Autumn walk  "));
    ASSERT_TRUE(sheet->saveButton()->isEnabled());
    QTest::keyClick(sheet->field(), Qt::Key_Return);
    EXPECT_EQ(store.selected()->name, "Autumn walk");
    EXPECT_FALSE(store.sheet());
}

TEST(RenameSheet, SavedUneditedALongNameStaysWhole) {
    Window w;
    AppStore& store = w.store();
    const std::string stored = " " + std::string(40000, 'x') + " ";
    store.update(std::nullopt, [&](Delivery& d) { d.name = stored; });
    const Date stamped = store.selected()->updatedAt;
    store.setSheet(AppSheet::rename());
    auto* sheet = qobject_cast<RenameSheet*>(w.view.sheetDialog()->content());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->field()->text().size(), 40002);
    sheet->saveButton()->click();
    EXPECT_FALSE(store.sheet());
    EXPECT_EQ(store.selected()->name, stored);
    EXPECT_EQ(store.selected()->updatedAt, stamped);
}

TEST(TemplateSheet, SaveWaitsForValidFieldsAndAnIdleStoreThenStoresRulesAndPreset) {
    Window w;
    TempDir source;
    StoreHarness& h = w.harness;
    AppStore& store = w.store();
    ContentView& view = w.view;
    store.setSheet(AppSheet::templ());
    auto* sheet = qobject_cast<TemplateSheet*>(view.sheetDialog()->content());
    ASSERT_NE(sheet, nullptr);
    // Seeded from the delivery's flexible rules: no ratio chosen means "不限制".
    EXPECT_EQ(sheet->form().templ, DeliveryTemplate::flexible());
    EXPECT_EQ(sheet->ratioPicker()->currentIndex(), 0);
    EXPECT_TRUE(sheet->saveButton()->isEnabled());
    sheet->choose(DeliveryTemplate::video());
    EXPECT_TRUE(sheet->roleBox(FileRole::subtitle)->isChecked());
    EXPECT_EQ(sheet->ratioPicker()->currentIndex(), 1);
    EXPECT_EQ(sheet->limitField(2)->text(), QStringLiteral("1000"));
    // A negative limit, an unreadable one and a blank name each disable Save.
    sheet->limitField(1)->selectAll();
    QTest::keyClicks(sheet->limitField(1), QStringLiteral("-1"));
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
    sheet->limitField(1)->selectAll();
    QTest::keyClicks(sheet->limitField(1), QStringLiteral("1,000"));
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
    sheet->limitField(1)->selectAll();
    QTest::keyClicks(sheet->limitField(1), QStringLiteral("30"));
    EXPECT_TRUE(sheet->saveButton()->isEnabled());
    sheet->nameField()->setText(QString::fromUtf8("\u3000 \t"));
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
    sheet->nameField()->selectAll();
    QTest::keyClicks(sheet->nameField(), QStringLiteral("Mine"));
    EXPECT_TRUE(sheet->saveButton()->isEnabled());
    // Busy: off, and a click does nothing; the form stays as typed.
    makeBusy(h, source);
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
    sheet->save();
    EXPECT_EQ(store.selected()->templ, DeliveryTemplate::flexible());
    ASSERT_TRUE(h.settle());
    EXPECT_EQ(sheet->form().templ.name, "Mine");
    sheet->presetToggle()->setChecked(true);
    sheet->saveButton()->click();
    DeliveryTemplate expected = DeliveryTemplate::video();
    expected.name = "Mine";
    expected.maxTitleCharacters = 30;
    EXPECT_EQ(store.selected()->templ, expected);
    ASSERT_EQ(store.presets().size(), 1u);
    EXPECT_EQ(store.presets()[0].templ, expected);
    EXPECT_FALSE(store.sheet());
}

TEST(DeliveryView, ControlsThatWouldDoNothingAreOffWhileBusy) {
    TempDir library, source;
    StoreHarness h(library.path());
    AppStore& store = h.store();
    store.newDelivery();
    store.setSheet(std::nullopt);
    ThumbnailLoader loader;
    DeliveryView view(store, loader);
    view.resize(980, 660);
    view.show();
    settleEvents();
    // An empty delivery: "empty" is its one check, with "添加文件"; four empty cards.
    ASSERT_EQ(view.checksModel()->rowCount(), 1);
    EXPECT_FALSE(view.exportButton()->isEnabled());
    EXPECT_FALSE(view.filesToggle()->isVisible());
    EXPECT_EQ(view.card(0)->look().symbol, "circle.dashed");
    EXPECT_TRUE(view.card(0)->isEnabled());
    makeBusy(h, source);
    EXPECT_FALSE(view.card(0)->isEnabled());
    EXPECT_FALSE(view.nameButton()->isEnabled());
    EXPECT_FALSE(view.rulesButton()->isEnabled());
    QTest::mouseClick(view.checkList()->viewport(), Qt::LeftButton, {}, rowPoint(view.checkList(), 0, true));
    QTest::mouseClick(view.card(1), Qt::LeftButton);
    EXPECT_TRUE(h.platform().requests.empty());
    ASSERT_TRUE(h.settle());
    // Idle again: the same click asks for files.
    QTest::mouseClick(view.checkList()->viewport(), Qt::LeftButton, {}, rowPoint(view.checkList(), 0, true));
    ASSERT_EQ(h.platform().requests.size(), 1u);
    EXPECT_EQ(h.platform().requests[0].kind, ChooserRequest::Kind::files);
}

TEST(DeliveryView, UndoWaitsForAnIdleStoreAndFilesOpenAndChangeThroughTheirRows) {
    DeliveryLibrary f;
    TempDir source;
    StoreHarness h(f.library.path());
    AppStore& store = h.store();
    store.select(f.id);
    ThumbnailLoader loader;
    DeliveryView view(store, loader);
    view.resize(980, 660);
    view.show();
    view.filesToggle()->click();
    settleEvents();
    ASSERT_EQ(view.filesModel()->rowCount(), 2);
    ASSERT_TRUE(view.fileList()->isVisible());
    // The name opens the file's sheet.
    QTest::mouseClick(view.fileList()->viewport(), Qt::LeftButton, {}, rowPoint(view.fileList(), 1, false));
    const UUID second = *view.filesModel()->fileID(1);
    EXPECT_EQ(store.sheet(), AppSheet::file(second));
    store.setSheet(std::nullopt);
    // The menu offers every role, the current one included, then removal.
    std::unique_ptr<QMenu> menu(view.makeFileMenu(second));
    const auto actions = menu->actions();
    ASSERT_EQ(actions.size(), 7);
    EXPECT_EQ(actions[4]->text(), Lq("设为{0}", L("附件")));
    actions[1]->trigger();
    EXPECT_EQ(store.selected()->files[1].role, FileRole::cover);
    actions[6]->trigger();
    EXPECT_EQ(store.selected()->files.size(), 1u);
    EXPECT_TRUE(store.canUndo());
    EXPECT_TRUE(view.undoButton()->isVisible());
    EXPECT_TRUE(view.undoButton()->isEnabled());
    makeBusy(h, source);
    EXPECT_FALSE(view.undoButton()->isEnabled());
    std::unique_ptr<QMenu> busyMenu(view.makeFileMenu(store.selected()->files[0].id));
    for (QAction* action : busyMenu->actions()) EXPECT_FALSE(action->isEnabled() && !action->isSeparator());
    ASSERT_TRUE(h.settle());
}

TEST(DeliveryView, RecoveryModeTurnsOffExportAddingAndRemovingButNotOpening) {
    TempDir library;
    Delivery d(UUID::make(), "Kept", {}, DeliveryTemplate::flexible());
    d.files = {DeliveryFile(UUID::make(), "a.bin", "files/a.bin", FileRole::extra, 4, "")};
    Repository(library.path()).saveWorkspace(WorkspaceState({d}));
    writeFile(library / "templates.json", "{ not json");
    StoreHarness h(library.path());
    AppStore& store = h.store();
    ASSERT_TRUE(store.recoveryMode());
    store.select(d.id);
    ThumbnailLoader loader;
    DeliveryView view(store, loader);
    view.show();
    EXPECT_TRUE(store.canExport());  // the menu's rule alone
    EXPECT_FALSE(view.exportButton()->isEnabled());
    EXPECT_FALSE(view.card(0)->isEnabled());  // empty: it would add files
    std::unique_ptr<QMenu> menu(view.makeFileMenu(d.files[0].id));
    EXPECT_FALSE(menu->actions().back()->isEnabled());
    EXPECT_TRUE(view.nameButton()->isEnabled());
}

TEST(DeliveryView, TheFooterRevealsACurrentExportAndOffersTheHistoryOnceItIsStale) {
    DeliveryLibrary f;
    StoreHarness h(f.library.path());
    AppStore& store = h.store();
    store.select(f.id);
    ThumbnailLoader loader;
    DeliveryView view(store, loader);
    view.resize(980, 660);
    view.show();
    EXPECT_FALSE(view.revealButton()->isVisible());
    EXPECT_FALSE(view.historyButton()->isVisible());
    const std::string signature = DeliveryExporter::signature(*store.selected());
    store.update(std::nullopt,
                 [&](Delivery& d) { d.exports.push_back(ExportReceipt::make(Date{1}, "/out/Spring", 2, signature)); });
    EXPECT_TRUE(view.revealButton()->isVisible());
    EXPECT_EQ(view.statusTitle()->text(), Lq("这一份，已经交齐。"));
    view.revealButton()->click();
    ASSERT_EQ(h.platform().revealed.size(), 1u);
    EXPECT_EQ(h.platform().revealed[0], fs::path("/out/Spring"));
    store.update(std::nullopt, [](Delivery& d) { d.name = "Spring 2"; });
    EXPECT_FALSE(view.revealButton()->isVisible());
    EXPECT_TRUE(view.historyButton()->isVisible());
    view.historyButton()->click();
    EXPECT_EQ(store.sheet(), AppSheet::history());
}

TEST(DeliveryView, OnAScreenTooShortForTheSheetItsListGivesWayAndTheExportButtonStaysInView) {
    Window w;
    w.view.move(1930, 0);  // the test screen "Small", 577 high
    settleEvents();
    w.store().setSheet(AppSheet::delivery());
    settleEvents();
    SheetDialog* dialog = w.view.sheetDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->scrollFrame(), nullptr);
    EXPECT_LE(dialog->height(), 577);
    EXPECT_EQ(dialog->width(), 980);
    auto* view = dialog->findChild<DeliveryView*>();
    ASSERT_NE(view, nullptr);
    StyledButton* button = view->exportButton();
    const QRect inDialog(button->mapTo(dialog, QPoint(0, 0)), button->size());
    EXPECT_TRUE(button->isVisible());
    EXPECT_TRUE(dialog->rect().contains(inDialog));
}
