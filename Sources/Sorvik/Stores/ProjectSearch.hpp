#pragma once
// The store's search over projects and the inbox. The folded texts live in a SearchIndex built
// once per change of the data: on the calling thread while the library is small, else on a lane
// of its own whose result is posted back and dropped when the data changed again meanwhile. Until
// a new index arrives, entries the old one knows are answered from it and the rest directly.
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "Sorvik/Stores/SearchIndex.hpp"
#include "Sorvik/Support/BackgroundLane.hpp"

namespace sorvik::app {

class ProjectSearch {
public:
    /// `context` receives the posted results on its thread; `indexReady` runs there once a
    /// background index is installed.
    ProjectSearch(QObject& context, std::function<void()> indexReady);
    ~ProjectSearch();
    ProjectSearch(const ProjectSearch&) = delete;
    ProjectSearch& operator=(const ProjectSearch&) = delete;

    /// The data changed to `revision`: a large library starts its background build now.
    void dataChanged(std::uint64_t revision, const std::vector<Delivery>& projects,
                     const std::vector<IndexedAsset>& assets);
    /// The same with snapshots that the background build reads without copying them. Once
    /// `giveUp` is requested the build stops and lets go of them (the data is changing).
    void dataChanged(std::uint64_t revision, std::shared_ptr<const std::vector<Delivery>> projects,
                     std::shared_ptr<const std::vector<IndexedAsset>> assets, std::stop_token giveUp = {});

    /// The projects whose texts contain the search text, in the order of `projects`.
    std::vector<const Delivery*> matchingProjects(const std::string& search, std::uint64_t revision,
                                                  const std::vector<Delivery>& projects,
                                                  const std::vector<IndexedAsset>& assets,
                                                  const std::function<const IndexedAsset*(const UUID&)>& assetFor);
    /// Of `candidates`, those whose searchable text contains the search text, in their order.
    std::vector<const IndexedAsset*> matchingAssets(const std::string& search, std::uint64_t revision,
                                                    const std::vector<const IndexedAsset*>& candidates,
                                                    const std::vector<Delivery>& projects,
                                                    const std::vector<IndexedAsset>& assets);
    /// For each file of `project`, whether its search text contains the search text: the
    /// searchable text of the first indexed asset with the file's identifier, else its name.
    std::vector<char> matchingFiles(const std::string& search, std::uint64_t revision, const Delivery& project,
                                    const std::vector<Delivery>& projects, const std::vector<IndexedAsset>& assets,
                                    const std::function<const IndexedAsset*(const UUID&)>& assetFor);

    /// Stops the lane; no result arrives afterwards.
    void shutdown();

    // Seams for tests and benchmarks.
    void setLane(std::unique_ptr<BackgroundLane> lane) { lane_ = std::move(lane); }
    /// Libraries of at most this many assets and project files are indexed on the calling thread.
    void setSynchronousLimit(std::size_t limit) { synchronousLimit_ = limit; }
    /// The index in use (possibly older than the data), or null.
    const SearchIndex* index() const { return index_.get(); }

private:
    /// The index to answer with: a current one (built here when small), else the newest there is.
    const SearchIndex* indexFor(std::uint64_t revision, const std::vector<Delivery>& projects,
                                const std::vector<IndexedAsset>& assets);
    const std::vector<char>& assetMatchesFor(const SearchIndex& index, const std::string& folded);
    static std::size_t size(const std::vector<Delivery>& projects, const std::vector<IndexedAsset>& assets);
    void install(std::shared_ptr<const SearchIndex> index);

    QObject& context_;
    std::function<void()> indexReady_;
    std::unique_ptr<BackgroundLane> lane_;
    std::size_t synchronousLimit_ = 3000;
    std::uint64_t revision_ = 0;
    bool building_ = false;
    std::shared_ptr<const SearchIndex> index_;
    // The asset matches of the last needle against the index in use.
    std::shared_ptr<const SearchIndex> matchesIndex_;
    std::string matchesNeedle_;
    std::vector<char> matches_;
    // Posted results check this before touching the object.
    std::shared_ptr<ProjectSearch*> self_;
};

}  // namespace sorvik::app
