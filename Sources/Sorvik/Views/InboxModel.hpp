#pragma once
// The inbox rows as a list model: one row per waiting asset, identified by its file's identifier.
#include <QAbstractListModel>
#include <vector>

#include "Sorvik/Views/InboxLogic.hpp"

namespace sorvik::app {

class InboxModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        AssetIDRole = Qt::UserRole + 1,  // the asset's identifier as text
    };

    explicit InboxModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// Replaces the rows: the same assets in the same order only change, anything else resets.
    void setRows(std::vector<InboxRowItem> rows);
    const InboxRowItem& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    const std::vector<InboxRowItem>& rows() const { return rows_; }

private:
    std::vector<InboxRowItem> rows_;
};

}  // namespace sorvik::app
