// Pure helpers of the app: configuration values, durations, paths, the AI reference text, the
// toolbar and the menu commands.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Stores/AgentReference.hpp"
#include "Sorvik/Support/AppConfiguration.hpp"
#include "Sorvik/Support/Formatting.hpp"
#include "Sorvik/Support/SearchText.hpp"
#include "Sorvik/Views/Window/Logic/ContentLogic.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

TEST(AppConfiguration, ScanIntervalIsANumberHeldTo15To600) {
    using AppConfiguration::scanIntervalFrom;
    EXPECT_EQ(scanIntervalFrom(std::nullopt), 30);
    EXPECT_EQ(scanIntervalFrom("5"), 15);
    EXPECT_EQ(scanIntervalFrom("3600"), 600);
    EXPECT_EQ(scanIntervalFrom("45.5"), 45.5);
    EXPECT_EQ(scanIntervalFrom("abc"), 30);
    EXPECT_EQ(scanIntervalFrom("30s"), 30);
    EXPECT_EQ(scanIntervalFrom("nan"), 30);
    EXPECT_EQ(scanIntervalFrom("inf"), 600);
    EXPECT_EQ(scanIntervalFrom("1e999"), 600);
    EXPECT_EQ(AppConfiguration::versionFrom(std::nullopt), "开发版");
    EXPECT_EQ(AppConfiguration::versionFrom("1.2.3"), "1.2.3");
    EXPECT_EQ(AppConfiguration::version(), "0.1.0");
}

TEST(Formatting, ShortTimeTruncatesAndNeverFoldsHours) {
    EXPECT_EQ(shortTime(59.9), "00:59");
    EXPECT_EQ(shortTime(60), "01:00");
    EXPECT_EQ(shortTime(3725), "62:05");
    EXPECT_EQ(shortTime(-3), "00:00");
    EXPECT_EQ(shortTime(std::nan("")), "00:00");
    EXPECT_EQ(shortTime(-std::numeric_limits<double>::infinity()), "00:00");
    EXPECT_EQ(shortTime(std::numeric_limits<double>::infinity()), "153722867280912930:07");
    EXPECT_EQ(shortTime(1e300), "153722867280912930:07");
}

