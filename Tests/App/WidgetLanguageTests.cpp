// A language switch reaches every page, sheet and window at once: after switching to English no
// interface text is left in Chinese, and switching back gives the very texts shown before. Platform
// errors, such as a missing source, read in the interface language.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QThreadPool>

#include "App/Support/LibraryFixtures.hpp"
#include "App/Support/ProjectLibrary.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Window/ContentView.hpp"
#include "Sorvik/Views/Settings/SettingsView.hpp"
#include "Sorvik/Views/Sources/SourceSettingsSheet.hpp"
#include "Sorvik/Views/Delivery/TemplateSheet.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

namespace {

bool hasHan(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF)) return true;
    }
    return false;
}

void addTexts(QStringList& out, const QAbstractItemModel& model) {
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole), int(Qt::AccessibleTextRole)})
            out << model.data(index, role).toString();
        for (int role = Qt::UserRole; role < Qt::UserRole + 32; ++role) {
            const QVariant value = model.data(index, role);
            if (value.typeId() == QMetaType::QString) out << value.toString();
        }
    }
}

/// Every text the widgets under `root` show or announce, in a fixed order.
QStringList shownTexts(QWidget* root) {
    QStringList out;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        if (!w->isVisible()) continue;
        if (w->isWindow()) out << w->windowTitle();
        out << w->toolTip() << w->accessibleName() << w->accessibleDescription();
        if (auto* label = qobject_cast<QLabel*>(w)) out << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w)) out << button->text();
        if (auto* field = qobject_cast<QLineEdit*>(w)) out << field->placeholderText() << field->text();
        if (auto* box = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
        if (auto* view = qobject_cast<QAbstractItemView*>(w); view && view->model()) addTexts(out, *view->model());
    }
    out.removeAll(QString());
    return out;
}

