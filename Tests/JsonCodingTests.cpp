// The streaming writer and the strict reader against the nlohmann-json coding they replace:
// byte for byte on randomised libraries, and outcome for outcome (the same records or the
// same error message) on randomised damage.
#include <cmath>
#include <functional>
#include <cstring>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "Reference/ReferenceCoding.hpp"
#include "SorvikCore/ExportManifest.hpp"
#include "SorvikCore/WorkspaceModels.hpp"
#include "Support/JsonSupport.hpp"

using namespace sorvik;

namespace {

class Random {
public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}

    std::uint64_t next() { return engine_(); }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(engine_() % n); }
    bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }

    std::string text() {
        static const std::vector<std::string> pieces{"a",
                                                     "Z",
                                                     " ",
                                                     "项目",
                                                     "封面",
                                                     "é",
                                                     "😀",
                                                     "\U0001F1E8\U0001F1F3",
                                                     "\n",
                                                     "\t",
                                                     "\r",
                                                     "\b",
                                                     "\f",
                                                     "\"",
                                                     "\\",
                                                     "/",
                                                     "\x01",
                                                     "\x1f",
                                                     std::string(1, '\0'),
                                                     "\x7f",
                                                     "\u2028",
                                                     "e\u0301",
                                                     "\uFEFF",
                                                     "0",
                                                     "{",
                                                     "]",
                                                     ":",
                                                     ",",
                                                     "\\u0041",
                                                     "null"};
        std::string out;
        const std::size_t n = below(6);
        for (std::size_t i = 0; i < n; ++i) out += pieces[below(pieces.size())];
        return out;
    }
    std::optional<std::string> maybeText() { return chance(50) ? std::optional(text()) : std::nullopt; }

    double number() {
        static const std::vector<double> special{0.0,
                                                 -0.0,
                                                 0.1,
                                                 12.0,
                                                 1e15,
                                                 1e16,
                                                 1e17,
                                                 1e21,
                                                 1e-7,
                                                 1e308,
                                                 std::numeric_limits<double>::max(),
                                                 std::numeric_limits<double>::min(),
                                                 std::numeric_limits<double>::denorm_min(),
                                                 -5e-324,
                                                 800000000.123456789,
                                                 123456789012345680000.0,
                                                 0.30000000000000004};
        if (chance(40)) return special[below(special.size())];
        for (;;) {
            const std::uint64_t bits = next();
            double d = 0;
            std::memcpy(&d, &bits, sizeof d);
            if (std::isfinite(d)) return d;
        }
    }
    std::int64_t integer() {
        static const std::vector<std::int64_t> special{0, -1, 1, std::numeric_limits<std::int64_t>::max(),
                                                       std::numeric_limits<std::int64_t>::min()};
        return chance(30) ? special[below(special.size())] : static_cast<std::int64_t>(next());
    }
    Bytes bytes() {
        Bytes out(below(9));
        for (auto& b : out) b = static_cast<std::uint8_t>(next());
        return out;
    }

    DeliveryTemplate templ() {
        DeliveryTemplate t{text(), {}, std::nullopt, integer(), integer(), integer()};
        for (std::size_t i = below(4); i > 0; --i) t.requiredRoles.push_back(FileRoles::allCases[below(5)]);
        if (chance(50)) t.coverRatio = number();
        return t;
    }

    DeliveryFile file() {
        DeliveryFile f(UUID::make(), text(), text(), FileRoles::allCases[below(5)], integer(), text());
        if (chance(50)) f.width = integer();
        if (chance(50)) f.height = integer();
        if (chance(50)) f.duration = number();
        f.text = maybeText();
        f.editedText = maybeText();
        if (chance(50)) f.crop = CropSpec{number(), number(), number()};
        f.inspectionError = maybeText();
        if (chance(50)) {
            f.reference = FileReference::make(text(), Date{number()}, maybeText());
            if (chance(50)) f.reference->bookmark = bytes();
        }
        if (chance(50)) f.sourceUpdatePending = chance(50);
        return f;
    }

    Delivery delivery() {
        Delivery d(UUID::make(), text(), {}, templ());
        d.createdAt = Date{number()};
        d.updatedAt = Date{number()};
        for (std::size_t i = below(4); i > 0; --i) d.files.push_back(file());
        for (std::size_t i = below(3); i > 0; --i)
            d.exports.push_back(ExportReceipt::make(Date{number()}, text(), integer(), text()));
        d.discoveryKey = maybeText();
        if (chance(50)) {
            d.keywords.emplace();
            for (std::size_t i = below(3); i > 0; --i) d.keywords->push_back(text());
        }
        return d;
    }

    SourceFolder source() {
        SourceFolder s;
        s.id = UUID::make();
        s.path = text();
        if (chance(50)) s.bookmark = bytes();
        s.enabled = chance(50);
        s.lastError = maybeText();
        return s;
    }

    WorkspaceState workspace() {
        WorkspaceState w;
        w.schemaVersion = integer();
        for (std::size_t i = below(3); i > 0; --i) w.projects.push_back(delivery());
        for (std::size_t i = below(3); i > 0; --i) w.sources.push_back(source());
        for (std::size_t i = below(4); i > 0; --i) {
            IndexedAsset a(file(), std::nullopt, text(), maybeText());
            if (chance(50)) a.sourceID = UUID::make();
            a.recognizedText = maybeText();
            a.didAttemptOCR = chance(50);
            if (chance(50)) a.projectID = UUID::make();
            a.assignment = static_cast<AssignmentMode>(below(3));
            a.reason = text();
            a.isMissing = chance(50);
            a.sourceChanged = chance(50);
            w.assets.push_back(std::move(a));
        }
        w.automaticScan = chance(50);
        w.recognizeImageText = chance(50);
        if (chance(50)) w.archiveFolder = source();
        w.automaticArchive = chance(50);
        for (std::size_t i = below(3); i > 0; --i)
            w.archives.push_back(
                ArchiveRecord{UUID::make(), UUID::make(), Date{number()}, integer(), text(), text(), Date{number()}});
        if (chance(50)) w.lastScan = Date{number()};
        w.scanSummary = maybeText();
        if (chance(50)) {
            w.deletedProjects.emplace();
            for (std::size_t i = below(3); i > 0; --i) w.deletedProjects->push_back(delivery());
        }
        return w;
    }

    std::vector<TemplatePreset> presets() {
        std::vector<TemplatePreset> out;
        for (std::size_t i = below(4); i > 0; --i) out.push_back({UUID::make(), templ()});
        return out;
    }

