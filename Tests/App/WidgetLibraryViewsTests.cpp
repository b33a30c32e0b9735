// The window's drop target, the project page, the inbox and the name and aliases sheet on the
// offscreen platform, over a store on a real library.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>

#include "App/Support/LibrarySupport.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Window/ContentView.hpp"
#include "Sorvik/Views/Inbox/InboxView.hpp"
#include "Sorvik/Views/Project/ProjectAssetGrid.hpp"
#include "Sorvik/Views/Project/ProjectDetailView.hpp"
#include "Sorvik/Views/Project/Logic/ProjectRulesLogic.hpp"
#include "Sorvik/Views/Project/ProjectRulesSheet.hpp"
#include "Sorvik/Views/Kit/SegmentedPicker.hpp"
#include "Sorvik/Views/Window/WindowDropTarget.hpp"
#include "SorvikCore/Localization.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

namespace {

/// A main window's content over a harnessed store.
struct Window {
    std::unique_ptr<StoreHarness> harness;
    std::unique_ptr<ContentView> content;

    explicit Window(const fs::path& library, const char* language = "en") {
        harness = std::make_unique<StoreHarness>(library);
        harness->preferences().setLanguage(language);
        content = std::make_unique<ContentView>(harness->store());
        content->resize(1180, 800);
        content->show();
        QApplication::processEvents();
    }
    ~Window() {
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

std::unique_ptr<QMimeData> uriList(const std::vector<fs::path>& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const fs::path& path : paths) urls << QUrl::fromLocalFile(QString::fromStdString(path.string()));
    data->setUrls(urls);
    return data;
}

/// Drags the data over the window and drops it; whether the drop was accepted.
bool dragAndDrop(ContentView& target, const QMimeData& data, Qt::DropActions offered, bool* overlayShown = nullptr) {
    const QPoint point(600, 400);
    QDragEnterEvent enter(point, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    if (enter.isAccepted()) {
        QDragMoveEvent move(point, offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&target, &move);
    }
    if (overlayShown) *overlayShown = target.dropTarget()->overlay()->isVisible();
    QDropEvent drop(QPointF(point), offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &drop);
    EXPECT_FALSE(target.dropTarget()->overlay()->isVisible());
    return drop.isAccepted() && drop.dropAction() != Qt::MoveAction;
}

QStringList titles(const QMenu& menu) {
    QStringList out;
    for (QAction* action : menu.actions()) out << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return out;
}

QAction* actionTitled(const QMenu& menu, const QString& title) {
    for (QAction* action : menu.actions()) {
        if (action->text() == title) return action;
    }
    return nullptr;
}

}  // namespace

TEST(WindowDrop, FilesDroppedOnTheWindowAreLinkedOnceWhenIdle) {
    TempDir library, originals;
    writeFile(originals / "one.txt", "one");
    writeFile(originals / "two.txt", "two");
    Window w(library.path());
    const auto data = uriList({originals / "one.txt", originals / "two.txt"});
    bool overlay = false;
    // A drag offering to move is answered with copy: originals stay where they are.
    ASSERT_TRUE(dragAndDrop(*w.content, *data, Qt::MoveAction | Qt::CopyAction, &overlay));
    EXPECT_TRUE(overlay);
    EXPECT_TRUE(w.store().isBusy());
    EXPECT_EQ(w.store().activity(), "正在读取与检查文件…");
    EXPECT_EQ(w.harness->jobs().pending(), 1u);
    ASSERT_TRUE(w.harness->settle());
    EXPECT_EQ(w.store().workspace().assets.size(), 2u);
    EXPECT_EQ(w.store().notice(), "已连接 0 个文件夹，关联 2 个文件，跳过 0 项。");

    // Only moving is offered, or nothing local is dragged: refused.
    EXPECT_FALSE(dragAndDrop(*w.content, *data, Qt::MoveAction));
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.com/a.png"))});
    EXPECT_FALSE(dragAndDrop(*w.content, web, Qt::CopyAction));
    EXPECT_FALSE(w.store().isBusy());
}

TEST(WindowDrop, ADropIsRefusedWhileBusyUnderASheetAndInRecovery) {
    TempDir library, originals, folder;
    writeFile(originals / "one.txt", "one");
    Window w(library.path());
    const auto data = uriList({originals / "one.txt"});
    w.store().connectFolders({folder.path()});
    ASSERT_EQ(w.harness->jobs().pending(), 1u);
    bool overlay = true;
    EXPECT_FALSE(dragAndDrop(*w.content, *data, Qt::CopyAction, &overlay));
    EXPECT_FALSE(overlay);
    EXPECT_EQ(w.harness->jobs().pending(), 1u);
    ASSERT_TRUE(w.harness->settle());

    w.store().setSheet(AppSheet::sources());
    QApplication::processEvents();
    EXPECT_FALSE(dragAndDrop(*w.content, *data, Qt::CopyAction));
    EXPECT_FALSE(w.store().isBusy());
    w.store().setSheet(std::nullopt);

    TempDir broken;
    writeFile(broken / "workspace.json", "{");
    Window recovery(broken.path());
    recovery.store().clearError();
    EXPECT_FALSE(dragAndDrop(*recovery.content, *data, Qt::CopyAction));
    EXPECT_FALSE(recovery.store().isBusy());
    EXPECT_TRUE(recovery.store().workspace().assets.empty());
}

TEST(ProjectPage, ListsTheProjectsFilesUnderTheFilterAndTheSearch) {
    TempDir library, originals;
    Delivery project = projectNamed("Harbor Launch");
    DeliveryFile text = originalAt(originals / "story.txt", 40);
    text.text = "Dawn over the harbor";
    std::vector<IndexedAsset> assets{indexedAsset(originalAt(originals / "cover.png"), project.id),
                                     indexedAsset(originalAt(originals / "cut.mov", 1234567), project.id),
                                     indexedAsset(text, project.id)};
    writeLibrary(library.path(), libraryOf({project}, assets));
    Window w(library.path());
    w.store().select(project.id);
    auto* page = w.page<ProjectDetailView>();
    ASSERT_NE(page, nullptr);
    ProjectAssetsModel* model = page->grid()->assets();
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->item(1).texts.sizeLine, "MOV · 1.2 MB");
    EXPECT_EQ(page->countsText(), "3 assets linked from 1 folder.");
    EXPECT_FALSE(page->showsEmptyState());
    EXPECT_GE(page->grid()->columnCount(), 3);

