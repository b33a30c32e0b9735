// Reading in bounded pieces against reading the whole text at once: the same records, the same
// decoding errors and paths, a syntax error where the whole text has one, at every placement of
// the window's edges.
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "SorvikCore/JsonPieces.hpp"
#include "SorvikCore/Repository.hpp"
#include "SorvikCore/WorkspaceModels.hpp"
#include "Support/JsonSupport.hpp"
#include "Support/TestSupport.hpp"

using namespace sorvik;
namespace fs = std::filesystem;

namespace {

/// Strings that put escapes, quotes and backslashes wherever the window's edges fall.
const std::vector<std::string> awkward{"a \"quoted\" name", "C:\\folder\\", "\\\\\"\\", "é 项目 😀", "tab\there",
                                       "line\nbreak",       "\"",           "\\",       "\x01\x1f"};

WorkspaceState sample() {
    WorkspaceState state;
    state.sources.push_back(SourceFolder::make("/home/editor/来源"));
    for (int p = 0; p < 3; ++p) {
        Delivery project(UUID::make(), awkward[static_cast<std::size_t>(p)], {}, DeliveryTemplate::video());
        project.keywords = std::vector<std::string>{awkward[static_cast<std::size_t>(p) + 3], "k"};
        for (std::size_t f = 0; f < awkward.size(); ++f) {
            DeliveryFile file(UUID::make(), awkward[f] + ".txt", "", FileRole::copy, 1000 + static_cast<int>(f),
                              std::string(64, 'a'));
            file.text = awkward[(f + 1) % awkward.size()];
            project.files.push_back(file);
            IndexedAsset asset(file, state.sources[0].id, awkward[(f + 2) % awkward.size()], awkward[f]);
            asset.projectID = project.id;
            state.assets.push_back(std::move(asset));
        }
        state.projects.push_back(std::move(project));
    }
    state.lastScan = Date{1700000000.25};
    state.scanSummary = "\"done\" \\ ok";
    return state;
}

void collect(Json& node, std::vector<Json*>& out) {
    out.push_back(&node);
    if (node.is_object() || node.is_array())
        for (auto& child : node) collect(child, out);
}

/// Hands the text out `chunk` bytes at a time at most.
template <typename Decode>
auto readInPieces(const std::string& text, std::size_t window, std::size_t chunk, Decode decode,
                  std::string_view root = "workspace.json") {
    std::size_t at = 0;
    const auto read = [&](char* into, std::size_t room) {
        const std::size_t n = std::min({room, chunk, text.size() - at});
        std::memcpy(into, text.data() + at, n);
        at += n;
        return n;
    };
    return json::readDocumentInPieces(read, root, decode, window);
}

struct Outcome {
    enum { ok, decoding, syntax } kind;
    std::string text;
};

template <typename Read>
Outcome outcome(Read read) {
    try {
        return {Outcome::ok, read()};
    } catch (const json::SyntaxError& e) {
        return {Outcome::syntax, e.what()};
    } catch (const DecodingError& e) {
        return {Outcome::decoding, e.what()};
    }
}

Outcome whole(const std::string& text) {
    return outcome(
        [&] { return coding::text(json::readDocument(text, "workspace.json", coding::decodeWorkspaceState)); });
}

Outcome inPieces(const std::string& text, std::size_t window, std::size_t chunk = SIZE_MAX) {
    return outcome([&] { return coding::text(readInPieces(text, window, chunk, coding::decodeWorkspaceState)); });
}

/// The same records or the same decoding error; a syntax error for a syntax error, its
/// wording and place the piece parser's own.
void expectSame(const std::string& text, std::size_t window, std::size_t chunk = SIZE_MAX) {
    const Outcome expected = whole(text), got = inPieces(text, window, chunk);
    ASSERT_EQ(got.kind, expected.kind) << "window " << window << "\n"
                                       << text << "\n"
                                       << got.text << "\n"
                                       << expected.text;
    if (expected.kind != Outcome::syntax) {
        ASSERT_EQ(got.text, expected.text) << "window " << window << "\n" << text;
    }
}

}  // namespace