private:
    std::mt19937_64 engine_;
};

using reference::Outcome;

/// The core's reader and the reference agree on the text.
template <typename ReadNew, typename ReadOld>
void expectSameOutcome(const std::string& text, ReadNew readNew, ReadOld readOld) {
    const Outcome now = reference::outcome([&] { return readNew(text); });
    const Outcome before = reference::outcome([&] { return readOld(text); });
    ASSERT_TRUE(reference::agree(text, now, before)) << text << "\nnew: " << now.text << "\nold: " << before.text;
}

Outcome writeOutcome(const std::function<std::string()>& write) {
    try {
        return {true, false, write()};
    } catch (const EncodingError& e) {
        return {false, false, e.what()};
    }
}

const auto readWorkspace = [](const std::string& text) {
    return coding::text(json::readDocument(text, "workspace.json", coding::decodeWorkspaceState));
};
const auto readWorkspaceBefore = [](const std::string& text) { return coding::text(reference::readWorkspace(text)); };

/// Every node of a document, objects and arrays included, for mutations to pick from.
void collect(Json& node, std::vector<Json*>& out) {
    out.push_back(&node);
    if (node.is_object() || node.is_array())
        for (auto& child : node) collect(child, out);
}

Json randomValue(Random& random) {
    switch (random.below(10)) {
        case 0: return nullptr;
        case 1: return random.chance(50);
        case 2: return random.integer();
        case 3: return Json::parse("18446744073709551615");
        case 4: return random.number();
        case 5: return Json::array({1, "x"});
        case 6: return Json::object({{"k", Json::array()}});
        case 7: return UUID::make().string();
        case 8: return "video";
        default: return random.text();
    }
}

