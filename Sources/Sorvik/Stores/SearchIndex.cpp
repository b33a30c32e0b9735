#include "Sorvik/Stores/SearchIndex.hpp"

#include <cstring>

#include "Sorvik/Support/SearchText.hpp"

namespace sorvik::app {

namespace {

/// The body of the searchable text is cut at 30000 characters; a text of at most that many bytes
/// is held whole.
constexpr std::size_t kWholeBodyBytes = 30000;

bool containsFolded(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    if (needle.size() > haystack.size()) return false;
    return ::memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

void checkStop(const std::stop_token& stop) {
    if (stop.stop_requested()) throw CancellationError();
}

}  // namespace

FoldedNeedle foldNeedle(std::string_view search) {
    FoldedNeedle needle;
    needle.text = SearchText::fold(search);
    needle.indexable = needle.text.find('\0') == std::string::npos;
    return needle;
}

std::shared_ptr<const SearchIndex> SearchIndex::build(const std::vector<Delivery>& projects,
                                                      const std::vector<IndexedAsset>& assets, std::uint64_t revision,
                                                      std::stop_token stop) {
    auto index = std::make_shared<SearchIndex>();
    index->revision_ = revision;
    std::string& arena = index->arena_;
    auto append = [&](std::string_view text) {
        const std::string folded = SearchText::fold(text);
        arena += folded;
    };

    index->assetSpans_.reserve(assets.size());
    index->assetByID_.reserve(assets.size());
    for (std::size_t i = 0; i < assets.size(); ++i) {
        if (i % 256 == 0) checkStop(stop);
        const IndexedAsset& asset = assets[i];
        const std::size_t start = arena.size();
        append(asset.searchableText());
        index->assetSpans_.push_back({start, arena.size() - start});
        index->assetByID_.try_emplace(asset.id(), static_cast<std::uint32_t>(i));
    }

    index->projectSpans_.reserve(projects.size());
    index->projectAssetStart_.reserve(projects.size() + 1);
    index->projectByID_.reserve(projects.size());
    for (std::size_t p = 0; p < projects.size(); ++p) {
        checkStop(stop);
        const Delivery& project = projects[p];
        index->projectAssetStart_.push_back(static_cast<std::uint32_t>(index->projectAssets_.size()));
        const std::size_t start = arena.size();
        // Pieces are joined by NUL, which no searchable needle holds, so no match spans two pieces.
        bool first = true;
        auto piece = [&](std::string_view text) {
            if (!first) arena += '\0';
            first = false;
            append(text);
        };
        piece(project.name);
        if (project.keywords) {
            for (const std::string& keyword : *project.keywords) piece(keyword);
        }
        for (const DeliveryFile& file : project.files) {
            const auto found = index->assetByID_.find(file.id);
            const IndexedAsset* asset = found == index->assetByID_.end() ? nullptr : &assets[found->second];
            if (asset) index->projectAssets_.push_back(found->second);
            // What the asset's searchable text already holds needs no piece of its own.
            if (!asset || asset->file.name != file.name) piece(file.name);
            const std::optional<std::string>& text = file.effectiveText();
            if (!text || text->empty()) continue;
            const bool heldByAsset = asset && asset->file.effectiveText() == text && text->size() <= kWholeBodyBytes;
            if (!heldByAsset) piece(*text);
        }
        index->projectSpans_.push_back({start, arena.size() - start});
        index->projectByID_.try_emplace(project.id, static_cast<std::uint32_t>(p));
    }
    index->projectAssetStart_.push_back(static_cast<std::uint32_t>(index->projectAssets_.size()));
    arena.shrink_to_fit();
    return index;
}

bool SearchIndex::contains(Span span, std::string_view needle) const {
    return containsFolded(std::string_view(arena_).substr(span.offset, span.length), needle);
}

std::vector<char> SearchIndex::assetMatches(std::string_view foldedNeedle) const {
    std::vector<char> matches(assetSpans_.size(), 0);
    for (std::size_t i = 0; i < assetSpans_.size(); ++i) matches[i] = contains(assetSpans_[i], foldedNeedle) ? 1 : 0;
    return matches;
}

std::vector<char> SearchIndex::assetMatches(std::string_view foldedNeedle, const std::vector<char>& candidates) const {
    std::vector<char> matches(assetSpans_.size(), 0);
    for (std::size_t i = 0; i < assetSpans_.size() && i < candidates.size(); ++i) {
        if (candidates[i]) matches[i] = contains(assetSpans_[i], foldedNeedle) ? 1 : 0;
    }
    return matches;
}

std::optional<std::size_t> SearchIndex::projectPosition(const UUID& id) const {
    const auto it = projectByID_.find(id);
    if (it == projectByID_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::size_t> SearchIndex::assetPosition(const UUID& id) const {
    const auto it = assetByID_.find(id);
    if (it == assetByID_.end()) return std::nullopt;
    return it->second;
}

bool SearchIndex::projectMatches(std::size_t position, std::string_view foldedNeedle,
                                 const std::vector<char>& assetMatches) const {
    if (contains(projectSpans_[position], foldedNeedle)) return true;
    for (std::uint32_t i = projectAssetStart_[position]; i < projectAssetStart_[position + 1]; ++i) {
        if (assetMatches[projectAssets_[i]]) return true;
    }
    return false;
}

bool projectMatchesDirectly(const Delivery& project, std::string_view foldedNeedle,
                            const std::function<const IndexedAsset*(const UUID&)>& assetFor) {
    auto found = [&](std::string_view text) { return containsFolded(SearchText::fold(text), foldedNeedle); };
    if (found(project.name)) return true;
    if (project.keywords) {
        for (const std::string& keyword : *project.keywords) {
            if (found(keyword)) return true;
        }
    }
    for (const DeliveryFile& file : project.files) {
        if (found(file.name)) return true;
        if (const std::optional<std::string>& text = file.effectiveText(); text && found(*text)) return true;
        if (const IndexedAsset* asset = assetFor(file.id); asset && found(asset->searchableText())) return true;
    }
    return false;
}

}  // namespace sorvik::app
