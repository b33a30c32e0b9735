#include "Sorvik/Views/ProjectAssetsModel.hpp"

#include "Sorvik/Support/Strings.hpp"

namespace sorvik::app {

namespace {

bool sameItem(const AssetCardItem& a, const AssetCardItem& b) {
    return a.file == b.file && a.location == b.location && a.texts == b.texts;
}

}  // namespace

AssetCardItem assetCardItem(const DeliveryFile& file, const Repository* repository, std::string_view language) {
    AssetCardItem item;
    item.file = file;
    item.file.text.reset();
    item.file.editedText.reset();
    item.location = fileLocation(file, repository);
    item.texts = assetCardTexts(file, language);
    return item;
}

ProjectAssetsModel::ProjectAssetsModel(QObject* parent) : QAbstractListModel(parent) {}

int ProjectAssetsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

QVariant ProjectAssetsModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const AssetCardItem& card = items_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: return qs(card.file.name);
        case Qt::AccessibleTextRole: return Lq("预览 {0}", card.file.name);
        case FileIDRole: return qs(card.file.id.string());
        default: return {};
    }
}

Qt::ItemFlags ProjectAssetsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ProjectAssetsModel::setItems(std::vector<AssetCardItem> items) {
    const bool sameRows = items.size() == items_.size() &&
                          std::equal(items.begin(), items.end(), items_.begin(),
                                     [](const AssetCardItem& a, const AssetCardItem& b) { return a.file.id == b.file.id; });
    if (!sameRows) {
        beginResetModel();
        items_ = std::move(items);
        endResetModel();
        return;
    }
    int first = -1, last = -1;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (sameItem(items[i], items_[i])) continue;
        items_[i] = std::move(items[i]);
        if (first < 0) first = static_cast<int>(i);
        last = static_cast<int>(i);
    }
    if (first >= 0) emit dataChanged(index(first), index(last));
}

int ProjectAssetsModel::rowOf(const UUID& id) const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].file.id == id) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace sorvik::app