/// One random change to a document: a member removed, nulled or retyped, an unknown member
/// added, an element dropped, a string or number replaced.
void mutate(Json& document, Random& random) {
    std::vector<Json*> nodes;
    collect(document, nodes);
    Json& node = *nodes[random.below(nodes.size())];
    if (node.is_object() && !node.empty() && random.chance(70)) {
        auto it = node.begin();
        std::advance(it, static_cast<std::ptrdiff_t>(random.below(node.size())));
        switch (random.below(3)) {
            case 0: node.erase(it); break;
            case 1: *it = nullptr; break;
            default: *it = randomValue(random); break;
        }
    } else if (node.is_object()) {
        node["unknown" + std::to_string(random.below(3))] = randomValue(random);
    } else if (node.is_array() && !node.empty() && random.chance(50)) {
        node.erase(random.below(node.size()));
    } else {
        node = randomValue(random);
    }
}

/// The compact document `base` with `member` in front, in place of the member of the same
/// key (a key twice is refused): its value must hold no "," of its own.
std::string withMember(const std::string& base, const std::string& member) {
    const std::string key = Json::parse("{" + member.substr(0, member.find("\":") + 1) + ":0}").begin().key();
    std::string rest = base.substr(1);
    if (const std::size_t at = rest.find("\"" + key + "\":"); at != std::string::npos) {
        const std::size_t comma = rest.find(',', at);
        if (comma != std::string::npos) {
            rest.erase(at, comma + 1 - at);
        } else {
            const std::size_t close = rest.rfind('}');
            rest.erase(at > 0 ? at - 1 : at, close - (at > 0 ? at - 1 : at));
        }
    }
    return "{" + member + (rest.starts_with("}") ? "" : ",") + rest;
}

}  // namespace

TEST(JsonWriting, RandomLibrariesAreWrittenByteForByteAsBefore) {
    Random random(20260101);
    for (int round = 0; round < 400; ++round) {
        const WorkspaceState state = random.workspace();
        const std::string text = coding::text(state);
        ASSERT_EQ(text, reference::workspaceText(state)) << round;
        ASSERT_EQ(coding::text(state.projects, json::Style::pretty), reference::deliveriesText(state.projects));
        const auto presets = random.presets();
        ASSERT_EQ(coding::text(presets, json::Style::pretty), reference::presetsText(presets));
        // And what was written reads back to the same text through both readers.
        ASSERT_EQ(readWorkspace(text), text);
        ASSERT_EQ(coding::text(reference::readWorkspace(text)), text);
    }
    EXPECT_EQ(coding::text(WorkspaceState{}), reference::workspaceText(WorkspaceState{}));
    EXPECT_EQ(coding::text(std::vector<Delivery>{}, json::Style::pretty), "[]");
}

TEST(JsonWriting, InvalidTextAndNonFiniteNumbersFailWithTheSameMessages) {
    Random random(7);
    const std::vector<std::string> broken{
        "\xff",     "a\xc3",          "\xe4\xb8",     "\xed\xa0\x80", "\xf4\x90\x80\x80",
        "\xc0\xaf", "ok\xe0\x80\x80", "\xf0\x9f\x98", "\x80",         "\xe4\xb8\xad\xff"};
    for (int round = 0; round < 300; ++round) {
        WorkspaceState state = random.workspace();
        if (state.projects.empty()) state.projects.push_back(random.delivery());
        Delivery& project = state.projects[random.below(state.projects.size())];
        switch (random.below(4)) {
            case 0: project.name = broken[random.below(broken.size())]; break;
            case 1: project.discoveryKey = "x" + broken[random.below(broken.size())]; break;
            case 2: project.updatedAt = Date{std::nan("")}; break;
            default: project.createdAt = Date{-std::numeric_limits<double>::infinity()}; break;
        }
        // A second fault later on: a non-finite number wins over bad text wherever it is.
        if (random.chance(50)) state.scanSummary = broken[random.below(broken.size())];
        if (random.chance(30)) state.lastScan = Date{std::numeric_limits<double>::infinity()};
        const Outcome now = writeOutcome([&] { return coding::text(state); });
        const Outcome before = writeOutcome([&] { return reference::workspaceText(state); });
        ASSERT_FALSE(now.ok);
        ASSERT_EQ(now.text, before.text) << round;
    }
}

