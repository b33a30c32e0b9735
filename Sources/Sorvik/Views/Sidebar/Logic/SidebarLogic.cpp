#include "Sorvik/Views/Sidebar/Logic/SidebarLogic.hpp"

#include <algorithm>

#include "Sorvik/Stores/AppStore.hpp"

namespace sorvik::app {

std::vector<const Delivery*> sidebarProjects(const std::vector<Delivery>& projects) {
    std::vector<const Delivery*> out;
    out.reserve(projects.size());
    for (const Delivery& project : projects) out.push_back(&project);
    std::stable_sort(out.begin(), out.end(),
                     [](const Delivery* a, const Delivery* b) { return a->updatedAt > b->updatedAt; });
    return out;
}

QString singleLine(const QString& name) {
    const auto breaksLine = [](QChar c) {
        const QChar::Category category = c.category();
        return category == QChar::Other_Control || category == QChar::Separator_Line ||
               category == QChar::Separator_Paragraph;
    };
    if (std::none_of(name.begin(), name.end(), breaksLine)) return name;
    QString out;
    out.reserve(name.size());
    bool inRun = false;
    for (const QChar c : name) {
        if (!breaksLine(c)) {
            out += c;
            inRun = false;
        } else if (!inRun) {
            out += QLatin1Char(' ');
            inRun = true;
        }
    }
    return out;
}

std::span<const SourceFolder> visibleSources(const std::vector<SourceFolder>& sources) {
    return std::span<const SourceFolder>(sources).first(std::min<std::size_t>(sources.size(), 4));
}

SourceStatus sourceStatus(const SourceFolder& source) {
    if (!source.enabled) return SourceStatus::disabled;
    if (source.lastError) return SourceStatus::failing;
    return SourceStatus::ok;
}

std::optional<std::size_t> navigationCount(std::size_t count) {
    if (count == 0) return std::nullopt;
    return count;
}

bool navigationSelected(NavigationRow row, WorkspaceSection section) {
    switch (row) {
        case NavigationRow::projects: return section == WorkspaceSection::projects;
        case NavigationRow::inbox: return section == WorkspaceSection::inbox;
    }
    return false;
}

bool projectRowSelected(const UUID& project, WorkspaceSection section, const std::optional<UUID>& selectedID) {
    return section == WorkspaceSection::project && selectedID == project;
}

SidebarControls sidebarControls(bool busy, bool recovery) {
    const bool free = !busy && !recovery;
    return SidebarControls{free, free, free, free};
}

SidebarControls sidebarControls(const AppStore& store) { return sidebarControls(store.isBusy(), store.recoveryMode()); }

}  // namespace sorvik::app
