#include "Sorvik/Views/Project/Logic/ProjectAssetsModel.hpp"

#include "Sorvik/Support/Strings.hpp"

namespace sorvik::app {

AssetCardItem assetCardItem(const DeliveryFile& file, const Repository* repository, std::string_view language) {
    AssetCardItem item;
    item.file = file;
    item.file.text.reset();
    item.file.editedText.reset();
    item.location = fileLocation(file, repository);
    item.texts = assetCardTexts(file, language);
    return item;
}

ProjectAssetsModel::ProjectAssetsModel(QObject* parent) : ListRowsModel(parent) {}

QVariant ProjectAssetsModel::data(const QModelIndex& index, int role) const {
    const AssetCardItem* row = rowAt(index);
    if (!row) return {};
    const AssetCardItem& card = *row;
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: return qs(card.file.name);
        case Qt::AccessibleTextRole: return Lq("预览 {0}", card.file.name);
        case FileIDRole: return qs(card.file.id.string());
        default: return {};
    }
}

int ProjectAssetsModel::rowOf(const UUID& id) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].file.id == id) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace sorvik::app
