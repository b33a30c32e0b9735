#include "Sorvik/Views/Overview/Logic/OverviewLogic.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_set>

#include "Sorvik/Stores/AppStore.hpp"
#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

OverviewCounts overviewCounts(const std::vector<Delivery>& projects, const WorkspaceState& workspace) {
    OverviewCounts counts;
    counts.projects = projects.size();
    std::unordered_set<UUID> ids;
    ids.reserve(workspace.assets.size() + 64);
    for (const IndexedAsset& asset : workspace.assets) ids.insert(asset.id());
    for (const Delivery& project : projects) {
        for (const DeliveryFile& file : project.files) ids.insert(file.id);
    }
    counts.assets = ids.size();
    counts.sources = static_cast<std::size_t>(std::count_if(workspace.sources.begin(), workspace.sources.end(),
                                                            [](const SourceFolder& s) { return s.enabled; }));
    return counts;
}

OverviewCounts overviewCounts(const AppStore& store) {
    const std::vector<SourceFolder>& sources = store.workspace().sources;
    OverviewCounts counts;
    counts.projects = store.deliveries().size();
    counts.assets = store.distinctAssetCount();
    counts.sources = static_cast<std::size_t>(
        std::count_if(sources.begin(), sources.end(), [](const SourceFolder& s) { return s.enabled; }));
    return counts;
}

std::vector<std::string> countsTexts(const OverviewCounts& counts) {
    return {L("{0} 个项目", counts.projects), "·", L("{0} 件素材", counts.assets), "·",
            L("{0} 个来源", counts.sources)};
}

ProjectsArea projectsArea(std::size_t matching) {
    if (matching == 0) return ProjectsArea::empty;
    if (matching == 1) return ProjectsArea::single;
    return ProjectsArea::grid;
}

EmptyStateContent emptyState(bool searchEmpty) {
    if (searchEmpty) {
        return {"folder.badge.plus", "从你的常用输出目录开始。",
                "连接视频、图片和文案所在的文件夹，\nSorvik会持续发现新素材，并关联到项目。", true};
    }
    return {"magnifyingglass", "没有匹配的项目", "试试文件名、项目别名或文案中的词。", false};
}

bool showsConnectHint(const std::vector<Delivery>& projects, const WorkspaceState& workspace) {
    return workspace.sources.empty() && !projects.empty();
}

GridLayout gridLayout(double width) {
    GridLayout layout;
    width = std::max(0.0, width);
    layout.columns =
        std::max(1, static_cast<int>(std::floor((width + kGridColumnSpacing) / (kCardMinWidth + kGridColumnSpacing))));
    const double spare = width - kGridColumnSpacing * (layout.columns - 1);
    // A page narrower than one card's least width still gets one card, as wide as the page.
    layout.cellWidth = std::min(kCardMaxWidth, spare / layout.columns);
    const double used = layout.cellWidth * layout.columns + kGridColumnSpacing * (layout.columns - 1);
    layout.leading = std::max(0.0, (width - used) / 2);
    return layout;
}

std::size_t gridRows(std::size_t count, int columns) {
    const std::size_t perRow = static_cast<std::size_t>(std::max(1, columns));
    return (count + perRow - 1) / perRow;
}

std::vector<const SourceFolder*> flowSources(const std::vector<SourceFolder>& sources) {
    std::vector<const SourceFolder*> out;
    for (const SourceFolder& source : sources) {
        if (out.size() == 3) break;
        if (source.enabled) out.push_back(&source);
    }
    return out;
}

std::optional<std::string> inboxBannerTitle(std::size_t matching) {
    if (matching == 0) return std::nullopt;
    return L("{0} 件素材待识别", matching);
}

void openInboxKeepingSearch(AppStore& store) {
    const std::string search = store.search();
    store.showInbox();
    store.setSearch(search);
}

}  // namespace sorvik::app