TEST(JsonReading, DamagedLibrariesGiveTheSameRecordsOrTheSameErrors) {
    Random random(1234);
    for (int round = 0; round < 1500; ++round) {
        Json document = Json::parse(coding::text(random.workspace()));
        for (std::size_t n = 1 + random.below(3); n > 0; --n) mutate(document, random);
        expectSameOutcome(document.dump(), readWorkspace, readWorkspaceBefore);
    }
    for (int round = 0; round < 300; ++round) {
        Json document = Json::parse(coding::text(random.presets(), json::Style::pretty));
        if (!document.empty()) mutate(document, random);
        expectSameOutcome(
            document.dump(2),
            [](const std::string& t) {
                return coding::text(
                    json::readDocument(t, "templates.json", json::arrayOf<coding::decodeTemplatePreset>));
            },
            [](const std::string& t) { return coding::text(reference::readPresets(t)); });
    }
}

TEST(JsonReading, DamagedTextGivesTheSameOutcome) {
    Random random(99);
    static const std::vector<std::string> inserts{"\"",
                                                  "\\",
                                                  "\\u",
                                                  "\\uD800",
                                                  "\\uDC00\\uD800",
                                                  "]",
                                                  "}",
                                                  ",",
                                                  ":",
                                                  "[",
                                                  "{",
                                                  "-",
                                                  "0",
                                                  "1e400",
                                                  "e",
                                                  ".",
                                                  " ",
                                                  "\xff",
                                                  "\x01",
                                                  "n",
                                                  "tru",
                                                  "nul",
                                                  "\\x",
                                                  "\xef\xbb\xbf",
                                                  "12345678901234567890123",
                                                  ".1234567890123456789012"};
    for (int round = 0; round < 3000; ++round) {
        std::string text = coding::text(random.workspace());
        for (std::size_t n = 1 + random.below(2); n > 0; --n) {
            const std::size_t at = random.below(text.size() + 1);
            switch (random.below(3)) {
                case 0: text.insert(at, inserts[random.below(inserts.size())]); break;
                case 1: text.erase(at, random.below(4)); break;
                default: text.resize(at); break;
            }
        }
        // nlohmann-json stops at a NUL byte; the new reader refuses what follows it.
        if (text.find('\0') != std::string::npos) continue;
        expectSameOutcome(text, readWorkspace, readWorkspaceBefore);
    }
}

