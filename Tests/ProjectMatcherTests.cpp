#include <memory>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <unicode/regex.h>

#include "SorvikCore/AhoCorasick.hpp"
#include "SorvikCore/ProjectMatcher.hpp"
#include "SorvikCore/TermPattern.hpp"
#include "SorvikCore/TextMatching.hpp"
#include "SorvikCore/UnicodeText.hpp"

using namespace sorvik;
namespace PM = sorvik::ProjectMatcher;

namespace {

std::string repeat(std::string_view piece, std::size_t count) {
    std::string out;
    out.reserve(piece.size() * count);
    for (std::size_t i = 0; i < count; ++i) out += piece;
    return out;
}

IndexedAsset asset(std::string name, FileRole role = FileRole::extra, std::optional<std::string> text = std::nullopt,
                   std::optional<std::string> folderHint = std::nullopt) {
    DeliveryFile file(UUID::make(), name, name, role, 10, "", std::nullopt, std::nullopt, std::nullopt,
                      std::move(text));
    return IndexedAsset(std::move(file), std::nullopt, "", std::move(folderHint));
}

Delivery project(std::string name, std::optional<std::string> discoveryKey = std::nullopt,
                 std::optional<std::vector<std::string>> keywords = std::nullopt) {
    Delivery d(UUID::make(), std::move(name), {}, DeliveryTemplate::flexible());
    d.discoveryKey = std::move(discoveryKey);
    d.keywords = std::move(keywords);
    return d;
}

}  // namespace

TEST(ProjectMatcherKey, FoldsCaseDiacriticsWidthAndDropsSeparators) {
    EXPECT_EQ(PM::key("Summer Sale-2024"), "summersale2024");
    EXPECT_EQ(PM::key("夏日 新品！"), "夏日新品");
    EXPECT_EQ(PM::key("ＡＢＣ"), "abc");
    EXPECT_EQ(PM::key("ÉCOLE Straße"), "ecolestrasse");
    EXPECT_EQ(PM::key("🎬 Launch ✨ #1"), "launch1");
    EXPECT_EQ(PM::key(""), "");
    // Half-width katakana with a separate voiced mark gives the key of the normal form.
    EXPECT_EQ(PM::key("ｶﾞｲﾄﾞ"), PM::key("ガイド"));
}

TEST(ProjectMatcherKey, DecomposedNamesGiveTheComposedKey) {
    EXPECT_EQ(PM::key("Cafe\u0301 Noe\u0308l"), PM::key("Café Noël"));
    EXPECT_EQ(PM::key("Café"), "cafe");
    // Hangul written as conjoining jamo comes out composed.
    const std::string jamo = "\u1112\u1161\u11AB\u1100\u116E\u11A8";
    EXPECT_EQ(PM::key(jamo), "한국");
    EXPECT_EQ(PM::key("한국"), "한국");
}

TEST(ProjectMatcherTopic, ExamplesAndDefaultNames) {
    EXPECT_EQ(PM::topic("2024-05-01_夏日新品_封面"), "夏日新品");
    EXPECT_EQ(PM::topic("01 - Launch video final"), "Launch");
    EXPECT_EQ(PM::topic("  2024-05-01T10:30:00 秋季上新 v2.1  "), "秋季上新");
    EXPECT_EQ(PM::topic("新品"), "新品");
    EXPECT_EQ(PM::topic("Abcd"), "Abcd");
    EXPECT_EQ(PM::topic("Summer Sale 1920x1080"), "Summer Sale");
    EXPECT_EQ(PM::topic("春日发布会第3版"), "春日发布会");
    EXPECT_EQ(PM::topic("abcdef123456789"), "abcdef123456789");
    EXPECT_EQ(PM::topic("0123456789abcdef0"), "89abcdef0");
    // Chinese words may follow directly; English words need a separator.
    EXPECT_EQ(PM::topic("Homevideo"), "Homevideo");

    for (const char* none : {"IMG_1234",
                             "Final",
                             "abc",
                             "ABC",
                             "20240501_01_封面",
                             "Final_Video_v2",
                             "Rendered Media",
                             "rendered-media",
                             "RENDERED_MEDIA",
                             "屏幕截图2024",
                             "IMG_00A1",
                             "a3f9c2e17b4d8e6f0c1a",
                             "ChatGPT Image 2024年5月1日",
                             "Gemini_Generated_Image_x1",
                             "12345",
                             "",
                             "   ",
                             "---",
                             "AI素材",
                             "ai输出",
                             "Downloads"})
        EXPECT_EQ(PM::topic(none), std::nullopt) << none;
}

