#pragma once
// A list model of rows kept by value, each identified by the identifier of its file. Replacing the
// rows with the same files in the same order reports only the rows that changed; anything else
// resets the model.
#include <QAbstractListModel>
#include <algorithm>
#include <vector>

namespace sorvik::app {

template <class Row>
class ListRowsModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid()) return Qt::NoItemFlags;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    }

protected:
    void replaceRows(std::vector<Row> rows) {
        const bool sameFiles = std::equal(rows.begin(), rows.end(), rows_.begin(), rows_.end(),
                                          [](const Row& a, const Row& b) { return a.file.id == b.file.id; });
        if (!sameFiles) {
            beginResetModel();
            rows_ = std::move(rows);
            endResetModel();
            return;
        }
        int first = -1, last = -1;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i] == rows_[i]) continue;
            rows_[i] = std::move(rows[i]);
            if (first < 0) first = static_cast<int>(i);
            last = static_cast<int>(i);
        }
        if (first >= 0) emit dataChanged(index(first), index(last));
    }

    /// The row of a valid index of this model; null otherwise.
    const Row* rowAt(const QModelIndex& index) const {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return nullptr;
        return &rows_[static_cast<std::size_t>(index.row())];
    }

    std::vector<Row> rows_;
};

}  // namespace sorvik::app