TEST(JsonReading, EdgeCasesMatchTheFormerReader) {
    const std::string base = coding::text(WorkspaceState{});
    const auto with = [&](const std::string& member) { return withMember(base, member); };
    const std::vector<std::string> texts{
        base, "\xef\xbb\xbf" + base, " \n\t\r" + base + " \n", "[]", "\"x\"", "1", "-0", "null", "true", "", "   ",
        "[1 2]", "1 2", "\"a\" x", base + " 1", with("\"unknown\":[1,{\"a\":[tru]}]"), with("\"unknown\":nul"),
        with("\"unknown\":01"), with("\"unknown\":\"\\uDC00\""), with("\"unknown\":\"\\uD83D\\uDE00\""),
        with("\"unkn\\u006fwn\":1"), with("\"sch\\u0065maVersion\":2"), with("\"schemaVersion\":1.0"),
        with("\"schemaVersion\":1e300"), with("\"schemaVersion\":18446744073709551615"),
        with("\"schemaVersion\":18446744073709551616"), with("\"schemaVersion\":-9223372036854775809"),
        with("\"schemaVersion\":-0"), with("\"schemaVersion\":\"1\""), with("\"lastScan\":-0"),
        with("\"lastScan\":123456789012345678901234567890"), with("\"lastScan\":1e400"), with("\"lastScan\":2.5E-3"),
        with("\"lastScan\":null"), with("\"automaticScan\":null"), with("\"projects\":{}"), with("\"projects\":[1]"),
        with("\"projects\":null"), with("\"archiveFolder\":7"), with("\"scanSummary\":\"\\u0000\\/\\b\""),
        // Strings at the longest a field holds without an allocation.
        with("\"scanSummary\":\"" + std::string(64, 'x') + "\""),
        with("\"scanSummary\":\"" + std::string(65, 'x') + "\""),
        with("\"scanSummary\":\"" + std::string(62, 'x') + "\\u00e9\""),
        with("\"scanSummary\":\"" + std::string(63, 'x') + "\\u00e9\""), "{\"a\":1,}", "{\"a\" 1}", "[1,]",
        "{\"a\":1}}", std::string(200, '[') + std::string(200, ']')};
    for (const auto& text : texts) expectSameOutcome(text, readWorkspace, readWorkspaceBefore);
}

TEST(JsonReading, NumbersReadAsBefore) {
    Random random(31);
    const std::string base = coding::text(WorkspaceState{});
    const auto digits = [&](std::size_t n) {
        std::string out;
        for (std::size_t i = 0; i < n; ++i) out += static_cast<char>('0' + random.below(10));
        return out;
    };
    for (int round = 0; round < 4000; ++round) {
        const std::size_t longest = random.chance(10) ? 400 : 25;
        std::string number = random.chance(30) ? "-" : "";
        number += random.chance(20) ? "0" : std::to_string(1 + random.below(9)) + digits(random.below(longest));
        if (random.chance(50))
            number += "." + std::string(random.below(longest), '0') + digits(1 + random.below(longest));
        if (random.chance(40))
            number += std::string(random.chance(50) ? "e" : "E") +
                      (random.chance(30)   ? "-"
                       : random.chance(50) ? "+"
                                           : "") +
                      (random.chance(5) ? "99999999999999999999" : std::to_string(random.below(420)));
        for (const char* key : {"lastScan", "schemaVersion"})
            expectSameOutcome(withMember(base, "\"" + std::string(key) + "\":" + number), readWorkspace,
                              readWorkspaceBefore);
    }
}

TEST(JsonReading, BytesAfterTheDocumentAreRefused) {
    const std::string base = coding::text(WorkspaceState{});
    for (const std::string& tail : {std::string("\0garbage", 8), std::string(1, '\0'), std::string("\0{}", 3),
                                    std::string(" x"), std::string("{}"), std::string("\0\0", 2)}) {
        try {
            json::readDocument(base + tail, "workspace.json", coding::decodeWorkspaceState);
            ADD_FAILURE() << "accepted a tail of " << tail.size() << " bytes";
        } catch (const json::SyntaxError& e) {
            EXPECT_NE(std::string(e.what()).find("The data couldn't be read"), std::string::npos) << e.what();
        }
    }
    // nlohmann-json read these as whole documents, which is what had to change.
    EXPECT_NO_THROW(reference::readWorkspace(base + std::string("\0garbage", 8)));
    EXPECT_NO_THROW(json::readDocument(base + " \n", "workspace.json", coding::decodeWorkspaceState));
}

