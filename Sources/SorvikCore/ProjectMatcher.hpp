#pragma once
// Meaning read out of names: project topics, comparison keys, an asset's best project clue,
// matching of project names and aliases, and the grouping of indexed assets into projects.
// Everything here is pure and may run on any thread.
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "SorvikCore/Models.hpp"
#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik {

/// The best project clue of one indexed asset.
struct ProjectHint {
    std::string title;    // a topic, already cleaned
    bool strong = false;  // enough on its own to create a project for a single asset
    std::string reason;   // becomes the asset's reason when a project is made from it

    friend bool operator==(const ProjectHint&, const ProjectHint&) = default;
};

namespace ProjectMatcher {

/// Keys of working-folder names that never name a project.
const std::unordered_set<std::string>& operationalFolders();
/// Keys of generic words that never name a project.
const std::unordered_set<std::string>& generic();

/// Folded comparison key: case, diacritics and width ignored, only letters, marks and
/// numbers kept, in NFC ('Summer Sale-2024' gives 'summersale2024').
std::string key(std::string_view text);

/// The project topic a file, folder or title name carries (dates, sequence numbers, role,
/// version and size suffixes removed), or none.
std::optional<std::string> topic(std::string_view name);

/// The topic of the innermost component of a relative folder path that carries one.
std::optional<std::string> folderTopic(std::string_view path);

/// The best project clue of an asset: folder hint, generation record, file name, copy title.
std::optional<ProjectHint> hint(const IndexedAsset& asset);

/// Whether a project name or alias occurs in a text.
bool matches(std::string_view term, std::string_view text);

/// Identifiers of the projects the asset matches, in the order of projects.
std::vector<UUID> matchingProjects(const IndexedAsset& asset, const std::vector<Delivery>& projects);

struct Grouping {
    std::vector<IndexedAsset> assets;  // the same assets in the same order
    std::vector<Delivery> projects;    // the projects in order, then the ones created here
};

/// Assigns automatic assets to projects, creates projects from shared topics and strong
/// clues, explains the inbox, and rebuilds every project's file list from its assets.
/// `suppressed` are the deleted projects: matched against, never returned. A stop requested
/// through `stop` ends the work early with CancellationError.
Grouping group(std::vector<IndexedAsset> assets, std::vector<Delivery> projects,
               const std::vector<Delivery>& suppressed, std::stop_token stop = {});

}  // namespace ProjectMatcher
}  // namespace sorvik