TEST(ProjectMatcherTopic, LengthLimitAndPassLimit) {
    // Cut at 70 user-perceived characters, never inside one (each é here is two scalars).
    const std::string decomposed = repeat("o\u0308", 80);
    const auto cut = PM::topic(decomposed);
    ASSERT_TRUE(cut);
    EXPECT_EQ(*cut, repeat("o\u0308", 70));
    EXPECT_EQ(PM::topic(repeat("新", 75)), repeat("新", 70));

    // Nine removable suffixes: after eight passes the innermost stays.
    EXPECT_EQ(PM::topic("Launch_1_2_3_4_5_6_7_8_9"), "Launch_1");
    EXPECT_EQ(PM::topic("Launch_2_3_4_5_6_7_8_9"), "Launch");
}

TEST(ProjectMatcherTopic, LongSeparatorAndDigitRunsFinish) {
    // These runs made the suffix search retry every position; they must be linear.
    const std::string dashes = repeat("-", 100000);
    EXPECT_EQ(PM::topic(dashes), std::nullopt);
    EXPECT_EQ(PM::topic("Launch" + dashes + "final"), "Launch");
    EXPECT_EQ(PM::topic("新品" + repeat(" .", 50000)), "新品");
    const std::string mixed = "新品" + repeat("_-", 50000) + "封面x";
    EXPECT_EQ(PM::topic(mixed), unicode::graphemePrefix(mixed, 70));
    EXPECT_EQ(PM::topic("新品" + repeat("_-", 50000) + "封面"), "新品");
    EXPECT_EQ(PM::topic(repeat("7", 100000)), std::nullopt);
    EXPECT_EQ(PM::topic("Moon " + repeat("1x", 50000) + "1"),
              unicode::graphemePrefix("Moon " + repeat("1x", 49999), 70));
    EXPECT_EQ(PM::topic("Poster " + repeat("9", 100000) + "x"), "Poster " + repeat("9", 63));
}

TEST(ProjectMatcherTopic, SuffixPatternAgreesWithThePlainGreedyForm) {
    // The straightforward form of the suffix rule, for comparison on random short names.
    const text::Regex plain(
        u"(?i)(?:[-_ "
        u".]*(?:封面|成片|视频|字幕|发布文案|文案|口播稿|脚本|终稿|定稿|竖版|横版|图文|图片|导出|版本\\d+|第\\d+版"
        u"|第\\d+张|\\d+[x×]\\d+))$|(?:[-_ .]+(?:v\\d+(?:\\.\\d+)*|final|draft|export|render|cover|thumbnail|video"
        u"|subtitle[s]?|copy|script|image[s]?|\\d{1,3}))$");
    const std::vector<std::string> atoms{"-",     "_",     " ",    ".",    "v",  "V",  "1",     "22",       "x",
                                         "×",     "X",     "封面", "版本", "第", "版", "张",    "文案",     "发布",
                                         "final", "Final", "a",    "新",   "٣",  "s",  "image", "subtitle", "\n"};
    std::mt19937 random(7);
    auto plainClean = [&](std::string name) {
        // Mirrors the topic's suffix step with the plain pattern, then its last word.
        auto matcher = plain.matcher();
        icu::UnicodeString s = text::toUTF16(name);
        for (int pass = 0; pass < 8; ++pass) {
            icu::UnicodeString next = text::removeAll(*matcher, s);
            int32_t end = next.length(), begin = 0;
            auto sep = [](char16_t c) { return c == u'-' || c == u'_' || c == u' ' || c == u'.'; };
            while (end > 0 && sep(next.charAt(end - 1))) --end;
            while (begin < end && sep(next.charAt(begin))) ++begin;
            next = icu::UnicodeString(next, begin, end - begin);
            if (next == s) break;
            s = next;
        }
        return text::toUTF8(s);
    };
    for (int round = 0; round < 4000; ++round) {
        std::string name = "Moon";
        const int length = 1 + static_cast<int>(random() % 9);
        for (int i = 0; i < length; ++i) name += atoms[random() % atoms.size()];
        const std::string cleaned = plainClean(name);
        // The topic is the cleaned name unless a rule rejects it; "Moon" keeps it a topic.
        const auto topic = PM::topic(name);
        const std::string trimmed(unicode::trimWhitespaceAndNewlines(name));
        if (trimmed != name) continue;  // the topic trims first; keep the comparison exact
        ASSERT_TRUE(topic) << name;
        EXPECT_EQ(*topic, unicode::graphemePrefix(cleaned, 70)) << name;
    }
}