TEST(JsonReading, NestingIsBoundedAndErrorsNameTheirPlace) {
    const std::string base = coding::text(WorkspaceState{});
    const auto nested = [&](std::size_t depth) {
        return "{\"deep\":" + std::string(depth, '[') + std::string(depth, ']') + "," + base.substr(1);
    };
    EXPECT_NO_THROW(json::readDocument(nested(1000), "workspace.json", coding::decodeWorkspaceState));
    EXPECT_THROW(json::readDocument(nested(5000), "workspace.json", coding::decodeWorkspaceState), json::SyntaxError);

    Json document = test::encode(WorkspaceState{});
    document["projects"] = Json::array({Json::object()});
    try {
        json::readDocument(document.dump(), "workspace.json", coding::decodeWorkspaceState);
        ADD_FAILURE();
    } catch (const DecodingError& e) {
        EXPECT_STREQ(e.what(),
                     "The data couldn't be read because it is missing. (No value for key \"id\" at "
                     "workspace.json.projects[0])");
    }
    try {
        json::readDocument(std::string("{\"a\":\"\\q\"}"), "x", coding::decodeWorkspaceState);
        ADD_FAILURE();
    } catch (const json::SyntaxError& e) {
        EXPECT_NE(std::string(e.what()).find("at byte 6"), std::string::npos) << e.what();
    }
}

TEST(JsonReading, ManifestsMatchTheFormerReader) {
    ExportManifest m;
    m.projectID = UUID::make();
    m.title = "交付";
    m.templ = DeliveryTemplate::video();
    m.exportedAt = Date::fromUnix(1700000000);
    m.files.push_back(ManifestEntry{UUID::make(), "a.txt", "04_文案/a.txt", FileRole::copy, 3, "ab", "cd", true});
    m.checks.push_back(DeliveryCheck("x", CheckLevel::warning, "t", "d", UUID::make()));
    const std::string good = encodeManifestFile(m);
    EXPECT_EQ(good, json::dumpPretty(coding::encode(m)) + "\n");
    Random random(5);
    const auto readNew = [](const std::string& t) { return encodeManifestFile(decodeManifestFile(t)); };
    const auto readOld = [](const std::string& t) { return encodeManifestFile(reference::readManifest(t)); };
    expectSameOutcome(good, readNew, readOld);
    for (int round = 0; round < 500; ++round) {
        Json document = Json::parse(good);
        mutate(document, random);
        if (random.chance(20))
            document["exportedAt"] = random.chance(50) ? "2026-01-02T03:04:05+08:00" : "2026-13-01T00:00:00Z";
        expectSameOutcome(document.dump(2), readNew, readOld);
        // Manifests are written straight from their records, as their documents would print.
        try {
            const ExportManifest read = decodeManifestFile(document.dump(2));
            ASSERT_EQ(encodeManifestFile(read), json::dumpPretty(coding::encode(read)) + "\n") << round;
        } catch (const DecodingError&) {
        }
    }
    EXPECT_THROW(decodeManifestFile(good + std::string("\0garbage", 8)), json::SyntaxError);
}

namespace {

/// Every object of the document, each given once a second copy of its first member: the
/// texts that must be refused.
std::vector<std::string> withEachFirstKeyTwice(const std::string& text, int indent = -1) {
    // A sentinel key sorts first and is then replaced by the first member written again.
    const std::string sentinel = "\x01twice";
    std::vector<std::string> out;
    Json document = Json::parse(text);
    std::vector<Json*> nodes;
    collect(document, nodes);
    for (Json* node : nodes) {
        if (!node->is_object() || node->empty()) continue;
        const std::string key = node->begin().key();
        const Json first = node->begin().value();
        (*node)[sentinel] = nullptr;
        std::string damaged = document.dump(indent);
        node->erase(sentinel);
        const std::string placeholder = Json(sentinel).dump() + (indent < 0 ? ":" : ": ") + "null";
        const std::size_t at = damaged.find(placeholder);
        EXPECT_NE(at, std::string::npos);
        damaged.replace(at, placeholder.size(), Json(key).dump() + ":" + first.dump());
        out.push_back(std::move(damaged));
    }
    return out;
}

}  // namespace

