#include "Sorvik/Views/Sidebar/Logic/SidebarModel.hpp"

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Sidebar/Logic/SidebarLogic.hpp"

namespace sorvik::app {

SidebarModel::SidebarModel(QObject* parent) : QAbstractListModel(parent) {}

void SidebarModel::setProjects(const std::vector<Delivery>& projects) {
    std::vector<Row> rows;
    rows.reserve(projects.size());
    for (const Delivery* project : sidebarProjects(projects)) rows.push_back({project->id, qs(project->name)});
    const bool sameOrder =
        rows.size() == rows_.size() &&
        std::equal(rows.begin(), rows.end(), rows_.begin(), [](const Row& a, const Row& b) { return a.id == b.id; });
    if (!sameOrder) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
        return;
    }
    // Same rows: only names may have changed, and the view keeps its scroll position.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows_[i].name == rows[i].name) continue;
        rows_[i].name = rows[i].name;
        const QModelIndex changed = index(static_cast<int>(i));
        emit dataChanged(changed, changed, {Qt::DisplayRole});
    }
}

void SidebarModel::setSelection(WorkspaceSection section, const std::optional<UUID>& selectedID) {
    const WorkspaceSection oldSection = section_;
    const std::optional<UUID> oldID = selectedID_;
    section_ = section;
    selectedID_ = selectedID;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const bool before = projectRowSelected(rows_[i].id, oldSection, oldID);
        const bool after = projectRowSelected(rows_[i].id, section_, selectedID_);
        if (before == after) continue;
        const QModelIndex changed = index(static_cast<int>(i));
        emit dataChanged(changed, changed, {SelectedRole});
    }
}

std::optional<UUID> SidebarModel::projectID(const QModelIndex& index) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return std::nullopt;
    return rows_[static_cast<std::size_t>(index.row())].id;
}

bool SidebarModel::isSelected(const QModelIndex& index) const {
    const std::optional<UUID> id = projectID(index);
    return id && projectRowSelected(*id, section_, selectedID_);
}

int SidebarModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant SidebarModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole: return row.name;
        case IdRole: return qs(row.id.string());
        case SelectedRole: return isSelected(index);
        default: return {};
    }
}

QHash<int, QByteArray> SidebarModel::roleNames() const {
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(IdRole, "projectID");
    names.insert(SelectedRole, "selected");
    return names;
}

}  // namespace sorvik::app
