#include <gtest/gtest.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "SorvikCore/EnglishMessages.hpp"
#include "SorvikCore/Localization.hpp"
#include "SorvikCore/UnicodeText.hpp"

using namespace sorvik;

namespace {

constexpr InLanguage en{"en"};
constexpr InLanguage zh{"zh-Hans"};

/// The placeholder numbers of a text, in order of appearance ("{n}" with decimal digits).
std::vector<int> placeholders(std::string_view text) {
    std::vector<int> found;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '{') continue;
        std::size_t j = i + 1;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
        if (j > i + 1 && j < text.size() && text[j] == '}')
            found.push_back(std::stoi(std::string(text.substr(i + 1, j - i - 1))));
    }
    return found;
}

/// Code points of well-formed UTF-8.
std::vector<char32_t> codePoints(std::string_view text) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t value = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
        for (int k = 1; k < length; ++k) value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out.push_back(value);
        i += static_cast<std::size_t>(length);
    }
    return out;
}

/// Sets or removes environment variables for one test and puts the old values back.
class EnvironmentGuard {
public:
    EnvironmentGuard() {
        for (const char* name : names)
            if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
        for (const char* name : names) unsetenv(name);
    }
    ~EnvironmentGuard() {
        for (const char* name : names) unsetenv(name);
        for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
    }
    void set(const char* name, const char* value) { setenv(name, value, 1); }

private:
    static constexpr const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::pair<std::string, std::string>> saved_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// The catalogue

TEST(EnglishMessages, CatalogueHoldsEveryEntryOnceWithMatchingPlaceholders) {
    const auto values = EnglishMessages::values();
    EXPECT_EQ(values.size(), 415u);
    std::set<std::string_view> keys;
    for (const MessagePair& pair : values) {
        SCOPED_TRACE(std::string(pair.chinese));
        EXPECT_TRUE(keys.insert(pair.chinese).second) << "duplicate key";
        EXPECT_FALSE(pair.english.empty());
        EXPECT_TRUE(unicode::isValidUTF8(pair.chinese));
        EXPECT_TRUE(unicode::isValidUTF8(pair.english));

        const std::vector<int> inKey = placeholders(pair.chinese);
        for (std::size_t i = 0; i < inKey.size(); ++i) EXPECT_EQ(inKey[i], static_cast<int>(i)) << "key placeholders";
        EXPECT_LE(inKey.size(), 3u);
        const std::vector<int> inEnglish = placeholders(pair.english);
        EXPECT_EQ(std::set<int>(inKey.begin(), inKey.end()), std::set<int>(inEnglish.begin(), inEnglish.end()));

        EXPECT_EQ(EnglishMessages::english(pair.chinese), pair.english);
    }
    EXPECT_EQ(EnglishMessages::english("不在目录中的文字"), std::nullopt);
}

TEST(EnglishMessages, EnglishTextsAreTranslated) {
    for (const MessagePair& pair : EnglishMessages::values()) {
        for (char32_t c : codePoints(pair.english)) {
            const bool han = (c >= 0x3000 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF);
            EXPECT_FALSE(han) << std::string(pair.chinese) << " -> " << std::string(pair.english);
        }
    }
}

TEST(EnglishMessages, HoldsTheFixedTextsByteForByte) {
    EXPECT_EQ(EnglishMessages::english("上次索引  {0}"), "Last indexed  {0}");
    EXPECT_EQ(EnglishMessages::english("全部文件  {0}"), "All files  {0}");
    EXPECT_EQ(EnglishMessages::english("资料库读取失败：{0}\n原资料库已保留，请先在设置中查看位置。"),
              "Could not load the library: {0}\nThe original library is kept. Check its location in Settings.");
    EXPECT_EQ(EnglishMessages::english("将创建“{0}”文件夹，包含文件、清单与检查说明。同名文件夹会自动编号。"),
              "Creates a “{0}” folder with files, a manifest and a report. Existing names are numbered automatically.");
    for (std::string_view key : {"缺少{0}", "{0}已就位", "保存失败：{0}", "保存规则失败：{0}", "扫描未完成：{0}",
                                 "归档未完成：{0}", "资料库读取失败：{0}\n原资料库已保留，请先在设置中查看位置。"})
        EXPECT_TRUE(EnglishMessages::english(key).has_value()) << key;
    EXPECT_EQ(EnglishMessages::values().front().chinese, "Sorvik");
    EXPECT_EQ(EnglishMessages::values().back().chinese, "Sorvik 已在使用这个资料库。");
}

TEST(EnglishMessages, InterfaceTextsHaveTheirAgreedEnglish) {
    struct Pair {
        std::string_view chinese;
        std::string_view english;
    };
    // Across the menus, the store's messages, settings, window, sidebar, library pages, sheets
    // and delivery views.
    const Pair pairs[] = {
        {"新建项目", "New project"},
        {"连接来源文件夹…", "Connect source folders…"},
        {"查看全部项目", "Show all projects"},
        {"导出交付包…", "Export delivery package…"},
        {"体验分散素材示例", "Try the sample workspace"},
        {"暂时无法完成", "Unable to complete"},
        {"知道了", "Got it"},
        {"未命名项目", "Untitled project"},
        {"开发版", "Development build"},
        {"关联素材", "Link assets"},
        {"一次最多关联 500 个文件。", "Link up to 500 files at a time."},
        {"跟随系统", "System default"},
        {"管理来源文件夹与自动归档", "Manage sources and auto-archive"},
        {"停止扫描", "Stop scanning"},
        {"连接来源，让素材自己归位。", "Connect sources. Find your files together."},
        {"散落各处，也能Sorvik", "Scattered everywhere, together in Sorvik"},
        {"散落各处，也能Sorvik。", "Scattered everywhere, together in Sorvik."},
        {"引用原件 · 本机处理", "Linked originals · On-device"},
        {"删除项目（保留原文件）", "Delete project (keep originals)"},
        {"暂时没有足够的项目线索，保留在原始位置。",
         "More project information is needed. Files remain in their original locations."},
        {"自动关联", "Auto-linked"},
        {"文档", "Documents"},
        {"添加识别线索", "Add matching hints"},
        {"查看原文件位置", "Reveal original file"},
        {"原文件需要检查", "Original file needs attention"},
        {"当前没有待识别素材", "Your inbox is empty"},
        {"建立新项目…", "Create project…"},
        {"识别图片中的文字，辅助项目关联（本机处理）", "Use on-device image text recognition to match projects"},
        {"例如：山间慢生活", "For example: Mountain Weekend"},
        {"这一份，已经交齐。", "Ready to deliver."},
        {"检查提醒事项，或确认后继续导出", "Review the warnings, then confirm to export"},
        {"已调整", "Edited"},
        {"给这份交付起个名字", "Name this delivery"},
        {"完成第一次导出后，记录会出现在这里。", "Your first export will appear here."},
        {"等待添加", "Waiting for a file"},
        {"编辑只影响交付副本，原件保持不变。", "Edits apply to exported copies. Originals stay unchanged."},
        {"恢复原图", "Reset crop"},
        {"比例", "Aspect ratio"},
        {"封面比例", "Cover aspect ratio"},
        {"0 表示不检查；第一行为标题。规则不代表平台限制。",
         "0 disables a check. The first line is the title. These are your rules, not platform limits."},
        {"附件", "Attachment"},
        {"字", "characters"},
        {"导出完成后在文件管理器中显示", "Show in file manager after export"},
        {"在文件管理器中查看", "Show in file manager"},
        {"在文件管理器中显示", "Show in file manager"},
        {"设置…", "Settings…"},
        {"资料库位置无效", "The library location is not valid."},
        {"Sorvik 正在后台运行，继续按时发现新素材。", "Sorvik is still running and keeps discovering new assets."},
    };
    for (const Pair& pair : pairs) EXPECT_EQ(L(en, pair.chinese), pair.english) << pair.chinese;

    // Templates filled by the app, and the same messages finished in Chinese and translated back.
    EXPECT_EQ(L(en, "已连接 {0} 个文件夹，关联 {1} 个文件，跳过 {2} 项。", 2, 14, 3),
              "Connected 2 folders, linked 14 files, skipped 3 items.");
    EXPECT_EQ(L(en, "{0} 件素材 · 来自 {1} 个文件夹", 12, 3), "12 assets · 3 folders");
    EXPECT_EQ(L(en, "标题 {0} 字 · 正文 {1} 字", 5, 6), "Title: 5 characters · Body: 6 characters");
    EXPECT_EQ(L(en, "全部文件  {0}", 4), "All files  4");
    EXPECT_EQ(L(en, "查看{0}：{1}", L(en, "封面"), "cover.png"), "View Cover: cover.png");
    EXPECT_EQ(L(en, "已从交付中移除“山间.mp4”。原文件仍在。"),
              "Removed “山间.mp4” from delivery. The original is kept.");
    EXPECT_EQ(L(en, "已自动归档 4 件新版本，原文件未移动。"), "Archived 4 new versions. Originals were not moved.");
    EXPECT_EQ(L(en, "已保存常用规则“周末”。"), "Preset “周末” saved.");
    EXPECT_EQ(L(en, "读取 3 件 · 复用 1 件索引 · 重连 0 件"), "Read 3 · Reused 1 · Reconnected 0");
    EXPECT_EQ(L(en, "保存规则失败：文件路径不属于Sorvik资料库"),
              "Could not save rules: File path is outside the Sorvik library");
    EXPECT_EQ(L(en, "归档暂未完成，下次扫描会重试：a.png"), "Archiving will retry after the next scan: a.png");
    const std::string missing = "libavcodec.so.59: cannot open shared object file: No such file or directory";
    EXPECT_EQ(L(en, "视频和文字识别暂不可用：" + missing + "。安装缺少的软件包后会自动恢复。"),
              "Video and text recognition are unavailable: " + missing +
                  ". They come back once the missing package is installed.");
    EXPECT_EQ(L(en, "没有位于视频时长以内的字幕，请手动调整时间轴"),
              "No captions fit within the video. Adjust the timeline manually.");
    EXPECT_EQ(L(en, "资料库读取失败：资料库位置无效\n原资料库已保留，请先在设置中查看位置。"),
              "Could not load the library: The library location is not valid.\nThe original library is kept. Check "
              "its location in Settings.");
}

TEST(EnglishMessages, NoTextNamesTheMacFileViewer) {
    for (const MessagePair& pair : EnglishMessages::values()) {
        EXPECT_EQ(pair.chinese.find("Finder"), std::string_view::npos) << pair.chinese;
        EXPECT_EQ(pair.english.find("Finder"), std::string_view::npos) << pair.english;
    }
}

// ---------------------------------------------------------------------------------------------
// The interface language

TEST(InterfaceLanguage, PreferenceDecidesElseTheFirstSystemLanguage) {
    using InterfaceLanguage::code;
    EXPECT_EQ(code({"en", {"zh-Hans-CN"}}), "en");
    EXPECT_EQ(code({"zh-Hans", {"fr-FR"}}), "zh-Hans");
    EXPECT_EQ(code({std::nullopt, {"zh-Hant-TW", "en-US"}}), "zh-Hans");
    EXPECT_EQ(code({std::nullopt, {"fr-FR", "zh-Hans"}}), "en");
    EXPECT_EQ(code({std::nullopt, {}}), "en");
    EXPECT_EQ(code({"system", {"zh-HK"}}), "zh-Hans");
    EXPECT_EQ(code({"de", {"zh-Hant"}}), "zh-Hans");
    EXPECT_EQ(code({"de", {}}), "en");
    EXPECT_EQ(code({"EN", {"zh"}}), "zh-Hans");  // the preference's words are exact
}

TEST(InterfaceLanguage, EnvironmentIsReadAsGettextDoes) {
    EnvironmentGuard env;
    EXPECT_TRUE(InterfaceLanguage::environmentSettings().preferredLanguages.empty());
    EXPECT_FALSE(InterfaceLanguage::environmentSettings().preference.has_value());

    env.set("LANG", "zh_CN.UTF-8");
    EXPECT_EQ(InterfaceLanguage::environmentSettings().preferredLanguages, std::vector<std::string>{"zh-CN"});

    env.set("LC_MESSAGES", "fr_FR.UTF-8@euro");
    EXPECT_EQ(InterfaceLanguage::environmentSettings().preferredLanguages, std::vector<std::string>{"fr-FR"});

    env.set("LANGUAGE", "zh_TW::de:fr_FR");
    EXPECT_EQ(InterfaceLanguage::environmentSettings().preferredLanguages,
              (std::vector<std::string>{"zh-TW", "de", "fr-FR"}));

    env.set("LC_ALL", "C.UTF-8");  // the C locale speaks no language, and LANGUAGE is then ignored
    EXPECT_TRUE(InterfaceLanguage::environmentSettings().preferredLanguages.empty());
}

namespace {
std::atomic<int> providedPreference{0};
LanguageSettings testProvider() {
    switch (providedPreference.load()) {
        case 1: return {"en", {"zh-CN"}};
        case 2: return {"zh-Hans", {"en-US"}};
        default: return {std::nullopt, {"fr"}};
    }
}
}  // namespace

TEST(InterfaceLanguage, InstalledProviderIsReadOnEveryLookup) {
    InterfaceLanguage::installProvider(&testProvider);
    providedPreference = 1;
    EXPECT_EQ(InterfaceLanguage::code(), "en");
    EXPECT_EQ(L("项目"), "Projects");
    EXPECT_EQ(L("{0} 个项目", 3), "3 projects");
    providedPreference = 2;
    EXPECT_EQ(InterfaceLanguage::code(), "zh-Hans");
    EXPECT_EQ(L("项目"), "项目");
    providedPreference = 0;
    EXPECT_EQ(L("缺少成片"), "Missing Video");
    InterfaceLanguage::installProvider(nullptr);

    EnvironmentGuard env;
    env.set("LANG", "zh_TW.UTF-8");
    EXPECT_EQ(InterfaceLanguage::code(), "zh-Hans");
    EXPECT_EQ(L("项目"), "项目");
    env.set("LANG", "en_GB.UTF-8");
    EXPECT_EQ(L("项目"), "Projects");
}

// ---------------------------------------------------------------------------------------------
// Lookups with arguments

TEST(Localization, LooksUpAndFillsArguments) {
    EXPECT_EQ(L(en, "项目"), "Projects");
    EXPECT_EQ(L(zh, "项目"), "项目");
    EXPECT_EQ(L(en, "{0} 个项目", 3), "3 projects");
    EXPECT_EQ(L(zh, "{0} 个项目", 3), "3 个项目");
    EXPECT_EQ(L(en, "当前 {0} × {1}，目标 {2}", 1080, 1920, "3:4"), "Current: 1080 × 1920; target: 3:4");
    EXPECT_EQ(L(en, "读取 {0} 件 · 复用 {1} 件索引 · 重连 {2} 件", std::vector<std::string>{"5", "4", "0"}),
              "Read 5 · Reused 4 · Reconnected 0");
    EXPECT_EQ(L(en, "资料库读取失败：{0}\n原资料库已保留，请先在设置中查看位置。", "权限不足"),
              "Could not load the library: 权限不足\nThe original library is kept. Check its location in Settings.");
    // Any code other than "en" is Chinese.
    EXPECT_EQ(L(InLanguage{"fr"}, "项目"), "项目");
}

TEST(Localization, ArgumentsAreIntegersInDecimalAndStringsUnchanged) {
    const std::string name = "山间.mp4";
    const std::string_view view = "片";
    EXPECT_EQ(L(zh, "{0} {1} {2} {3}", std::int64_t{-42}, std::numeric_limits<std::uint64_t>::max(), name, view),
              "-42 18446744073709551615 山间.mp4 片");
    EXPECT_EQ(L(zh, "{0} 字", 1234567), "1234567 字");  // no grouping
}

TEST(Localization, SurplusArgumentsAreIgnoredAndMissingOnesLeaveThePlaceholder) {
    EXPECT_EQ(L(en, "{0} 个项目", 3, 4, "x"), "3 projects");
    EXPECT_EQ(L(en, "{0} 件素材 · 来自 {1} 个文件夹", 5), "5 assets · {1} folders");
    EXPECT_EQ(L(zh, "{0} 件素材 · 来自 {1} 个文件夹", 5), "5 件素材 · 来自 {1} 个文件夹");
}

TEST(Localization, UnknownTextsComeBackWithTheirPlaceholdersFilled) {
    EXPECT_EQ(L(en, "不在目录中的文字"), "不在目录中的文字");
    EXPECT_EQ(L(zh, "不在目录中的文字"), "不在目录中的文字");
    EXPECT_EQ(L(en, "第 {1} 行，共 {0} 行", 10, 3), "第 3 行，共 10 行");
    EXPECT_EQ(L(en, ""), "");
}

TEST(Localization, PlaceholderScanningIsExactAndInsertedTextIsNotRescanned) {
    EXPECT_EQ(L(en, "{0} 个项目", "{0}"), "{0} projects");
    EXPECT_EQ(L(zh, "{0}{1}", "{1}", "b"), "{1}b");
    EXPECT_EQ(L(zh, "{{0}} {00} {} {x} {0 } {", "a"), "{a} a {} {x} {0 } {");
    EXPECT_EQ(L(zh, "{99999999999999999999999999} {0}", "a"), "{99999999999999999999999999} a");
}

TEST(Localization, KeyWithPlaceholdersWithoutArgumentsGivesItsTemplate) {
    EXPECT_EQ(L(en, "{0} 件素材"), "{0} assets");
    EXPECT_EQ(L(zh, "{0} 件素材"), "{0} 件素材");
    EXPECT_EQ(L(en, "Sorvik {0}"), "Sorvik {0}");
    EXPECT_EQ(L(en, "Sorvik"), "Sorvik");
}

TEST(Localization, EnglishCountedWordsTakeTheSingularForOne) {
    EXPECT_EQ(L(en, "{0} 个项目", 1), "1 project");
    EXPECT_EQ(L(en, "{0} 个项目", 0), "0 projects");
    EXPECT_EQ(L(en, "{0} 个项目", 11), "11 projects");
    EXPECT_EQ(L(en, "{0} 件素材 · 来自 {1} 个文件夹", 1, 3), "1 asset · 3 folders");
    EXPECT_EQ(L(en, "{0} 件素材 · 来自 {1} 个文件夹", 3, 1), "3 assets · 1 folder");
    EXPECT_EQ(L(en, "{0} 件素材，关联自 {1} 个文件夹。", 4, 1), "4 assets linked from 1 folder.");
    EXPECT_EQ(L(en, "{0} 件素材待识别", 1), "1 asset in the inbox");
    EXPECT_EQ(L(en, "{0} 件内容 · {1} 项待处理", 0, 1), "0 assets · 1 item to review");
    EXPECT_EQ(L(en, "已连接 {0} 个文件夹，关联 {1} 个文件，跳过 {2} 项。", 1, 1, 1),
              "Connected 1 folder, linked 1 file, skipped 1 item.");
    EXPECT_EQ(L(en, "{0} / {1} 字", 1, 1), "1 / 1 character");
    EXPECT_EQ(L(en, "已记录 {0} 份归档", 1), "1 archive copy recorded");
    // Only a count of exactly one: "01", "-1" and "1.0" are no such count.
    EXPECT_EQ(L(en, "{0} 个项目", "01"), "01 projects");
    EXPECT_EQ(L(en, "{0} 个项目", -1), "-1 projects");
    // Chinese has one form; without a count English shows the plural around the placeholder.
    EXPECT_EQ(L(zh, "{0} 个项目", 1), "1 个项目");
    EXPECT_EQ(L(en, "{0} 件素材 · 来自 {1} 个文件夹", 1), "1 asset · {1} folders");
    EXPECT_EQ(L(en, "{0} 个项目"), "{0} projects");
    // Translated back, the captured count decides.
    EXPECT_EQ(L(en, "1 件内容 · 1 项待处理"), "1 asset · 1 item to review");
    EXPECT_EQ(L(en, "已连接 1 个文件夹，关联 12 个文件。"), "Connected 1 folder and linked 12 files.");
    EXPECT_EQ(L(en, "扫描未完成：本次扫描超过 1 件，请选择更具体的来源文件夹。"),
              "Scan incomplete: Scan exceeds 1 file. Choose a more specific source folder.");
    // A choice is a catalogue device: an unknown text keeps its braces.
    EXPECT_EQ(L(en, "{0} {0:x|y}", 1), "1 {0:x|y}");
}

TEST(EnglishMessages, EveryCountedWordHasItsSingular) {
    // An English noun right after a count is written as a choice, never in the plural alone.
    const std::vector<std::string> plurals = {"projects", "assets",     "sources",  "folders", "files",
                                              "items",    "characters", "captions", "bytes",   "versions"};
    for (const MessagePair& pair : EnglishMessages::values()) {
        const std::vector<int> inKey = placeholders(pair.chinese);
        for (int n : inKey)
            for (const std::string& word : plurals)
                EXPECT_EQ(pair.english.find("{" + std::to_string(n) + "} " + word), std::string_view::npos)
                    << pair.english;
        // Each choice counts by a placeholder of its key and has both forms.
        for (std::size_t at = pair.english.find('{'); at != std::string_view::npos;
             at = pair.english.find('{', at + 1)) {
            const std::size_t colon = pair.english.find(':', at);
            const std::size_t close = pair.english.find('}', at);
            if (colon == std::string_view::npos || colon > close) continue;
            const std::string_view choice = pair.english.substr(at + 1, close - at - 1);
            const int n = std::stoi(std::string(choice.substr(0, colon - at - 1)));
            EXPECT_TRUE(std::find(inKey.begin(), inKey.end(), n) != inKey.end()) << pair.english;
            const std::size_t bar = choice.find('|');
            ASSERT_NE(bar, std::string_view::npos) << pair.english;
            EXPECT_GT(bar, colon - at);
            EXPECT_LT(bar + 1, choice.size()) << pair.english;
        }
    }
}

TEST(Localization, AKeyAtAPlaceOfItsOwnHasThatPlacesEnglish) {
    constexpr InContext badge{"project card badge"};
    EXPECT_EQ(L(en, badge, "项目"), "Project");
    EXPECT_EQ(L(en, "项目"), "Projects");
    EXPECT_EQ(L(zh, badge, "项目"), "项目");
    // Elsewhere at that place, or at an unknown place, the key reads as everywhere.
    EXPECT_EQ(L(en, badge, "自动关联"), "Auto-linked");
    EXPECT_EQ(L(en, InContext{"nowhere"}, "项目"), "Projects");
    for (const ContextualPair& pair : EnglishMessages::contextual())
        EXPECT_TRUE(EnglishMessages::english(pair.chinese).has_value()) << pair.chinese;
}

// ---------------------------------------------------------------------------------------------
// Translating finished messages back

TEST(Localization, FinishedMessagesAreTranslatedBack) {
    EXPECT_EQ(L(en, "3 件内容 · 2 项待处理"), "3 assets · 2 items to review");  // the longer template wins
    EXPECT_EQ(L(en, "2 项待处理"), "2 items to review");
    EXPECT_EQ(L(en, "“周末.mp4”已丢失，请重新扫描来源文件夹。"), "“周末.mp4” is missing. Rescan its source folder.");
    EXPECT_EQ(L(en, "读取 12 件 · 复用 10 件索引 · 重连 1 件"), "Read 12 · Reused 10 · Reconnected 1");
    EXPECT_EQ(L(en, "资料库读取失败：权限不足\n原资料库已保留，请先在设置中查看位置。"),
              "Could not load the library: 权限不足\nThe original library is kept. Check its location in Settings.");
    // The Chinese interface shows the message as it is.
    EXPECT_EQ(L(zh, "3 件内容 · 2 项待处理"), "3 件内容 · 2 项待处理");
    // A trailing line break is part of the text, so the whole message no longer has the template's form.
    EXPECT_EQ(L(en, "2 项待处理\n"), "2 项待处理\n");
}

TEST(Localization, OnlyTheWrappingMessagesTranslateTheirCaptures) {
    EXPECT_EQ(L(en, "保存失败：文件路径不属于Sorvik资料库"), "Could not save: File path is outside the Sorvik library");
    EXPECT_EQ(L(en, "无法读取视频：视频无有效画面或时长"), "Cannot read video: 视频无有效画面或时长");
    EXPECT_EQ(L(en, "缺少成片"), "Missing Video");
    EXPECT_EQ(L(en, "封面已就位"), "Cover ready");
    EXPECT_EQ(L(en, "缺少未知角色"), "Missing 未知角色");
    EXPECT_EQ(L(en, "扫描未完成：本次扫描超过 20000 件，请选择更具体的来源文件夹。"),
              "Scan incomplete: Scan exceeds 20000 files. Choose a more specific source folder.");
    EXPECT_EQ(L(en, "保存规则失败：保存失败：缺少字幕"), "Could not save rules: Could not save: Missing Subtitles");
    EXPECT_EQ(L(en, "归档未完成：部分文件暂时无法读取：a.png"),
              "Archive incomplete: Some files are temporarily unreadable: a.png");
    EXPECT_EQ(L(en, "来源文件夹没有响应，本次扫描已跳过。"),
              "The source folder did not respond and was skipped in this scan.");
    EXPECT_EQ(L(en, "部分文件暂时无法读取：文件没有响应：\"/mnt/共享/a.png\""),
              "Some files are temporarily unreadable: The file did not respond: \"/mnt/共享/a.png\"");
    EXPECT_EQ(L(en, "部分文件暂时无法读取（共 3 件）：文件没有响应：\"/mnt/a.png\""),
              "Some files are temporarily unreadable (3 files): The file did not respond: \"/mnt/a.png\"");
    // The library's start-up failure translates the reason it wraps; a reason that is no
    // catalogue text, such as a system error, is shown as it is.
    EXPECT_EQ(L(en, "资料库读取失败：资料库位置为空\n原资料库已保留，请先在设置中查看位置。"),
              "Could not load the library: The library location is empty.\nThe original library is kept. Check its "
              "location in Settings.");
    EXPECT_EQ(L(en, "资料库读取失败：Sorvik 已在使用这个资料库。\n原资料库已保留，请先在设置中查看位置。"),
              "Could not load the library: Sorvik is already using this library.\nThe original library is kept. "
              "Check its location in Settings.");
    EXPECT_EQ(L(en, "资料库读取失败：Permission denied\n原资料库已保留，请先在设置中查看位置。"),
              "Could not load the library: Permission denied\nThe original library is kept. Check its location in "
              "Settings.");
    EXPECT_EQ(L(zh, "资料库读取失败：资料库位置为空\n原资料库已保留，请先在设置中查看位置。"),
              "资料库读取失败：资料库位置为空\n原资料库已保留，请先在设置中查看位置。");
    EXPECT_EQ(L(en,
                "资料库读取失败：“workspace.json”超过 1 "
                "GB，不是可以读取的资料库文件。\n原资料库已保留，请先在设置中查看位置。"),
              "Could not load the library: “workspace.json” is larger than 1 GB and is not a readable library "
              "file.\nThe original library is kept. Check its location in Settings.");
}

TEST(Localization, CapturedTextIsInsertedOnce) {
    // A capture that looks like a placeholder is not filled again by a later capture.
    EXPECT_EQ(L(en, "3 件文件 · {0}"), "3 files · {0}");
    EXPECT_EQ(L(en, "{1} 件文件 · x"), "{1} files · x");
    EXPECT_EQ(L(en, "查看封面：{0}.png"), "View 封面: {0}.png");
}

TEST(Localization, LongMessagesAreTranslatedBack) {
    const std::string tail(1'000'000, 'x');
    EXPECT_EQ(L(en, "内容不属于指定项目：" + tail), "Asset does not belong to the selected project: " + tail);

    std::string plain;
    for (int i = 0; i < 1'000'000; ++i) plain += "件";
    EXPECT_EQ(L(en, plain), plain);

    // 200000 wrapped levels, 1,000,004 characters.
    std::string nested, expected;
    for (int i = 0; i < 200'000; ++i) {
        nested += "保存失败：";
        expected += "Could not save: ";
    }
    nested += "缺少成片";
    expected += "Missing Video";
    EXPECT_EQ(unicode::graphemeCount(nested), 1'000'004u);
    EXPECT_EQ(L(en, nested), expected);

    // Wrapped at the end, with a text that every two-part template has to search.
    std::string spaces(500'000, ' '), ready, readyEnglish;
    for (int i = 0; i < 200'000; ++i) {
        ready += "已就位";
        readyEnglish += " ready";
    }
    EXPECT_EQ(L(en, spaces + ready), spaces + readyEnglish);
}

// ---------------------------------------------------------------------------------------------
// The matcher against the regular expression it stands for

namespace {

/// The captures of the anchored lazy pattern, from ICU's regular expressions.
std::optional<std::vector<std::string>> regexMatch(const std::string& key, const std::string& text) {
    std::string expression = "^";
    const auto literals = localization::pattern(key).literals;
    for (std::size_t i = 0; i < literals.size(); ++i) {
        if (i > 0) expression += "([\\s\\S]*?)";
        if (!literals[i].empty()) expression += "\\Q" + literals[i] + "\\E";
    }
    expression += "$";
    UErrorCode status = U_ZERO_ERROR;
    icu::RegexMatcher matcher(icu::UnicodeString::fromUTF8(expression), 0, status);
    EXPECT_TRUE(U_SUCCESS(status));
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(text);
    matcher.reset(input);
    if (!matcher.find(status)) return std::nullopt;
    std::vector<std::string> groups;
    for (int32_t g = 1; g <= matcher.groupCount(); ++g) {
        std::string part;
        matcher.group(g, status).toUTF8String(part);
        groups.push_back(part);
    }
    return groups;
}

std::optional<std::vector<std::string>> ourMatch(const std::string& key, const std::string& text) {
    const auto parts = localization::match(localization::pattern(key), text);
    if (!parts) return std::nullopt;
    return std::vector<std::string>(parts->begin(), parts->end());
}

}  // namespace

TEST(Localization, MatcherTakesTheShortestCaptures) {
    using Parts = std::optional<std::vector<std::string>>;
    EXPECT_EQ(ourMatch("{0}{1}", "abc"), (Parts{{"", "abc"}}));
    EXPECT_EQ(ourMatch("a{0}a", "a"), std::nullopt);  // prefix and suffix may not overlap
    EXPECT_EQ(ourMatch("a{0}a", "aa"), (Parts{{""}}));
    EXPECT_EQ(ourMatch("a{0}a", "aaaa"), (Parts{{"aa"}}));
    EXPECT_EQ(ourMatch("{0}ab{1}b", "abab"), (Parts{{"", "a"}}));
    EXPECT_EQ(ourMatch("{0}ab{1}b", "xab"), std::nullopt);  // the only "ab" runs into the suffix
    EXPECT_EQ(ourMatch("{0}·{1}·{2}", "1·2·3·4"), (Parts{{"1", "2", "3·4"}}));
    EXPECT_EQ(ourMatch("第 {0} 段", "第 1 段 第 2 段"), (Parts{{"1 段 第 2"}}));
    EXPECT_EQ(localization::pattern("a{0}b{12}c{x}").literals, (std::vector<std::string>{"a", "b{12}c{x}"}));
}

TEST(Localization, MatcherAgreesWithTheLazyAnchoredExpression) {
    std::mt19937 random(20240601);
    const std::vector<std::string> keyPieces = {"a", "b", "ab", "ba", "件", "{0}"};
    const std::vector<std::string> textPieces = {"a", "b", "件", ""};
    int matched = 0;
    for (int round = 0; round < 4000; ++round) {
        // A key of up to 6 pieces whose placeholders are numbered in order.
        std::string key;
        int next = 0;
        const int pieces = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < pieces; ++i) {
            const std::string& piece = keyPieces[random() % keyPieces.size()];
            key += piece == "{0}" ? "{" + std::to_string(next++) + "}" : piece;
        }
        if (next == 0) key += "{0}";
        for (int t = 0; t < 5; ++t) {
            std::string text;
            const int length = static_cast<int>(random() % 9);
            for (int i = 0; i < length; ++i) text += textPieces[random() % textPieces.size()];
            const auto expected = regexMatch(key, text);
            ASSERT_EQ(ourMatch(key, text), expected) << "key " << key << " text " << text;
            if (expected) ++matched;
        }
    }
    EXPECT_GT(matched, 1000);  // the comparison covered matches as well as failures
}