TEST(JsonReading, ADuplicateKeyInAnyRecordIsRefused) {
    // Every kind of record of the three library files and of a manifest, each with a key twice.
    Random random(314);
    std::size_t refused = 0;
    for (int round = 0; round < 12; ++round) {
        WorkspaceState state = random.workspace();
        state.projects.push_back(random.delivery());
        state.projects.back().files.push_back(random.file());
        state.projects.back().files.back().crop = CropSpec{1, 0.5, 0.5};
        state.projects.back().files.back().reference = FileReference::make("/a", Date{1}, std::nullopt);
        state.projects.back().exports.push_back(ExportReceipt::make(Date{2}, "/p", 1, "s"));
        state.sources.push_back(random.source());
        state.archiveFolder = random.source();
        state.archives.push_back(ArchiveRecord{UUID::make(), UUID::make(), Date{3}, 4, "/x", "h", Date{5}});
        state.assets.emplace_back(random.file(), UUID::make(), "", std::nullopt);
        const std::string text = coding::text(state);
        ASSERT_NO_THROW(readWorkspace(text));
        for (const std::string& damaged : withEachFirstKeyTwice(text)) {
            try {
                readWorkspace(damaged);
                ADD_FAILURE() << "read: " << damaged;
            } catch (const DecodingError& e) {
                EXPECT_NE(std::string_view(e.what()).find("Duplicate key"), std::string_view::npos) << e.what();
                ++refused;
            }
        }
        // The earlier format and the presets.
        const std::string library = coding::text(state.projects, json::Style::pretty);
        for (const std::string& damaged : withEachFirstKeyTwice(library, 2))
            EXPECT_THROW(json::readDocument(damaged, "library.json", json::arrayOf<coding::decodeDelivery>),
                         DecodingError);
        const std::vector<TemplatePreset> presets{{UUID::make(), random.templ()}};
        for (const std::string& damaged : withEachFirstKeyTwice(coding::text(presets, json::Style::pretty), 2))
            EXPECT_THROW(json::readDocument(damaged, "templates.json", json::arrayOf<coding::decodeTemplatePreset>),
                         DecodingError);
    }
    EXPECT_GT(refused, 100u);

    ExportManifest m;
    m.projectID = UUID::make();
    m.title = "交付";
    m.templ = DeliveryTemplate::video();
    m.exportedAt = Date::fromUnix(1700000000);
    m.files.push_back(ManifestEntry{UUID::make(), "a.txt", "04_文案/a.txt", FileRole::copy, 3, "ab", "cd", true});
    m.checks.push_back(DeliveryCheck("x", CheckLevel::warning, "t", "d", UUID::make()));
    const std::vector<std::string> manifests = withEachFirstKeyTwice(encodeManifestFile(m), 2);
    EXPECT_EQ(manifests.size(), 4u);  // the manifest, its rules, one entry and one check
    for (const std::string& damaged : manifests) EXPECT_THROW(decodeManifestFile(damaged), DecodingError);

    // However the first value reads, and whatever other fault the record has.
    const std::string base = coding::text(WorkspaceState{});
    for (const std::string& member : {std::string("\"schemaVersion\":\"x\""), std::string("\"schemaVersion\":3")})
        EXPECT_THROW(readWorkspace("{" + member + "," + base.substr(1)), DecodingError) << member;
    EXPECT_THROW(readWorkspace(R"({"projects":[],"projects":[]})"), DecodingError);

    // The message names the key and its record; a key spelled with an escape is the same key.
    const std::string twice =
        R"({"automaticArchive":false,"automaticScan":true,"projects":[],"pro\u006aects":[],"recognizeImageText":true,"schemaVersion":1})";
    try {
        readWorkspace(twice);
        ADD_FAILURE();
    } catch (const DecodingError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "The data couldn't be read because it isn't in the correct format. (Duplicate key \"projects\" at "
                  "workspace.json)");
    }
}