TEST(ProjectMatcherFolderTopic, InnermostComponentWithATopic) {
    EXPECT_EQ(PM::folderTopic("视频输出/夏日新品/封面"), "夏日新品");
    EXPECT_EQ(PM::folderTopic("Clients/Acme Launch/Rendered Media/"), "Acme Launch");
    EXPECT_EQ(PM::folderTopic("夏日新品"), "夏日新品");
    EXPECT_EQ(PM::folderTopic(""), std::nullopt);
    EXPECT_EQ(PM::folderTopic("///"), std::nullopt);
    EXPECT_EQ(PM::folderTopic("output/images/2024"), std::nullopt);
}

TEST(ProjectMatcherHint, CluesInOrder) {
    // A folder hint wins over everything.
    auto a = asset("Moonlight Poster.png", FileRole::cover, std::nullopt, "Acme Launch");
    EXPECT_EQ(PM::hint(a), (ProjectHint{"Acme Launch", true, "项目目录或同目录说明"}));
    // A folder hint without topic moves on to the file name: a weak clue.
    a.folderHint = "output";
    EXPECT_EQ(PM::hint(a), (ProjectHint{"Moonlight Poster", false, "共同文件名主题"}));

    // Generation record: the first key with a topic, in field order.
    auto record = asset("IMG_0001.json", FileRole::extra,
                        R"({"topic":"Autumn Drop","project":"春季新品","projectName":"output","prompt":"x"})");
    EXPECT_EQ(PM::hint(record), (ProjectHint{"春季新品", true, "生成记录中的项目字段"}));
    record.file.editedText = R"({"project_name": 42, "topic": "Autumn Drop"})";
    EXPECT_EQ(PM::hint(record)->title, "Autumn Drop");
    // Not an object, unreadable, or only for .json names: the file name is next, here none.
    for (const char* body : {R"(["Autumn Drop"])", "{not json", R"({"project":"IMG_1"})"}) {
        record.file.editedText = body;
        EXPECT_EQ(PM::hint(record), std::nullopt) << body;
    }
    auto notJson = asset("IMG_0002.txt", FileRole::extra, R"({"project":"Autumn Drop"})");
    EXPECT_EQ(PM::hint(notJson), std::nullopt);
    // Too long a record is not read.
    auto large = asset("IMG_0003.JSON", FileRole::extra,
                       R"({"project":"Autumn Drop","pad":")" + std::string(262144, 'x') + "\"}");
    EXPECT_EQ(PM::hint(large), std::nullopt);
    // Deep nesting is just an array, not a clue (and no crash).
    auto deep = asset("IMG_0004.json", FileRole::extra, repeat("[", 200000) + repeat("]", 200000));
    EXPECT_EQ(PM::hint(deep), std::nullopt);
}

