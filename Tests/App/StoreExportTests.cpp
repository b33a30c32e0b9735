// Export through the store on the sample's real files: warnings refuse without confirmation and
// pass with it, a folder inside the library is refused, the receipt lands in the history, and the
// agent verifies what the app wrote. Also the guards around the chooser and the export command.
#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <nlohmann/json.hpp>

#include "App/Support/LibrarySupport.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Stores/LibraryPreload.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using app::AppStore;

namespace {

/// The shipped sample copied into resources of its own, connected, scanned and its delivery
/// selected.
struct SampleLibrary {
    TempDir library;
    TempDir resources;
    TempDir out;
    std::unique_ptr<StoreHarness> harness;

    SampleLibrary() {
        fs::copy(SORVIK_SAMPLE_DIR, resources / "RudidEdevov", fs::copy_options::recursive);
        harness = std::make_unique<StoreHarness>(library.path(), resources.path());
        AppStore& s = store();
        s.setRecognizeImageText(false);
        s.loadRudidEdevov();
        EXPECT_TRUE(harness->settle());
        for (const Delivery& d : s.deliveries()) {
            if (d.files.size() >= 4) s.select(d.id);
        }
    }
    AppStore& store() { return harness->store(); }
    FakePlatform& platform() { return harness->platform(); }
    /// Video rules with a 9:16 cover: the 3:4 cover is a warning, nothing is an error.
    void useVideoRulesWithAWarning() {
        DeliveryTemplate rules = DeliveryTemplate::video();
        rules.coverRatio = 0.5625;
        store().update(std::nullopt, [&](Delivery& d) { d.templ = rules; });
    }
    void exportTo(const fs::path& folder, bool allowWarnings) {
        platform().answers.push_back({folder});
        store().chooseExportDestination(allowWarnings);
        EXPECT_TRUE(harness->settle());
    }
};

}  // namespace

TEST(StoreExport, WarningsNeedConfirmationAndTheAgentVerifiesThePackage) {
    SampleLibrary f;
    AppStore& store = f.store();
    ASSERT_NE(store.selected(), nullptr);
    ASSERT_EQ(store.selected()->files.size(), 4u);
    f.useVideoRulesWithAWarning();
    ASSERT_FALSE(store.hasErrors());
    ASSERT_FALSE(store.issues().empty());

    // The command asks for confirmation first; no chooser yet.
    store.exportCommand();
    EXPECT_TRUE(store.showWarnings());
    EXPECT_TRUE(f.platform().requests.empty());
    store.setShowWarnings(false);

    // Without the confirmation the exporter refuses and leaves nothing behind.
    f.exportTo(f.out.path(), false);
    EXPECT_EQ(store.error(), "请先检查并确认提醒事项。");
    EXPECT_TRUE(store.selected()->exports.empty());
    EXPECT_TRUE(fs::is_empty(f.out.path()));
    EXPECT_FALSE(store.isBusy());
    store.clearError();

    // A folder inside the library is refused with the core's message.
    fs::create_directories(f.library / "inside");
    f.exportTo(f.library / "inside", true);
    EXPECT_EQ(store.error(), "请将交付包导出到Sorvik资料库以外的文件夹。");
    EXPECT_TRUE(store.selected()->exports.empty());
    store.clearError();

    // Confirmed: written, recorded, revealed, saved.
    f.harness->preferences().setRevealAfterExport(true);
    f.exportTo(f.out.path(), true);
    ASSERT_FALSE(store.error()) << *store.error();
    const Delivery& delivery = *store.selected();
    ASSERT_EQ(delivery.exports.size(), 1u);
    const ExportReceipt receipt = delivery.exports.back();
    EXPECT_EQ(receipt.fileCount, 4);
    EXPECT_EQ(store.lastExport()->id, receipt.id);
    EXPECT_TRUE(store.latestIsCurrent());
    EXPECT_FALSE(store.notice());
    ASSERT_EQ(f.platform().revealed.size(), 1u);
    EXPECT_EQ(f.platform().revealed[0], fs::path(receipt.path));
    const auto& request = f.platform().requests.back();
    EXPECT_EQ(request.kind, app::ChooserRequest::Kind::folders);
    EXPECT_TRUE(request.canCreateFolders);
    EXPECT_NE(request.message.find(DeliveryExporter::safeName(delivery.name)), std::string::npos);
    store.flushSaves();
    const WorkspaceState saved = Repository(f.library.path()).loadWorkspace();
    bool recorded = false;
    for (const Delivery& d : saved.projects) recorded = recorded || (d.id == delivery.id && d.exports.size() == 1);
    EXPECT_TRUE(recorded);

    // The agent reads back what the app wrote: the same format, every file checked.
    const fs::path manifest = fs::path(receipt.path) / DeliveryExporter::manifestFileName;
    const ProcessResult verified = runAgent({"verify", manifest.string()});
    ASSERT_EQ(verified.status, 0) << verified.err;
    const auto json = nlohmann::json::parse(verified.out);
    EXPECT_EQ(json.at("files").size(), 4u);
    EXPECT_TRUE(json.at("acknowledgedWarnings").get<bool>());
    EXPECT_EQ(json.at("projectID").get<std::string>(), delivery.id.string());

    // A second export into the same folder gets a numbered folder; the newest receipt is last.
    f.exportTo(f.out.path(), true);
    ASSERT_EQ(store.selected()->exports.size(), 2u);
    EXPECT_NE(store.selected()->exports[1].path, receipt.path);
    EXPECT_EQ(store.selected()->exports[0].id, receipt.id);
    EXPECT_EQ(runAgent({"verify", (fs::path(store.selected()->exports[1].path) / "交付清单.json").string()}).status, 0);
    // Any change of the delivery makes the last export stale.
    store.update(std::nullopt, [](Delivery& d) { d.name += " 2"; });
    EXPECT_FALSE(store.latestIsCurrent());
    EXPECT_FALSE(store.lastExport());
}

