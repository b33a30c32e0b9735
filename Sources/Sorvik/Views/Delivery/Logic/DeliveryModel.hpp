#pragma once
// The item models of the delivery workspace: its check rows and its rows of all files. Each row
// carries what its delegate draws (texts already translated) and the identifiers its actions
// need; nothing points into the store. New rows replace old ones by identifier, in place.
#include <QAbstractListModel>
#include <optional>
#include <vector>

#include "Sorvik/Views/Delivery/Logic/DeliveryLogic.hpp"
#include "Sorvik/Views/Kit/Logic/ListRowsModel.hpp"

namespace sorvik::app {

class DeliveryChecksModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        DetailRole = Qt::UserRole + 1,  // QString
        SymbolRole,                     // QString
        ToneRole,                       // int, a ViewTone
        OpacityRole,                    // double
        ButtonRole,                     // QString, empty for a passing check
        ActionRole,                     // int, a CheckAction
        FileIDRole,                     // QString, empty for a check of the whole delivery
        CheckIDRole,                    // QString
    };

    explicit DeliveryChecksModel(QObject* parent = nullptr);

    /// Replaces the rows with these checks, in this order; titles and details are translated now.
    void setChecks(const std::vector<DeliveryCheck>& checks);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    friend struct ModelRows;

    struct Row {
        QString title;
        QString detail;
        CheckRowLook look;
        std::optional<UUID> fileID;
        QString id;
        friend bool operator==(const Row& a, const Row& b) {
            return a.title == b.title && a.detail == b.detail && a.look.symbol == b.look.symbol &&
                   a.look.tone == b.look.tone && a.look.opacity == b.look.opacity && a.look.button == b.look.button &&
                   a.look.action == b.look.action && a.fileID == b.fileID && a.id == b.id;
        }
    };
    std::vector<Row> rows_;
};

class DeliveryFilesModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        FileIDRole = Qt::UserRole + 1,  // QString
        SymbolRole,                     // QString, the role's symbol
        EditedRole,                     // bool
        SizeRole,                       // QString
        FileRoleRole,                   // int, the FileRole
    };

    explicit DeliveryFilesModel(QObject* parent = nullptr);

    /// Replaces the rows with these files, in the delivery's order.
    void setFiles(const std::vector<DeliveryFile>& files);
    /// The identifier of a row's file.
    std::optional<UUID> fileID(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    friend struct ModelRows;

    struct Row {
        UUID id;
        QString name;
        QString size;
        FileRole role = FileRole::extra;
        bool edited = false;
        friend bool operator==(const Row&, const Row&) = default;
    };
    std::vector<Row> rows_;
};

}  // namespace sorvik::app