TEST(JsonPieces, EveryPlacementOfTheWindowReadsTheSameRecords) {
    const std::string text = coding::text(sample());
    ASSERT_GT(text.size(), 4000u);
    const std::string expected = whole(text).text;
    ASSERT_EQ(expected, text);
    // Every window from 64 bytes on moves each edge by one byte over the text's escapes.
    for (std::size_t window = 64; window < 400; ++window) ASSERT_EQ(inPieces(text, window).text, expected) << window;
    // Short reads, a byte at a time, and a window larger than the text.
    EXPECT_EQ(inPieces(text, 64, 1).text, expected);
    EXPECT_EQ(inPieces(text, 100, 7).text, expected);
    EXPECT_EQ(inPieces(text, 1 << 20).text, expected);
    // Whitespace between and around every token, a byte order mark, and an array at the root.
    const std::string pretty = test::encode(sample()).dump(3);
    EXPECT_EQ(inPieces(" \xef\xbb\xbf" + pretty, 64).kind, Outcome::syntax);
    EXPECT_EQ(inPieces("\xef\xbb\xbf" + pretty + "\n\t ", 64).text, whole(pretty).text);
    const std::string projects = coding::text(sample().projects, json::Style::pretty);
    EXPECT_EQ(coding::text(readInPieces(projects, 64, 5, json::arrayOf<coding::decodeDelivery>, "library.json"),
                           json::Style::pretty),
              projects);
}

TEST(JsonPieces, ARecordLargerThanTheWindowIsReadWhole) {
    WorkspaceState state = sample();
    std::string body;
    for (int i = 0; i < 20000; ++i) body += awkward[static_cast<std::size_t>(i) % awkward.size()];
    state.projects[1].files[2].text = body;
    state.scanSummary = body;
    const std::string text = coding::text(state);
    EXPECT_EQ(inPieces(text, 64, 4096).text, text);
    EXPECT_EQ(inPieces(text, 1000).text, text);
}

TEST(JsonPieces, DecodingErrorsNameTheSamePlaceAndSyntaxErrorsWin) {
    Json document = test::encode(sample());
    document["assets"][3].erase("file");
    document["projects"][2]["files"][1]["name"] = 7;
    const std::string damaged = document.dump();
    // The projects are checked first, then the assets, wherever they stand in the text.
    for (std::size_t window : {64, 97, 1000}) {
        const Outcome got = inPieces(damaged, window, 13);
        ASSERT_EQ(got.kind, Outcome::decoding);
        EXPECT_EQ(got.text,
                  "The data couldn't be read because it isn't in the correct format. (Expected a string at "
                  "workspace.json.projects[2].files[1].name)");
        EXPECT_EQ(got.text, whole(damaged).text);
    }
    // Only the projects: an error in the assets, read and dropped, is still found.
    Json assetsOnly = document;
    assetsOnly["projects"][2]["files"][1]["name"] = "n";
    EXPECT_EQ(inPieces(assetsOnly.dump(), 64).text,
              "The data couldn't be read because it is missing. (No value for key \"file\" at "
              "workspace.json.assets[3])");
    EXPECT_THROW(readInPieces(assetsOnly.dump(), 64, 64, coding::decodeWorkspaceProjectSummaries), DecodingError);

    // A syntax error after the decoding error, in a later record, at the root, or at the end.
    const std::string last = "\"schemaVersion\":";
    const std::size_t at = damaged.find(last) + last.size();
    for (const std::string& broken :
         {damaged.substr(0, damaged.rfind("\"k\"")) + "tru" + damaged.substr(damaged.rfind("\"k\"") + 3),
          damaged.substr(0, at) + "01" + damaged.substr(damaged.find_first_of(",}", at)), damaged + "x",
          damaged.substr(0, damaged.size() - 1), damaged + std::string(1, '\0')}) {
        EXPECT_EQ(inPieces(broken, 64).kind, Outcome::syntax);
        EXPECT_EQ(inPieces(broken, 5000).kind, Outcome::syntax);
        EXPECT_EQ(whole(broken).kind, Outcome::syntax);
    }
    // Duplicate keys, at the root and in a record.
    EXPECT_EQ(inPieces("{\"schemaVersion\":1," + damaged.substr(1), 64).text,
              whole("{\"schemaVersion\":1," + damaged.substr(1)).text);
    Json twice = test::encode(sample());
    std::string text = twice.dump();
    text.insert(text.find("\"reason\":"), "\"reason\":\"x\",");
    expectSame(text, 64);
}