TEST(StoreExport, GuardsAreCheckedAgainAfterTheChooser) {
    SampleLibrary f;
    AppStore& store = f.store();
    f.useVideoRulesWithAWarning();
    // A scan that starts while the chooser is open wins: the export does not start.
    f.platform().whileChoosing = [&] { store.scanFolders(false); };
    f.platform().answers.push_back({f.out.path()});
    store.chooseExportDestination(true);
    EXPECT_TRUE(store.isBusy());
    EXPECT_EQ(store.activity(), "正在发现新素材…");
    EXPECT_TRUE(f.harness->settle());
    EXPECT_TRUE(fs::is_empty(f.out.path()));
    EXPECT_TRUE(store.selected()->exports.empty());
    // Deselected meanwhile: nothing happens either.
    f.platform().whileChoosing = [&] { store.select(UUID::make()); };
    f.platform().answers.push_back({f.out.path()});
    const UUID before = store.deliveries().front().id;
    store.chooseExportDestination(true);
    EXPECT_FALSE(store.isBusy());
    EXPECT_TRUE(fs::is_empty(f.out.path()));
    // Cancelled: nothing.
    f.platform().whileChoosing = nullptr;
    store.select(before);
    store.chooseExportDestination(true);
    EXPECT_FALSE(store.isBusy());
    // While busy the chooser never opens.
    const std::size_t asked = f.platform().requests.size();
    store.scanFolders(false);
    store.chooseExportDestination(true);
    store.exportCommand();
    EXPECT_EQ(f.platform().requests.size(), asked);
    EXPECT_FALSE(store.showWarnings());
    EXPECT_TRUE(f.harness->settle());
}

TEST(StoreExport, TheCommandExportsAtOnceWithoutWarningsAndNeverWithErrors) {
    SampleLibrary f;
    AppStore& store = f.store();
    // The sample under video rules passes every check: straight to the chooser.
    store.update(std::nullopt, [](Delivery& d) { d.templ = DeliveryTemplate::video(); });
    ASSERT_TRUE(store.issues().empty());
    f.platform().answers.push_back({f.out.path()});
    store.exportCommand();
    EXPECT_FALSE(store.showWarnings());
    EXPECT_TRUE(f.harness->settle());
    ASSERT_EQ(store.selected()->exports.size(), 1u);
    EXPECT_FALSE(store.selected()->exports[0].signature.empty());
    // An error (a required role without a file) disables the command altogether.
    store.update(std::nullopt, [](Delivery& d) {
        std::erase_if(d.files, [](const DeliveryFile& file) { return file.role == FileRole::subtitle; });
    });
    ASSERT_TRUE(store.hasErrors());
    EXPECT_FALSE(store.canExport());
    const std::size_t asked = f.platform().requests.size();
    store.exportCommand();
    EXPECT_EQ(f.platform().requests.size(), asked);
    EXPECT_FALSE(store.showWarnings());
}

