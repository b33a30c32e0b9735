// The rename, history and rules sheets' logic: the name to edit and to store, the history's rows and
// dates, and the rules form with its seeding, switches, ratio choices, number fields and Save rule.
#include <gtest/gtest.h>

#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Delivery/Logic/DeliverySheetsLogic.hpp"
#include "Sorvik/Views/Delivery/Logic/TemplateSheetLogic.hpp"
#include "SorvikCore/Repository.hpp"

using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

namespace {

ExportReceipt receipt(double date, const std::string& path, std::int64_t files) {
    ExportReceipt r = ExportReceipt::make(Date{date}, path, files, "sig");
    return r;
}

}  // namespace

TEST(RenameSheet, PrefillsTheNameButNotTheUntitledOne) {
    Delivery d(UUID::make(), "未命名交付", {}, DeliveryTemplate::flexible());
    EXPECT_EQ(renamePrefill(&d), "");
    EXPECT_EQ(renamePrefill(nullptr), "");
    d.name = "Untitled delivery";  // only the Chinese stored name counts as untitled
    EXPECT_EQ(renamePrefill(&d), "Untitled delivery");
}

TEST(RenameSheet, CommitsTrimmedNamesCutAtSeventyCharacters) {
    EXPECT_FALSE(committedName(" \n\t\u3000 "));
    EXPECT_FALSE(canSaveName(" \r\n ", false, false));
    EXPECT_EQ(committedName("  周末，去山里 \n"), "周末，去山里");
    // 80 user-perceived characters, some of them several code points each, keep their first 70.
    std::string typed;
    for (int i = 0; i < 40; ++i) typed += "e\u0301";   // e and a combining accent
    for (int i = 0; i < 40; ++i) typed += "👍🏽";  // a thumb with a skin tone
    std::string expected;
    for (int i = 0; i < 40; ++i) expected += "e\u0301";
    for (int i = 0; i < 30; ++i) expected += "👍🏽";
    EXPECT_EQ(committedName(typed), expected);
    // Save waits for an idle store outside recovery mode.
    EXPECT_TRUE(canSaveName("A", false, false));
    EXPECT_FALSE(canSaveName("A", true, false));
    EXPECT_FALSE(canSaveName("A", false, true));
}

TEST(HistorySheet, NewestFirstWithFolderNamesAndLocalisedDates) {
    LanguageScope zh("zh-Hans");
    Delivery d(UUID::make(), "D", {}, DeliveryTemplate::flexible());
    // 2024-01-05 15:04 UTC is 726159840 seconds after 2001-01-01.
    d.exports = {receipt(726159840, "/out/A", 1), receipt(726159900, "/out/B/", 2), receipt(726160000, "/out/C", 3)};
    const auto rows = historyRows(&d, "zh-Hans", "UTC");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].detail, "3 件文件 · C");
    EXPECT_EQ(rows[1].detail, "2 件文件 · B");  // a trailing "/" still names the folder
    EXPECT_EQ(rows[2].detail, "1 件文件 · A");
    EXPECT_EQ(rows[0].id, d.exports[2].id);
    EXPECT_EQ(rows[1].path, "/out/B/");
    EXPECT_EQ(rows[2].date, "2024年1月5日 15:04");
    EXPECT_EQ(historyDate(Date{726159840}, "en", "UTC"), "Jan 5, 2024, 3:04\u202FPM");
    EXPECT_EQ(historyDate(Date{726159840}, "en", "Asia/Shanghai"), "Jan 5, 2024, 11:04\u202FPM");
    EXPECT_TRUE(historyRows(nullptr, "en").empty());
    d.exports.clear();
    EXPECT_TRUE(historyRows(&d, "en").empty());
    EXPECT_EQ(warningTitle(3), "还有 3 项提醒");
}

TEST(RulesSheet, SeedsFromTheSelectedDeliveryOrTheVideoRules) {
    TemplateForm form = seedTemplateForm(nullptr);
    EXPECT_EQ(form.templ, DeliveryTemplate::video());
    EXPECT_DOUBLE_EQ(form.ratio, 0.75);
    Delivery d(UUID::make(), "D", {}, DeliveryTemplate::flexible());
    form = seedTemplateForm(&d);
    EXPECT_EQ(form.ratio, 0);
    EXPECT_EQ(ruleRatioIndex(form.ratio), 0u);  // "不限制"
    // Saving without touching the picker keeps an absent ratio absent...
    EXPECT_FALSE(templateToSave(form).coverRatio);
    // ...and an unlisted ratio as it was; the picker shows no choice for it.
    d.templ.coverRatio = 0.8;
    form = seedTemplateForm(&d);
    EXPECT_FALSE(ruleRatioIndex(form.ratio));
    EXPECT_EQ(templateToSave(form).coverRatio, 0.8);
    // A stored ratio of exactly 0 means no ratio after saving.
    d.templ.coverRatio = 0.0;
    EXPECT_FALSE(templateToSave(seedTemplateForm(&d)).coverRatio);
    // Starting from the flexible rules: nothing required, no ratio, no title or body limit.
    form = startingPoint(DeliveryTemplate::flexible());
    EXPECT_TRUE(form.templ.requiredRoles.empty());
    EXPECT_EQ(form.ratio, 0);
    EXPECT_EQ(form.templ.maxTitleCharacters, 0);
    const auto builtIns = builtInTemplates();
    EXPECT_EQ(builtIns[0]->name, "视频交付");
    EXPECT_EQ(builtIns[2]->name, "自由交付");
}

