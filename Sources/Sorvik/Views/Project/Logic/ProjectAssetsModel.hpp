#pragma once
// The asset cards of the project page as a list model: one row per shown file, identified by the
// file's identifier. Rows keep copies of what a card draws, so the store may change meanwhile.
#include <filesystem>
#include <optional>
#include <vector>

#include "Sorvik/Views/Kit/Logic/ListRowsModel.hpp"
#include "Sorvik/Views/Project/Logic/ProjectDetailLogic.hpp"

namespace sorvik::app {

/// What one asset card draws.
struct AssetCardItem {
    /// The file without its long texts (the card never shows them).
    DeliveryFile file;
    std::optional<std::filesystem::path> location;
    AssetCardTexts texts;
    friend bool operator==(const AssetCardItem&, const AssetCardItem&) = default;
};

/// The card of a project file: a slim copy, its location and its texts.
AssetCardItem assetCardItem(const DeliveryFile& file, const Repository* repository, std::string_view language);

class ProjectAssetsModel : public ListRowsModel<AssetCardItem> {
    Q_OBJECT
public:
    enum Role {
        FileIDRole = Qt::UserRole + 1,  // the file's identifier as text
    };

    explicit ProjectAssetsModel(QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    /// Replaces the rows: the same files in the same order only change, anything else resets.
    void setItems(std::vector<AssetCardItem> items) { replaceRows(std::move(items)); }
    const AssetCardItem& item(int row) const { return rows_.at(static_cast<std::size_t>(row)); }
    const std::vector<AssetCardItem>& items() const { return rows_; }
    /// The row of a file; -1 when it is not shown.
    int rowOf(const UUID& id) const;
};

}  // namespace sorvik::app