TEST(Formatting, HomeIsAbbreviatedOnlyAtAFolderBoundary) {
    EXPECT_EQ(abbreviatingHome("/home/ann/Videos", "/home/ann"), "~/Videos");
    EXPECT_EQ(abbreviatingHome("/home/ann", "/home/ann/"), "~");
    EXPECT_EQ(abbreviatingHome("/home/anna/x", "/home/ann"), "/home/anna/x");
    EXPECT_EQ(abbreviatingHome("/data/x", ""), "/data/x");
    EXPECT_EQ(lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(lastPathComponent("/"), "/");
    EXPECT_EQ(lastPathComponent("name"), "name");
}

TEST(Formatting, ByteCountsUseDecimalUnitsLikeTheFileManager) {
    EXPECT_EQ(fileSizeText(0, "en"), "Zero KB");
    EXPECT_EQ(fileSizeText(0, "zh-Hans"), "零 KB");
    EXPECT_EQ(fileSizeText(1, "en"), "1 byte");
    EXPECT_EQ(fileSizeText(999, "en"), "999 bytes");
    EXPECT_EQ(fileSizeText(582, "zh-Hans"), "582 字节");
    EXPECT_EQ(fileSizeText(1000, "en"), "1 KB");
    EXPECT_EQ(fileSizeText(4096, "en"), "4 KB");
    EXPECT_EQ(fileSizeText(1499, "en"), "1 KB");
    EXPECT_EQ(fileSizeText(1500, "en"), "2 KB");
    // Rounding up to a thousand moves on to the next unit.
    EXPECT_EQ(fileSizeText(999'999, "en"), "1 MB");
    EXPECT_EQ(fileSizeText(1'234'567, "en"), "1.2 MB");
    EXPECT_EQ(fileSizeText(1'234'567, "zh-Hans"), "1.2 MB");
    EXPECT_EQ(fileSizeText(5'000'000, "en"), "5 MB");
    EXPECT_EQ(fileSizeText(2'147'483'648, "en"), "2.15 GB");
    EXPECT_EQ(fileSizeText(2'100'000'000, "en"), "2.1 GB");
    EXPECT_EQ(fileSizeText(3'000'000'000'000, "en"), "3 TB");
    // A corrupt negative size reads as nothing.
    EXPECT_EQ(fileSizeText(-1'500'000, "en"), "Zero KB");
    EXPECT_EQ(fileSizeText(std::numeric_limits<std::int64_t>::max(), "en"), "9.22 EB");
}

TEST(SearchText, IgnoresCaseAndIsUsedUntrimmed) {
    EXPECT_TRUE(SearchText("").foundIn("anything"));
    EXPECT_TRUE(SearchText("STRASSE").foundIn("Die Straße"));
    EXPECT_TRUE(SearchText("ΣΟΦΙΑ").foundIn("σοφια"));
    EXPECT_TRUE(SearchText("夏日").foundIn("夏日新品"));
    EXPECT_FALSE(SearchText(" aurora").foundIn("Aurora"));
}

TEST(AgentReference, QuotesPathsNamesTheAssetAndKeepsCommandsOnTheirLines) {
    Delivery project(UUID::make(), "Spring\nrm -rf ~\r\u2028x", {}, DeliveryTemplate::flexible());
    const UUID asset = UUID::make();
    const std::string text =
        agentReferenceText(project, asset, "/opt/Sorvik App/bin/sorvik-agent", "/home/o'neil/.local/share/Sorvik");
    const std::string expected =
        "Sorvik项目：Spring rm -rf ~  x\n"
        "project_id: " +
        project.id.string() +
        "\n"
        "asset_id: " +
        asset.string() +
        "\n"
        "查询命令：\n"
        "'/opt/Sorvik App/bin/sorvik-agent' --data-dir '/home/o'\"'\"'neil/.local/share/Sorvik' "
        "project " +
        project.id.string() +
        "\n"
        "使用 prepare PROJECT_ID ASSET_ID[,ASSET_ID] DESTINATION 生成指定内容快照；verify MANIFEST "
        "验证后上传。禁止凭文件名猜测版本；平台及账号需明确。此接口不执行发布。";
    EXPECT_EQ(text, expected);
    // Without an asset: five lines.
    const std::string plain = agentReferenceText(project, std::nullopt, "a", "b");
    EXPECT_EQ(std::count(plain.begin(), plain.end(), '\n'), 4);
    // The quoted path is one word a POSIX shell gives back unchanged.
    ProcessResult echo = runProcess("/bin/sh", {"-c", "printf %s " + shellQuoted("/x/it's a \"dir\"/$HOME")});
    EXPECT_EQ(echo.out, "/x/it's a \"dir\"/$HOME");
}

TEST(AgentReference, TheCopiedQueryCommandRunsTheAgentThroughAShell) {
    // A library whose path holds a single quote and spaces, with one project.
    TempDir dir;
    const fs::path library = dir / "o'neil's library" / "Sorvik Data";
    Delivery project(UUID::make(), "Line one\nline two", {}, DeliveryTemplate::flexible());
    {
        Repository repository(library);
        repository.saveWorkspace(WorkspaceState({project}));
    }
    const std::string text = agentReferenceText(project, std::nullopt, SORVIK_AGENT_PATH, library);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Sorvik项目：Line one line two");
    EXPECT_EQ(lines[2], "查询命令：");
    const ProcessResult run = runProcess("/bin/sh", {"-c", lines[3]});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(project.id.string()), std::string::npos);
    EXPECT_NE(run.out.find("Line one"), std::string::npos);
}

TEST(StoreReference, CopiesTheReferenceWithTheLibraryPathAndTellsSo) {
    TempDir library;
    StoreHarness h(library.path());
    Delivery project(UUID::make(), "P", {}, DeliveryTemplate::flexible());
    h.store().copyAgentReference(project, std::nullopt);
    EXPECT_NE(h.platform().clipboard.find("--data-dir '" + library.path().string() + "' project"), std::string::npos);
    EXPECT_EQ(h.store().notice(), "已复制 AI 项目引用与操作说明。");
}

TEST(ContentLogic, ToolbarAndPageFollowTheSectionSelectionAndJobs) {
    TempDir library;
    StoreHarness h(library.path());
    AppStore& store = h.store();
    ToolbarState state = toolbarState(store);
    EXPECT_FALSE(state.breadcrumb);
    EXPECT_TRUE(state.showRescan);
    EXPECT_FALSE(state.showProgress);
    store.showInbox();
    state = toolbarState(store);
    EXPECT_EQ(state.breadcrumb, "待识别");
    EXPECT_TRUE(state.breadcrumbTranslated);
    EXPECT_EQ(contentPage(store), ContentPage::inbox);
    // The project section with an id naming no project shows the overview and no breadcrumb.
    store.select(UUID::make());
    EXPECT_EQ(contentPage(store), ContentPage::overview);
    EXPECT_FALSE(toolbarState(store).breadcrumb);
    store.newDelivery();
    EXPECT_EQ(contentPage(store), ContentPage::project);
    EXPECT_EQ(toolbarState(store).breadcrumb, store.selected()->name);
    EXPECT_FALSE(toolbarState(store).breadcrumbTranslated);
    // A job that is not a scan: the indicator without the stop button.
    TempDir source;
    store.connectFolders({source.path()});
    state = toolbarState(store);
    EXPECT_FALSE(state.showRescan);
    EXPECT_TRUE(state.showProgress);
    EXPECT_FALSE(state.showStop);
    ASSERT_TRUE(h.step());  // connected; the scan starts
    EXPECT_TRUE(toolbarState(store).showStop);
    h.settle();
}

TEST(ContentLogic, CommandsFollowTheMenuTable) {
    TempDir library;
    StoreHarness h(library.path());
    AppStore& store = h.store();
    CommandStates states = commandStates(store);
    EXPECT_TRUE(states.newProject && states.connectFolders && states.rescan && states.sample);
    EXPECT_FALSE(states.exportPackage || states.deliveryRules || states.exportHistory);
    store.newDelivery();
    states = commandStates(store);
    EXPECT_TRUE(states.deliveryRules && states.exportHistory);
    EXPECT_FALSE(states.exportPackage);  // an empty project fails its checks
}