TEST(StoreExport, AnExportThatEndsAsTheAppQuitsIsRecordedAndSaved) {
    SampleLibrary f;
    AppStore& store = f.store();
    ASSERT_NE(store.selected(), nullptr);
    const UUID project = store.selected()->id;
    f.useVideoRulesWithAWarning();
    f.harness->settle();
    f.platform().answers.push_back({f.out.path()});
    store.chooseExportDestination(true);
    // The package is written, but the quit comes before its answer is delivered.
    ASSERT_TRUE(f.harness->jobs().runNext());
    store.shutdown();
    const WorkspaceState saved = Repository(f.library.path()).loadWorkspace();
    const auto it =
        std::find_if(saved.projects.begin(), saved.projects.end(), [&](const Delivery& d) { return d.id == project; });
    ASSERT_NE(it, saved.projects.end());
    ASSERT_EQ(it->exports.size(), 1u);
    EXPECT_TRUE(fs::is_directory(it->exports.front().path));
    EXPECT_EQ(fs::path(it->exports.front().path).parent_path(), f.out.path());
}

TEST(StoreExport, AnExportRunningAsTheAppQuitsIsStoppedAndLeavesNothing) {
    SampleLibrary f;
    AppStore& store = f.store();
    ASSERT_NE(store.selected(), nullptr);
    const UUID project = store.selected()->id;
    f.useVideoRulesWithAWarning();
    f.harness->settle();
    f.platform().answers.push_back({f.out.path()});
    store.chooseExportDestination(true);
    ASSERT_EQ(f.harness->jobs().pending(), 1u);
    // The export runs only once the quit has asked the store's jobs to stop.
    f.harness->jobs().runOnShutdown();
    store.shutdown();
    EXPECT_EQ(f.harness->jobs().pending(), 0u);
    EXPECT_TRUE(fs::is_empty(f.out.path()));
    const WorkspaceState saved = Repository(f.library.path()).loadWorkspace();
    const auto it =
        std::find_if(saved.projects.begin(), saved.projects.end(), [&](const Delivery& d) { return d.id == project; });
    ASSERT_NE(it, saved.projects.end());
    EXPECT_TRUE(it->exports.empty());
}

TEST(StoreExport, WhatKilledExportsLeftInKnownDestinationsGoesAtTheNextStart) {
    TempDir library, out, elsewhere;
    Delivery project = projectNamed("Harbor Launch");
    project.exports.push_back(ExportReceipt::make(Date{1000}, (out / "Harbor Launch").string(), 0, "x"));
    writeLibrary(library.path(), libraryOf({project}, {}));
    // A killed export's folder (nobody holds its lock), and one in a folder the app never exported to.
    const std::string left = ".sorvik-" + UUID::make().string();
    fs::create_directories(out / left / "images");
    writeFile(out / left / "images" / "a.jpg", "partial");
    fs::create_directories(elsewhere / left);
    app::LibraryChoice choice{library.path(), {}};
    choice.preload = std::make_shared<app::LibraryPreload>(library.path());
    StoreHarness h(choice);
    h.store().finishStarting();
    ASSERT_FALSE(h.store().deliveries().empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fs::exists(out / left); }, 10000));
    EXPECT_TRUE(fs::exists(elsewhere / left));
}

TEST(StoreExport, WhatAKilledFirstExportLeftInANewFolderGoesAtTheNextStart) {
    SampleLibrary f;
    auto& store = f.store();
    ASSERT_NE(store.selected(), nullptr);
    f.useVideoRulesWithAWarning();
    f.harness->settle();
    // The first export into this folder: the app is killed while it runs, before any history.
    f.platform().answers.push_back({f.out.path()});
    store.chooseExportDestination(true);
    const QString underWay = f.harness->preferences().exportUnderWay();
    EXPECT_EQ(underWay.toStdString(), f.out.path().string());
    const std::string left = ".sorvik-" + UUID::make().string();
    fs::create_directories(f.out / left / "images");
    writeFile(f.out / left / "images" / "a.jpg", "partial");

    app::LibraryChoice choice{f.library.path(), {}};
    choice.preload = std::make_shared<app::LibraryPreload>(f.library.path());
    StoreHarness next(choice);
    next.preferences().setExportUnderWay(underWay);
    next.store().finishStarting();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fs::exists(f.out / left); }, 10000));
    EXPECT_TRUE(next.preferences().exportUnderWay().isEmpty());
}

TEST(StoreExport, AnExportThatEndsLeavesNoFolderToCleanAtTheNextStart) {
    SampleLibrary f;
    auto& store = f.store();
    ASSERT_NE(store.selected(), nullptr);
    f.useVideoRulesWithAWarning();
    f.harness->settle();
    f.platform().answers.push_back({f.out.path()});
    store.chooseExportDestination(true);
    EXPECT_FALSE(f.harness->preferences().exportUnderWay().isEmpty());
    f.harness->settle();
    ASSERT_TRUE(store.lastExport());
    EXPECT_TRUE(f.harness->preferences().exportUnderWay().isEmpty());
}
