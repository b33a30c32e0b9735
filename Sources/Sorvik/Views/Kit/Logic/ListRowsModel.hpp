#pragma once
// A list model of rows kept by value, each identified by the identifier of its file. Replacing the
// rows reports what left, moved, arrived and changed, so views keep their selection and scroll
// position; only a change too scattered to report row by row (or repeated identifiers) resets.
#include <QAbstractListModel>
#include <algorithm>
#include <optional>
#include <vector>

#include "Sorvik/Views/Kit/Logic/RowDiffLogic.hpp"
#include "SorvikCore/Identifier.hpp"

namespace sorvik::app {

/// Beyond this many runs of removed or inserted rows a reset is cheaper than the steps.
inline constexpr std::size_t kMostRowSpans = 32;

/// The steps from `rows` to `next` by identifier; none when a reset is cheaper or rows repeat.
template <class Key, class Hash = std::hash<Key>, class Row, class KeyOf>
std::optional<RowSteps> planRows(const std::vector<Row>& rows, const std::vector<Row>& next, KeyOf key) {
    std::vector<Key> before, after;
    before.reserve(rows.size());
    after.reserve(next.size());
    for (const Row& row : rows) before.push_back(key(row));
    for (const Row& row : next) after.push_back(key(row));
    std::optional<std::vector<int>> source = matchRows<Key, Hash>(before, after);
    if (!source) return std::nullopt;
    RowSteps steps = rowSteps(std::move(*source), rows.size());
    if (steps.spanCount() > kMostRowSpans) return std::nullopt;
    return steps;
}

/// Replaces the rows of a model and sends its signals. A model befriends it: the begin and end
/// functions are protected.
struct ModelRows {
    /// Applies row steps to a model's rows.
    template <class Model, class Row>
    static void apply(Model& model, std::vector<Row>& rows, std::vector<Row> next, const RowSteps& steps);

    /// The rows become `next`: in steps by the identifier `key` gives, or by a reset where steps
    /// cost more.
    template <class Key, class Hash = std::hash<Key>, class Model, class Row, class KeyOf>
    static void replace(Model& model, std::vector<Row>& rows, std::vector<Row> next, KeyOf key) {
        if (const std::optional<RowSteps> steps = planRows<Key, Hash>(rows, next, key)) {
            apply(model, rows, std::move(next), *steps);
            return;
        }
        model.beginResetModel();
        rows = std::move(next);
        model.endResetModel();
    }
};

template <class Model, class Row>
void ModelRows::apply(Model& model, std::vector<Row>& rows, std::vector<Row> next, const RowSteps& steps) {
    for (const RowSpan& span : steps.removed) {
        model.beginRemoveRows({}, span.first, span.first + span.count - 1);
        rows.erase(rows.begin() + span.first, rows.begin() + span.first + span.count);
        model.endRemoveRows();
    }
    if (!steps.order.empty()) {
        emit model.layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> moved(steps.order.size());
        for (std::size_t to = 0; to < steps.order.size(); ++to)
            moved[static_cast<std::size_t>(steps.order[to])] = int(to);
        const QModelIndexList from = model.persistentIndexList();
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex& index : from) to.push_back(model.index(moved[static_cast<std::size_t>(index.row())]));
        std::vector<Row> ordered;
        ordered.reserve(rows.size());
        for (const int at : steps.order) ordered.push_back(std::move(rows[static_cast<std::size_t>(at)]));
        rows = std::move(ordered);
        model.changePersistentIndexList(from, to);
        emit model.layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }
    for (const RowSpan& span : steps.inserted) {
        model.beginInsertRows({}, span.first, span.first + span.count - 1);
        rows.insert(rows.begin() + span.first, std::make_move_iterator(next.begin() + span.first),
                    std::make_move_iterator(next.begin() + span.first + span.count));
        model.endInsertRows();
    }
    // Rows that stayed take their new values; the changed ones are reported in runs.
    int first = -1;
    const auto flush = [&](int end) {
        if (first >= 0) emit model.dataChanged(model.index(first), model.index(end - 1));
        first = -1;
    };
    for (std::size_t i = 0; i < steps.source.size(); ++i) {
        if (steps.source[i] < 0 || rows[i] == next[i]) {
            flush(int(i));
            continue;
        }
        rows[i] = std::move(next[i]);
        if (first < 0) first = int(i);
    }
    flush(int(steps.source.size()));
}

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
    friend struct ModelRows;

    void replaceRows(std::vector<Row> rows) {
        ModelRows::replace<UUID>(*this, rows_, std::move(rows), [](const Row& row) { return row.file.id; });
    }

    /// The row of a valid index of this model; null otherwise.
    const Row* rowAt(const QModelIndex& index) const {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return nullptr;
        return &rows_[static_cast<std::size_t>(index.row())];
    }

    std::vector<Row> rows_;
};

}  // namespace sorvik::app
