#pragma once
// The cards of the project overview: one row per matching project, in the order shown. Card values
// are made once per change of the projects; the file locations a card needs (its picture's and
// every file's folder) are path work, looked up on a background lane and posted back. Until they
// arrive a card keeps the values it had, and a new card shows its folder count as pending.
#include <QAbstractListModel>
#include <filesystem>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "Sorvik/Support/BackgroundLane.hpp"
#include "Sorvik/Views/Kit/Logic/ListRowsModel.hpp"
#include "Sorvik/Views/Overview/Logic/ProjectCardLogic.hpp"
#include "SorvikCore/Repository.hpp"

namespace sorvik::app {

/// One card as the delegate paints it.
struct ProjectCard {
    UUID id;
    QString name;
    ProjectCardValues values;
    /// A copy of the picture file.
    std::optional<DeliveryFile> picture;
    /// The picture's location; meaningful once `pictureLocated`.
    std::optional<std::filesystem::path> pictureLocation;
    bool pictureLocated = false;
    /// None while the lookup is pending.
    std::optional<std::size_t> folderCount;
};

class ProjectCardModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1, DetailRole };

    /// `lane`: where the locations are looked up (a thread of its own when none is given).
    explicit ProjectCardModel(std::unique_ptr<BackgroundLane> lane = nullptr, QObject* parent = nullptr);
    ~ProjectCardModel() override;

    /// The projects changed: every card is made again and the locations are looked up anew.
    /// `repository` is copied; none means no file has a location. The lookup reads the snapshot,
    /// and ends without a result once `giveUp` is requested (the projects are changing).
    void setProjects(std::shared_ptr<const std::vector<Delivery>> projects, const Repository* repository,
                     std::stop_token giveUp = {});
    /// The same with a copy of `projects` (tests).
    void setProjects(const std::vector<Delivery>& projects, const Repository* repository = nullptr);
    /// The cards shown, in order; ids that name no project given to setProjects are left out.
    /// Rows that stay keep their place in views (selection, current card).
    void setShown(const std::vector<const Delivery*>& shown);

    const ProjectCard* card(const QModelIndex& index) const;
    const ProjectCard* card(int row) const;
    std::optional<UUID> projectID(const QModelIndex& index) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    friend struct ModelRows;

    /// Moves the rows to these cards by identifier: removals, moves and insertions in place.
    void showRows(std::vector<ProjectCard*> rows);

    struct Located {
        std::size_t folderCount = 0;
        std::optional<UUID> pictureID;
        std::optional<std::filesystem::path> pictureLocation;
    };
    void applyLocated(const ProjectCard& card, ProjectCard& into) const;
    void receive(std::uint64_t generation, std::shared_ptr<std::vector<std::pair<UUID, Located>>> located);

    std::unique_ptr<BackgroundLane> lane_;
    std::uint64_t generation_ = 0;
    std::unordered_map<UUID, ProjectCard> cards_;
    std::unordered_map<UUID, Located> located_;
    std::vector<ProjectCard*> rows_;
    std::shared_ptr<ProjectCardModel*> self_;
};

}  // namespace sorvik::app
