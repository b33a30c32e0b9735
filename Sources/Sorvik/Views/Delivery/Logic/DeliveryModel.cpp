#include "Sorvik/Views/Delivery/Logic/DeliveryModel.hpp"

#include <unordered_map>

#include "Sorvik/Support/Formatting.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

namespace {

bool valid(const QModelIndex& index, std::size_t count) {
    return index.isValid() && !index.parent().isValid() && index.column() == 0 && index.row() >= 0 &&
           static_cast<std::size_t>(index.row()) < count;
}

struct TextHash {
    std::size_t operator()(const QString& text) const { return qHash(text); }
};

}  // namespace

// Checks ------------------------------------------------------------------------------------------------

DeliveryChecksModel::DeliveryChecksModel(QObject* parent) : QAbstractListModel(parent) {}

void DeliveryChecksModel::setChecks(const std::vector<DeliveryCheck>& checks) {
    // Titles and details repeat across files (every cover of one size reads the same): each
    // distinct text is translated once.
    std::unordered_map<std::string, QString> translated;
    const auto translate = [&translated](const std::string& text) {
        auto it = translated.find(text);
        if (it == translated.end()) it = translated.emplace(text, Lq(text)).first;
        return it->second;
    };
    std::vector<Row> rows;
    rows.reserve(checks.size());
    for (const DeliveryCheck& check : checks) {
        rows.push_back(
            Row{translate(check.title), translate(check.detail), checkRowLook(check), check.fileID, qs(check.id)});
    }
    ModelRows::replace<QString, TextHash>(*this, rows_, std::move(rows), [](const Row& row) { return row.id; });
}

int DeliveryChecksModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant DeliveryChecksModel::data(const QModelIndex& index, int role) const {
    if (!valid(index, rows_.size())) return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole: return row.title;
        case DetailRole: return row.detail;
        case SymbolRole: return qs(row.look.symbol);
        case ToneRole: return static_cast<int>(row.look.tone);
        case OpacityRole: return row.look.opacity;
        case ButtonRole: return row.look.button ? qs(*row.look.button) : QString();
        case ActionRole: return static_cast<int>(row.look.action);
        case FileIDRole: return row.fileID ? qs(row.fileID->string()) : QString();
        case CheckIDRole: return row.id;
        default: return {};
    }
}

QHash<int, QByteArray> DeliveryChecksModel::roleNames() const {
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names[DetailRole] = "detail";
    names[SymbolRole] = "symbol";
    names[ToneRole] = "tone";
    names[OpacityRole] = "opacity";
    names[ButtonRole] = "button";
    names[ActionRole] = "action";
    names[FileIDRole] = "fileID";
    names[CheckIDRole] = "checkID";
    return names;
}

// Files -------------------------------------------------------------------------------------------------

DeliveryFilesModel::DeliveryFilesModel(QObject* parent) : QAbstractListModel(parent) {}

void DeliveryFilesModel::setFiles(const std::vector<DeliveryFile>& files) {
    std::vector<Row> rows;
    rows.reserve(files.size());
    for (const DeliveryFile& file : files) {
        rows.push_back(Row{file.id, qs(file.name), qs(fileSizeText(file.bytes)), file.role, isEdited(file)});
    }
    ModelRows::replace<UUID>(*this, rows_, std::move(rows), [](const Row& row) { return row.id; });
}

std::optional<UUID> DeliveryFilesModel::fileID(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return std::nullopt;
    return rows_[static_cast<std::size_t>(row)].id;
}

int DeliveryFilesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant DeliveryFilesModel::data(const QModelIndex& index, int role) const {
    if (!valid(index, rows_.size())) return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole: return row.name;
        case FileIDRole: return qs(row.id.string());
        case SymbolRole: return qs(FileRoles::symbol(row.role));
        case EditedRole: return row.edited;
        case SizeRole: return row.size;
        case FileRoleRole: return static_cast<int>(row.role);
        default: return {};
    }
}

QHash<int, QByteArray> DeliveryFilesModel::roleNames() const {
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names[FileIDRole] = "fileID";
    names[SymbolRole] = "symbol";
    names[EditedRole] = "edited";
    names[SizeRole] = "size";
    names[FileRoleRole] = "role";
    return names;
}

}  // namespace sorvik::app
