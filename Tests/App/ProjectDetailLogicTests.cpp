// The project page's lists, counts, card texts, menus and grid, as pure functions.
#include <gtest/gtest.h>

#include "App/Support/LibrarySupport.hpp"
#include "Support/TestSupport.hpp"
#include "Sorvik/Stores/ProjectSearch.hpp"
#include "Sorvik/Support/Formatting.hpp"
#include "Sorvik/Views/Project/Logic/ProjectDetailLogic.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

namespace {

DeliveryFile named(const std::string& name, std::optional<std::string> text = std::nullopt) {
    DeliveryFile file = originalAt(fs::path("/data") / name);
    file.text = std::move(text);
    return file;
}

/// The names the page shows for `text`, searched as the store does for data at `revision`.
std::vector<std::string> shown(ProjectSearch& search, std::uint64_t revision, const Delivery& project,
                               const std::vector<IndexedAsset>& assets, const std::string& text, FileFilter filter) {
    const auto assetFor = [&](const UUID& id) -> const IndexedAsset* {
        for (const IndexedAsset& asset : assets)
            if (asset.id() == id) return &asset;
        return nullptr;
    };
    const std::vector<char> matches = text.empty()
                                          ? std::vector<char>(project.files.size(), 1)
                                          : search.matchingFiles(text, revision, project, {project}, assets, assetFor);
    std::vector<std::string> names;
    for (std::size_t i : visibleFiles(project, matches, filter)) names.push_back(project.files[i].name);
    return names;
}

}  // namespace

TEST(ProjectPageLogic, TheTypeFilterGoesByExtensionAndExtractedText) {
    EXPECT_TRUE(passesFilter(named("notes.md", "# title"), FileFilter::text));
    EXPECT_TRUE(passesFilter(named("brief.docx"), FileFilter::text));
    EXPECT_FALSE(passesFilter(named("pack.zip"), FileFilter::text));
    EXPECT_TRUE(passesFilter(named("COVER.PNG"), FileFilter::images));
    EXPECT_FALSE(passesFilter(named("COVER.PNG"), FileFilter::videos));
    EXPECT_TRUE(passesFilter(named("cut.MOV"), FileFilter::videos));
    // An image with recognised text counts as a document as well.
    EXPECT_TRUE(passesFilter(named("cover.png", "text"), FileFilter::text));
    EXPECT_TRUE(passesFilter(named("anything"), FileFilter::all));
}

TEST(ProjectPageLogic, SearchUsesTheAssetsTextElseTheNameAndIsNeverTrimmed) {
    Delivery project = projectNamed("P", {named("poster.png"), named("Cover Final.jpg"), named("loose file.txt")});
    IndexedAsset poster = indexedAsset(project.files[0], project.id);
    poster.recognizedText = "SPRING SALE";
    IndexedAsset cover = indexedAsset(project.files[1], project.id);
    const std::vector<IndexedAsset> assets{poster, cover};
    QObject context;
    ProjectSearch search(context, {});
    EXPECT_EQ(shown(search, 1, project, assets, "", FileFilter::all).size(), 3u);
    EXPECT_EQ(shown(search, 1, project, assets, "cOVER", FileFilter::all),
              (std::vector<std::string>{"Cover Final.jpg"}));
    EXPECT_EQ(shown(search, 1, project, assets, "spring", FileFilter::all), (std::vector<std::string>{"poster.png"}));
    // A file that is no indexed asset is found by its name only.
    EXPECT_EQ(shown(search, 1, project, assets, "LOOSE", FileFilter::all),
              (std::vector<std::string>{"loose file.txt"}));
    // One space is a search text of its own.
    EXPECT_EQ(shown(search, 1, project, assets, " ", FileFilter::all),
              (std::vector<std::string>{"poster.png", "Cover Final.jpg", "loose file.txt"}));
    EXPECT_EQ(shown(search, 1, project, assets, "cover", FileFilter::videos), std::vector<std::string>{});
    // A file the index does not know yet is searched directly.
    project.files.push_back(named("spring.txt"));
    EXPECT_EQ(shown(search, 1, project, assets, "spring", FileFilter::all),
              (std::vector<std::string>{"poster.png", "spring.txt"}));
    EXPECT_EQ(shown(search, 2, project, assets, "spring", FileFilter::all),
              (std::vector<std::string>{"poster.png", "spring.txt"}));
    // Flags for fewer files than the project holds show only those files.
    EXPECT_EQ(visibleFiles(project, {1, 0}, FileFilter::all), std::vector<std::size_t>{0});
}

