#pragma once
// The inbox rows as a list model: one row per waiting asset, identified by its file's identifier.
#include <vector>

#include "Sorvik/Views/Inbox/Logic/InboxLogic.hpp"
#include "Sorvik/Views/Kit/Logic/ListRowsModel.hpp"

namespace sorvik::app {

class InboxModel : public ListRowsModel<InboxRowItem> {
    Q_OBJECT
public:
    enum Role {
        AssetIDRole = Qt::UserRole + 1,  // the asset's identifier as text
    };

    explicit InboxModel(QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    /// Replaces the rows: the same assets in the same order only change, anything else resets.
    void setRows(std::vector<InboxRowItem> rows) { replaceRows(std::move(rows)); }
    const InboxRowItem& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    const std::vector<InboxRowItem>& rows() const { return rows_; }
};

}  // namespace sorvik::app