    w.store().setProjectFilter(FileFilter::videos);
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->item(0).file.name, "cut.mov");
    w.store().setProjectFilter(FileFilter::all);
    w.store().setSearch("HARBOR");
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->item(0).file.name, "story.txt");
    w.store().setSearch("no such words");
    EXPECT_TRUE(page->showsEmptyState());
    // The counts stay those of the whole project.
    EXPECT_EQ(page->countsText(), "3 assets linked from 1 folder.");
    w.store().setSearch("");
    EXPECT_EQ(model->rowCount(), 3);

    // Busy: the buttons that start work are off, the filter stays.
    TempDir folder;
    w.store().connectFolders({folder.path()});
    EXPECT_FALSE(page->rulesButton()->isEnabled());
    EXPECT_FALSE(page->deliveryButton()->isEnabled());
    EXPECT_FALSE(page->linkButton()->isEnabled());
    EXPECT_FALSE(page->findButton()->isEnabled());
    EXPECT_FALSE(page->menuButton()->isEnabled());
    EXPECT_TRUE(page->filterPicker()->isEnabled());
    ASSERT_TRUE(w.harness->settle());
    EXPECT_TRUE(page->rulesButton()->isEnabled());
}

TEST(ProjectPage, TheCardMenuActsOnTheFileItNamesAndChecksTheStoreAgain) {
    TempDir library, originals;
    Delivery project = projectNamed("Harbor Launch");
    IndexedAsset cover = indexedAsset(originalAt(originals / "cover.png"), project.id);
    IndexedAsset cut = indexedAsset(originalAt(originals / "cut.mov"), project.id);
    writeLibrary(library.path(), libraryOf({project}, {cover, cut}));
    Window w(library.path());
    w.store().select(project.id);
    auto* page = w.page<ProjectDetailView>();
    ASSERT_NE(page, nullptr);
    std::unique_ptr<QMenu> menu = page->grid()->makeMenu(cover.id());
    EXPECT_EQ(titles(*menu), (QStringList{"Copy asset reference for AI", "Reveal original file", "Open in default app",
                                          "Unlink from project"}));
    actionTitled(*menu, "Reveal original file")->trigger();
    ASSERT_EQ(w.harness->platform().revealed.size(), 1u);
    EXPECT_EQ(w.harness->platform().revealed[0], originals / "cover.png");
    actionTitled(*menu, "Copy asset reference for AI")->trigger();
    EXPECT_NE(w.harness->platform().clipboard.find(cover.id().string()), std::string::npos);

    // Made while idle, fired while busy: the unlink checks again and does nothing.
    TempDir folder;
    w.store().connectFolders({folder.path()});
    actionTitled(*menu, "Unlink from project")->trigger();
    EXPECT_EQ(w.store().selected()->files.size(), 2u);
    EXPECT_FALSE(page->grid()->makeMenu(cover.id())->actions().back()->isEnabled());
    ASSERT_TRUE(w.harness->settle());
    actionTitled(*menu, "Unlink from project")->trigger();
    EXPECT_EQ(w.store().selected()->files.size(), 1u);
    EXPECT_EQ(page->grid()->assets()->rowCount(), 1);
}

