// Grouping with names and texts full of separators: it finishes promptly, keeps its promises
// about assets and projects, agrees with matchingProjects, changes nothing when run again on
// its own result, and matches plain ASCII terms as a simple automaton does.
//
// Input: parts separated by NUL. The first lists the live projects, the second the deleted
// ones, a line each: the name, then its aliases, separated by tabs. Every further part is an
// asset: its file name, its folder and its text, separated by line feeds. The bytes 01, 02
// and 03 stand for runs of 256 "-", "_" and spaces.
#include <unicode/uchar.h>

#include <algorithm>
#include <unordered_set>

#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/ProjectMatcher.hpp"

using namespace sorvik;
namespace PM = sorvik::ProjectMatcher;

namespace {

constexpr std::size_t kMaxProjects = 12;
constexpr std::size_t kMaxAssets = 16;
constexpr std::size_t kMaxComparisons = 32;
constexpr std::size_t kMaxText = 20000;
// The automaton takes time in the product of the two lengths.
constexpr std::size_t kMaxComparisonSize = 1000000;

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> out;
    for (;;) {
        const auto at = text.find(separator);
        out.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return out;
        text.remove_prefix(at + 1);
    }
}

/// The text with its run bytes expanded, while it stays below kMaxText bytes.
std::string expanded(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const bool run = c >= '\x01' && c <= '\x03';
        if (run && out.size() + 256 <= kMaxText) out.append(256, c == '\x01' ? '-' : (c == '\x02' ? '_' : ' '));
        else out += c;
    }
    return out;
}

std::vector<Delivery> projects(std::string_view part) {
    std::vector<Delivery> out;
    for (const auto line : split(part, '\n')) {
        if (line.empty() || out.size() == kMaxProjects) continue;
        const auto fields = split(line, '\t');
        Delivery project(UUID::make(), expanded(fields[0]), {}, DeliveryTemplate::flexible());
        if (fields.size() > 1) {
            project.keywords.emplace();
            for (std::size_t i = 1; i < fields.size(); ++i) project.keywords->push_back(expanded(fields[i]));
        }
        out.push_back(std::move(project));
    }
    return out;
}

IndexedAsset asset(std::string_view part) {
    const auto lines = split(part, '\n');
    const std::string name = expanded(lines[0]);
    const std::string folder = lines.size() > 1 ? expanded(lines[1]) : "";
    const FileRole role = name.ends_with(".txt") ? FileRole::copy : FileRole::extra;
    DeliveryFile file(UUID::make(), name, folder.empty() ? name : folder + "/" + name, role, 1, "");
    if (lines.size() > 2) file.text = expanded(part.substr(lines[0].size() + lines[1].size() + 2));
    return IndexedAsset(std::move(file), std::nullopt, folder, PM::folderTopic(folder));
}