/// Runs what is posted, after the sheets' pictures (loaded on Qt's pool) have arrived: a picture
/// that arrives between two readings changes the texts shown.
void settle() {
    for (int i = 0; i < 4; ++i) {
        QThreadPool::globalInstance()->waitForDone();
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

/// A library of one project with a picture and a text, an inbox file, a source folder that has
/// gone and a saved preset; every name in it is Latin, so any Chinese shown is the interface's.
struct Library {
    TempDir library, originals, sources;
    fs::path missing = sources / "Beta Renders";
    UUID project;

    Library() {
        QImage picture(60, 80, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        picture.save(QString::fromStdString((originals / "cover.png").string()));
        writeFile(originals / "copy.txt", "Harbor\nA walk by the sea.");
        const std::vector<DeliveryFile> files = writeProjectLibrary(
            library.path(), {originals / "cover.png", originals / "copy.txt"}, DeliveryTemplate::graphic());
        const Repository repository(library.path());
        WorkspaceState state = repository.loadWorkspace();
        state.projects.at(0).name = "Harbor";
        project = state.projects.at(0).id;
        IndexedAsset loose = makeAsset(makeFile("loose.png", originals.path().string()));
        loose.reason = "文件名与目录尚无明确项目线索";
        state.assets.push_back(loose);
        fs::create_directories(missing);
        state.sources = {SourceFolder::make(missing)};
        repository.saveWorkspace(state);
        TemplatePreset preset{UUID::make(), DeliveryTemplate::video()};
        repository.savePresets({preset});
    }
};

struct Window {
    Library data;
    StoreHarness harness{data.library.path()};
    ContentView view{harness.store()};

    Window() {
        harness.settle();  // the start-up scan
        fs::remove_all(data.missing);
        harness.store().scanFolders(false);
        harness.settle();
        harness.preferences().setLanguage("zh-Hans");
        view.resize(1180, 800);
        view.show();
        settle();
    }
    AppStore& store() { return harness.store(); }

    QStringList texts() {
        QStringList out = shownTexts(&view);
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window != &view && window->isVisible()) out << shownTexts(window);
        return out;
    }

    /// Chinese, then English, then Chinese again: English shows no Chinese, and the second Chinese
    /// is the first.
    void expectSwitchesReachEverything(const char* scene) {
        SCOPED_TRACE(scene);
        settle();
        const QStringList chinese = texts();
        EXPECT_TRUE(std::any_of(chinese.begin(), chinese.end(), hasHan)) << "nothing shown in Chinese";
        harness.preferences().setLanguage("en");
        settle();
        for (const QString& text : texts()) {
            if (text != QStringLiteral("简体中文")) {
                EXPECT_FALSE(hasHan(text)) << text.toStdString();
            }
        }
        harness.preferences().setLanguage("zh-Hans");
        settle();
        EXPECT_EQ(texts(), chinese);
    }
};

}  // namespace

TEST(LanguageSwitch, ReachesEveryPage) {
    Window w;
    w.store().showProjects();
    w.expectSwitchesReachEverything("overview");
    w.store().showInbox();
    w.expectSwitchesReachEverything("inbox");
    w.store().select(w.data.project);
    w.expectSwitchesReachEverything("project page");
}

TEST(LanguageSwitch, ReachesEverySheet) {
    Window w;
    w.store().select(w.data.project);
    const UUID cover = w.store().selected()->files.at(0).id;
    const std::pair<const char*, AppSheet> sheets[] = {
        {"delivery", AppSheet::delivery()}, {"file", AppSheet::file(cover)},
        {"crop", AppSheet::crop(cover)},    {"rename", AppSheet::rename()},
        {"rules", AppSheet::templ()},       {"history", AppSheet::history()},
        {"sources", AppSheet::sources()},   {"project rules", AppSheet::projectRules()},
    };
    for (const auto& [name, sheet] : sheets) {
        w.store().setSheet(sheet);
        settle();
        ASSERT_NE(w.view.sheetDialog(), nullptr) << name;
        w.expectSwitchesReachEverything(name);
        w.store().setSheet(std::nullopt);
        settle();
    }
    w.store().setShowWarnings(true);
    w.expectSwitchesReachEverything("warnings");
}

TEST(LanguageSwitch, TheDeliverySheetsFrameFollowsTheLanguage) {
    Window w;
    w.store().select(w.data.project);
    w.store().setSheet(AppSheet::delivery());
    settle();
    ASSERT_NE(w.view.sheetDialog(), nullptr);
    const auto frameTexts = [&] { return shownTexts(w.view.sheetDialog()); };
    EXPECT_TRUE(frameTexts().contains(QString::fromUtf8("准备交付")));
    EXPECT_TRUE(frameTexts().contains(QString::fromUtf8("返回项目")));
    w.harness.preferences().setLanguage("en");
    settle();
    EXPECT_TRUE(frameTexts().contains(QStringLiteral("Prepare delivery")));
    EXPECT_TRUE(frameTexts().contains(QStringLiteral("Back to project")));
    EXPECT_FALSE(frameTexts().contains(QString::fromUtf8("准备交付")));
}

TEST(LanguageSwitch, ReachesTheSettingsWindow) {
    Window w;
    SettingsView settings(w.store(), [] {});
    settings.show();
    settle();
    const QStringList chinese = shownTexts(&settings);
    w.harness.preferences().setLanguage("en");
    settle();
    for (const QString& text : shownTexts(&settings)) {
        if (text != QStringLiteral("简体中文")) {
            EXPECT_FALSE(hasHan(text)) << text.toStdString();
        }
    }
    w.harness.preferences().setLanguage("zh-Hans");
    settle();
    EXPECT_EQ(shownTexts(&settings), chinese);
}

TEST(LanguageSwitch, AMissingSourceReadsInTheInterfaceLanguage) {
    Window w;
    ASSERT_TRUE(w.store().workspace().sources.at(0).lastError);
    const std::string stored = *w.store().workspace().sources.at(0).lastError;
    // The library keeps the system's words; the sheet shows the language's.
    EXPECT_EQ(stored, "cannot read \"" + w.data.missing.string() + "\": No such file or directory");
    SourceSettingsSheet sheet(w.store(), [] {});
    sheet.show();
    settle();
    const QString chinese = QString::fromStdString("无法读取“" + w.data.missing.string() + "”：文件或文件夹不存在");
    EXPECT_TRUE(shownTexts(&sheet).contains(chinese));
    w.harness.preferences().setLanguage("en");
    settle();
    EXPECT_TRUE(shownTexts(&sheet).contains(QString::fromStdString(stored)));
    EXPECT_EQ(*w.store().workspace().sources.at(0).lastError, stored);
}

TEST(LanguageSwitch, TheRecoveryAlertShowsTheFormatFailureInChineseAndFollowsASwitch) {
    TempDir library;
    writeFile(library / "workspace.json", "not json");
    StoreHarness h(library.path());
    ASSERT_TRUE(h.store().recoveryMode());
    h.preferences().setLanguage("zh-Hans");
    ContentView view(h.store());
    view.show();
    settle();
    QMessageBox* alert = view.alert();
    ASSERT_NE(alert, nullptr);
    const QString chinese = alert->informativeText();
    EXPECT_TRUE(chinese.startsWith(QString::fromUtf8("资料库读取失败：数据格式不正确，无法读取。（")))
        << chinese.toStdString();
    EXPECT_FALSE(chinese.contains(QStringLiteral("couldn't"))) << chinese.toStdString();
    h.preferences().setLanguage("en");
    settle();
    EXPECT_TRUE(alert->informativeText().startsWith(QStringLiteral(
        "Could not load the library: The data couldn't be read because it isn't in the correct format.")))
        << alert->informativeText().toStdString();
    EXPECT_EQ(alert->text(), QStringLiteral("Unable to complete"));
    EXPECT_EQ(alert->buttons().at(0)->text(), QStringLiteral("Got it"));
}

TEST(LanguageSwitch, ABuiltInRuleNameShowsInTheLanguageUntilTheUserTypesOne) {
    Window w;
    w.store().select(w.data.project);
    w.store().setSheet(AppSheet::templ());
    settle();
    auto* sheet = qobject_cast<TemplateSheet*>(w.view.sheetDialog()->content());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->nameField()->text(), QString::fromUtf8("图文交付"));
    w.harness.preferences().setLanguage("en");
    settle();
    EXPECT_EQ(sheet->nameField()->text(), QStringLiteral("Image delivery"));
    // The form keeps the built-in name: saved unchanged, it stays the built-in one.
    EXPECT_EQ(sheet->form().templ.name, "图文交付");
    sheet->choose(DeliveryTemplate::video());
    EXPECT_EQ(sheet->nameField()->text(), QStringLiteral("Video delivery"));
    // What the user types is shown and kept as typed, in either language.
    sheet->nameField()->setText(QString::fromUtf8("我的规则"));
    w.harness.preferences().setLanguage("zh-Hans");
    settle();
    EXPECT_EQ(sheet->nameField()->text(), QString::fromUtf8("我的规则"));
    EXPECT_EQ(sheet->form().templ.name, "我的规则");
    sheet->save();
    EXPECT_EQ(w.store().selected()->templ.name, "我的规则");
}