TEST(ProjectMatcherHint, CopyTitle) {
    auto copy = asset("文案.txt", FileRole::copy, "\n\n# 夏日新品发布 \n正文内容");
    EXPECT_EQ(PM::hint(copy), (ProjectHint{"夏日新品发布", true, "文案标题"}));
    copy.file.editedText = repeat("新", 60) + "\n正文";
    EXPECT_EQ(PM::hint(copy)->title, repeat("新", 60));
    copy.file.editedText = repeat("新", 61) + "\n正文";
    EXPECT_EQ(PM::hint(copy), std::nullopt);
    // Only copy texts give a title clue.
    auto other = asset("文案.txt", FileRole::extra, "夏日新品发布\n正文");
    EXPECT_EQ(PM::hint(other), std::nullopt);
}

TEST(ProjectMatcherMatches, LatinTermsMatchWholeWordsAcrossSeparators) {
    EXPECT_TRUE(PM::matches("Summer Sale", "summer_sale 2"));
    EXPECT_TRUE(PM::matches("Summer Sale", "SUMMER-SALE"));
    EXPECT_TRUE(PM::matches("Summer  Sale\n", "x summer -_ sale."));
    EXPECT_FALSE(PM::matches("Summer Sale", "summersale"));
    EXPECT_FALSE(PM::matches("Summer Sale", "xsummer sale"));
    EXPECT_FALSE(PM::matches("Summer Sale", "summer sale2"));
    EXPECT_FALSE(PM::matches("Sale", "Wholesale"));
    EXPECT_TRUE(PM::matches("Straße", "STRASSE poster"));
    // Pattern characters in a term are literal.
    EXPECT_TRUE(PM::matches("C++ (A.1)", "brief c++ (a.1) final"));
    EXPECT_FALSE(PM::matches("C++ (A.1)", "brief c++ (ax1)"));
    EXPECT_TRUE(PM::matches("\\Q\\E*", "a \\q\\e* b"));
}

TEST(ProjectMatcherMatches, ShortAndHanTerms) {
    EXPECT_FALSE(PM::matches("A", "A"));
    EXPECT_FALSE(PM::matches("!!", "!!"));
    EXPECT_FALSE(PM::matches("", ""));
    EXPECT_TRUE(PM::matches("夏日新品", "2024·夏日-新品封面"));
    EXPECT_TRUE(PM::matches("夏日 New", "ab夏日new"));
    EXPECT_FALSE(PM::matches("夏日新品", "夏日 旧品"));
}

namespace {

/// matches() as first built: the pieces joined plainly by "[-_ ]+", run by ICU without a time
/// limit. It backtracks without bound on runs of separators around pieces made of "-" and
/// "_", so it is only run on short texts here, as the reference for the random comparison.
bool referenceMatches(std::string_view term, std::string_view text) {
    const std::string termKey = PM::key(term);
    if (unicode::graphemeCount(termKey) < 2) return false;
    if (text::containsHan(term)) return PM::key(text).find(termKey) != std::string::npos;
    icu::UnicodeString pattern(u"(?i)(?<![a-z0-9])");
    const icu::UnicodeString term16 = text::toUTF16(term);
    bool inPiece = false, anyPiece = false;
    for (int32_t i = 0; i < term16.length();) {
        const UChar32 c = term16.char32At(i);
        i += U16_LENGTH(c);
        if (u_isUWhiteSpace(c)) {
            inPiece = false;
            continue;
        }
        if (!inPiece && anyPiece) pattern.append(u"[-_ ]+");
        inPiece = anyPiece = true;
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) {
            pattern.append(c);
        } else {
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\x{%X}", static_cast<unsigned>(c));
            pattern.append(icu::UnicodeString(escape, -1, US_INV));
        }
    }
    pattern.append(u"(?![a-z0-9])");
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(pattern, 0, parseError, status));
    const icu::UnicodeString text16 = text::toUTF16(text);
    std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(text16, status));
    const bool found = matcher->find(0, status);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    return found;
}

}  // namespace

