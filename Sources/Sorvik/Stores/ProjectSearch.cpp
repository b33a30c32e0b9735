#include "Sorvik/Stores/ProjectSearch.hpp"

#include <QMetaObject>

#include "Sorvik/Support/SearchText.hpp"

namespace sorvik::app {

ProjectSearch::ProjectSearch(QObject& context, std::function<void()> indexReady)
    : context_(context), indexReady_(std::move(indexReady)), self_(std::make_shared<ProjectSearch*>(this)) {}

ProjectSearch::~ProjectSearch() { shutdown(); }

void ProjectSearch::shutdown() {
    // The lane joins its thread: nothing is posted after this.
    lane_.reset();
    self_.reset();
}

std::size_t ProjectSearch::size(const std::vector<Delivery>& projects, const std::vector<IndexedAsset>& assets) {
    std::size_t total = assets.size();
    for (const Delivery& project : projects) total += project.files.size() + 1;
    return total;
}

void ProjectSearch::dataChanged(std::uint64_t revision, const std::vector<Delivery>& projects,
                                const std::vector<IndexedAsset>& assets) {
    revision_ = revision;
    if (!self_ || size(projects, assets) <= synchronousLimit_) return;  // small: built when asked
    // The copies are what the worker reads; the caller's own lists stay on this thread.
    dataChanged(revision, std::make_shared<const std::vector<Delivery>>(projects),
                std::make_shared<const std::vector<IndexedAsset>>(assets));
}

void ProjectSearch::dataChanged(std::uint64_t revision, std::shared_ptr<const std::vector<Delivery>> projectsCopy,
                                std::shared_ptr<const std::vector<IndexedAsset>> assetsCopy, std::stop_token giveUp) {
    revision_ = revision;
    if (!self_ || size(*projectsCopy, *assetsCopy) <= synchronousLimit_) return;  // small: built when asked
    if (!lane_) lane_ = std::make_unique<ThreadLane>();
    std::weak_ptr<ProjectSearch*> alive = self_;
    QObject* context = &context_;
    lane_->post([projectsCopy, assetsCopy, revision, alive, context, giveUp](std::stop_token stop) mutable {
        std::shared_ptr<const SearchIndex> built;
        try {
            // Stopped by a newer build or by the data changing.
            std::stop_source either;
            const std::stop_callback newer(stop, [&] { either.request_stop(); });
            const std::stop_callback changing(giveUp, [&] { either.request_stop(); });
            built = SearchIndex::build(*projectsCopy, *assetsCopy, revision, either.get_token());
        } catch (...) {
            return;  // stopped, or out of memory: the old index stays in use
        }
        // The data is let go once read: the index holds texts of its own.
        projectsCopy.reset();
        assetsCopy.reset();
        QMetaObject::invokeMethod(
            context,
            [alive, built] {
                if (const std::shared_ptr<ProjectSearch*> search = alive.lock()) (*search)->install(built);
            },
            Qt::QueuedConnection);
    });
}

void ProjectSearch::install(std::shared_ptr<const SearchIndex> index) {
    // A result for data that has changed since is dropped; the newer build is on its way.
    if (index->revision() != revision_) return;
    index_ = std::move(index);
    if (indexReady_) indexReady_();
}

const SearchIndex* ProjectSearch::indexFor(std::uint64_t revision, const std::vector<Delivery>& projects,
                                           const std::vector<IndexedAsset>& assets) {
    if (index_ && index_->revision() == revision) return index_.get();
    if (size(projects, assets) <= synchronousLimit_) {
        revision_ = revision;
        index_ = SearchIndex::build(projects, assets, revision);
        return index_.get();
    }
    if (revision != revision_) dataChanged(revision, projects, assets);
    return index_.get();
}

const std::vector<char>& ProjectSearch::assetMatchesFor(const SearchIndex& index, const std::string& folded) {
    if (matchesIndex_.get() != &index || matchesNeedle_ != folded) {
        // A text holding the last search is only in assets that held that search: typing on
        // narrows the last matches instead of searching every text again.
        const bool narrows = matchesIndex_.get() == &index && !matchesNeedle_.empty() &&
                             folded.find(matchesNeedle_) != std::string::npos;
        matches_ = narrows ? index.assetMatches(folded, matches_) : index.assetMatches(folded);
        // Holding the index keeps its address from being reused by a newer one.
        matchesIndex_ = &index == index_.get() ? index_ : nullptr;
        matchesNeedle_ = folded;
    }
    return matches_;
}

std::vector<const Delivery*> ProjectSearch::matchingProjects(
    const std::string& search, std::uint64_t revision, const std::vector<Delivery>& projects,
    const std::vector<IndexedAsset>& assets, const std::function<const IndexedAsset*(const UUID&)>& assetFor) {
    std::vector<const Delivery*> out;
    const FoldedNeedle needle = foldNeedle(search);
    const SearchIndex* index = needle.indexable ? indexFor(revision, projects, assets) : nullptr;
    const bool current = index && index->revision() == revision;
    const std::vector<char>* matches = index ? &assetMatchesFor(*index, needle.text) : nullptr;
    for (std::size_t i = 0; i < projects.size(); ++i) {
        const Delivery& project = projects[i];
        std::optional<std::size_t> position;
        if (current) {
            position = i;
        } else if (index) {
            position = index->projectPosition(project.id);
        }
        const bool found = position ? index->projectMatches(*position, needle.text, *matches)
                                    : projectMatchesDirectly(project, needle.text, assetFor);
        if (found) out.push_back(&project);
    }
    return out;
}

std::vector<const IndexedAsset*> ProjectSearch::matchingAssets(const std::string& search, std::uint64_t revision,
                                                               const std::vector<const IndexedAsset*>& candidates,
                                                               const std::vector<Delivery>& projects,
                                                               const std::vector<IndexedAsset>& assets) {
    std::vector<const IndexedAsset*> out;
    const FoldedNeedle needle = foldNeedle(search);
    const SearchIndex* index = needle.indexable ? indexFor(revision, projects, assets) : nullptr;
    const bool current = index && index->revision() == revision;
    const std::vector<char>* matches = index ? &assetMatchesFor(*index, needle.text) : nullptr;
    for (const IndexedAsset* asset : candidates) {
        std::optional<std::size_t> position;
        if (current) {
            position = static_cast<std::size_t>(asset - assets.data());
        } else if (index) {
            position = index->assetPosition(asset->id());
        }
        const bool found = position ? (*matches)[*position] != 0
                                    : SearchText::fold(asset->searchableText()).find(needle.text) != std::string::npos;
        if (found) out.push_back(asset);
    }
    return out;
}

std::vector<char> ProjectSearch::matchingFiles(const std::string& search, std::uint64_t revision,
                                               const Delivery& project, const std::vector<Delivery>& projects,
                                               const std::vector<IndexedAsset>& assets,
                                               const std::function<const IndexedAsset*(const UUID&)>& assetFor) {
    std::vector<char> out(project.files.size(), 0);
    const FoldedNeedle needle = foldNeedle(search);
    const SearchIndex* index = needle.indexable ? indexFor(revision, projects, assets) : nullptr;
    const std::vector<char>* matches = index ? &assetMatchesFor(*index, needle.text) : nullptr;
    for (std::size_t i = 0; i < project.files.size(); ++i) {
        const DeliveryFile& file = project.files[i];
        // An asset the index knows is answered from it; anything else is folded here.
        if (const std::optional<std::size_t> position = index ? index->assetPosition(file.id) : std::nullopt) {
            out[i] = (*matches)[*position];
            continue;
        }
        const IndexedAsset* asset = assetFor(file.id);
        out[i] = SearchText::fold(asset ? asset->searchableText() : file.name).find(needle.text) != std::string::npos;
    }
    return out;
}

}  // namespace sorvik::app
