#pragma once
// The sidebar's project rows: every project, newest change first, with whether it is selected.
#include <QAbstractListModel>
#include <optional>
#include <vector>

#include "Sorvik/Stores/AppTypes.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik::app {

class SidebarModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1, SelectedRole };

    explicit SidebarModel(QObject* parent = nullptr);

    /// The projects changed: rows follow the newest-first order.
    void setProjects(const std::vector<Delivery>& projects);
    /// The section or the selected project changed.
    void setSelection(WorkspaceSection section, const std::optional<UUID>& selectedID);

    std::optional<UUID> projectID(const QModelIndex& index) const;
    bool isSelected(const QModelIndex& index) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    struct Row {
        UUID id;
        QString name;
    };
    std::vector<Row> rows_;
    WorkspaceSection section_ = WorkspaceSection::projects;
    std::optional<UUID> selectedID_;
};

}  // namespace sorvik::app