bool isASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool asciiWordCharacter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
bool asciiSeparator(char c) { return c == '-' || c == '_' || c == ' '; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

/// matches() for ASCII terms and texts, by a set of automaton states over the term: its
/// characters, case ignored, with one or more of "-_ " wherever white space parts its pieces,
/// not inside a longer word of letters and digits.
bool automatonMatches(std::string_view term, std::string_view text) {
    constexpr int kJoin = -1;
    std::vector<int> tokens;
    bool inPiece = false;
    std::size_t wordCharacters = 0;
    for (const char c : term) {
        if (u_isUWhiteSpace(static_cast<unsigned char>(c))) {
            inPiece = false;
            continue;
        }
        if (!inPiece && !tokens.empty()) tokens.push_back(kJoin);
        inPiece = true;
        tokens.push_back(lower(c));
        wordCharacters += asciiWordCharacter(c);
    }
    if (wordCharacters < 2) return false;
    const std::size_t count = tokens.size();
    std::vector<char> at(count + 1, 0), inJoin(count, 0), nextAt(count + 1), nextJoin(count);
    for (std::size_t p = 0;; ++p) {
        if (p == 0 || !asciiWordCharacter(text[p - 1])) at[0] = 1;
        if (at[count] && (p == text.size() || !asciiWordCharacter(text[p]))) return true;
        if (p == text.size()) return false;
        const char c = text[p];
        std::fill(nextAt.begin(), nextAt.end(), 0);
        std::fill(nextJoin.begin(), nextJoin.end(), 0);
        for (std::size_t i = 0; i < count; ++i) {
            if (at[i] && tokens[i] != kJoin && tokens[i] == lower(c)) nextAt[i + 1] = 1;
            if ((at[i] && tokens[i] == kJoin) || inJoin[i])
                if (asciiSeparator(c)) nextJoin[i] = 1;
        }
        for (std::size_t i = 0; i < count; ++i)
            if (nextJoin[i]) nextAt[i + 1] = 1;
        at.swap(nextAt);
        inJoin.swap(nextJoin);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parts = split(fuzz::text(data, size), '\0');
    const std::vector<Delivery> live = projects(parts[0]);
    const std::vector<Delivery> deleted = parts.size() > 1 ? projects(parts[1]) : std::vector<Delivery>{};
    std::vector<IndexedAsset> assets;
    for (std::size_t i = 2; i < parts.size() && assets.size() < kMaxAssets; ++i) assets.push_back(asset(parts[i]));

    const PM::Grouping result = PM::group(assets, live, deleted);

    fuzz::require(result.assets.size() == assets.size(), "the same assets");
    fuzz::require(result.projects.size() >= live.size(), "no project removed");
    std::unordered_set<UUID> ids;
    for (std::size_t p = 0; p < result.projects.size(); ++p) {
        const Delivery& project = result.projects[p];
        ids.insert(project.id);
        if (p < live.size()) {
            fuzz::require(project.id == live[p].id && project.name == live[p].name, "live projects kept in order");
        } else {
            fuzz::require(project.discoveryKey == PM::key(project.name), "a new project known by its name's key");
        }
    }
    for (std::size_t i = 0; i < assets.size(); ++i) {
        const IndexedAsset& before = assets[i];
        const IndexedAsset& after = result.assets[i];
        fuzz::require(after.file.id == before.file.id && after.assignment == before.assignment, "assets in order");
        fuzz::require(!after.projectID || ids.contains(*after.projectID), "assigned to a project that exists");
        // Phase 1 as stated: through matchingProjects, pattern by pattern.
        const auto matched = PM::matchingProjects(before, live);
        if (matched.size() == 1) fuzz::require(after.projectID == matched[0], "the one live project matched");
        if (matched.size() > 1) fuzz::require(after.reason == "同时匹配多个项目，需要确认", "several live projects");
    }

    if (deleted.empty()) {
        const PM::Grouping again = PM::group(result.assets, result.projects, {});
        fuzz::require(again.projects.size() == result.projects.size(), "regrouping creates nothing");
        for (std::size_t i = 0; i < assets.size(); ++i)
            fuzz::require(again.assets[i].projectID == result.assets[i].projectID &&
                              again.assets[i].reason == result.assets[i].reason,
                          "regrouping changes no asset");
    }

    std::size_t comparisons = 0;
    for (const Delivery& project : live) {
        std::vector<std::string> terms{project.name};
        if (project.keywords) terms.insert(terms.end(), project.keywords->begin(), project.keywords->end());
        for (const std::string& term : terms) {
            if (!isASCII(term)) continue;
            for (const IndexedAsset& a : assets) {
                const std::string text = a.searchableText();
                if (!isASCII(text) || term.size() * text.size() > kMaxComparisonSize) continue;
                if (comparisons++ >= kMaxComparisons) break;
                fuzz::require(PM::matches(term, text) == automatonMatches(term, text), "ASCII term matched as spelled");
            }
        }
    }
    return 0;
}