TEST(RulesSheet, RatiosCompareExactlyAndRolesKeepTheOrderSwitchedOn) {
    EXPECT_EQ(ruleRatioIndex(16.0 / 9.0), 3u);
    EXPECT_FALSE(ruleRatioIndex(1.7777));
    EXPECT_EQ(ruleRatioIndex(0.5625), 2u);
    EXPECT_EQ(ruleRatioChoices()[0].label, "不限制");
    EXPECT_TRUE(ruleRatioChoices()[0].translated);
    EXPECT_FALSE(ruleRatioChoices()[3].translated);
    DeliveryTemplate templ = DeliveryTemplate::flexible();
    setRequired(templ, FileRole::subtitle, true);
    setRequired(templ, FileRole::video, true);
    setRequired(templ, FileRole::video, true);
    EXPECT_EQ(templ.requiredRoles, (std::vector<FileRole>{FileRole::subtitle, FileRole::video}));
    templ.requiredRoles = {FileRole::cover, FileRole::copy, FileRole::cover};
    setRequired(templ, FileRole::cover, false);
    EXPECT_EQ(templ.requiredRoles, (std::vector<FileRole>{FileRole::copy}));
    EXPECT_FALSE(isRequired(templ, FileRole::cover));
}

TEST(RulesSheet, WholeNumbersWithoutGroupingAndTheSaveRule) {
    for (const char* code : {"en", "zh-Hans"}) {
        EXPECT_EQ(parseWholeNumber("2048", code), 2048);
        EXPECT_EQ(parseWholeNumber(" 0 ", code), 0);
        EXPECT_EQ(parseWholeNumber("-5", code), -5);
        EXPECT_FALSE(parseWholeNumber("1,000", code)) << code;
        EXPECT_FALSE(parseWholeNumber("12.5", code)) << code;
        EXPECT_FALSE(parseWholeNumber("", code));
        EXPECT_FALSE(parseWholeNumber("abc", code));
        EXPECT_FALSE(parseWholeNumber("12abc", code));
        EXPECT_FALSE(parseWholeNumber("99999999999999999999999", code));
        EXPECT_EQ(formatWholeNumber(1'000'000, code), "1000000");
        EXPECT_EQ(formatWholeNumber(-3, code), "-3");
    }
    DeliveryTemplate templ = DeliveryTemplate::video();
    EXPECT_TRUE(canSaveTemplate(templ, true, false, false));
    EXPECT_FALSE(canSaveTemplate(templ, false, false, false));  // a field that does not read
    EXPECT_FALSE(canSaveTemplate(templ, true, true, false));    // busy
    EXPECT_FALSE(canSaveTemplate(templ, true, false, true));    // recovery mode
    templ.maxBodyCharacters = -1;
    EXPECT_FALSE(canSaveTemplate(templ, true, false, false));
    templ.maxBodyCharacters = 0;
    for (const char* blank : {"", "   ", "\t ", "\u3000\u3000", " \u00A0"}) {
        templ.name = blank;
        EXPECT_TRUE(isBlankRuleName(blank)) << blank;
        EXPECT_FALSE(canSaveTemplate(templ, true, false, false));
    }
    // Line breaks are not trimmed here, and the name is stored as typed.
    EXPECT_FALSE(isBlankRuleName("\n"));
    EXPECT_FALSE(isBlankRuleName(" a "));
    TemplateForm form{templ, 0.5625};
    form.templ.name = " 规则 ";
    EXPECT_EQ(templateToSave(form).name, " 规则 ");
    EXPECT_EQ(templateToSave(form).coverRatio, 0.5625);
}

TEST(RulesSheet, SavingTheSameRulesTwiceAddsOnePresetQuietly) {
    TempDir library;
    StoreHarness h(library.path());
    AppStore& store = h.store();
    DeliveryTemplate templ = DeliveryTemplate::video();
    templ.name = "我的规则";
    store.savePreset(templ);
    ASSERT_EQ(store.presets().size(), 1u);
    EXPECT_EQ(store.notice(), "已保存常用规则“我的规则”。");
    store.clearNotice();
    store.savePreset(templ);
    EXPECT_EQ(store.presets().size(), 1u);
    EXPECT_FALSE(store.notice());
    // Same name, other values: added beside the first, and written to disk.
    templ.coverRatio = 16.0 / 9.0;
    store.savePreset(templ);
    EXPECT_EQ(store.presets().size(), 2u);
    EXPECT_EQ(Repository(library.path()).loadPresets().size(), 2u);
}