TEST(JsonPieces, DamagedTextGivesTheSameOutcomeAsTheWholeText) {
    const std::string base = coding::text(sample());
    static const std::vector<std::string> inserts{"\"",
                                                  "\\",
                                                  "\\u",
                                                  "\\uD800",
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
                                                  "\"\\\\\"",
                                                  "[[[",
                                                  "{\"a\":",
                                                  std::string(1, '\0')};
    std::mt19937_64 random(5150);
    const auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    for (int round = 0; round < 3000; ++round) {
        std::string text = base;
        for (std::size_t n = 1 + below(2); n > 0; --n) {
            const std::size_t at = below(text.size() + 1);
            switch (below(3)) {
                case 0: text.insert(at, inserts[below(inserts.size())]); break;
                case 1: text.erase(at, below(4)); break;
                default: text.resize(at); break;
            }
        }
        expectSame(text, 64 + below(300), below(2) ? SIZE_MAX : 1 + below(50));
    }
    // Records damaged as documents: members removed, nulled or of another type.
    for (int round = 0; round < 1500; ++round) {
        Json document = test::encode(sample());
        for (std::size_t n = 1 + below(3); n > 0; --n) {
            std::vector<Json*> nodes;
            collect(document, nodes);
            Json& node = *nodes[below(nodes.size())];
            if (node.is_object() && !node.empty()) {
                auto it = node.begin();
                std::advance(it, static_cast<std::ptrdiff_t>(below(node.size())));
                const Json values[] = {nullptr, 7, "x", Json::array({1}), Json::object()};
                if (below(3) == 0) node.erase(it);
                else *it = values[below(5)];
            } else if (node.is_array() && !node.empty()) {
                node.erase(below(node.size()));
            } else {
                node = below(2) ? Json(-1.5) : Json("\\\"");
            }
        }
        expectSame(document.dump(), 64 + below(300), below(2) ? SIZE_MAX : 1 + below(50));
    }
    const std::string empty = coding::text(WorkspaceState{});
    for (const std::string& text :
         {std::string(),
          std::string("  "),
          std::string("[]"),
          std::string("\"x\""),
          std::string("1"),
          std::string("null"),
          std::string("{}"),
          std::string("[1 2]"),
          std::string("1 2"),
          std::string("{\"a\":1,}"),
          std::string("{\"a\" 1}"),
          std::string("[1,]"),
          std::string("{\"a\":1}}"),
          std::string("{,}"),
          std::string(200, '[') + std::string(200, ']'),
          "{\"deep\":" + std::string(1000, '[') + std::string(1000, ']') + "," + empty.substr(1),
          "{\"deep\":" + std::string(5000, '[') + std::string(5000, ']') + "," + empty.substr(1),
          "{\"sch\\u0065maVersion\":2," + empty.substr(1),
          "{\"unknown\":\"\\uDC00\"," + empty.substr(1),
          "{\"schemaVersion\":1.0," + empty.substr(1),
          "{\"projects\":{}," + empty.substr(1),
          "{\"projects\":[1]," + empty.substr(1),
          "{\"archiveFolder\":7," + empty.substr(1),
          "{\"unknown\":[1,{\"a\":[tru]}]," + empty.substr(1)})
        for (std::size_t window : {64, 4096}) expectSame(text, window);
}

TEST(JsonPieces, ALibraryFileLargerThanTheWindowIsReadFromDisk) {
    test::TempDir tmp;
    const Repository repository(tmp / "Library");
    WorkspaceState state = sample();
    while (state.assets.size() < 30000) state.assets.push_back(state.assets[state.assets.size() % 27]);
    repository.saveWorkspace(state);
    const fs::path file = repository.root() / Repository::workspaceFileName;
    std::string text = test::readFile(file);
    ASSERT_GT(text.size(), 4 * json::pieceWindow);
    EXPECT_EQ(coding::text(repository.loadWorkspace()), text);
    ASSERT_EQ(repository.loadProjectSummaries().size(), 3u);
    EXPECT_EQ(repository.loadProjectSummaries()[2].fileCount, 9);

    // A record far into the file names its place, as reading the whole text does.
    const std::size_t at = text.find("\"sha256\":", text.size() / 2);
    text.replace(at, 9, "\"sha256\":7,\"x\":");
    test::writeFile(file, text);
    const Outcome expected = whole(text);
    ASSERT_EQ(expected.kind, Outcome::decoding);
    const Outcome got = outcome([&] { return coding::text(repository.loadWorkspace()); });
    EXPECT_EQ(got.kind, Outcome::decoding);
    EXPECT_EQ(got.text, expected.text);
    EXPECT_NE(got.text.find("workspace.json.assets["), std::string::npos) << got.text;
    // And a syntax error at its very end wins.
    test::writeFile(file, text + ",");
    EXPECT_THROW(repository.loadWorkspace(), json::SyntaxError);
}
