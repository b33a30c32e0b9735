#pragma once
// What the sidebar lists and enables, read from the store's state. Pure.
#include <QString>
#include <optional>
#include <span>
#include <vector>

#include "Sorvik/Stores/AppTypes.hpp"
#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik::app {

class AppStore;

/// The projects newest change first; equal times keep the list's order.
std::vector<const Delivery*> sidebarProjects(const std::vector<Delivery>& projects);

/// A name as one line, as a row draws it: each run of line breaks, tabs and other control
/// characters becomes one space, so no row grows into its neighbours.
QString singleLine(const QString& name);

/// The sources the sidebar lists: the first four.
std::span<const SourceFolder> visibleSources(const std::vector<SourceFolder>& sources);

/// The dot of a source: switched off, failing on its last scan, or fine.
enum class SourceStatus { disabled, failing, ok };
SourceStatus sourceStatus(const SourceFolder& source);

/// The count a navigation row shows: none for zero.
std::optional<std::size_t> navigationCount(std::size_t count);

/// Which navigation row is highlighted.
enum class NavigationRow { projects, inbox };
bool navigationSelected(NavigationRow row, WorkspaceSection section);
bool projectRowSelected(const UUID& project, WorkspaceSection section, const std::optional<UUID>& selectedID);

/// The controls of the sidebar that change the library: off while a job runs, and in recovery
/// mode, where nothing could be saved. Navigation, the source rows, the sources button, the
/// language and the settings stay enabled.
struct SidebarControls {
    bool newProject = false;
    bool deleteProject = false;
    bool restore = false;
    bool connect = false;

    friend bool operator==(const SidebarControls&, const SidebarControls&) = default;
};
SidebarControls sidebarControls(bool busy, bool recovery);
SidebarControls sidebarControls(const AppStore& store);

}  // namespace sorvik::app