TEST(ProjectPageLogic, CountsAreOverAllFilesAndFoldersAreComparedAsText) {
    TempDir library;
    Repository repository(library.path());
    Delivery project = projectNamed(
        "P", {named("Day/a.png"), named("Day/b.png"), named("day/c.png"), named("Night/d.png"), named("Night/e.png")});
    EXPECT_EQ(projectCounts(project, &repository), (ProjectCounts{5, 3}));
    // Without a library no location is known.
    EXPECT_EQ(projectCounts(project, nullptr), (ProjectCounts{5, 0}));
    // A file kept in the library whose path leads out of it has no location.
    DeliveryFile escaped(UUID::make(), "x.png", "../outside/x.png", FileRole::cover, 1, "");
    project.files.push_back(escaped);
    EXPECT_EQ(projectCounts(project, &repository), (ProjectCounts{6, 3}));
    EXPECT_FALSE(fileLocation(escaped, &repository));
    DeliveryFile inside(UUID::make(), "y.png", "files/y.png", FileRole::cover, 1, "");
    EXPECT_EQ(fileLocation(inside, &repository), fs::path(library.path() / "files/y.png"));
}

TEST(ProjectPageLogic, CardTextsShowTypeSizeAttentionAndFolder) {
    DeliveryFile movie = originalAt("/Volumes/Disk/Shoot/Day 1/cut.mov", 1234567);
    AssetCardTexts texts = assetCardTexts(movie, "en");
    EXPECT_EQ(texts.sizeLine, "MOV · 1.2 MB");
    EXPECT_FALSE(texts.attention);
    EXPECT_EQ(texts.folderLabel, "Day 1");
    movie.inspectionError = "无法读取视频";
    texts = assetCardTexts(movie, "en");
    EXPECT_TRUE(texts.attention);
    EXPECT_EQ(texts.sizeLine, "原文件需要检查");
    DeliveryFile bare = originalAt("/a/README", 12);
    EXPECT_EQ(assetCardTexts(bare, "en").sizeLine, " · 12 bytes");
    bare.reference.reset();
    EXPECT_FALSE(assetCardTexts(bare, "zh-Hans").folderLabel);
    EXPECT_EQ(assetCardTexts(bare, "zh-Hans").sizeLine, " · 12 字节");
}

TEST(ProjectPageLogic, ByteCountsAreDecimalLikeFileViewers) {
    EXPECT_EQ(fileSizeText(0, "en"), "Zero KB");
    EXPECT_EQ(fileSizeText(1, "en"), "1 byte");
    EXPECT_EQ(fileSizeText(999, "en"), "999 bytes");
    EXPECT_EQ(fileSizeText(1000, "en"), "1 KB");
    EXPECT_EQ(fileSizeText(1234567, "zh-Hans"), "1.2 MB");
    EXPECT_EQ(fileSizeText(999999, "en"), "1 MB");  // never "1000 KB"
    EXPECT_EQ(fileSizeText(1234567890, "en"), "1.23 GB");
    EXPECT_EQ(fileSizeText(2000000000, "en"), "2 GB");
    EXPECT_EQ(fileSizeText(-5, "en"), "Zero KB");
}

TEST(ProjectPageLogic, TheCardMenuFollowsSelectionBusyAndRecovery) {
    std::vector<AssetMenuEntry> menu = assetMenu(false, false, false);
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_EQ(menu.front().action, AssetAction::reveal);
    menu = assetMenu(true, true, false);
    ASSERT_EQ(menu.size(), 4u);
    EXPECT_EQ(menu.front().action, AssetAction::copyReference);
    EXPECT_TRUE(menu[0].enabled && menu[1].enabled && menu[2].enabled);
    EXPECT_FALSE(menu[3].enabled);
    EXPECT_FALSE(assetMenu(true, false, true)[3].enabled);
    EXPECT_TRUE(assetMenu(true, false, false)[3].enabled);

    EXPECT_EQ(projectPageStates(true, false), ProjectPageStates{});
    const ProjectPageStates recovery = projectPageStates(false, true);
    EXPECT_TRUE(recovery.menu && recovery.rules && recovery.delivery && recovery.findAssets);
    EXPECT_FALSE(recovery.linkFiles || recovery.deleteProject);
}

TEST(ProjectPageLogic, GridColumnsFitBetweenTheirLimitsAndAreCentred) {
    EXPECT_EQ(assetGridColumns(200), (GridColumns{1, 200, 0}));
    EXPECT_EQ(assetGridColumns(150), (GridColumns{1, 200, 0}));
    EXPECT_EQ(assetGridColumns(415), (GridColumns{1, 300, 57}));
    EXPECT_EQ(assetGridColumns(416), (GridColumns{2, 200, 0}));
    EXPECT_EQ(assetGridColumns(1300), (GridColumns{6, 203, 1}));
    const GridColumns wide = assetGridColumns(900);
    EXPECT_EQ(wide.count, 4);
    EXPECT_LE(wide.count * wide.width + 3 * 16, 900);
    const AssetCardGeometry g = assetCardGeometry(250);
    EXPECT_EQ(g.preview, QRectF(11, 11, 228, 150));
    EXPECT_EQ(g.badge.right(), g.preview.right() - 8);
    EXPECT_LT(g.name.right(), g.menu.left());
    EXPECT_EQ(g.card.height(), assetCardHeight());
    EXPECT_LE(g.folder.bottom() + 11, g.card.bottom());
}