TEST(Inbox, RowsAssignAndEmptyStateFollowTheStore) {
    TempDir library, originals;
    Delivery harbor = projectNamed("Harbor & Sons");
    IndexedAsset waiting = indexedAsset(originalAt(originals / "waiting.png"));
    IndexedAsset other = indexedAsset(originalAt(originals / "other.txt"));
    writeLibrary(library.path(), libraryOf({harbor}, {waiting, other}));
    Window w(library.path());
    w.store().showInbox();
    auto* inbox = w.page<InboxView>();
    ASSERT_NE(inbox, nullptr);
    ASSERT_EQ(inbox->list()->rows()->rowCount(), 2);
    std::unique_ptr<QMenu> menu = inbox->list()->makeMenu(waiting.id());
    EXPECT_EQ(titles(*menu), (QStringList{"Harbor && Sons", "-", "Create project…"}));
    menu->actions().front()->trigger();
    ASSERT_TRUE(w.harness->settle());
    EXPECT_EQ(inbox->list()->rows()->rowCount(), 1);
    EXPECT_EQ(w.store().deliveries().front().files.size(), 1u);

    w.store().setSearch("nothing waits here");
    EXPECT_TRUE(inbox->showsEmptyState());
    w.store().setSearch("");
    EXPECT_FALSE(inbox->showsEmptyState());

    // Create project: selected, and its name and aliases sheet opens.
    inbox->list()->makeMenu(other.id())->actions().back()->trigger();
    EXPECT_EQ(w.store().sheet(), AppSheet::projectRules());
    ASSERT_TRUE(w.harness->settle());
    EXPECT_EQ(w.store().deliveries().size(), 2u);
    EXPECT_EQ(w.store().selected()->files.size(), 1u);
    QApplication::processEvents();
    ASSERT_NE(w.content->sheetDialog(), nullptr);
    EXPECT_NE(qobject_cast<ProjectRulesSheet*>(w.content->sheetDialog()->content()), nullptr);
}

