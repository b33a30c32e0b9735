#include "Sorvik/Views/InboxModel.hpp"

#include "Sorvik/Support/Strings.hpp"

namespace sorvik::app {

namespace {

bool sameRow(const InboxRowItem& a, const InboxRowItem& b) {
    return a.file == b.file && a.location == b.location && a.reason == b.reason && a.path == b.path;
}

}  // namespace

InboxModel::InboxModel(QObject* parent) : QAbstractListModel(parent) {}

int InboxModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : static_cast<int>(rows_.size()); }

QVariant InboxModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const InboxRowItem& item = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole: return qs(item.file.name);
        case Qt::ToolTipRole: return item.path.empty() ? qs(item.file.name) : qs(item.path);
        case Qt::AccessibleTextRole: return qs(item.file.name) + QStringLiteral(", ") + Lq(item.reason);
        case AssetIDRole: return qs(item.file.id.string());
        default: return {};
    }
}

Qt::ItemFlags InboxModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void InboxModel::setRows(std::vector<InboxRowItem> rows) {
    const bool sameIDs = rows.size() == rows_.size() &&
                         std::equal(rows.begin(), rows.end(), rows_.begin(),
                                    [](const InboxRowItem& a, const InboxRowItem& b) { return a.file.id == b.file.id; });
    if (!sameIDs) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
        return;
    }
    int first = -1, last = -1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (sameRow(rows[i], rows_[i])) continue;
        rows_[i] = std::move(rows[i]);
        if (first < 0) first = static_cast<int>(i);
        last = static_cast<int>(i);
    }
    if (first >= 0) emit dataChanged(index(first), index(last));
}

}  // namespace sorvik::app