TEST(ProjectMatcherMatches, SeparatorOnlyPiecesDoNotBacktrack) {
    // A piece made of "-" or "_" between runs of separators made the search retry every way
    // of cutting a run: these took seconds to hours.
    const std::string dashes = repeat("-", 2000);
    EXPECT_FALSE(PM::matches("ab - - cd", "ab " + dashes));
    EXPECT_FALSE(PM::matches("ab - - - - - - - - - - cd", "ab " + repeat("-", 40)));
    EXPECT_FALSE(PM::matches("Brand - _ -- Sale", "brand" + repeat("_-", 50000) + "sale!"));
    EXPECT_FALSE(PM::matches("- - Brand", "x" + repeat("-", 100000) + "brandy"));
    EXPECT_FALSE(PM::matches("Brand _ _", "brand " + repeat("-", 100000)));
    // A match found only after many long runs: a search that gave up on its time limit would
    // answer false.
    EXPECT_TRUE(PM::matches("ab - - cd", repeat("ab " + repeat("-", 60) + " ", 3000) + "AB - - cd-"));
    EXPECT_TRUE(PM::matches("- - Brand", repeat("x" + repeat("-", 60), 3000) + " --Brand"));
    EXPECT_TRUE(PM::matches("Brand _ _", repeat("brand " + repeat("-", 60) + "x ", 3000) + "brand__ _"));
    const std::string run = repeat("-", 100000);
    EXPECT_TRUE(PM::matches("- ab", "x" + run + "abc - ab"));
    EXPECT_TRUE(PM::matches("- - Brand", "x" + run + "brandy - - Brand"));
    EXPECT_TRUE(PM::matches("ab - - cd", "ab" + run + "ab - - cd"));
    EXPECT_TRUE(PM::matches("Brand - - Sale", "Brand - - Sale"));
    EXPECT_TRUE(PM::matches("Brand - - Sale", "BRAND_-_-_SALE"));
    EXPECT_FALSE(PM::matches("Brand - - Sale", "Brand - Sale"));
    EXPECT_FALSE(PM::matches("Brand - - Sale", "Brand --Sale"));
    // At the start of a term, a letter or digit before the run is no part of it.
    EXPECT_FALSE(PM::matches("- ab", "x- ab"));
    EXPECT_TRUE(PM::matches("- ab", "x-- ab"));
    EXPECT_TRUE(PM::matches("- ab", ".- ab"));
}

TEST(ProjectMatcherMatches, AgreesWithThePlainJoinedPatternOnRandomTexts) {
    const std::vector<std::string> pieces{"ab",      "Ab", "cd", "x",  "ß",  "SS",  "ſt", "\u212A", "k",   "é",
                                          "e\u0301", "-",  "_",  "--", "-_", "_-",  "a-", "-b",     "a_b", ".",
                                          "1",       "42", "ﬁ",  "İ",  "Ω",  "\\E", "(",  "-.-",    "K-"};
    const std::vector<std::string> spaces{" ", "  ", "\t", "\u00A0", "\u3000", "\n"};
    const std::vector<std::string> atoms{"a", "b",      "A", "B", "c", "d", "-",       "_",  " ",  ".", "ß", "ss", "S",
                                         "ſ", "\u212A", "k", "x", "1", "é", "e\u0301", "\n", "fi", "ω", "t", "K"};
    const std::vector<std::string> runs{"-", "_", " ", "--", "- ", "_-_", " - "};
    std::mt19937 random(11);
    auto pick = [&](const std::vector<std::string>& list) { return list[random() % list.size()]; };
    int matched = 0;
    constexpr int kRounds = 20000;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::string> termPieces(1 + random() % 4);
        for (auto& piece : termPieces) piece = pick(pieces);
        std::string term = random() % 4 == 0 ? pick(spaces) : "";
        for (std::size_t i = 0; i < termPieces.size(); ++i) term += (i > 0 ? pick(spaces) : "") + termPieces[i];

        std::string text;
        if (random() % 2 == 0) {
            // The term written out with runs of separators, cases changed, atoms around it.
            for (int i = static_cast<int>(random() % 3); i > 0; --i) text += pick(atoms);
            for (std::size_t i = 0; i < termPieces.size(); ++i) {
                if (i > 0) text += pick(runs);
                std::string piece = termPieces[i];
                for (char& c : piece)
                    if (random() % 2 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
                text += piece;
            }
            for (int i = static_cast<int>(random() % 3); i > 0; --i) text += pick(atoms);
        } else {
            for (int i = static_cast<int>(random() % 14); i > 0; --i) text += pick(atoms);
        }
        const bool expected = referenceMatches(term, text);
        matched += expected;
        ASSERT_EQ(PM::matches(term, text), expected) << "term '" << term << "' text '" << text << "'";
    }
    // Enough of both answers for the comparison to mean something.
    EXPECT_GT(matched, kRounds / 10);
    EXPECT_LT(matched, kRounds * 9 / 10);
}