TEST(ProjectRules, TheSheetOpensFilledAndSavesNameAndAliases) {
    TempDir library;
    Delivery project = projectNamed("Harbor");
    project.keywords = std::vector<std::string>{"港口"};
    Delivery untitled = projectNamed(L(InLanguage{"en"}, "未命名项目"));
    writeLibrary(library.path(), libraryOf({project, untitled}, {}));
    Window w(library.path());
    w.store().select(untitled.id);
    w.store().setSheet(AppSheet::projectRules());
    QApplication::processEvents();
    auto* sheet = qobject_cast<ProjectRulesSheet*>(w.content->sheetDialog()->content());
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->nameField()->text().isEmpty());
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
    sheet->cancelButton()->click();
    QApplication::processEvents();
    EXPECT_FALSE(w.store().sheet());

    w.store().select(project.id);
    w.store().setSheet(AppSheet::projectRules());
    QApplication::processEvents();
    sheet = qobject_cast<ProjectRulesSheet*>(w.content->sheetDialog()->content());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->nameField()->text(), "Harbor");
    EXPECT_EQ(sheet->aliasField()->text(), QString::fromUtf8("港口"));
    sheet->nameField()->setText("  Harbor Launch ");
    sheet->aliasField()->setText(QString::fromUtf8("港口，Harbour, "));
    ASSERT_TRUE(sheet->saveButton()->isEnabled());
    sheet->saveButton()->click();
    QApplication::processEvents();
    EXPECT_FALSE(w.store().sheet());
    EXPECT_EQ(w.store().selected()->name, "Harbor Launch");
    EXPECT_EQ(*w.store().selected()->keywords, (std::vector<std::string>{"港口", "Harbour"}));
    ASSERT_TRUE(w.harness->settle());
    EXPECT_EQ(Repository(library.path()).loadWorkspace().projects.front().name, "Harbor Launch");
}

TEST(ProjectRules, SavingTheSheetUneditedChangesNothingHoweverLongTheFields) {
    // 20,000 aliases: far beyond a line field's usual 32,767 characters.
    TempDir library;
    Delivery project = projectNamed(std::string(90, 'N') + " \n");
    project.keywords.emplace();
    for (int i = 0; i < 20000; ++i) project.keywords->push_back("alias" + std::to_string(i));
    project.keywords->push_back("a, with a comma");
    writeLibrary(library.path(), libraryOf({project}, {}));
    Window w(library.path());
    w.store().select(project.id);
    const Delivery before = *w.store().selected();
    w.store().setSheet(AppSheet::projectRules());
    QApplication::processEvents();
    auto* sheet = qobject_cast<ProjectRulesSheet*>(w.content->sheetDialog()->content());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->aliasField()->text(), prefillAliases(&before));
    EXPECT_GT(sheet->aliasField()->text().size(), 200000);
    ASSERT_TRUE(sheet->saveButton()->isEnabled());
    sheet->saveButton()->click();
    QApplication::processEvents();
    EXPECT_FALSE(w.store().sheet());
    ASSERT_TRUE(w.harness->settle());
    EXPECT_EQ(w.store().selected()->keywords, before.keywords);
    EXPECT_EQ(w.store().selected()->name, before.name);
    EXPECT_EQ(w.store().selected()->updatedAt, before.updatedAt);

    // Only the field edited is written: the long name stays whole beside new aliases.
    w.store().setSheet(AppSheet::projectRules());
    QApplication::processEvents();
    sheet = qobject_cast<ProjectRulesSheet*>(w.content->sheetDialog()->content());
    ASSERT_NE(sheet, nullptr);
    sheet->aliasField()->setText(QStringLiteral("one, two"));
    sheet->saveButton()->click();
    QApplication::processEvents();
    EXPECT_EQ(w.store().selected()->name, before.name);
    EXPECT_EQ(*w.store().selected()->keywords, (std::vector<std::string>{"one", "two"}));
}
