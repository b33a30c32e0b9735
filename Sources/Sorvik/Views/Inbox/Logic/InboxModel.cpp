#include "Sorvik/Views/Inbox/Logic/InboxModel.hpp"

#include "Sorvik/Support/Strings.hpp"

namespace sorvik::app {

InboxModel::InboxModel(QObject* parent) : ListRowsModel(parent) {}

QVariant InboxModel::data(const QModelIndex& index, int role) const {
    const InboxRowItem* row = rowAt(index);
    if (!row) return {};
    const InboxRowItem& item = *row;
    switch (role) {
        case Qt::DisplayRole: return qs(item.file.name);
        case Qt::ToolTipRole: return item.path.empty() ? qs(item.file.name) : qs(item.path);
        case Qt::AccessibleTextRole: return qs(item.file.name) + QStringLiteral(", ") + Lq(item.reason);
        case AssetIDRole: return qs(item.file.id.string());
        default: return {};
    }
}

}  // namespace sorvik::app
