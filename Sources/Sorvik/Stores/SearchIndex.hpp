#pragma once
// The folded texts the search compares, built once per change of the projects or the index so a
// keystroke only runs substring searches. Immutable once built; shared between threads.
//
// A project is found when its name, one of its aliases, one of its files' names or texts, or the
// searchable text of the first indexed asset of one of its files contains the search text. Every
// asset's searchable text is folded once; a project keeps its own pieces (name, aliases, and the
// file names and texts that its assets' searchable texts do not already hold) plus the positions
// of its files' assets.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik::app {

class SearchIndex {
public:
    /// Folds every text; throws CancellationError when `stop` is requested.
    static std::shared_ptr<const SearchIndex> build(const std::vector<Delivery>& projects,
                                                    const std::vector<IndexedAsset>& assets, std::uint64_t revision,
                                                    std::stop_token stop = {});

    /// The data revision the index was built from.
    std::uint64_t revision() const { return revision_; }
    std::size_t assetCount() const { return assetSpans_.size(); }

    /// Which assets (by position in the list the index was built from) contain the folded needle.
    /// The needle must not contain a NUL character (the pieces' separator).
    std::vector<char> assetMatches(std::string_view foldedNeedle) const;
    /// The same, knowing that only assets marked in `candidates` can contain the needle (the
    /// matches of a text the needle contains, such as the search before the last keystroke).
    std::vector<char> assetMatches(std::string_view foldedNeedle, const std::vector<char>& candidates) const;
    /// The position of the project in the built list, or none.
    std::optional<std::size_t> projectPosition(const UUID& id) const;
    /// The position of the first asset with this id in the built list, or none.
    std::optional<std::size_t> assetPosition(const UUID& id) const;
    /// Whether the project at `position` contains the needle, given `assetMatches` for it.
    bool projectMatches(std::size_t position, std::string_view foldedNeedle,
                        const std::vector<char>& assetMatches) const;

    /// Bytes of folded text held.
    std::size_t textBytes() const { return arena_.size(); }

private:
    struct Span {
        std::size_t offset = 0;
        std::size_t length = 0;
    };
    bool contains(Span span, std::string_view needle) const;

    std::uint64_t revision_ = 0;
    std::string arena_;
    std::vector<Span> assetSpans_;
    std::unordered_map<UUID, std::uint32_t> assetByID_;
    std::vector<Span> projectSpans_;
    // Each project's asset positions: projectAssets_[projectAssetStart_[p] .. projectAssetStart_[p + 1]).
    std::vector<std::uint32_t> projectAssetStart_;
    std::vector<std::uint32_t> projectAssets_;
    std::unordered_map<UUID, std::uint32_t> projectByID_;
};

/// The comparison form of a search text and whether the index can answer it.
struct FoldedNeedle {
    std::string text;
    /// False when the text holds a NUL character: such a search is answered text by text.
    bool indexable = true;
};
FoldedNeedle foldNeedle(std::string_view search);

/// The literal matching rules, folding as it goes: for a project no index knows yet.
bool projectMatchesDirectly(const Delivery& project, std::string_view foldedNeedle,
                            const std::function<const IndexedAsset*(const UUID&)>& assetFor);

}  // namespace sorvik::app
