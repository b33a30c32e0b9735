#pragma once
// What the project overview, its status line and its notice line show, read from the store's
// state. Pure, except `openInboxKeepingSearch`, which calls the store.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik::app {

class AppStore;

/// The counts line: every project, every distinct file or asset, the enabled sources.
struct OverviewCounts {
    std::size_t projects = 0;
    std::size_t assets = 0;
    std::size_t sources = 0;
    friend bool operator==(const OverviewCounts&, const OverviewCounts&) = default;
};
OverviewCounts overviewCounts(const std::vector<Delivery>& projects, const WorkspaceState& workspace);
/// The same for the store's state, from what it counted already.
OverviewCounts overviewCounts(const AppStore& store);
/// The five texts of the counts line, translated; the two dots as they stand.
std::vector<std::string> countsTexts(const OverviewCounts& counts);

/// How the matching projects are laid out.
enum class ProjectsArea { empty, single, grid };
ProjectsArea projectsArea(std::size_t matching);

/// The empty state, by whether a search is typed: catalogue keys and the symbol.
struct EmptyStateContent {
    std::string symbol;
    std::string title;
    std::string text;
    bool sampleButton = false;
};
EmptyStateContent emptyState(bool searchEmpty);

/// The hint to connect folders: projects exist but no source does.
bool showsConnectHint(const std::vector<Delivery>& projects, const WorkspaceState& workspace);

/// Columns of the card grid: as many as fit at 290 or more, each at most 460 wide, 18 apart; the
/// grid is centred when the columns reach their largest width.
struct GridLayout {
    int columns = 1;
    double cellWidth = 0;
    double leading = 0;
    friend bool operator==(const GridLayout&, const GridLayout&) = default;
};
inline constexpr double kCardMinWidth = 290;
inline constexpr double kCardMaxWidth = 460;
inline constexpr double kGridColumnSpacing = 18;
inline constexpr double kGridRowSpacing = 20;
GridLayout gridLayout(double width);
std::size_t gridRows(std::size_t count, int columns);

/// The sources of the explainer strip: the first three enabled ones.
std::vector<const SourceFolder*> flowSources(const std::vector<SourceFolder>& sources);

/// The inbox banner's title for this many matching inbox assets; none for zero.
std::optional<std::string> inboxBannerTitle(std::size_t matching);

/// The banner's "查看": the inbox, filtered by the same words.
void openInboxKeepingSearch(AppStore& store);

}  // namespace sorvik::app