TEST(TextMatching, RunawayPatternsStopAtTheirTimeLimit) {
    // Exponential backtracking: without the limit this search would not end in a lifetime.
    const text::Regex runaway(u"(a+)+b");
    EXPECT_FALSE(runaway.find(text::toUTF16(repeat("a", 40))));
    EXPECT_TRUE(runaway.find(text::toUTF16(repeat("a", 40) + "b")));
    auto matcher = runaway.matcher();
    const icu::UnicodeString stuck = text::toUTF16(repeat("a", 40) + "c");
    EXPECT_EQ(text::removeAll(*matcher, stuck), stuck);
}

TEST(ProjectMatcherMatchingProjects, NamesAliasesAndDiscoveryKeys) {
    auto launch = project("Acme Launch", std::nullopt, std::vector<std::string>{"Moon Shot", "新月"});
    auto plain = project("Poster Series");
    auto renamed = project("Renamed by user", "summersale");
    const std::vector<Delivery> projects{launch, plain, renamed};

    auto a = asset("moon-shot teaser.mp4");
    EXPECT_EQ(PM::matchingProjects(a, projects), std::vector<UUID>{launch.id});
    a = asset("海报 新月.png");
    EXPECT_EQ(PM::matchingProjects(a, projects), std::vector<UUID>{launch.id});
    // A project without keywords is matched by its name only.
    a = asset("poster_series 03.png");
    EXPECT_EQ(PM::matchingProjects(a, projects), std::vector<UUID>{plain.id});
    // The hint's key against the discovery key, whatever the project is called now.
    a = asset("Summer-Sale cover.png");
    EXPECT_EQ(PM::matchingProjects(a, projects), std::vector<UUID>{renamed.id});
    // Both, in the order of the list.
    a = asset("Poster Series.png", FileRole::cover, std::nullopt, "Summer Sale");
    EXPECT_EQ(PM::matchingProjects(a, projects), (std::vector<UUID>{plain.id, renamed.id}));
    a = asset("unrelated.png");
    EXPECT_TRUE(PM::matchingProjects(a, projects).empty());
}

TEST(TextMatching, AhoCorasickReportsEveryOccurrence) {
    const AhoCorasick automaton({"he", "she", "his", "hers", "", "she"});
    std::vector<std::size_t> found;
    automaton.scan("ushers", [&](std::size_t id) { found.push_back(id); });
    EXPECT_EQ(found, (std::vector<std::size_t>{1, 0, 3}));
    found.clear();
    automaton.scan("", [&](std::size_t id) { found.push_back(id); });
    EXPECT_TRUE(found.empty());
    const AhoCorasick none(std::vector<std::string>{});
    none.scan("anything", [&](std::size_t id) { found.push_back(id); });
    EXPECT_TRUE(found.empty());
}

TEST(TextMatching, FileNameOrderIgnoresCaseAndComparesNumbers) {
    const text::FileNameOrder order;
    EXPECT_LT(order.compare("file 2.png", "file 10.png"), 0);
    EXPECT_EQ(order.compare("File.png", "file.png"), 0);
    EXPECT_LT(order.sortKey("file 2.png"), order.sortKey("file 10.png"));
    EXPECT_EQ(order.sortKey("Cafe\u0301"), order.sortKey("CAFÉ"));
    EXPECT_LT(order.sortKey("a.png"), order.sortKey("B.png"));
}
